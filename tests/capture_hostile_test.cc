// SPDX-License-Identifier: MIT
// sysmgr-capture on hostile ground: directories others can change, a umask
// that opens everything, a DIR that appears meanwhile, a host that closes
// the record's descriptor, processes that outlive the command, signals, and
// a record whose names climb out of the root.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "capture.h"
#include "support/show_runner.h"

namespace {

namespace fs = std::filesystem;
using testsupport::read_file;
using testsupport::run_program;
using testsupport::RunResult;

class CaptureHostile : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/sysmgr-capture-hostile.XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    fs::path dir_;
};

TEST_F(CaptureHostile, DirectoriesSignalsAndHosts) {
    if (std::string(SYSMGR_SHOW_EMULATOR).size() > 0)
        GTEST_SKIP() << "capture runs hosts natively only";
    const std::string show = SYSMGR_SHOW_PATH, d = dir_.string();
    fs::create_directories(dir_ / "open");
    fs::permissions(dir_ / "open", fs::perms::all);
    // The version report runs rm: this one is slow, and may signal the capture first.
    fs::create_directories(dir_ / "bin");
    std::ofstream(dir_ / "bin" / "rm") << "#!/bin/sh\n[ -z \"$SIGNAL\" ] || kill -$SIGNAL $CAP\n"
                                          "sleep 1\n";
    fs::permissions(dir_ / "bin" / "rm", fs::perms::owner_all);
    const std::string path = "PATH=" + d + "/bin:" + std::getenv("PATH");
    const std::string background = "export CAP=$PPID; " + show + " version >/dev/null &";
    const struct {
        const char *name;
        std::string out;    // DIR
        std::string prefix; // the shell's words before sysmgr-capture
        std::vector<std::string> command, env;
        int status;
        const char *message; // on the standard error, "" for none
    } rows[] = {
        {"others can write the parent", "open/c", "", {show, "version"}, {}, 125, "another user"},
        {"umask 000", "wide", "umask 000;", {show, "version"}, {}, 0, ""},
        {"DIR appears meanwhile",
         "late-dir",
         "",
         {"sh", "-c", "mkdir " + d + "/late-dir; exec " + show + " version"},
         {},
         125,
         "appeared meanwhile"},
        {"the host closes the record's descriptor",
         "closed",
         "",
         {"sh", SYSMGRCLI_SOURCE_DIR "/examples/run.sh", CLOSING_HOST_PATH, d + "/hostfile", "107",
          SYSMGRCLI_LIBRARY},
         {},
         125,
         "without the end line"},
        {"a process outlives the command", "late", "", {"sh", "-c", background}, {path}, 0, ""},
        {"SIGTERM while a process records",
         "term",
         "",
         {"sh", "-c", background},
         {path, "SIGNAL=TERM"},
         128 + 15,
         "signal 15"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        std::string line =
            row.prefix + " exec " SYSMGR_CAPTURE_PATH " --out " + d + "/" + row.out + " --";
        for (const std::string &word : row.command)
            line += " '" + word + "'";
        std::vector<std::string> env = row.env;
        env.insert(env.end(), {"TZ=UTC", "LC_ALL=C", "ASAN_OPTIONS=detect_leaks=0"});
        const RunResult r = run_program({"sh", "-c", line}, env);
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
        const fs::path out = dir_ / row.out;
        const bool written = fs::exists(out / "MANIFEST");
        EXPECT_EQ(written, row.status == 0);
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
    EXPECT_TRUE(fs::is_empty(dir_ / "late-dir"));
    EXPECT_EQ(read_file(dir_ / "hostfile"), "");
    // The late process's run is whole: the same as a run of the command in the foreground.
    EXPECT_EQ(read_file(dir_ / "late" / "scenario.json"),
              read_file(dir_ / "wide" / "scenario.json"));
    sleep(1); // the signalled capture's process finishes
    for (const auto &entry : fs::recursive_directory_iterator(dir_))
        EXPECT_EQ(entry.path().string().find(".partial."), std::string::npos) << entry.path();
}

// A forged record: names that climb, and a directory swapped for a link to elsewhere.
TEST_F(CaptureHostile, RecordNamesStayInTheRoot) {
    const struct {
        std::string path;
        bool plain;
    } names[] = {{"/a/b", true},   {"c", true},           {"/", false},
                 {"", false},      {"/a//b", false},      {"/a/./b", false},
                 {"/../x", false}, {"/a/../../x", false}, {"/a/b/", false}};
    std::vector<std::string> parts;
    for (const auto &n : names)
        EXPECT_EQ(sysmgrcapture::path_components(n.path, parts), n.plain) << n.path;

    fs::create_directories(dir_ / "root");
    fs::create_directories(dir_ / "elsewhere");
    sysmgrcapture::Capture capture;
    capture.files = {{"/../escape", "regular", 0644, "x", ""},
                     {"/d", "symlink", 0777, "", (dir_ / "elsewhere").string()},
                     {"/d/x", "regular", 0644, "x", ""},
                     {"/vorn/bin/flash_size", "regular", 0755, "", ""},
                     {"/.sim-bin/rm", "regular", 0755, "", ""},
                     {"/s", "regular", 06777, "#!/bin/sh\n", ""}};
    const int root = open((dir_ / "root").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::vector<std::string> notes;
    std::string problem;
    EXPECT_TRUE(sysmgrcapture::write_tree(root, capture, notes, problem)) << problem;
    close(root);
    EXPECT_EQ(notes.size(), 2u);
    EXPECT_FALSE(fs::exists(dir_ / "escape"));
    EXPECT_TRUE(fs::is_empty(dir_ / "elsewhere"));
    EXPECT_FALSE(fs::exists(dir_ / "root" / "vorn"));
    EXPECT_FALSE(fs::exists(dir_ / "root" / ".sim-bin"));
    EXPECT_EQ(fs::status(dir_ / "root" / "s").permissions(), static_cast<fs::perms>(0755));
}

} // namespace
