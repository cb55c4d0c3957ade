/*
 * SPDX-License-Identifier: MIT
 * Test support: runs a program (sysmgr-show, or a tool such as diff) as a
 * child process and collects its exit status and both output streams.
 */
#ifndef TESTS_SUPPORT_SHOW_RUNNER_H
#define TESTS_SUPPORT_SHOW_RUNNER_H

#include <string>
#include <vector>

namespace testsupport {

struct RunResult {
    int status = -1; /* exit status; -1 when it could not start or did not exit */
    std::string out;
    std::string err;
};

/*
 * Runs argv[0], found on PATH, with the arguments and standard input from
 * the file input. env holds "NAME=value" entries that take the place of the
 * test's own variables of those names; the rest are passed on.
 */
RunResult run_program(const std::vector<std::string> &argv,
                      const std::vector<std::string> &env = {},
                      const std::string &input = "/dev/null");

/* The command that starts sysmgr-show: the program, behind the emulator in a cross build. */
std::vector<std::string> show_command();

/* A file's whole contents; empty when it cannot be read. */
std::string read_file(const std::string &path);

/* Every name, type, mode and (of a regular file, not through a link) content under dir, a line
 * each. */
std::string snapshot(const std::string &dir);

/*
 * A directory of its own under /tmp (dir; empty when none could be made),
 * removed with all it holds, read-only directories too, when it goes.
 */
struct ScratchDir {
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;
    std::string dir;
};

/* Runs sysmgr-show with the arguments, TZ=UTC and LC_ALL=C unless env sets them. */
RunResult run_show(const std::vector<std::string> &args, const std::vector<std::string> &env = {},
                   const std::string &input = "/dev/null");

/* The golden file's bytes, or, under UPDATE_GOLDEN=1, the file rewritten with actual. */
std::string golden_or_update(const std::string &golden, const std::string &actual);

} // namespace testsupport

#endif
