// SPDX-License-Identifier: MIT
// Where the library looks for its fixed paths.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "root_path.h"
#include "support/show_runner.h"
#include "support/sim_fixture.h"
#include "sysmgrcli/sysmgrcli.h"

namespace {

// Sets SYSMGRCLI_ROOT, or clears it for null.
void set_root(const char *value) {
    if (value != nullptr)
        setenv("SYSMGRCLI_ROOT", value, 1);
    else
        unsetenv("SYSMGRCLI_ROOT");
}

TEST(RootedPath, TakesFixedPathsUnderTheRootWhenOneIsSet) {
    const std::string long_root(sysmgrcli::RootedPath::kMax, 'r');
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
        sysmgrcli::RootedPath path("/proc/uptime");
        SCOPED_TRACE(c.root ? c.root : "(unset)");
        if (c.expected == nullptr)
            EXPECT_EQ(path.c_str(), nullptr);
        else
            EXPECT_STREQ(path.c_str(), c.expected);
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

// Under a root that is refused or too long, the sources read nothing and run nothing.
TEST(RootedPath, SourcesUnderAnUnusableRootGiveTheirEmptyAnswers) {
    const std::string long_root = "/" + std::string(sysmgrcli::RootedPath::kMax, 'r');
    for (const char *root : {long_root.c_str(), "A="}) {
        set_root(root);
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
        SCOPED_TRACE(root[0] == 'A' ? "relative" : "too long");
        EXPECT_EQ(rc, -1);
        EXPECT_EQ(info, nullptr);
        EXPECT_EQ(item, 0);
        EXPECT_EQ(line, "");
    }
    set_root(nullptr);
}

// A process that gains privilege when it starts (here set-group-ID, which
// only root can give a program for a group of another) takes no root from
// the environment its caller chose, and sysmgr-show does not run at all.
TEST(RootedPath, IsNotTakenFromTheEnvironmentOfAPrivilegedProcess) {
    struct statvfs fs {};
    if (geteuid() != 0 || *SYSMGR_SHOW_EMULATOR != '\0' || statvfs("/tmp", &fs) != 0 ||
        (fs.f_flag & ST_NOSUID) != 0)
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
