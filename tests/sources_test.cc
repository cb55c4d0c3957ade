// SPDX-License-Identifier: MIT
// The version and image sources over temporary roots: the files they read,
// the commands they run, the texts they return and what they print; and
// where the library looks for its fixed paths.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "root_path.h"
#include "support/show_runner.h"
#include "support/sim_fixture.h"
#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrsim/sim.h"
#include "sysmgrsim/sim.hpp"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testsupport::capture;
using testsupport::Captured;
using Files = std::map<std::string, std::string>;

class Sources : public testsupport::SimTest {
  protected:
    /*
     * The scenario, then a root that holds only files and the sudo stand-in;
     * a content "-> TARGET" makes a symbolic link to TARGET.
     */
    void prepare(const json &patch, const Files &files) {
        load(patch.is_null() ? json::object() : patch);
        root_changed();
        for (const auto &entry : fs::directory_iterator(root_))
            if (entry.path().filename() != ".sim-bin")
                fs::remove_all(entry.path());
        for (const auto &[path, content] : files) {
            fs::create_directories(fs::path(root_ + path).parent_path());
            if (content.rfind("-> ", 0) == 0)
                fs::create_symlink(content.substr(3), root_ + path);
            else
                std::ofstream(root_ + path, std::ios::binary) << content;
        }
    }
};

TEST_F(Sources, LoaderVersionFromTheCommandLineOrTheStatusFiles) {
    const std::string cmdline = "/proc/cmdline", sync = "/var/log/no-img-auto-sync";
    const std::string uri = "/var/log/current_ks.uri",
                      force = "image://sup-remote/running-kickstart";
    struct Case {
        Files files;
        int32_t size;
        int rc;
        const char *text;
        const char *out = "";
    } cases[] = {
        {{{cmdline, "a=1 loader_ver=\"3.6(0)\" quiet\n"}}, 128, 0, "3.6(0)"},
        {{{cmdline, "loader_ver=\"\"x\" y\n"}}, 128, 0, "x"},
        {{{cmdline, "loader_ver=\"abc\n"}}, 128, 0, "abc\n"},
        {{{cmdline, "loader_ver=\"\"\n"}}, 128, 0, "\n"},
        {{{cmdline, "loader_ver=abc\n"}, {sync, ""}}, 128, -1, ""},
        {{{cmdline, "loader_ver=\"3.6(0)\"\n"}}, 4, 0, "3.6"},
        {{{cmdline, "loader_ver=\"3.6(0)\"\n"}}, 0, 0, ""},
        {{{cmdline, "loader_ver=\""}}, 128, -1, ""},
        // The line's buffer holds 255 bytes: the value is cut where it ends.
        {{{cmdline, std::string(240, 'a') + " loader_ver=\"3.6(0)\"\n"}}, 128, 0, "3."},
        {{{cmdline, std::string(242, ' ') + "loader_ver=\"3.6(0)\"  \n"}}, 128, 0, "3"},
        {{}, 128, -1, "", "sysmgr_get_loader_ver Couldn't open cmdline file \n"},
        {{{cmdline, "\n"}, {sync, ""}, {uri, force}}, 128, 0, "image booted through mgmt0"},
        {{{cmdline, "\n"}, {uri, force}}, 128, 0, "image booted through force-dnld"},
        {{{cmdline, "\n"}, {uri, force + "\n"}}, 128, 0, "loader version not available"},
        {{{cmdline, "\n"}, {"/var/log", "a file"}},
         128,
         -1,
         "",
         "stat of /var/log/no-img-auto-sync returned errno 20\n"},
        {{{cmdline, "\n"}, {uri, "-> current_ks.uri"}},
         128,
         -1,
         "",
         "stat of /var/log/current_ks.uri returned errno 40\n"},
        {{{cmdline, "\n"}, {uri + "/x", ""}}, 128, -1, "", "fopen() failed with errno 21\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.files.count(cmdline) ? c.files.at(cmdline) : "(no command line)");
        prepare({}, c.files);
        char buf[128] = "";
        int rc = 0;
        Captured cap = capture([&] {
            rc = sysmgr_get_loader_ver(buf, c.size);
            std::fflush(stdout);
        });
        EXPECT_EQ(rc, c.rc);
        EXPECT_STREQ(buf, c.text);
        EXPECT_EQ(cap.out, c.out);
    }
}

TEST_F(Sources, LoaderCacheIsFilledOnceThenRead) {
    const std::string cache = "/var/tmp/bootloader_ver", with_nul("3.5(1)", 7);
    struct Case {
        json store;                       // the loader store's release file
        std::optional<std::string> found; // the cache before the calls
        int32_t size;
        const char *text; // nullptr: no version
        std::string kept; // the cache after the calls
    } cases[] = {
        {{{"interim_version", "3.6(0)"}}, {}, 80, "3.6(0)", {"3.6(0)", 7}},
        {{{"interim_version", nullptr}}, {}, 80, nullptr, ""},
        {{}, with_nul, 80, "3.5(1)", with_nul},
        {{}, "3.5(1)", 4, "3.5", "3.5(1)"},
        {{}, "3.5(1)", 0, nullptr, "3.5(1)"},
        {{}, "", 80, nullptr, ""},
    };
    const mode_t mask = umask(022);
    umask(mask);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.kept);
        prepare({{"release_files", {{"/mnt/bootloader/srg-sloader.sro", c.store}}}},
                c.found ? Files{{cache, *c.found}} : Files{{"/var/tmp/.keep", ""}});
        // Each argument a word of its own, the output discarded.
        const std::string quiet = "stdout /dev/null\nstderr /dev/null\n";
        const std::string mounts = c.found ? ""
                                           : "run sudo\narg /bin/mount\narg -o\narg ro\narg " +
                                                 root_ + "/mnt/bootloader\n" + quiet +
                                                 "run sudo\narg /bin/umount\narg " + root_ +
                                                 "/mnt/bootloader\n" + quiet;
        for (int call = 0; call < 2; ++call) {
            char buf[80];
            fs::remove(sim_sudo_log());
            const char *got = sysmgr_get_loader_ver_information(buf, c.size);
            EXPECT_STREQ(got, c.text);
            EXPECT_TRUE(got == nullptr || got == buf) << "the caller's buffer";
            EXPECT_EQ(testsupport::read_file(sim_sudo_log()), call == 0 ? mounts : "")
                << "call " << call;
        }
        EXPECT_EQ(testsupport::read_file(root_ + cache), c.kept);
        struct stat st {};
        EXPECT_EQ(stat((root_ + cache).c_str(), &st), 0);
        if (!c.found) {
            EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
        }
    }
}

TEST_F(Sources, VersionTextWithBuildAndImageKind) {
    const std::string v(300, 'v');
    struct Case {
        json release;
        const char *tool; // what the image header tool prints
        std::string text;
    } cases[] = {
        {{{"version", "4.2(1)"}, {"interim_version", "4.2(1.118)"}},
         "2\n",
         "4.2(1) [build 4.2(1.118)] [gdb]"},
        {{{"version", "4.2(1)"}, {"interim_version", "4.2(1)"}}, "3", "4.2(1) [insure]"},
        {{{"version", "4.2(1)"}}, "1\n", "4.2(1)"},
        {{{"version", "4.2(1)"}}, "", "4.2(1)"},
        {{{"version", "4.2(1)"}}, "-", "4.2(1)"},
        {{{"version", "4.2(1)"}}, "99999999999999999999999", "4.2(1)"},
        {{{"interim_version", "4.2(1.118)"}}, "2\n", "[not available]"},
        {{{"version", v}}, "2\n", v.substr(0, 255)},
        {{{"version", "4.2(1)"}, {"interim_version", v}},
         "2\n",
         ("4.2(1) [build " + v).substr(0, 255)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.release.dump() + c.tool);
        load(json{{"release_files", {{"/r.sro", c.release}}}, {"tools", {{"imghdr", c.tool}}}});
        EXPECT_EQ(get_sw_ver_string("/r.sro", "/var/run/curr-ks.hdr"), c.text);
        // The tool is asked for the header's build kind, its answer read through a pipe.
        const std::string tool = root_ + "/vornboot/bin/imghdr";
        const std::string run = c.text == "[not available]"
                                    ? ""
                                    : "run " + tool + "\narg Debug\narg " + root_ +
                                          "/var/run/curr-ks.hdr\nstdout pipe\n";
        EXPECT_EQ(testsupport::read_file(tool + ".log").substr(0, run.size()), run);
    }
}

TEST_F(Sources, PathsInCommandsRunNothingElse) {
    // The tool records the path it was given; the root and the image path hold
    // blanks, quotes, $ and ; that a shell would act on if left unquoted.
    const std::string root = root_ + "/a b'c$HOME;touch X", tool = root + "/vornboot/bin/imghdr";
    const std::string image = "/img 'q' $(touch Y);touch Z";
    fs::create_directories(fs::path(tool).parent_path());
    std::ofstream(tool) << "#!/bin/sh\nprintf '%s\\n' \"$2\" > \"$0.log\"\necho 2\n";
    fs::permissions(tool, fs::perms::owner_all);
    setenv("SYSMGRCLI_ROOT", root.c_str(), 1);
    const fs::path cwd = fs::current_path();
    fs::current_path(root_);

    std::string text;
    Captured cap = capture([&] { text = get_sw_ver_string("/vorn/etc/srg.sro", image.c_str()); });
    EXPECT_EQ(text, "4.2(1) [build 4.2(1.118)] [gdb]");
    EXPECT_EQ(testsupport::read_file(tool + ".log"), root + image + "\n");
    EXPECT_EQ(cap.err, "");
    for (const char *made : {"X", "Y", "Z"})
        EXPECT_FALSE(fs::exists(root_ + "/" + made)) << made;

    // A command that would not fit its buffer is not run, and says so.
    fs::remove(tool + ".log");
    const std::string long_image = "/" + std::string(300, 'i');
    cap = capture([&] { text = get_sw_ver_string("/vorn/etc/srg.sro", long_image.c_str()); });
    EXPECT_EQ(text, "4.2(1) [build 4.2(1.118)]");
    EXPECT_FALSE(fs::exists(tool + ".log"));
    EXPECT_EQ(cap.err, "get_sw_ver_string: command does not fit in 256 bytes, not run\n");
    fs::current_path(cwd);
}

TEST_F(Sources, FlashListingItems) {
    const std::string listing = "bootflash 1000 kB\nslot0 2000 kB\n";
    struct Case {
        std::optional<std::string> content;
        int32_t item;
        int32_t value;
    } items[] = {
        {listing, 0, 1000},
        {listing, 1, 2000},
        {listing, 2, 0},
        {"bootflash 1000 kB\nslot0 none kB\n", 1, 1000},
        {{}, 0, 0},
        // Lines over the 255-byte buffer count once; blank lines and blanks around do not count.
        {std::string(300, 'x') + " 9\nslot0 2000 kB\n", 1, 2000},
        {std::string(254, 'x') + "\nslot0 2000 kB\n", 1, 2000},
        {"\n  \t\n  bootflash   1000 kB  \n", 0, 1000},
        // A number out of range keeps the line before's.
        {listing + "a 2147483648\nb -2147483649\nc 99999999999999999999\n", 4, 2000},
    };
    for (const Case &c : items) {
        prepare({}, c.content ? Files{{"/f", *c.content}} : Files{});
        EXPECT_EQ(read_flash_size_file_item("/f", c.item), c.value) << c.content.value_or("-");
    }
}

TEST(BiosText, DateAndVersionPieces) {
    const std::string n(40, '9');
    const std::string cases[][3] = {
        {"BIOS v1.2.3(01/02/10)", "1.2.3", "01/02/10"},
        {"BIOS 1.2.3(01/02/10)", "", ""},
        {"BIOS (x) v1.2.3", "", ""},
        {"BIOS v1.2.3 no parentheses", "", ""},
        {"BIOS v1.2.3(01/02/10", "1.2.3", ""},
        {"BIOS ) v1.2.3(01/02/10", "1.2.3", ""},
        {"v" + n + "(" + n + ")", n.substr(0, 31), n.substr(0, 31)},
    };
    for (const auto &[text, version, date] : cases) {
        char v[32] = {}, d[32] = {};
        extract_date_and_version(text.c_str(), v, d);
        EXPECT_EQ(std::string(v, strnlen(v, sizeof v)), version) << text;
        EXPECT_EQ(std::string(d, strnlen(d, sizeof d)), date) << text;
    }
}

TEST(ChangeDisplay, DisplayFormsStayWithinPathLengthPlusThree) {
    const char *cases[][2] = {
        {"/bootflash/name", "bootflash:///name"},
        {"/host//file", "host://file"},
        {"/bootflash/", "bootflash:///"},
        {"/bootflash", "bootflash"},
        {"", ""},
    };
    for (const auto &[path, shown] : cases) {
        char out[64];
        std::memset(out, '#', sizeof out);
        change_display(out, path);
        EXPECT_STREQ(out, shown);
        EXPECT_EQ(std::string(out + std::strlen(path) + 3, 4), "####") << path;
    }
}

// Image types above 10 have no time to show; a version string is tagged as one.
TEST_F(Sources, TimesOfImageTypesUpTo10AndVersionStrings) {
    load();
    disp_time(10091112, 10, rx(), 0x305c0022);
    disp_time(10091112, 11, rx(), 0x305c0022);
    print_show_version_string("7.0(1)", rx());
    EXPECT_EQ(testsupport::printed(),
              " 9/11/2010 12:00:00 Unknown type of image supplied\n7.0(1)\n");
    EXPECT_EQ(sysmgrsim::prints().at(sysmgrsim::prints().size() - 2).tag, 0x305c001eu);
}

/* ---- Where the library looks for its fixed paths ------------------------- */

// Sets SYSMGRCLI_ROOT, or clears it for null.
void set_root(const char *value) {
    if (value != nullptr)
        setenv("SYSMGRCLI_ROOT", value, 1);
    else
        unsetenv("SYSMGRCLI_ROOT");
}

// Under a root that is refused or too long no path fits, and the sources
// read nothing and run nothing.
TEST(RootedPath, TakesFixedPathsUnderTheRootWhenOneIsSet) {
    const std::string long_root = "/" + std::string(sysmgrcli::RootedPath::kMax, 'r');
    struct Case {
        const char *root;
        const char *expected; // nullptr: does not fit
    } cases[] = {
        {nullptr, "/proc/uptime"},
        {"", "/proc/uptime"},
        {"/tmp/capture", "/tmp/capture/proc/uptime"},
        {"/tmp/capture/", "/tmp/capture//proc/uptime"},
        {long_root.c_str(), nullptr},
        {"A=", nullptr}, // relative: refused
    };
    for (const Case &c : cases) {
        set_root(c.root);
        SCOPED_TRACE(c.root ? c.root : "(unset)");
        if (c.expected != nullptr) {
            EXPECT_STREQ(sysmgrcli::RootedPath("/proc/uptime").c_str(), c.expected);
            continue;
        }
        EXPECT_EQ(sysmgrcli::RootedPath("/proc/uptime").c_str(), nullptr);
        char buf[64] = "";
        int rc = 0;
        char *info = buf;
        int32_t item = -1;
        std::string line;
        testsupport::capture([&] {
            rc = sysmgr_get_loader_ver(buf, sizeof buf);
            info = sysmgr_get_loader_ver_information(buf, sizeof buf);
            item = read_flash_size_file_item("/proc/meminfo", 0);
            line = read_file_str("/proc/cmdline");
        });
        EXPECT_EQ(rc, -1);
        EXPECT_EQ(info, nullptr);
        EXPECT_EQ(item, 0);
        EXPECT_EQ(line, "");
    }
    set_root(nullptr);
}

// A call reads the root once: a change of the environment during the call
// does not move its paths, and the next call sees the change.
TEST(RootedPath, TakesTheRootOfTheCallAndKeepsNothingAfterIt) {
    set_root("/first");
    {
        const sysmgrcli::CallRoot call;
        set_root("/second");
        const sysmgrcli::CallRoot nested; // an exported source called by a report
        EXPECT_STREQ(sysmgrcli::RootedPath("/proc/uptime").c_str(), "/first/proc/uptime");
    }
    EXPECT_STREQ(sysmgrcli::RootedPath("/proc/uptime").c_str(), "/second/proc/uptime");
    {
        const sysmgrcli::CallRoot next;
        EXPECT_STREQ(sysmgrcli::RootedPath("/proc/uptime").c_str(), "/second/proc/uptime");
    }
    set_root(nullptr);
}

// A process that gains privilege when it starts (here set-group-ID, which
// only root can give a program for a group of another) takes no root from
// the environment its caller chose, and sysmgr-show does not run at all.
TEST(RootedPath, IsNotTakenFromTheEnvironmentOfAPrivilegedProcess) {
    struct statvfs tmp {};
    if (geteuid() != 0 || *SYSMGR_SHOW_EMULATOR != '\0' || statvfs("/tmp", &tmp) != 0 ||
        (tmp.f_flag & ST_NOSUID) != 0)
        GTEST_SKIP() << "needs root and a kernel that starts the program itself with its mode";
    const testsupport::ScratchDir scratch; // the privileged copies go with it, whatever fails
    ASSERT_FALSE(scratch.dir.empty());
    const struct Row {
        const char *program;
        std::vector<std::string> args;
        int status;
        const char *said; // on the standard error
        bool has;
    } rows[] = {
        {EXAMPLE_HOST_PATH, {"1", SYSMGRCLI_LIBRARY}, 0, "not an absolute path", false},
        {SYSMGR_SHOW_PATH, {"redundancy"}, 2, "sysmgr-show: refusing to run", true},
    };
    for (const Row &row : rows) {
        const std::string copy =
            scratch.dir + "/" + std::filesystem::path(row.program).filename().string();
        std::filesystem::copy_file(row.program, copy);
        ASSERT_EQ(chown(copy.c_str(), 0, 65534), 0);
        ASSERT_EQ(chmod(copy.c_str(), 02755), 0);
        std::vector<std::string> argv{copy};
        argv.insert(argv.end(), row.args.begin(), row.args.end());
        const testsupport::RunResult run =
            testsupport::run_program(argv, {"SYSMGRCLI_ROOT=relative"});
        SCOPED_TRACE(copy);
        EXPECT_EQ(run.status, row.status);
        EXPECT_EQ(run.err.find(row.said) != std::string::npos, row.has) << run.err;
    }
}

} // namespace
