// SPDX-License-Identifier: MIT
// A capture given to sysmgr-show --root is untrusted, and so is the directory
// its temporary root is made in: the link resolver that keeps a capture's
// links inside the copy, and hostile captures and directories end to end.
#include <filesystem>
#include <fstream>
#include <map>

#include <gtest/gtest.h>

#include "../tools/sysmgr-show/replay_copy.h"
#include "support/show_runner.h"

namespace {

namespace fs = std::filesystem;
using replay::Node;
using replay::Resolved;
using testsupport::snapshot;

TEST(ReplayCopy, LinksResolveInsideTheRoot) {
    // A tree: "/d..." is a directory at any depth, "/f" a file.
    const std::map<std::string, Node> tree = {
        {"/proc", {Node::directory, ""}},
        {"/var", {Node::directory, ""}},
        {"/var/r2", {Node::link, "../proc"}},
        {"/up", {Node::link, "../../.."}},
        {"/a", {Node::link, "/b"}},
        {"/b", {Node::link, "a"}},
        {"/f", {Node::other, ""}},
        {"/abs", {Node::link, "/var/r2/x"}},
    };
    const replay::Lookup lookup = [&tree](const std::string &path) {
        if (path.starts_with("/d"))
            return Node{Node::directory, ""};
        const auto found = tree.find(path);
        return found == tree.end() ? Node{} : found->second;
    };
    std::string deep;
    for (int i = 0; i < 70; ++i)
        deep += "d/";
    const struct {
        const char *dir;
        std::string target;
        const char *path;
        Resolved::Outcome outcome;
    } rows[] = {
        {"/var", "../proc", "/proc", Resolved::found},
        {"/var", "../../../../proc/uptime", "/proc/uptime", Resolved::found},
        {"/var", "/etc/passwd", "/etc/passwd", Resolved::found},
        {"/var", "r2/uptime", "/proc/uptime", Resolved::found},
        {"/", "var/r2/..", "/", Resolved::found}, // ".." after a link leaves its target
        {"/", "up/etc", "/etc", Resolved::found}, // a link climbing out stops at the top
        {"/", "abs", "/proc/x", Resolved::found}, // links within links
        {"/", "missing/../../x", "/missing/x", Resolved::found}, // still dangles
        {"/", "f/../x", "/f/x", Resolved::found},                // still not a directory
        {"/", "a", "/a", Resolved::loops},
        {"/", deep, "", Resolved::too_deep},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.target);
        const Resolved r = replay::resolve_in_root(row.dir, row.target, lookup);
        EXPECT_EQ(r.outcome, row.outcome);
        if (row.outcome != Resolved::too_deep) {
            EXPECT_EQ(r.path, row.path);
        }
    }
}

/*
 * Each row lays out a capture in $D/cap (a shell command run there; $D is
 * the scratch directory, which also holds outside/, a tree no replay may
 * touch, and tmp/, the TMPDIR) and replays it. No program of a capture may
 * run (each writes $D/canary), outside/ stays as it was, and no temporary
 * root is left behind.
 */
TEST(ReplayCopy, HostileCapturesAndDirectories) {
    const struct {
        const char *name;
        const char *layout;
        const char *run; // before sysmgr-show's arguments ("$@") in the shell
        const char *args;
        int status;
        const char *err;
    } rows[] = {
        {"programs in the capture",
         "mkdir -p vorn/bin vornboot/bin .sim-bin && for f in vorn/bin/flash_size "
         "vornboot/bin/imghdr .sim-bin/rm .sim-bin/cat .sim-bin/sudo; do printf '#!/bin/sh\\n: "
         ">%s/canary\\n' \"$D\" >$f; chmod 755 $f; done",
         "", "version", 0, ""},
        {"a directory linked outside", "ln -s \"$D/outside\" var", "", "version", 0, ""},
        {"links climbing out", "ln -s ../../../../../../../../../../\"$D/outside/tmp\" tmp", "",
         "version", 0, ""},
        {"a link inside", "mkdir var && ln -s ../proc var/r2", "", "--trace version", 0,
         "/proc/meminfo = opened"},
        {"a dangling link", "ln -s /proc/version proc/cmdline", "", "--trace version", 0,
         "/proc/cmdline = No such file or directory"},
        {"a looping link", "ln -s /proc/cmdline proc/cmdline", "", "--trace version", 0,
         "/proc/cmdline = Too many levels of symbolic links"},
        {"a sparse gigabyte", "truncate -s 1G sparse", "", "--max-copy 1 redundancy", 0, ""},
        {"more data than allowed", "head -c 1100000 /dev/urandom >data", "",
         "--max-copy 1 redundancy", 2, "cannot copy it: more than 1 MiB of data to copy"},
        {"too deep", "mkdir -p $(printf 'd/%.0s' $(seq 65))", "", "redundancy", 2,
         "cannot copy it: more than 64 directories deep at /d/d/"},
        {"a read-only directory", "mkdir -p ro/sub && : >ro/sub/f && chmod 555 ro/sub ro",
         // Even root must respect the modes, as an ordinary user would.
         "[ \"$(id -u)\" != 0 ] || set -- setpriv --bounding-set=-dac_override,-dac_read_search "
         "\"$@\"; ",
         "redundancy", 0, ""},
        {"a temporary directory others can write", "", "chmod 777 \"$D/tmp\"; ", "redundancy", 2,
         "tmp ($TMPDIR): others can write it and it is not sticky"},
        {"a full temporary directory", "head -c 100000 /dev/urandom >data",
         "trap '' XFSZ; ulimit -f 20; ", "redundancy", 2, "cannot copy it: /data: File too large"},
        {"too few descriptors", "", "ulimit -n 20; ", "redundancy", 2,
         "the limit of open files (20) is below the 256 a run needs"},
    };
    const testsupport::ScratchDir scratch;
    const fs::path dir = scratch.dir;
    ASSERT_FALSE(dir.empty());
    fs::create_directories(dir / "outside" / "tmp");
    std::ofstream(dir / "outside" / "secret") << "keep\n";
    const std::string outside = snapshot(dir / "outside");
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        // A fresh capture laid out, then the replay, from one shell.
        std::vector<std::string> argv = {
            "sh", "-c",
            "cd \"$D\"; chmod -R u+rwx cap 2>/dev/null; rm -rf cap tmp; mkdir -p tmp cap/proc && "
            "(cd cap && printf 'MemTotal: 1 kB\\n' >proc/meminfo && printf '59.99 1.0\\n' "
            ">proc/uptime; " +
                std::string(row.layout) + "); " + row.run + "exec \"$@\" --root \"$D/cap\" " +
                row.args,
            "sh"};
        for (const std::string &word : testsupport::show_command())
            argv.push_back(word);
        const testsupport::RunResult run = testsupport::run_program(
            argv, {"D=" + dir.string(), "TMPDIR=" + (dir / "tmp").string()});
        EXPECT_EQ(run.status, row.status) << run.err;
        EXPECT_NE(run.err.find(row.err), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(dir / "canary")) << "a capture's program ran";
        EXPECT_EQ(snapshot(dir / "outside"), outside);
        EXPECT_TRUE(fs::is_empty(dir / "tmp")) << "temporary root left";
    }
}

} // namespace
