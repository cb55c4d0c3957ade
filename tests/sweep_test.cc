// SPDX-License-Identifier: MIT
// Every C library call the library makes, failing one at a time: the two
// commands, the alternate report and the exported sources on three
// scenarios are counted clean, then run again once for each call k of each
// kind with call k failing, as docs/failures.md says it fails (of the byte
// reads, the first 8 and every 64th), and once with every call of a kind the
// library retries interrupted once. Each run has
// a fresh root and must leave nothing behind; its output is the clean run's
// but for the texts the table lists, and an interrupted call the library
// retries changes nothing. Linked with the library's objects, to reach the
// call table that the shared library keeps to itself.
#include <fcntl.h>
#include <fnmatch.h>
#include <signal.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "host_io.h"
#include "os.h"
#include "root_path.h"
#include "support/show_runner.h"
#include "support/sim_fixture.h"
#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrsim/sim.h"

namespace {

using sysmgrcli::sys;

enum Kind {
    OPEN,
    FSTAT,
    FCNTL,
    FDOPEN,
    GETC,
    WRITE,
    FSYNC,
    FLOCK,
    UNLINK,
    STAT,
    POPEN,
    PCLOSE,
    SYSTEM,
    CALLOC,
    KINDS
};
constexpr const char *kKindNames[KINDS] = {"open",  "fstat",  "fcntl",  "fdopen", "getc",
                                           "write", "fsync",  "flock",  "unlink", "stat",
                                           "popen", "pclose", "system", "calloc"};

/* One row of the failure table. */
struct Failure {
    int error = 0;
    bool retried = false; // an EINTR is retried and changes nothing
    int goes_on = 1;      // a report still ends with its last line: 1, 0 never, -1 not always
    std::vector<std::string> shows; // patterns of the lines a failure may add, output or messages
};

/* The table of docs/failures.md: | `call` | errno | retried | shows | goes on |. */
std::map<std::string, Failure> read_table() {
    std::ifstream in(SYSMGRCLI_SOURCE_DIR "/docs/failures.md");
    const std::map<std::string, int> errors = {{"EIO", EIO},       {"ENOSPC", ENOSPC},
                                               {"EMFILE", EMFILE}, {"ENOMEM", ENOMEM},
                                               {"EACCES", EACCES}, {"ECHILD", ECHILD}};
    const std::regex row(R"(^\| `(\w+)` \| (\w+) \| (yes|no) \| (.*) \| ([^|]+) \|$)");
    const std::regex quoted("`([^`]+)`");
    std::map<std::string, Failure> table;
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (!std::regex_match(line, m, row) || errors.count(m[2]) == 0)
            continue;
        Failure &f = table[m[1]];
        f.error = errors.at(m[2]);
        f.retried = m[3] == "yes";
        f.goes_on = m[5] == "yes" ? 1 : m[5] == "no" ? 0 : -1;
        const std::string shows = m[4];
        for (std::sregex_iterator q(shows.begin(), shows.end(), quoted), end; q != end; ++q) {
            std::string text; // only * is special
            for (const char c : std::string((*q)[1]))
                text += std::string(std::strchr("[?\\", c) != nullptr ? "\\" : "") + c;
            f.shows.push_back(text);
        }
    }
    return table;
}

/* What the fakes count and which call fails. */
struct Plan {
    int count[KINDS] = {};
    Kind kind = KINDS;
    int at = 0; // the 1-based call of kind that fails
    int error = 0;
} plan;
sysmgrcli::SystemCalls real;

/* True when this call is the one to fail: errno is then set. */
bool fails(Kind k) {
    ++plan.count[k];
    if (plan.kind != k)
        return false;
    // EINTR: every other call of the kind, so each call is interrupted once.
    if (plan.error == EINTR ? plan.count[k] % 2 == 0 : plan.count[k] != plan.at)
        return false;
    errno = plan.error;
    return true;
}

int fake_getc(std::FILE *stream) {
    if (!fails(GETC))
        return real.getc(stream);
    stream->_flags |= _IO_ERR_SEEN; // as a failed read leaves the stream
    return EOF;
}
template <Kind K, auto Real, auto Failed>
auto fake() {
    return [](auto... args) { return fails(K) ? Failed : (real.*Real)(args...); };
}

void install_fakes() {
    real = sys;
    sys.open = fake<OPEN, &sysmgrcli::SystemCalls::open, -1>();
    sys.fcntl = fake<FCNTL, &sysmgrcli::SystemCalls::fcntl, -1>();
    sys.getc = fake_getc;
    sys.fstat = fake<FSTAT, &sysmgrcli::SystemCalls::fstat, -1>();
    sys.fdopen = fake<FDOPEN, &sysmgrcli::SystemCalls::fdopen, nullptr>();
    sys.write = fake<WRITE, &sysmgrcli::SystemCalls::write, ssize_t{-1}>();
    sys.fsync = fake<FSYNC, &sysmgrcli::SystemCalls::fsync, -1>();
    sys.flock = fake<FLOCK, &sysmgrcli::SystemCalls::flock, -1>();
    sys.unlink = fake<UNLINK, &sysmgrcli::SystemCalls::unlink, -1>();
    sys.stat = fake<STAT, &sysmgrcli::SystemCalls::stat, -1>();
    sys.popen = fake<POPEN, &sysmgrcli::SystemCalls::popen, nullptr>();
    // A failing pclose still closes the stream: only the wait fails.
    sys.pclose = [](std::FILE *pipe) {
        const int rc = real.pclose(pipe);
        return fails(PCLOSE) ? -1 : rc;
    };
    sys.system = fake<SYSTEM, &sysmgrcli::SystemCalls::system, -1>();
    sys.calloc = fake<CALLOC, &sysmgrcli::SystemCalls::calloc, nullptr>();
}

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

/* The lines of b that a longest common subsequence with a leaves over. */
std::vector<std::string> added_lines(const std::string &a, const std::string &b) {
    const std::vector<std::string> x = lines_of(a), y = lines_of(b);
    std::vector<std::vector<int>> l(x.size() + 1, std::vector<int>(y.size() + 1));
    for (std::size_t i = x.size(); i-- > 0;)
        for (std::size_t j = y.size(); j-- > 0;)
            l[i][j] = x[i] == y[j] ? l[i + 1][j + 1] + 1 : std::max(l[i + 1][j], l[i][j + 1]);
    std::vector<std::string> added;
    for (std::size_t i = 0, j = 0; j < y.size();) {
        if (i < x.size() && x[i] == y[j])
            ++i, ++j;
        else if (i < x.size() && l[i + 1][j] >= l[i][j + 1])
            ++i;
        else
            added.push_back(y[j++]);
    }
    return added;
}

/* The scenario, a patch over the default: one test each, so that ctest runs them side by side. */
class Sweep : public testsupport::SimTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(Sweep, EachFailingCallShowsWhatTheTableSaysAndLeavesNothingBehind) {
    const std::map<std::string, Failure> table = read_table();
    for (const char *name : kKindNames)
        ASSERT_EQ(table.count(name), 1u) << "docs/failures.md has no row for " << name;
    struct Operation {
        const char *name;
        int32_t command; // 0: not a command
        bool report;
        std::function<std::string()> run;
    };
    auto text = [](const char *s) { return std::string(s != nullptr ? s : "(null)"); };
    const Operation operations[] = {
        {"command 1", 1, true, {}},
        {"command 107", 107, true, {}},
        {"alternate report", 0, true,
         [this] {
             sysmgr_show_version_internal2(context_.mts_q, rx());
             return testsupport::printed();
         }},
        {"sysmgr_get_loader_ver", 0, false,
         [] {
             char buf[64] = "";
             return std::to_string(sysmgr_get_loader_ver(buf, sizeof buf)) + buf;
         }},
        {"sysmgr_get_loader_ver_information", 0, false,
         [&] {
             char buf[64] = "";
             return text(sysmgr_get_loader_ver_information(buf, sizeof buf));
         }},
        {"get_sw_ver_string", 0, false,
         [&] { return text(get_sw_ver_string("/vorn/etc/srg.sro", "/var/run/curr-vorn.hdr")); }},
        {"read_flash_size_file_item", 0, false,
         [] { return std::to_string(read_flash_size_file_item("/proc/meminfo", 1)); }},
        {"read_file_str", 0, false, [&] { return text(read_file_str("/proc/cmdline")); }},
    };
    install_fakes();
    // One run on a fresh root: the output, then what was written to the streams.
    auto run = [&](const Operation &op, const std::string &scenario, Kind kind, int at, int error) {
        nlohmann::json patch = nlohmann::json::parse(scenario);
        if (op.command != 0)
            patch["backend"]["command"] = op.command;
        root_changed();
        load(patch);
        const Baseline before = baseline();
        plan = Plan{.kind = kind, .at = at, .error = error};
        std::string out;
        const testsupport::Captured cap = testsupport::capture([&] {
            if (op.command != 0)
                sysmgr_cli_generic_show_func(&context_);
            out = op.command != 0 ? testsupport::printed() : op.run();
        });
        plan.kind = KINDS;
        expect_nothing_left(before);
        return std::make_pair(out, cap.out + cap.err);
    };

    int sites = 0, runs = 0;
    const std::string &scenario = GetParam();
    for (const Operation &op : operations) {
        const auto clean = run(op, scenario, KINDS, 0, 0);
        Plan counted = plan;
        for (int k = 0; k < KINDS; ++k) {
            const Failure &f = table.at(kKindNames[k]);
            sites += counted.count[k];
            if (f.retried && counted.count[k] > 0) {
                SCOPED_TRACE(std::string(op.name) + ", " + kKindNames[k] +
                             " interrupted once each call, scenario " + scenario);
                ++runs;
                EXPECT_EQ(run(op, scenario, Kind(k), 0, EINTR), clean);
            }
            for (int at = 1; at <= counted.count[k]; ++at) {
                // A byte read fails alike wherever it falls within a text: past the
                // first bytes, every 64th is enough.
                if (k == GETC && at > 8 && at % 64 != 0 && at != counted.count[k])
                    continue;
                SCOPED_TRACE(std::string(op.name) + ", " + kKindNames[k] + " call " +
                             std::to_string(at) + ", scenario " + scenario);
                ++runs;
                const auto failed = run(op, scenario, Kind(k), at, f.error);
                if (op.report && f.goes_on >= 0) { // ends as the clean one when it goes on
                    const std::string last =
                        clean.first.substr(clean.first.rfind('\n', clean.first.size() - 2) + 1);
                    EXPECT_EQ(failed.first.ends_with(last), f.goes_on == 1) << failed.first;
                }
                for (const std::string &added : added_lines(clean.first + "\n" + clean.second,
                                                            failed.first + "\n" + failed.second)) {
                    const std::size_t from = added.find_first_not_of(' ');
                    const std::string line =
                        from == std::string::npos
                            ? ""
                            : added.substr(from, added.find_last_not_of(' ') + 1 - from);
                    bool listed = line.empty();
                    for (const std::string &shown : f.shows)
                        listed = listed || fnmatch(shown.c_str(), line.c_str(), 0) == 0;
                    EXPECT_TRUE(listed) << "not in the table: \"" << added << "\"";
                }
            }
        }
    }
    sys = real;
    std::printf("swept %d calls in %d runs\n", sites, runs);
}

// Calls of the OS layer at bounds the library's own callers never reach: no
// room at all, a refused root, a command that fills its buffer, a word read
// up to a NUL, and a SIGPIPE the host already had pending.
TEST(OsLayer, CallsAtTheirBounds) {
    using namespace sysmgrcli;
    char out[16];
    auto text = [&](bool ok) { return std::to_string(ok) + out; };
    auto command = [&](std::size_t size, const char *format, const char *path) {
        return text(build_command(out, size, "test", format, {path}));
    };
    auto word_to_nul = [&] {
        char data[] = "12\0003";
        const File f(fmemopen(data, 4, "r"));
        return text(TextReader(f.get()).word(out, sizeof out, "0123"));
    };
    auto sigpipe_kept = [] {
        sigset_t pipe, pending;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        raise(SIGPIPE);
        say(stderr, "%s", "");
        sigpending(&pending);
        int signal = sigismember(&pending, SIGPIPE);
        const std::string kept = std::to_string(signal);
        sigwait(&pipe, &signal);
        pthread_sigmask(SIG_UNBLOCK, &pipe, nullptr);
        return kept;
    };
    const struct {
        const char *root;
        std::function<std::string()> call;
        std::string gives;
    } rows[] = {
        {"", [&] { return text(TextReader(nullptr).line(out, 0)); }, "0#"},
        {"", [&] { return text(TextReader(nullptr).word(out, 0)); }, "0#"},
        {"", [&] { return text(read_first_line("/proc/self/stat", out, 0)); }, "0#"},
        {"", [&] { return command(0, "abc", ""); }, "0#"},
        {"", word_to_nul, "112"},
        {"", [&] { return command(16, "abcdefghijklmnopq", ""); }, "0"},
        {"", [&] { return command(16, "%d%s %s", "/Az_"); }, "1%d/Az_ %s"},
        {"", [&] { return command(16, "%s", std::string(RootedPath::kMax, 'p').c_str()); }, "0"},
        {"rel", [&] { return command(16, "%s", "/x"); }, "0"},
        {"rel", [&] { return text(unlink_rooted("/x") == -1 && errno == EINVAL); }, "1#"},
        {"rel", [&] { return text(create_output_file("/x")); }, "0#"},
        {"rel", [&] { return text(DirectoryTurn("/tmp").held()); }, "0#"},
        {"", sigpipe_kept, "1"},
    };
    for (const auto &row : rows) { // the last row's empty root is none
        setenv("SYSMGRCLI_ROOT", row.root, 1);
        std::strcpy(out, "#");
        EXPECT_EQ(row.call(), row.gives) << "row " << &row - rows;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, Sweep,
    ::testing::Values("{}",
                      testsupport::read_file(SYSMGRCLI_SOURCE_DIR
                                             "/scenarios/version-uri-images.json"),
                      R"({"files": {"/proc/cmdline": "quiet\n"}, "tools": {"imghdr": "2\n"}})"));

} // namespace
