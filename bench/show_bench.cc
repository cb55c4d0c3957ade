// SPDX-License-Identifier: MIT
// Cost of the show commands, the version sources and the enumeration
// lookups inside the CLI process, over the simulated platform. The
// simulator's own recording is part of what is measured, so the figures are
// an upper bound on the library's share.
//
// The version reports are measured twice: with the simulated utilities run
// through the shell as the library runs them ("shell"), and with in-process
// stand-ins that answer at once ("instant"), which leaves the library's own
// work. The loader cache exists after the first call, so the mount is not
// part of any iteration but the first.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "bench_support.h"
#include "children.h"
#include "platform/cli.h"
#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrcli/sysmgrcli_enums.h"
#include "sysmgrsim/sim.h"

namespace {

/* One scenario and root for a benchmark; utilities chosen by its argument. */
class Setup {
  public:
    Setup(benchmark::State &state, int32_t command, bool instant) {
        sim_reset();
        sim_set_command(command);
        root_.emplace();
        if (!bench::set_instant_utilities(instant, root_->path()))
            state.SkipWithError("cannot read the simulated utilities");
        sim_fill_context(&context_);
        rx_ = cmd_paraminfo_to_rxhandle(&context_);
    }
    ~Setup() { bench::set_instant_utilities(false, {}); }

    cli_context_t *context() { return &context_; }
    void *rx() const { return rx_; }
    std::string rooted(const char *path) const { return root_->path() + path; }

  private:
    std::optional<bench::SimRoot> root_;
    cli_context_t context_{};
    void *rx_ = nullptr;
};

/*
 * One command per iteration, its recordings cleared first. Argument 0 of a
 * version benchmark chooses the utilities: 0 the shell, 1 instant.
 */
template <typename Call>
void run_command(benchmark::State &state, int32_t command, bool instant, Call call) {
    Setup setup(state, command, instant);
    if (command != 1)
        state.SetLabel(instant ? "instant" : "shell");
    for (auto _ : state) {
        sim_clear_records();
        benchmark::DoNotOptimize(call(setup));
    }
}

void BM_Command1(benchmark::State &state) {
    run_command(state, 1, false,
                [](Setup &s) { return sysmgr_cli_generic_show_func(s.context()); });
}

void BM_Command107(benchmark::State &state) {
    run_command(state, 107, state.range(0) != 0,
                [](Setup &s) { return sysmgr_cli_generic_show_func(s.context()); });
}

void BM_VersionAlt(benchmark::State &state) {
    run_command(state, 107, state.range(0) != 0,
                [](Setup &s) { return sysmgr_show_version_internal2(s.context()->mts_q, s.rx()); });
}

/*
 * Only the child processes that command 107 runs, from this process as the
 * library runs them: command 107 with the shell over this is the ratio of
 * the command to its mandated children.
 */
void BM_MandatedChildren(benchmark::State &state) {
    Setup setup(state, 107, false);
    const std::string root = setup.rooted("");
    for (auto _ : state)
        run_mandated_children(root.c_str());
}

/* ---- Sources of the version report ------------------------------------ */

void BM_LoaderVer(benchmark::State &state) {
    Setup setup(state, 107, false);
    char buf[128];
    for (auto _ : state)
        benchmark::DoNotOptimize(sysmgr_get_loader_ver(buf, sizeof buf));
}

void BM_LoaderVerInformation(benchmark::State &state) {
    Setup setup(state, 107, true);
    char buf[80];
    sysmgr_get_loader_ver_information(buf, sizeof buf); // fills the cache
    for (auto _ : state)
        benchmark::DoNotOptimize(sysmgr_get_loader_ver_information(buf, sizeof buf));
}

void BM_SwVerString(benchmark::State &state) {
    Setup setup(state, 107, state.range(0) != 0);
    state.SetLabel(state.range(0) != 0 ? "instant" : "shell");
    for (auto _ : state)
        benchmark::DoNotOptimize(get_sw_ver_string("/vorn/etc/srg.sro", "/var/run/curr-vorn.hdr"));
}

void BM_ReadFlashSizeFileItem(benchmark::State &state) {
    Setup setup(state, 107, false);
    std::error_code ec;
    std::filesystem::copy_file(setup.rooted("/vorn/bin/flash_size.out"),
                               setup.rooted("/tmp/bench_flash_size"), ec);
    if (ec)
        state.SkipWithError("cannot write the listing");
    for (auto _ : state)
        benchmark::DoNotOptimize(read_flash_size_file_item("/tmp/bench_flash_size", 1));
}

void BM_ReadFileStr(benchmark::State &state) {
    Setup setup(state, 107, false);
    for (auto _ : state)
        benchmark::DoNotOptimize(read_file_str("/proc/cmdline"));
}

void BM_ImageTimestamp(benchmark::State &state) {
    Setup setup(state, 107, false);
    for (auto _ : state) {
        sim_clear_records();
        get_image_timestamp("/var/run/curr-vorn.hdr", setup.rx(), 0x305c0026);
    }
}

void BM_DispTime(benchmark::State &state) {
    Setup setup(state, 107, false);
    for (auto _ : state) {
        sim_clear_records();
        disp_time(25120507, 3, setup.rx(), 0x305c0025);
    }
}

void BM_PrintShowVersionString(benchmark::State &state) {
    Setup setup(state, 107, false);
    for (auto _ : state) {
        sim_clear_records();
        print_show_version_string("version 9.2(1)", setup.rx());
    }
}

void BM_ExtractDateAndVersion(benchmark::State &state) {
    for (auto _ : state) {
        char version[32] = {};
        char date[32] = {};
        extract_date_and_version("BIOS v3.6.0(12/05/2025)", version, date);
        benchmark::DoNotOptimize(version);
        benchmark::DoNotOptimize(date);
    }
}

void BM_ExistsDevSlot0(benchmark::State &state) {
    Setup setup(state, 107, false);
    for (auto _ : state)
        benchmark::DoNotOptimize(exists_dev_slot0());
}

void BM_ChangeDisplay(benchmark::State &state) {
    char out[128];
    for (auto _ : state) {
        change_display(out, "/bootflash/images/system.bin");
        benchmark::DoNotOptimize(out);
    }
}

/* ---- Enumeration lookups, the largest table's first and last rows ----- */

void BM_EnumFind(benchmark::State &state) {
    const auto value = static_cast<int32_t>(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(__srv_state_t_find(value));
}

void BM_EnumStr2enum(benchmark::State &state) {
    const char *name = state.range(0) == 0 ? "SRV_STATE_NOT_STARTED" : "srv_state_num_states";
    for (auto _ : state)
        benchmark::DoNotOptimize(__srv_state_t_str2enum(name));
}

} // namespace

BENCHMARK(BM_Command1);
BENCHMARK(BM_Command107)->Arg(0)->Arg(1);
BENCHMARK(BM_VersionAlt)->Arg(0)->Arg(1);
BENCHMARK(BM_MandatedChildren);
BENCHMARK(BM_LoaderVer);
BENCHMARK(BM_LoaderVerInformation);
BENCHMARK(BM_SwVerString)->Arg(0)->Arg(1);
BENCHMARK(BM_ReadFlashSizeFileItem);
BENCHMARK(BM_ReadFileStr);
BENCHMARK(BM_ImageTimestamp);
BENCHMARK(BM_DispTime);
BENCHMARK(BM_PrintShowVersionString);
BENCHMARK(BM_ExtractDateAndVersion);
BENCHMARK(BM_ExistsDevSlot0);
BENCHMARK(BM_ChangeDisplay);
BENCHMARK(BM_EnumFind)->Arg(0)->Arg(136)->Arg(1000);
BENCHMARK(BM_EnumStr2enum)->Arg(0)->Arg(1);
BENCHMARK_MAIN();
