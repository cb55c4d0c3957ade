// SPDX-License-Identifier: MIT
// The fault matrix: the platform calls, files and utilities that command 1,
// command 107 and the alternate report use, failing one way at a time (the
// sweep fails each C library call the library makes on its own). For
// each: what is sent and how often, the messages on the standard streams,
// what the output must and must not hold, and that nothing is left behind —
// descriptors, bound queues, undropped messages, image handles, child
// processes, and files under the root other than the loader cache and the
// logs of the utilities and the sudo stand-in. The utilities run through the
// real shell. Heap leaks are left to the sanitizer build of this test.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/mts.h"
#include "support/sim_fixture.h"
#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrsim/sim.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testsupport::Captured;

/* The alternate report, which a back end reaches through its own export and sends itself. */
constexpr int32_t kAlternate = -1;

/* Something done to the root's files after the scenario wrote them. */
using Prepare = std::function<void(const std::string &root)>;

Prepare fifo_at(const char *path) {
    return [path](const std::string &root) {
        fs::remove_all(root + path);
        fs::create_directories(fs::path(root + path).parent_path());
        ASSERT_EQ(mkfifo((root + path).c_str(), 0600), 0) << path;
    };
}
Prepare dir_at(const char *path) {
    return [path](const std::string &root) {
        fs::remove_all(root + path);
        fs::create_directories(root + path);
    };
}
Prepare link_at(const char *path, const char *target) {
    return [path, target](const std::string &root) {
        fs::remove_all(root + path);
        fs::create_symlink(target, root + path);
    };
}

using testsupport::kListing;

class FaultMatrix : public testsupport::SimTest {
  protected:
    /* text with the root's path written as <root>: the shell's messages name it. */
    std::string without_root(std::string text) const {
        for (std::size_t at; (at = text.find(root_)) != std::string::npos;)
            text.replace(at, root_.size(), "<root>");
        return text;
    }
};

TEST_F(FaultMatrix, EachFaultSendsOnceOrNeverAndLeavesNothingBehind) {
    const std::string cmd1 = "sysmgr_cli_show_redundancy_status: ";
    struct Case {
        const char *name;
        int32_t command;
        json patch;
        Prepare prepare;
        int sends;           // cmd_prt_send calls
        std::string out;     // standard output, exactly
        std::string err;     // standard error, exactly
        std::string has;     // the rendered output holds this
        std::string lacks{}; // and not this
    };
    auto local = [](json f) { return json{{"supervisors", {{"local", std::move(f)}}}}; };
    // A back end without a queue of its own, off the supervisor, whose binds fail.
    const json no_queue = {{"context", {{"mts_q", -1}, {"on_sup", 0}}},
                           {"mts", {{"bind_errno", 12}}}};
    const std::string bind_failed = "get_mts_q_handle :: Bind Failed - Cannot allocate memory\n";
    // clang-format off
    const Case cases[] = {
        // Command 1: the local request decides whether anything is sent.
        {"cmd1 null receive handle", 1, {{"backend", {{"rx_null", true}}}}, {}, 0,
         "receive handler NULL \n", "", ""},
        {"local error identifier", 1, local({{"result", "0x40aa0012"}}), {}, 0, "",
         cmd1 + "CMI returned a failure: " + syserr2str(0x40aa0012) + " (error-id 0x40AA0012).\n",
         ""},
        {"short local response", 1, local({{"length", 31}}), {}, 0, "",
         cmd1 + "short redundancy status response (31 bytes, expected 32).\n", ""},
        {"local success without a response", 1, local({{"null_response", true}}), {}, 0, "",
         cmd1 + "short redundancy status response (0 bytes, expected 32).\n", ""},
        {"local nonzero status", 1, local({{"status", "0x401e0003"}}), {}, 1, "",
         cmd1 + "the master System Manager returned a failure (" + syserr2str(0x401e0003) + ").\n",
         "System uptime:", "Redundancy"},
        {"longer local response", 1, local({{"length", 40}, {"internal_state", 34}}), {}, 1, "",
         "", "Internal state:\tN/A\n"},
        {"short remote response", 1, {{"supervisors", {{"peer", {{"length", 16}}}}}}, {}, 1, "",
         cmd1 + "short redundancy status response (16 bytes, expected 32).\n",
         "Error in getting supervisor and internal state of other supervisor.\n"},
        {"card information fails", 1, {{"card", {{"result", 1}}}}, {}, 1, "", "",
         "Other supervisor (sup-2)"},
        {"cmd1 delivery fails", 1, {{"backend", {{"send_result", 3}}}}, {}, 1,
         cmd1 + "cmd_prt_send() returned 3 on line 948\n", "", "System uptime:"},

        // Command 107: every failure turns into a text and the output is sent once.
        {"cmd107 delivery fails", 107, {{"backend", {{"send_result", -1}}}}, {}, 1,
         "sysmgr_cli_show_version: cmd_prt_send() returned -1 on line 1387\n", "", "plugin"},
        {"cmd107 no queue of its own", 107, no_queue, {}, 1, "", bind_failed,
         "Hardware\n  Device name: ", "Processor Board ID"},
        {"host name reply null", 107, {{"hostname", {{"null_response", true}}}}, {}, 1, "", "",
         "Device name: Invalid hostname\n"},
        {"no slot0 scheme", 107, {{"uri", {{"schemes", json::array({"bootflash"})}}}}, {}, 1, "", "",
         "bootflash:    1806352 kB\n\n", "slot0:"},
        {"serial fails", 107, {{"chassis", {{"serial_result", 1}}}}, {}, 1, "", "",
         "  Error in getting Processor Board ID\n  Device name"},
        {"BIOS record fails", 107, {{"bios", {{"result", 1}}}}, {}, 1, "", "",
         "BIOS:      version N/A\n"},
        {"no system release", 107, {{"release_files", {{"/vorn/etc/srg.sro", nullptr}}}}, {}, 1,
         "", "", "system:    version [not available]"},
        {"image header fails with a handle", 107,
         {{"images", {{"/var/run/curr-ks.hdr", {{"error", "0x801E0005"}, {"handle_on_error", true}}}}}},
         {}, 1, "", "", " [could not extract timestamp: Input/output error]"},
        {"slot0 not examined", 107, {{"slot0_fs", {{"result", 1}}}}, {}, 1, "", "",
         "slot0:              0 kB"},
        {"image header tool absent", 107, {{"tools", {{"imghdr", nullptr}}}}, {}, 1, "",
         "sh: 1: <root>/vornboot/bin/imghdr: not found\n"
         "sh: 1: <root>/vornboot/bin/imghdr: not found\n",
         "system:    version 4.2(1) [build 4.2(1.118)]\n"},
        {"last reset fails", 107, {{"last_reset", {{"result", -1}}}}, {}, 1, "", "", "plugin",
         "Last reset at"},
        {"plug-ins fail", 107, {{"plugins", {{"result", 1}, {"count", 0}}}}, {}, 1, "", "",
         "Kernel uptime is", "plugin"},
        {"no temporary directory", 107, {}, [](const std::string &root) { fs::remove_all(root + "/tmp"); },
         1, "", "", "bootflash:          0 kB"},
        {"leftover listing", 107, {{"tools", {{"flash_size", nullptr}}}},
         [](const std::string &root) { std::ofstream(root + kListing) << "bootflash 999 kB\n"; }, 1, "", "", "bootflash:          0 kB"},

        // The alternate report sends nothing itself.
        {"alternate: boot images a named pipe", kAlternate, {}, fifo_at("/var/log/local_boot_images"),
         0, "File open for /var/log/local_boot_images failed.\n", "", "kickstart image file is: \n"},
    };
    // clang-format on
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        json patch = c.patch.is_null() ? json::object() : c.patch;
        if (c.command != kAlternate)
            patch["backend"]["command"] = c.command;
        load(patch);
        ASSERT_FALSE(HasFatalFailure());
        if (c.prepare) {
            c.prepare(root_);
            root_changed();
        }
        const Baseline before = baseline();
        const Captured cap = testsupport::capture([&] {
            if (c.command != kAlternate)
                sysmgr_cli_generic_show_func(&context_);
            else
                sysmgr_show_version_internal2(context_.mts_q, rx());
        });
        EXPECT_EQ(cap.out, c.out);
        EXPECT_EQ(without_root(cap.err), c.err);
        EXPECT_EQ(sim_send_count(), c.sends);
        const std::string out = testsupport::printed();
        EXPECT_NE(out.find(c.has), std::string::npos) << out;
        if (!c.lacks.empty()) {
            EXPECT_EQ(out.find(c.lacks), std::string::npos) << out;
        }
        expect_nothing_left(before);
    }
}

/* Runs body under a condition of the host process, which is undone afterwards. */
using Around = std::function<void(const std::function<void()> &body)>;

Around with_signal(int sig, void (*handler)(int), itimerval timer = {}) {
    return [=](const std::function<void()> &body) {
        struct sigaction act = {}, old;
        act.sa_handler = handler; // no SA_RESTART
        sigaction(sig, &act, &old);
        const itimerval off = {};
        setitimer(ITIMER_REAL, &timer, nullptr);
        body();
        setitimer(ITIMER_REAL, &off, nullptr);
        sigaction(sig, &old, nullptr);
    };
}
Around with_umask(mode_t mask) {
    return [=](const std::function<void()> &body) {
        const mode_t old = umask(mask);
        body();
        umask(old);
    };
}
/* Descriptors 0 to 2 closed, or stdout a pipe whose reader is gone, with SIGPIPE at default. */
Around with_standard_fds(bool broken_stdout) {
    return [=](const std::function<void()> &body) {
        int saved[3], pipe_fds[2] = {-1, -1};
        for (int fd = 0; fd < 3; ++fd)
            saved[fd] = fcntl(fd, F_DUPFD_CLOEXEC, 10);
        if (broken_stdout && pipe(pipe_fds) == 0)
            dup2(pipe_fds[1], 1);
        for (int fd : {pipe_fds[0], pipe_fds[1], 0, 1, 2})
            if (!broken_stdout || fd > 2)
                close(fd);
        with_signal(SIGPIPE, SIG_DFL)(body);
        for (int fd = 0; fd < 3; ++fd)
            dup2(saved[fd], fd), close(saved[fd]);
        std::clearerr(stdout);
    };
}
void ignore_signal(int) {}

/*
 * The library in a real CLI process: a host that ignores SIGCHLD, has its
 * standard descriptors closed or its output a broken pipe, takes signals
 * without SA_RESTART, runs with an odd umask, has someone else's links and
 * directories planted at the fixed paths, passes a relative root, or serves
 * both commands on several threads at once, from a filled cache. Every row's
 * output is the clean host's, or differs only as documented, and leaves
 * nothing behind.
 */
struct HostileRow {
    const char *name;
    Around around{};    // the host's condition; none: a clean host
    Prepare prepare{};  // planted after the clean run; the cache is gone unless threads > 0
    json patch = {};    // over the default scenario and the image kind 2
    int threads = 0;    // >0: each thread its own versions, both commands 20 times
    std::string from{}; // the documented difference: command 107's clean output
    std::string to{};   //   with from replaced by to
    std::string err{};  // the standard error, exactly
    std::string has{};  // when set: command 107's output holds this, and nothing is compared
};
void PrintTo(const HostileRow &row, std::ostream *os) {
    *os << row.name;
}

class HostileHost : public FaultMatrix, public ::testing::WithParamInterface<HostileRow> {};

TEST_P(HostileHost, OutputIsTheCleanHostsOrItsDocumentedDifference) {
    const HostileRow &row = GetParam();
    const int runs = std::max(row.threads, 1), calls = row.threads > 0 ? 20 : 1;
    auto scenario = [&](int t) { // " [gdb]" comes through a pipe; each thread its versions
        json p = row.patch;
        p["tools"]["imghdr"] = "2\n";
        for (const char *release : {"/etc/srg-ks.sro", "/vorn/etc/srg.sro"})
            if (row.threads > 0)
                p["release_files"][release]["version"] = "T" + std::to_string(t);
        return p;
    };
    auto both_commands = [](cli_context_t &context) {
        std::string out;
        for (int32_t command : {107, 1}) {
            sim_set_command(command);
            sim_clear_records();
            sysmgr_cli_generic_show_func(&context);
            out += testsupport::printed() + std::string("\f");
        }
        return out;
    };
    std::vector<std::string> clean(runs), first_difference(runs);
    for (int t = 0; t < runs; ++t) {
        load(scenario(t));
        ASSERT_FALSE(HasFatalFailure());
        testsupport::capture([&] { clean[t] = both_commands(context_); });
        if (!row.from.empty())
            clean[t].replace(clean[t].find(row.from), row.from.size(), row.to);
    }
    if (row.threads == 0)
        fs::remove(root_ + "/var/tmp/bootloader_ver");
    if (row.prepare) {
        row.prepare(root_);
        root_changed();
    }
    const Baseline before = baseline();

    std::atomic<int> wrong_version{0}, differences{0};
    auto serve = [&](int t) {
        sim_load_scenario(scenario(t).dump().c_str(), "thread", nullptr, 0);
        cli_context_t context;
        sim_fill_context(&context);
        for (int i = 0; i < calls; ++i) {
            const std::string out = both_commands(context);
            if (out.find("kickstart: version T" + std::to_string(t) + " [") == std::string::npos)
                ++wrong_version;
            const bool same = row.has.empty() ? out == clean[t] : out.find(row.has) != out.npos;
            if (!same && differences++ == 0)
                first_difference[t] = out;
        }
    };
    const Captured cap = testsupport::capture([&] {
        auto body = [&] {
            std::vector<std::thread> threads;
            for (int t = 0; t < runs; ++t)
                threads.emplace_back(serve, t);
            for (std::thread &thread : threads)
                thread.join();
        };
        row.around ? row.around(body) : body();
    });
    if (row.threads > 0) {
        EXPECT_EQ(wrong_version, 0) << "of " << runs * calls << " reports";
    }
    EXPECT_EQ(differences, 0) << testing::PrintToString(first_difference);
    EXPECT_EQ(cap.err, row.err);
    expect_nothing_left(before);
}

const std::string kLoader = "loader:    version 3.6(0)\n";
const std::string kNoLoaderStore = "loader:    version unavailable [last: 3.6(0)]\n";
const std::string kRootRefused = "SYSMGRCLI_ROOT is not an absolute path\n";

// clang-format off
const HostileRow kHostileRows[] = {
    {"sigchld_ignored", with_signal(SIGCHLD, SIG_IGN), {}, {}, 0, kLoader, kNoLoaderStore},
    {"fds_0_to_2_closed", with_standard_fds(false)},
    {"stdout_a_broken_pipe", with_standard_fds(true), {}, {{"context", {{"debug", 1}}}}},
    {"signal_storm", with_signal(SIGALRM, ignore_signal, {{0, 50}, {0, 50}})},
    {"umask_077", with_umask(077)},
    {"link_at_the_cache", {}, link_at("/var/tmp/bootloader_ver", "../dangling"), {}, 0, kLoader,
     kNoLoaderStore},
    {"directory_at_the_cache", {}, dir_at("/var/tmp/bootloader_ver"), {}, 0, kLoader,
     kNoLoaderStore},
    {"link_at_the_listing", {}, link_at(kListing, "../var/dangling")},
    {"directory_at_the_listing", {}, dir_at(kListing), {}, 0, "bootflash:    1806352 kB\n",
     "bootflash:          0 kB\n"},
    // "A=" would make the shell run a program called Debug, which leaves a file.
    {"relative_root", [](const std::function<void()> &body) {
         const std::string root = getenv("SYSMGRCLI_ROOT");
         setenv("SYSMGRCLI_ROOT", "A=", 1);
         body();
         setenv("SYSMGRCLI_ROOT", root.c_str(), 1); },
     [](const std::string &root) {
         std::ofstream(root + "/" SIM_SUDO_DIR "/Debug") << "#!/bin/sh\ntouch \"$0.ran\"\n";
         fs::permissions(root + "/" SIM_SUDO_DIR "/Debug", fs::perms::owner_all); },
     {}, 0, "", "",
     kRootRefused + kRootRefused, "Hardware\nerror: failed to read /proc/meminfo\n"},
    {"four_threads", {}, {}, {}, 4},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, HostileHost, ::testing::ValuesIn(kHostileRows),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
