// The version and image sources over temporary roots: the files they read,
// the commands they run, the texts they return and what they print.
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "support/sim_fixture.h"
#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrsim/sim.h"
#include "sysmgrsim/sim.hpp"

namespace {

namespace fs = std::filesystem;
using testsupport::capture;
using testsupport::Captured;

/* The sources over an empty root that each test fills with its own files. */
class Sources : public testsupport::SimTest {
  protected:
    void SetUp() override {
        SimTest::SetUp();
        load();
        clear_root();
    }

    /* Empties the root but for the simulator's sudo stand-in. */
    void clear_root() {
        for (const auto &entry : fs::directory_iterator(root_))
            if (entry.path().filename() != ".sim-bin")
                fs::remove_all(entry.path());
    }

    /* Writes a file under the root, creating its directories. */
    void put(const std::string &path, const std::string &content) {
        fs::path file = root_ + path;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
    }

    std::string slurp(const std::string &path) {
        std::ifstream in(root_ + path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    /*
     * An executable under the root that appends its arguments, one a line, to
     * "<path>.log" next to it and prints output.
     */
    void put_tool(const std::string &path, const std::string &output) {
        put(path, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> \"$0.log\"\n"
                  "printf '" +
                      output + "'\n");
        fs::permissions(root_ + path, fs::perms::owner_all);
    }

    /* Everything printed into the receive handle, values as {tag:text}. */
    static std::string printed() {
        std::string out;
        for (const auto &p : sysmgrsim::prints()) {
            if (p.kind == sysmgrsim::Print::Kind::value) {
                char tag[16];
                std::snprintf(tag, sizeof tag, "%08x", p.tag);
                out += std::string("{") + tag + ":" + p.text + "}";
            } else {
                out += p.text;
            }
        }
        return out;
    }
};

TEST_F(Sources, LoaderVersionFromTheCommandLineOrTheStatusFiles) {
    const std::string force = "image://sup-remote/running-kickstart";
    struct Case {
        const char *name;
        std::string cmdline;           // "-" : no /proc/cmdline
        std::string auto_sync, ks_uri; // "-" : file absent, "dir" : /var/log is a file
        int32_t size;
        int rc;
        const char *text;
        const char *out;
    } cases[] = {
        {"quoted", "a=1 loader_ver=\"3.6(0)\" quiet\n", "-", "-", 128, 0, "3.6(0)", ""},
        {"doubled quotes", "loader_ver=\"\"x\" y\n", "-", "-", 128, 0, "x", ""},
        {"no closing quote", "loader_ver=\"abc\n", "-", "-", 128, 0, "abc\n", ""},
        {"no quote", "loader_ver=abc\n", "-", "-", 128, -1, "", ""},
        {"quotes only", "loader_ver=\"\"", "-", "-", 128, -1, "", ""},
        {"quotes then line end", "loader_ver=\"\"\n", "-", "-", 128, 0, "\n", ""},
        {"cut to size", "loader_ver=\"3.6(0)\"\n", "-", "-", 4, 0, "3.6", ""},
        {"no cmdline", "-", "-", "-", 128, -1, "",
         "sysmgr_get_loader_ver Couldn't open cmdline file \n"},
        {"mgmt0", "quiet\n", "", force, 128, 0, "image booted through mgmt0", ""},
        {"force download", "\n", "-", force, 128, 0, "image booted through force-dnld", ""},
        {"uri with line end", "\n", "-", force + "\n", 128, 0, "loader version not available", ""},
        {"nothing", "", "-", "-", 128, 0, "loader version not available", ""},
        {"stat fails", "\n", "dir", "-", 128, -1, "",
         "stat of /var/log/no-img-auto-sync returned errno 20\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        clear_root();
        if (c.cmdline != "-")
            put("/proc/cmdline", c.cmdline);
        if (c.auto_sync == "dir")
            put("/var/log", "a file where a directory should be");
        else if (c.auto_sync != "-")
            put("/var/log/no-img-auto-sync", c.auto_sync);
        if (c.ks_uri != "-")
            put("/var/log/current_ks.uri", c.ks_uri);
        char buf[128] = "";
        int rc = 0;
        Captured cap = capture([&] {
            rc = sysmgr_get_loader_ver(buf, c.size);
            std::fflush(stdout);
        });
        EXPECT_EQ(rc, c.rc);
        if (rc == 0) {
            EXPECT_STREQ(buf, c.text);
        }
        EXPECT_EQ(cap.out, c.out);
    }
}

TEST_F(Sources, FlashSizeListingItems) {
    struct Case {
        const char *listing; // nullptr: no file
        int32_t item;
        int32_t value;
    } cases[] = {
        {"bootflash 1000 kB\nslot0 2000 kB\n", 0, 1000},
        {"bootflash 1000 kB\nslot0 2000 kB\n", 1, 2000},
        {"bootflash 1000 kB\n", 1, 0},
        {"bootflash 1000 kB\nslot0 none kB\n", 1, 1000},
        {"bootflash none kB\nslot0 -5 kB\n", 1, -5},
        {"bootflash 1000 kB\n\n  \nslot0 2000 kB", 1, 2000},
        {"bootflash 1000 kB\n", -1, 0},
        {nullptr, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << (c.listing ? c.listing : "(none)") << c.item);
        clear_root();
        if (c.listing != nullptr)
            put("/tmp/listing", c.listing);
        EXPECT_EQ(read_flash_size_file_item("/tmp/listing", c.item), c.value);
    }
}

TEST_F(Sources, FirstLineOfACallersFileUnderTheRoot) {
    const std::string long_line(200, 'x');
    struct Case {
        const char *content; // nullptr: no file
        std::string first;
    } cases[] = {
        {"abc\ndef\n", "abc\n"},
        {"no line end", "no line end"},
        {"", ""},
        {nullptr, ""},
        {long_line.c_str(), long_line.substr(0, 127)},
    };
    for (const Case &c : cases) {
        clear_root();
        if (c.content != nullptr)
            put("/a.txt", c.content);
        EXPECT_EQ(read_file_str("/a.txt"), c.first);
    }
}

TEST_F(Sources, DateAndVersionPiecesOfABiosText) {
    const std::string long_piece(40, '9');
    const std::string long_text = "v" + long_piece + "(" + long_piece + ")";
    struct Case {
        std::string text;
        std::string version, date;
    } cases[] = {
        {"BIOS v1.2.3(01/02/10)", "1.2.3", "01/02/10"},
        {"BIOS 1.2.3(01/02/10)", "", ""},
        {"BIOS (x) v1.2.3", "", ""},
        {"BIOS v1.2.3 no parentheses", "", ""},
        {"BIOS v1.2.3(01/02/10", "1.2.3", ""},
        {"BIOS ) v1.2.3(01/02/10", "1.2.3", ""},
        {long_text, long_piece.substr(0, 31), long_piece.substr(0, 31)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        char version[32] = {}, date[32] = {};
        extract_date_and_version(c.text.c_str(), version, date);
        EXPECT_EQ(std::string(version, strnlen(version, sizeof version)), c.version);
        EXPECT_EQ(std::string(date, strnlen(date, sizeof date)), c.date);
    }
}

TEST(ChangeDisplay, DisplayFormsStayWithinPathLengthPlusThree) {
    struct Case {
        const char *path, *shown;
    } cases[] = {
        {"/bootflash/name", "bootflash:///name"},
        {"/host//file", "host://file"},
        {"/bootflash/dir/name", "bootflash:///dir/name"},
        {"/bootflash/", "bootflash:///"},
        {"/bootflash", "bootflash"},
        {"", ""},
    };
    for (const Case &c : cases) {
        char out[64];
        std::memset(out, '#', sizeof out);
        change_display(out, c.path);
        EXPECT_STREQ(out, c.shown);
        const std::size_t limit = std::strlen(c.path) + 3;
        EXPECT_EQ(std::string(out + limit, 4), "####") << c.path;
    }
}

TEST_F(Sources, TimesPrintedIntoTheReceiveHandle) {
    struct Case {
        const char *name;
        void (*print)(void *rx);
        std::string shown;
    } cases[] = {
        {"compile stamp", [](void *rx) { disp_time(10091112, 1, rx, 0x305c0022); },
         "{305c0022: 9/11/2010 12:00:00} "},
        {"unknown image type", [](void *rx) { disp_time(10091112, 11, rx, 0x305c0022); },
         "Unknown type of image supplied\n"},
        {"image build time",
         [](void *rx) { get_image_timestamp("/var/run/curr-ks.hdr", rx, 0x305c0023); },
         "[{305c0023:11/03/2025 16:00:00}]\n"},
        {"version string", [](void *rx) { print_show_version_string("4.2(1)", rx); },
         "{305c001e:4.2(1)}\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sim_clear_records();
        c.print(rx());
        EXPECT_EQ(printed(), c.shown);
        EXPECT_EQ(sysmgrsim::calls_named("img_open").size(),
                  sysmgrsim::calls_named("img_close").size());
    }
}

TEST_F(Sources, ImageBuildKindFromTheHeaderTool) {
    struct Case {
        const char *output;
        const char *suffix;
    } cases[] = {
        {"2\\n", " [gdb]"}, {"3", " [insure]"}, {"1\\n", ""}, {"", ""}, {"x3\\n", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.output);
        clear_root();
        put_tool("/vornboot/bin/imghdr", c.output);
        const std::string text = get_sw_ver_string("/etc/srg-ks.sro", "/var/run/curr-ks.hdr");
        EXPECT_EQ(text, std::string("4.2(1) [build 4.2(1.118)]") + c.suffix);
        EXPECT_EQ(slurp("/vornboot/bin/imghdr.log"), "Debug\n" + root_ + "/var/run/curr-ks.hdr\n");
    }
}

TEST_F(Sources, PathsInCommandsRunNothingElse) {
    const std::string odd_root = root_ + "/a b'c$HOME;touch X";
    fs::create_directories(odd_root);
    setenv("SYSMGRCLI_ROOT", odd_root.c_str(), 1);
    const std::string tool = odd_root + "/vornboot/bin/imghdr";
    fs::create_directories(fs::path(tool).parent_path());
    std::ofstream(tool) << "#!/bin/sh\nprintf '%s\\n' \"$2\" > \"$0.log\"\necho 2\n";
    fs::permissions(tool, fs::perms::owner_all);

    const std::string image = "/img 'q' $(touch Y);touch Z";
    Captured cap;
    std::string text;
    {
        const fs::path cwd = fs::current_path();
        fs::current_path(root_);
        cap = capture([&] { text = get_sw_ver_string("/vorn/etc/srg.sro", image.c_str()); });
        fs::current_path(cwd);
    }
    EXPECT_EQ(text, "4.2(1) [build 4.2(1.118)] [gdb]");
    std::ifstream log(tool + ".log");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(log), {}), odd_root + image + "\n");
    for (const char *made : {"X", "Y", "Z"})
        EXPECT_FALSE(fs::exists(root_ + "/" + made)) << made;
    EXPECT_EQ(cap.err, "");

    // A command that would not fit its buffer is not run, and says so.
    const std::string long_image = "/" + std::string(300, 'i');
    cap = capture([&] { text = get_sw_ver_string("/vorn/etc/srg.sro", long_image.c_str()); });
    EXPECT_EQ(text, "4.2(1) [build 4.2(1.118)]");
    EXPECT_EQ(cap.err, "get_sw_ver_string: command does not fit in 256 bytes, not run\n");
    setenv("SYSMGRCLI_ROOT", root_.c_str(), 1);
}

} // namespace
