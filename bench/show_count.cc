// SPDX-License-Identifier: MIT
// Runs one show command a given number of times in process, for counting
// its instructions under callgrind:
//
//   valgrind --tool=callgrind --toggle-collect=sysmgr_cli_generic_show_func
//            show_count version 100
//
// counts only what the calls themselves execute (child processes are not
// followed). --instant answers the utilities in process (bench_support.h).
// With --write-root DIR it only prepares DIR, an empty directory, as the
// default scenario's file system, for runs of the whole programs.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_support.h"
#include "platform/cli.h"
#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrsim/sim.h"

namespace {

int usage() {
    std::fputs("usage: show_count [--instant] redundancy|version|version-alt CALLS\n"
               "       show_count --write-root DIR\n",
               stderr);
    return 2;
}

int write_root(const char *dir) {
    char err[256];
    if (sim_write_files(dir, err, sizeof err) < 0) {
        std::fprintf(stderr, "show_count: %s\n", err);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write-root") == 0)
        return write_root(argv[2]);
    const bool instant = argc > 1 && std::strcmp(argv[1], "--instant") == 0;
    if (argc != (instant ? 4 : 3))
        return usage();
    const std::string command = argv[instant ? 2 : 1];
    const long calls = std::strtol(argv[instant ? 3 : 2], nullptr, 10);
    const bool alternate = command == "version-alt";
    if ((command != "redundancy" && command != "version" && !alternate) || calls <= 0)
        return usage();

    sim_reset();
    sim_set_command(command == "redundancy" ? 1 : 107);
    bench::SimRoot root;
    if (!bench::set_instant_utilities(instant, root.path())) {
        std::fputs("show_count: cannot read the simulated utilities\n", stderr);
        return 1;
    }
    cli_context_t context;
    sim_fill_context(&context);
    void *rx = cmd_paraminfo_to_rxhandle(&context);
    for (long i = 0; i < calls; ++i) {
        sim_clear_records();
        if (alternate)
            sysmgr_show_version_internal2(context.mts_q, rx);
        else
            sysmgr_cli_generic_show_func(&context);
    }
    bench::set_instant_utilities(false, {});
    return sim_output_delivered() || alternate ? 0 : 1;
}
