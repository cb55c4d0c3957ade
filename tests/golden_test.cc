// SPDX-License-Identifier: MIT
// Whole reports as the host program prints them, compared byte for byte with
// the transcripts in tests/golden/. UPDATE_GOLDEN=1 rewrites the transcripts.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/show_runner.h"

namespace {

struct GoldenCase {
    const char *scenario; // scenarios/<name>.json; "default": none given
    const char *command;  // "redundancy", or "version" for both version reports
    int exit_status;      // 0 when output was delivered, 1 when none, 3 when it ended early
};

const GoldenCase kCases[] = {
    {"default", "redundancy", 0},
    {"active-alone", "redundancy", 0},
    {"warm-standby", "redundancy", 0},
    {"standby-no-answer", "redundancy", 0},
    {"single-sup-card", "redundancy", 0},
    {"sysmgr-down", "redundancy", 1},
    {"bind-fails", "redundancy", 1},
    {"default", "version", 0},
    {"version-netboot", "version", 0},
    {"version-uri-images", "version", 0},
    {"version-bios-mismatch", "version", 0},
    {"version-no-meminfo", "version", 3},
    {"version-no-queue", "version", 0},
    {"version-last-reset", "version", 0},
    {"version-bellwick", "version", 0},
    {"version-dorrel", "version", 0},
};

/*
 * One subcommand in the three formats, each against its transcript
 * tests/golden/<scenario>.<subcommand>.<txt|xml|json> (.ci/documents checks
 * the documents against the schemas).
 */
void check_formats(const std::string &scenario, const char *command, int status) {
    const std::string source = SYSMGRCLI_SOURCE_DIR;
    for (const std::string format : {"text", "xml", "json"}) {
        SCOPED_TRACE(command + (" " + format));
        std::vector<std::string> args = {"--format", format, command};
        if (scenario != "default") // the embedded default: no --scenario
            args.insert(args.begin(), {"--scenario", source + "/scenarios/" + scenario + ".json"});
        const testsupport::RunResult run = testsupport::run_show(args);
        EXPECT_EQ(run.status, status) << run.err;
        // Also when nothing was sent (status 1): an empty text, a document that says so.
        const std::string golden = source + "/tests/golden/" + scenario + "." + command + "." +
                                   (format == "text" ? "txt" : format);
        EXPECT_EQ(run.out, testsupport::golden_or_update(golden, run.out))
            << golden; // a failure shows a diff
    }
}

class Golden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(Golden, OutputsMatchTheTranscripts) {
    const GoldenCase &c = GetParam();
    if (std::string(c.command) == "redundancy")
        check_formats(c.scenario, "redundancy", c.exit_status);
    else
        for (const char *command : {"version", "version-alt"})
            check_formats(c.scenario, command, c.exit_status);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Golden, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<GoldenCase> &info) {
                             std::string name =
                                 std::string(info.param.scenario) + "_" + info.param.command;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

} // namespace
