// Runs both show commands and the alternate version report against whatever
// a scenario makes the platform answer: redundancy responses of any length
// and content, transport failures, payloads, timer values, the version
// reports' records, texts, files and utilities. Inputs are
// scenario texts; the seed corpus is scenarios/*.json. Run it with
// -close_fd_mask=3: the library's messages would drown the fuzzer's.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "platform/cli.h"
#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrsim/sim.h"

namespace {

// The library's root, removed with everything in it when the fuzzer exits.
struct Root {
    std::string path;
    Root() {
        char tmpl[] = "/tmp/sysmgrcli-fuzz-XXXXXX";
        if (mkdtemp(tmpl) == nullptr)
            std::abort();
        setenv("SYSMGRCLI_ROOT", tmpl, 1);
        path = tmpl;
    }
    ~Root() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

// The root for one input: emptied, then given the scenario's files.
const char *fresh_root() {
    static const Root root;
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator(root.path, ec))
        std::filesystem::remove_all(entry.path(), ec);
    return root.path.c_str();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string text(reinterpret_cast<const char *>(data), size);
    char err[256];
    if (sim_load_scenario(text.c_str(), "fuzz", err, sizeof err) != 0)
        return 0;
    if (sim_write_files(fresh_root(), err, sizeof err) < 0)
        return 0;
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
        if (sim_queues_bound() != 0 || sim_messages_outstanding() != 0 || sim_images_open() != 0 ||
            sim_image_close_errors() != 0)
            std::abort(); // a queue, a message or an image handle left behind or closed twice
    }
    return 0;
}
