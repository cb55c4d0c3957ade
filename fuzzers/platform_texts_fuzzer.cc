// SPDX-License-Identifier: MIT
// The platform's texts and records at every length, terminated or not,
// through the simulator: host-name reply, chassis, module, processor and
// serial texts, the BIOS record, the last reset record, the plug-in table
// and the release versions. The input is read field by field (a length,
// then that many bytes; a flag byte for each switch) into the simulator's
// scenario, set directly rather than through its JSON reader, whose cost
// would dwarf the report's; a fixed-size field's text exactly as long as the
// field fills it with no terminator. The first byte chooses command 107 or
// the alternate report, which then runs over it. The scenario's files never
// change, so they are written once. The utilities are in-process stand-ins
// (fuzz_support.h). Run it with -close_fd_mask=3.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "platform/cli.h"
#include "sim_internal.h"
#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrsim/sim.h"

namespace {

/* Reads the input front to back; past its end every read is 0. */
class Reader {
  public:
    Reader(const uint8_t *data, std::size_t size) : data_(data), size_(size) {}
    uint32_t byte() {
        if (size_ == 0)
            return 0;
        --size_;
        return *data_++;
    }
    uint32_t word() { return byte() | byte() << 8 | byte() << 16 | byte() << 24; }
    bool flag() { return (byte() & 1) != 0; }

    /* A text of up to max bytes, any byte NUL included. */
    std::string text(std::size_t max) {
        const std::size_t len = (byte() | byte() << 8) % (max + 1);
        std::string text;
        for (std::size_t i = 0; i < len; ++i)
            text += static_cast<char>(byte());
        return text;
    }

  private:
    const uint8_t *data_;
    std::size_t size_;
};

/* Texts returned by pointer have no field; this bounds them. */
constexpr std::size_t kUnbounded = 400;

void read_release(Reader &in, sysmgrsim::detail::ReleaseFile &release) {
    release.version.reset();
    release.interim_version.reset();
    if (!in.flag())
        release.version = in.text(kUnbounded);
    if (!in.flag())
        release.interim_version = in.text(kUnbounded);
}

/* The default scenario with the input's texts and records in it. */
void read_scenario(Reader &in, sysmgrsim::detail::Scenario &s) {
    s.backend.xml_agent = in.flag();
    s.hostname.result = in.byte() % 3 == 0 ? 1 : 0;
    s.hostname.null_response = in.flag();
    s.hostname.terminated = in.flag();
    s.hostname.name = in.text(kUnbounded);
    s.chassis.dorrel = in.flag();
    s.chassis.bellwick = in.flag();
    s.chassis.name = in.text(kUnbounded);
    s.chassis.dorrel_name = in.text(kUnbounded);
    s.chassis.module = in.text(kUnbounded);
    s.chassis.processor = in.text(128);
    s.chassis.serial_result = in.byte() % 4 == 0 ? 1 : 0;
    s.chassis.serial = in.text(64);
    s.bios.result = in.byte() % 4 == 0 ? 1 : 0;
    s.bios.flash = in.text(128);
    s.bios.running = in.text(128);
    for (auto &entry : s.last_reset.entries) {
        entry.reason = in.byte();
        entry.service = in.text(32);
        entry.system_version = in.text(64);
        entry.time = in.word();
        entry.usecs = in.word();
    }
    s.last_reset.result = in.flag() ? -1 : 0;
    s.last_reset.next_index = in.word();
    s.plugins.names.resize(in.byte() % 33);
    for (auto &name : s.plugins.names)
        name = in.text(256);
    s.plugins.result = in.flag() ? 1 : 0;
    s.plugins.count = static_cast<int32_t>(in.word());
    for (const char *path :
         {"/etc/srg-ks.sro", "/vorn/etc/srg.sro", "/mnt/bootloader/srg-sloader.sro"})
        read_release(in, s.release_files[path]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool written = [] {
        sim_reset();
        char err[256];
        return sim_write_files(fuzz::fresh_root().c_str(), err, sizeof err) >= 0;
    }();
    if (!written)
        __builtin_trap();
    Reader in(data, size);
    const bool alternate = in.flag();
    auto &scenario = sysmgrsim::detail::state().scenario;
    scenario = sysmgrsim::detail::default_scenario();
    read_scenario(in, scenario);
    fuzz::remove_written();
    auto &tools = fuzz::utilities();
    tools.flash_size = "bootflash 1806352 kB\n";
    tools.imghdr = "1\n";

    cli_context_t context;
    sim_fill_context(&context);
    if (alternate) {
        sysmgr_show_version_internal2(context.mts_q, cmd_paraminfo_to_rxhandle(&context));
    } else {
        sim_set_command(107);
        sysmgr_cli_generic_show_func(&context);
    }
    fuzz::check_nothing_left();
    sim_clear_records();
    return 0;
}
