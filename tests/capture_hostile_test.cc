// SPDX-License-Identifier: MIT
// sysmgr-capture on hostile ground: directories others can change, a umask
// that opens everything, a DIR that exists or appears meanwhile, hosts that
// cannot be captured or close the record's descriptor, processes that
// outlive the command, signals, and a record whose names climb out of the
// root. Then its redaction, in
// process: what goes, what stays, in what shape, and how the placeholders
// follow the key.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "capture.h"
#include "support/show_runner.h"

namespace {

namespace fs = std::filesystem;
using namespace sysmgrcapture;
using testsupport::read_file;
using testsupport::run_program;
using testsupport::RunResult;

class CaptureHostile : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(dir_.empty()); }
    const testsupport::ScratchDir scratch_;
    const fs::path dir_ = scratch_.dir;
};

TEST_F(CaptureHostile, DirectoriesSignalsAndHosts) {
    if (std::string(SYSMGR_SHOW_EMULATOR).size() > 0)
        GTEST_SKIP() << "capture runs hosts natively only";
    const std::string show = SYSMGR_SHOW_PATH, d = dir_.string();
    fs::create_directories(dir_ / "open");
    fs::create_directories(dir_ / "exists");
    fs::permissions(dir_ / "open", fs::perms::all);
    // The version report runs rm: this one is slow, and may signal the capture first.
    fs::create_directories(dir_ / "bin");
    std::ofstream(dir_ / "bin" / "rm") << "#!/bin/sh\n[ -z \"$SIGNAL\" ] || kill -$SIGNAL $CAP\n"
                                          "sleep 1\n";
    fs::permissions(dir_ / "bin" / "rm", fs::perms::owner_all);
    const std::string path = "export 'PATH=" + d + "/bin:" + std::getenv("PATH") + "';";
    const std::string background = "export CAP=$PPID; " + show + " version >/dev/null &";
    const struct {
        std::string out;    // DIR
        std::string prefix; // the shell's words before sysmgr-capture
        std::vector<std::string> command;
        int status;
        const char *message; // on the standard error, "" for none
    } rows[] = {
        {"open/c", "", {show, "version"}, 125, "another user"},
        {"plain", "", {"true"}, 125, "did not load libsysmgrcli"},
        {"two", "", {"sh", "-c", show + " redundancy; " + show + " redundancy"}, 125, "2 process"},
        {"exists", "", {show, "redundancy"}, 125, "exists: name a new directory"},
        {"missing", "", {"no-such-host-program"}, 127, "No such file"},
        {"killed", "", {"sh", "-c", "kill -TERM $$"}, 128 + 15, "signal 15"},
        {"none", "", {}, 125, "sysmgr-capture: command is required\n"},
        {"wide", "umask 000;", {show, "version"}, 0, ""},
        {"late-dir",
         "",
         {"sh", "-c", "mkdir " + d + "/late-dir; exec " + show + " version"},
         125,
         "appeared meanwhile"},
        {"closed",
         "",
         {"sh", SYSMGRCLI_SOURCE_DIR "/examples/run.sh", CLOSING_HOST_PATH, d + "/hostfile", "107",
          SYSMGRCLI_LIBRARY},
         125,
         "without the end line"},
        {"late", path, {"sh", "-c", background}, 0, ""},
        {"term", path + "export SIGNAL=TERM;", {"sh", "-c", background}, 128 + 15, "signal 15"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.out);
        std::string line =
            row.prefix + " exec " SYSMGR_CAPTURE_PATH " --out " + d + "/" + row.out + " --";
        for (const std::string &word : row.command)
            line += " '" + word + "'";
        const RunResult r =
            run_program({"sh", "-c", line}, {"TZ=UTC", "LC_ALL=C", "ASAN_OPTIONS=detect_leaks=0"});
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
        const fs::path out = dir_ / row.out;
        // A capture that fails leaves no DIR, or only the empty one that was there.
        const bool written = fs::exists(out / "MANIFEST");
        EXPECT_EQ(written, row.status == 0);
        EXPECT_EQ(fs::exists(out) && !fs::is_empty(out), written);
        struct stat st;
        if (written && lstat(out.c_str(), &st) == 0) {
            EXPECT_EQ(st.st_mode & 022, 0u);
            for (const auto &f : fs::recursive_directory_iterator(out))
                EXPECT_EQ(lstat(f.path().c_str(), &st) == 0 && (st.st_mode & 022) == 0,
                          !f.is_symlink())
                    << f.path();
            EXPECT_NE(read_file(out / "MANIFEST").find("tools.flash_size"), std::string::npos);
        }
    }
    EXPECT_EQ(read_file(dir_ / "hostfile"), "");
    // The late process's run is whole: the same as a run of the command in the foreground.
    EXPECT_EQ(read_file(dir_ / "late" / "scenario.json"),
              read_file(dir_ / "wide" / "scenario.json"));
    sleep(1); // the signalled capture's process finishes
    for (const auto &entry : fs::recursive_directory_iterator(dir_))
        EXPECT_EQ(entry.path().string().find(".partial."), std::string::npos) << entry.path();
}

// A forged record: names that climb or are not plain, and a directory swapped for a link to
// elsewhere. Each but "/" is noted and left out; plain names are written.
TEST_F(CaptureHostile, RecordNamesStayInTheRoot) {
    fs::create_directories(dir_ / "root");
    fs::create_directories(dir_ / "elsewhere");
    Capture capture;
    for (const char *name : {"/", "", "/a//b", "/a/./b", "/../escape", "/a/../../x", "/a/b/"})
        capture.files.push_back({name, "regular", 0644, "x", ""});
    capture.files.insert(capture.files.end(),
                         {{"/a/b", "regular", 0644, "x", ""},
                          {"c", "regular", 0644, "x", ""},
                          {"/d", "symlink", 0777, "", (dir_ / "elsewhere").string()},
                          {"/d/x", "regular", 0644, "x", ""},
                          {"/vorn/bin/flash_size", "regular", 0755, "", ""},
                          {"/.sim-bin/rm", "regular", 0755, "", ""},
                          {"/s", "regular", 06777, "#!/bin/sh\n", ""}});
    const int root = open((dir_ / "root").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::vector<std::string> notes;
    std::string problem;
    EXPECT_TRUE(write_tree(root, capture, notes, problem)) << problem;
    close(root);
    EXPECT_EQ(notes.size(), 7u);
    EXPECT_TRUE(fs::exists(dir_ / "root" / "a" / "b") && fs::exists(dir_ / "root" / "c"));
    EXPECT_FALSE(fs::exists(dir_ / "escape") || fs::exists(dir_ / "x"));
    EXPECT_TRUE(fs::is_empty(dir_ / "elsewhere"));
    EXPECT_FALSE(fs::exists(dir_ / "root" / "vorn") || fs::exists(dir_ / "root" / ".sim-bin"));
    EXPECT_EQ(fs::status(dir_ / "root" / "s").permissions(), static_cast<fs::perms>(0755));
}

/* A capture of a switch with these names whose one file holds text. */
Capture capture_of(const std::string &text) {
    Capture c;
    c.scenario = nlohmann::ordered_json::parse(
        R"({"hostname": {"name": "sw1.corp.example.com"}, "chassis": {"serial": "SUP0032178"}})");
    c.files.push_back({"/f", "regular", 0644, text, "", false});
    return c;
}

std::string redacted(const std::string &text, const RedactKey &key) {
    Capture c = capture_of(text);
    redact(c, key);
    return c.files[0].data;
}

const RedactKey &fixed_key() {
    static RedactKey key;
    for (std::size_t i = 0; i < key.bytes.size(); ++i)
        key.bytes[i] = static_cast<unsigned char>(i + 1);
    return key;
}

TEST(Redact, ValuesGoInTheirShapeAndTheRestStays) {
    const struct {
        std::string text, gone, shape; // no shape: the text stays as it is
    } rows[] = {
        {"Device name: sw1", "sw1", R"(Device name: host-[0-9a-f]{8})"},
        {"at sw1.corp.example.com.", "corp",
         R"(at host-[0-9a-f]{8}\.domain-[0-9a-f]{8}\.invalid\.)"},
        {"search corp.example.com", "example", R"(search domain-[0-9a-f]{8}\.invalid)"},
        {"relay mail.other.net", "other", R"(relay domain-[0-9a-f]{8}\.invalid)"},
        {"to Admin@corp.example.com", "dmin", R"(to user-[0-9a-f]{8}@domain-[0-9a-f]{8}\.invalid)"},
        {"sn sup0032178", "0032178", R"(sn [a-z]{3}[0-9]{7})"},
        {"SUP0032178-A", "0032178", R"([A-Z]{3}[0-9]{7}-A)"},
        {"ip=192.168.1.10", "192.168", R"(ip=10\.\d{1,3}\.\d{1,3}\.\d{1,3})"},
        {"v6 2001:DB8::1, up", "db8", R"(v6 fd[0-9a-f:]+, up)"},
        {"peer [fe80::21b:21ff:fe3a:4f5c]:69", "21b", R"(peer \[fd[0-9a-f:]+\]:69)"},
        {"mac 00:1b:21:3a:4f:5c", "3a", R"(mac [0-9a-f]{2}(:[0-9a-f]{2}){5})"},
        {"mac 00-1B-21-3A-4F-5C", "3A", R"(mac [0-9A-F]{2}(-[0-9A-F]{2}){5})"},
        {"001b.213a.4f5c", "213a", R"([0-9a-f]{4}\.[0-9a-f]{4}\.[0-9a-f]{4})"},
        {"ethaddr=001B213A4F5C", "213A", R"(ethaddr=[0-9A-F]{12})"},
        {"Base MAC address: 001b213a4f5c", "213a", R"(Base MAC address: [0-9a-f]{12})"},
        {"kickstart:/bootflash/vorn-kickstart.4.2.1.bin", "vorn",
         R"(kickstart:/bootflash/image-[0-9a-f]{8}\.bin)"},
        {"boot vorn-system.bin", "vorn", R"(boot image-[0-9a-f]{8}\.bin)"},
        {"system:tftp://10.1.2.3/images/vorn-system.bin", "10.1.2.3",
         R"(system:tftp://10\.\d+\.\d+\.\d+/images/image-[0-9a-f]{8}\.bin)"},
        {"up 12:34:56 since 11/03/2025 16:00:00 [3 day(s)]", "", ""},
        {"kickstart: version 4.2(1) [build 4.2(1.118)] BIOS v3.6.0(05/09/2025)", "", ""},
        {"sum=0x9C3 crc 3f2a9c1b7e4d sha1 a94a8fe5ccb19ba61c4c0873d391e987982fbbd3", "", ""},
        {"275231.48 495187.03 cycles 550462960000 2.1.0.3.4", "", ""},
        {"std::string /etc/srg-ks.sro libsysmgrcli.so.1 case.json switch sw10", "", ""},
        {"MemTotal:        8253588 kB\nconsole=ttyS0,9600n8", "", ""},
    };
    for (const auto &row : rows) {
        Capture c = capture_of(row.text);
        redact(c, fixed_key());
        const std::string out = c.files[0].data;
        if (row.shape.empty()) {
            EXPECT_EQ(out, row.text);
            continue;
        }
        EXPECT_TRUE(std::regex_match(out, std::regex(row.shape))) << row.text << " -> " << out;
        std::string report;
        for (const std::string &line : c.redacted)
            report += line + "\n";
        for (const std::string &where : {out, c.scenario.dump(), report})
            EXPECT_EQ(where.find(row.gone), std::string::npos) << row.text << " -> " << where;
    }
}

TEST(Redact, PlaceholdersFollowTheKeyAndAreOneToOne) {
    const std::string text = "192.168.1.10 sw1 SUP0032178 00:1b:21:3a:4f:5c 2001:db8::1";
    EXPECT_EQ(redacted(text, fixed_key()), redacted(text, fixed_key()));
    RedactKey one, two;
    std::string problem;
    ASSERT_TRUE(random_redact_key(one, problem) && random_redact_key(two, problem)) << problem;
    const std::string a = redacted(text, one), b = redacted(text, two);
    std::istringstream wa(a), wb(b);
    for (std::string x, y; wa >> x && wb >> y;)
        EXPECT_NE(x, y) << a << " | " << b;

    // Enough addresses that the 24 bits a placeholder keeps must collide.
    std::string many;
    for (int i = 0; i < 10000; ++i)
        many += "172.16." + std::to_string(i / 256) + "." + std::to_string(i % 256) + " ";
    std::istringstream words(redacted(many + many, fixed_key()));
    std::vector<std::string> placeholders;
    for (std::string w; words >> w;)
        placeholders.push_back(w);
    ASSERT_EQ(placeholders.size(), 20000u);
    EXPECT_EQ(std::set<std::string>(placeholders.begin(), placeholders.end()).size(), 10000u);
    EXPECT_TRUE(std::equal(placeholders.begin(), placeholders.begin() + 10000,
                           placeholders.begin() + 10000));
}

TEST(Redact, AKeyFileOnlyItsOwnerCanReadOfExactly32Bytes) {
    const testsupport::ScratchDir scratch;
    const fs::path dir = scratch.dir;
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const struct {
        const char *file;
        mode_t mode;
        std::size_t size;
        const char *problem; // empty: the key is taken
    } rows[] = {
        {"good", 0600, 32, ""},
        {"group", 0640, 32, "group or others can read it"},
        {"world", 0604, 32, "group or others can read it"},
        {"short", 0600, 31, "not exactly 32 bytes"},
        {"long", 0400, 33, "not exactly 32 bytes"},
        {"fifo", 0600, 0, "not a regular file"},
        {".", 0700, 0, "not a regular file"},
        {"missing", 0600, 0, "No such file"},
    };
    for (const auto &row : rows) {
        const fs::path path = dir / row.file;
        if (row.size > 0) {
            std::ofstream(path) << std::string(row.size, 'k');
            chmod(path.c_str(), row.mode);
        }
        RedactKey key;
        std::string problem;
        const bool taken = *row.problem == '\0';
        EXPECT_EQ(load_redact_key(path, key, problem), taken) << row.file;
        EXPECT_NE(problem.find(row.problem), std::string::npos) << row.file << ": " << problem;
        EXPECT_EQ(key.bytes[31], taken ? 'k' : 0) << row.file; // a refused key is not kept
    }
}

} // namespace
