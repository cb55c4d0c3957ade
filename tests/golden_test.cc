// Whole reports as the host program prints them, compared byte for byte with
// the transcripts in tests/golden/. UPDATE_GOLDEN=1 rewrites the transcripts.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

#include <gtest/gtest.h>

namespace {

struct GoldenCase {
    const char *scenario; // scenarios/<name>.json; "default": none given
    int exit_status;      // 0 when output was delivered, 1 when none
};

const GoldenCase kCases[] = {
    {"default", 0},           {"active-ha-standby", 0}, {"active-alone", 0}, {"warm-standby", 0},
    {"standby-no-answer", 0}, {"single-sup-card", 0},   {"sysmgr-down", 1},
};

std::string quoted(const std::string &s) {
    std::string q = "'";
    for (const char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

/* Runs a shell command; its standard output and exit status. */
std::string run(const std::string &command, int *status) {
    std::string out;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        *status = -1;
        return out;
    }
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        out.append(buf, n);
    const int raw = pclose(pipe);
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

/* A unified diff of expected against actual, for the failure message. */
std::string diff(const std::string &expected_path, const std::string &actual) {
    char path[] = "/tmp/sysmgrcli-golden-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0)
        return "(no diff: cannot create a temporary file)";
    FILE *f = fdopen(fd, "w");
    std::fwrite(actual.data(), 1, actual.size(), f);
    std::fclose(f);
    int status = 0;
    std::string d = run("diff -u " + quoted(expected_path) + " " + quoted(path), &status);
    std::remove(path);
    return d;
}

class Golden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(Golden, RedundancyOutputMatchesTheTranscript) {
    const GoldenCase &c = GetParam();
    const std::string source = SYSMGRCLI_SOURCE_DIR;
    const std::string name = c.scenario;
    std::string command = "TZ=UTC LC_ALL=C " + quoted(SYSMGR_SHOW_PATH);
    if (name != "default")
        command += " --scenario " + quoted(source + "/scenarios/" + name + ".json");
    command += " redundancy 2>/dev/null";
    int status = -1;
    const std::string actual = run(command, &status);
    const std::string golden = source + "/tests/golden/" + name + ".redundancy.txt";

    const char *update = std::getenv("UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
        std::ofstream(golden, std::ios::binary) << actual;
        GTEST_SKIP() << "rewrote " << golden;
    }
    EXPECT_EQ(status, c.exit_status);
    const std::string expected = read_file(golden);
    EXPECT_TRUE(actual == expected) << diff(golden, actual);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Golden, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<GoldenCase> &info) {
                             std::string n = info.param.scenario;
                             for (char &ch : n) {
                                 if (ch == '-')
                                     ch = '_';
                             }
                             return n;
                         });

} // namespace
