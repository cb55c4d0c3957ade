// The platform's texts and records at every length, terminated or not,
// through the simulator: host-name reply, chassis, module, processor and
// serial texts, the BIOS record, the last reset record, the plug-in table
// and the release versions. The input is read field by field (a length,
// then that many bytes; a flag byte for each switch) into a scenario; a
// fixed-size field's text exactly as long as the field fills it with no
// terminator. Then command 107 and the alternate report run over it. The
// utilities are in-process stand-ins (fuzz_support.h). Run it with
// -close_fd_mask=3.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_support.h"
#include "platform/cli.h"
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

    /* A JSON string of up to max characters, each below 0x80 (NUL included). */
    std::string text(std::size_t max) {
        const std::size_t len = (byte() | byte() << 8) % (max + 1);
        std::string json = "\"";
        for (std::size_t i = 0; i < len; ++i) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte() & 0x7f);
            json += escaped;
        }
        return json + "\"";
    }

  private:
    const uint8_t *data_;
    std::size_t size_;
};

/* Texts returned by pointer have no field; this bounds them. */
constexpr std::size_t kUnbounded = 400;

std::string member(const char *name, const std::string &value) {
    return std::string("\"") + name + "\":" + value;
}

std::string number(uint32_t v) {
    return std::to_string(static_cast<int32_t>(v));
}

std::string boolean(bool b) {
    return b ? "true" : "false";
}

std::string release(Reader &in) {
    const std::string version = in.flag() ? "null" : in.text(kUnbounded);
    const std::string interim = in.flag() ? "null" : in.text(kUnbounded);
    return "{" + member("version", version) + "," + member("interim_version", interim) + "}";
}

std::string scenario(Reader &in) {
    std::string s = "{";
    s += member("backend", "{" + member("xml_agent", boolean(in.flag())) + "}");
    s += "," + member("hostname", "{" + member("result", number(in.byte() % 3 == 0 ? 1 : 0)) + "," +
                                      member("null_response", boolean(in.flag())) + "," +
                                      member("terminated", boolean(in.flag())) + "," +
                                      member("name", in.text(kUnbounded)) + "}");
    s += "," + member("chassis", "{" + member("dorrel", boolean(in.flag())) + "," +
                                     member("bellwick", boolean(in.flag())) + "," +
                                     member("name", in.text(kUnbounded)) + "," +
                                     member("dorrel_name", in.text(kUnbounded)) + "," +
                                     member("module", in.text(kUnbounded)) + "," +
                                     member("processor", in.text(128)) + "," +
                                     member("serial_result", number(in.byte() % 4 == 0 ? 1 : 0)) +
                                     "," + member("serial", in.text(64)) + "}");
    s += "," + member("bios", "{" + member("result", number(in.byte() % 4 == 0 ? 1 : 0)) + "," +
                                  member("flash", in.text(128)) + "," +
                                  member("running", in.text(128)) + "}");
    std::string entries;
    for (int i = 0; i < 4; ++i) {
        entries += std::string(i ? "," : "") + "{" + member("reason", number(in.byte())) + "," +
                   member("service", in.text(32)) + "," + member("system_version", in.text(64)) +
                   "," + member("time", std::to_string(in.word())) + "," +
                   member("usecs", std::to_string(in.word())) + "}";
    }
    s += "," + member("last_reset", "{" + member("result", in.flag() ? "-1" : "0") + "," +
                                        member("next_index", std::to_string(in.word())) + "," +
                                        member("entries", "[" + entries + "]") + "}");
    std::string names;
    const uint32_t name_count = in.byte() % 33;
    for (uint32_t i = 0; i < name_count; ++i)
        names += std::string(i ? "," : "") + in.text(256);
    s += "," + member("plugins", "{" + member("result", in.flag() ? "1" : "0") + "," +
                                     member("count", number(in.word())) + "," +
                                     member("names", "[" + names + "]") + "}");
    s += "," +
         member("release_files", "{" + member("/etc/srg-ks.sro", release(in)) + "," +
                                     member("/vorn/etc/srg.sro", release(in)) + "," +
                                     member("/mnt/bootloader/srg-sloader.sro", release(in)) + "}");
    return s + "}";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Reader in(data, size);
    const std::string json = scenario(in);
    char err[512];
    if (sim_load_scenario(json.c_str(), "fuzz", err, sizeof err) != 0) {
        // Every input must make a valid scenario: a rejection is a fault of
        // this target or of the scenario reader.
        std::fprintf(stderr, "%s\n", err);
        __builtin_trap();
    }
    const std::string &root = fuzz::fresh_root();
    if (sim_write_files(root.c_str(), err, sizeof err) < 0)
        __builtin_trap();
    auto &tools = fuzz::utilities();
    tools.flash_size = "bootflash 1806352 kB\n";
    tools.imghdr = "1\n";

    cli_context_t context;
    sim_fill_context(&context);
    sim_set_command(107);
    sysmgr_cli_generic_show_func(&context);
    fuzz::check_nothing_left();
    sim_clear_records();
    sysmgr_show_version_internal2(context.mts_q, cmd_paraminfo_to_rxhandle(&context));
    fuzz::check_nothing_left();
    sim_clear_records();
    return 0;
}
