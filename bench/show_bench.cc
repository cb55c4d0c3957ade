// Cost of one show command inside the CLI process, over the simulated
// platform. The simulator's own recording is part of what is measured, so
// the figures are an upper bound on the library's share.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "platform/cli.h"
#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrsim/sim.h"

namespace {

// Writes the default scenario's files under a temporary root once.
class Root {
  public:
    Root() {
        char tmpl[] = "/tmp/sysmgrcli-bench-XXXXXX";
        if (mkdtemp(tmpl) == nullptr) {
            std::perror("mkdtemp");
            std::exit(2);
        }
        dir_ = tmpl;
        char err[256];
        if (sim_write_files(dir_.c_str(), err, sizeof err) < 0) {
            std::fprintf(stderr, "%s\n", err);
            std::exit(2);
        }
        setenv("SYSMGRCLI_ROOT", dir_.c_str(), 1);
    }
    ~Root() {
        std::string cmd = "rm -rf '" + dir_ + "'";
        if (std::system(cmd.c_str()) != 0)
            std::fprintf(stderr, "could not remove %s\n", dir_.c_str());
    }

  private:
    std::string dir_;
};

void run_command(benchmark::State &state, int32_t command) {
    sim_reset();
    Root root;
    char patch[64];
    std::snprintf(patch, sizeof patch, "{\"backend\":{\"command\":%d}}", command);
    char err[256];
    if (sim_load_scenario(patch, "bench", err, sizeof err) != 0) {
        state.SkipWithError(err);
        return;
    }
    cli_context_t context;
    sim_fill_context(&context);
    for (auto _ : state) {
        sim_clear_records();
        benchmark::DoNotOptimize(sysmgr_cli_generic_show_func(&context));
    }
}

void BM_Command1(benchmark::State &state) { run_command(state, 1); }
void BM_Command107(benchmark::State &state) { run_command(state, 107); }

} // namespace

BENCHMARK(BM_Command1);
BENCHMARK(BM_Command107);
BENCHMARK_MAIN();
