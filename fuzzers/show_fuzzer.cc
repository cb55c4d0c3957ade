// SPDX-License-Identifier: MIT
// Runs both show commands and the alternate version report against whatever
// a scenario makes the platform answer: redundancy responses of any length
// and content, transport failures, payloads, timer values, the version
// reports' records, texts, files and utilities. Inputs are
// scenario texts; the seed corpus is scenarios/*.json. The utilities are
// the in-process stand-ins (fuzz_support.h), printing what the scenario's
// "tools" give. Run it with -close_fd_mask=3: the library's messages would
// drown the fuzzer's.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/cli.h"
#include "sim_internal.h"
#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrsim/sim.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    char err[256];
    if (sim_load_scenario(text.c_str(), "fuzz", err, sizeof err) != 0)
        return 0;
    if (sim_write_files(fuzz::fresh_root().c_str(), err, sizeof err) < 0)
        return 0;
    // The stand-ins print one text on every run: a tool's first.
    const auto first = [](const std::optional<std::vector<std::string>> &texts) {
        return texts ? std::optional<std::string>(texts->front()) : std::nullopt;
    };
    const auto &tools = sysmgrsim::detail::state().scenario.tools;
    fuzz::utilities() = {first(tools.flash_size), first(tools.imghdr)};
    cli_context_t context;
    sim_fill_context(&context);
    // Commands 1 and 107 through the entry point; 0 stands for the alternate
    // report, which a back end reaches through its own export and sends itself.
    for (int32_t command : {1, 107, 0}) {
        sim_clear_records();
        if (command != 0) {
            sim_set_command(command);
            sysmgr_cli_generic_show_func(&context);
        } else {
            void *rx = cmd_paraminfo_to_rxhandle(&context);
            sysmgr_show_version_internal2(context.mts_q, rx);
            cmd_prt_send(rx);
        }
        fuzz::check_nothing_left();
    }
    return 0;
}
