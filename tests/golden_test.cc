// Whole reports as the host program prints them, compared byte for byte with
// the transcripts in tests/golden/. UPDATE_GOLDEN=1 rewrites the transcripts.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <ostream>

#include "support/show_runner.h"

namespace {

struct GoldenCase {
    const char *scenario; // scenarios/<name>.json; "default": none given
    int exit_status;      // 0 when output was delivered, 1 when none
};

// Names the case in test logs instead of dumping its bytes.
void PrintTo(const GoldenCase &c, std::ostream *os) {
    *os << c.scenario;
}

const GoldenCase kCases[] = {
    {"default", 0},           {"active-ha-standby", 0}, {"active-alone", 0}, {"warm-standby", 0},
    {"standby-no-answer", 0}, {"single-sup-card", 0},   {"sysmgr-down", 1},
};

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
    const std::string d = testsupport::run_program({"diff", "-u", expected_path, path}).out;
    std::remove(path);
    return d;
}

class Golden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(Golden, RedundancyOutputMatchesTheTranscript) {
    const GoldenCase &c = GetParam();
    const std::string source = SYSMGRCLI_SOURCE_DIR;
    const std::string name = c.scenario;
    std::vector<std::string> args;
    if (name != "default")
        args = {"--scenario", source + "/scenarios/" + name + ".json"};
    args.push_back("redundancy");
    const testsupport::RunResult run = testsupport::run_show(args);
    const std::string &actual = run.out;
    const std::string golden = source + "/tests/golden/" + name + ".redundancy.txt";

    const char *update = std::getenv("UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
        std::ofstream(golden, std::ios::binary) << actual;
        GTEST_SKIP() << "rewrote " << golden;
    }
    EXPECT_EQ(run.status, c.exit_status);
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
