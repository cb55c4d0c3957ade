// SPDX-License-Identifier: MIT
// The version report and the alternate version report: the rules of their
// lines, the texts that stand in for missing sources, how the two reports
// differ, their closing kernel uptime and last reset lines, their banners
// and their hooks.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/cli.h"
#include "support/sim_fixture.h"
#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrcli/tags.h"
#include "sysmgrsim/sim.h"
#include "sysmgrsim/sim.hpp"

namespace {

using nlohmann::json;
using sysmgrsim::calls_named;

struct Report {
    std::string text; // plain-text rendering
    testsupport::Captured streams;
};

class Version : public testsupport::SimTest {
  protected:
    /* Runs one report on the default scenario patched. */
    Report report(bool alternate, const json &patch) {
        load(patch);
        const Baseline before = baseline();
        Report run;
        run.streams = testsupport::capture([&] {
            if (alternate)
                sysmgr_show_version_internal2(context_.mts_q, rx());
            else
                sysmgr_show_version_internal_generic_pd(&context_, rx(), 1);
        });
        run.text = testsupport::printed();
        expect_nothing_left(before); // whatever the report printed
        return run;
    }
    Report generic(const json &patch = json::object()) { return report(false, patch); }
    /*
     * The version report's closing lines on a scenario with no plug-ins, so
     * that everything after the flash sizes is the kernel uptime and last reset.
     */
    std::string tail(json patch) {
        patch.update({{"plugins", {{"count", 0}, {"names", json::array()}}}});
        const std::string out = generic(patch).text, flash_end = "(expansion flash)\n\n";
        const std::size_t at = out.find(flash_end);
        return at == std::string::npos ? "(no flash lines)\n" + out
                                       : out.substr(at + flash_end.size());
    }
    Report alternate(const json &patch = json::object()) { return report(true, patch); }
};

struct LineCase {
    const char *name;
    json patch;
    std::vector<std::string> present;
    std::vector<std::string> absent = {};
};

json file(const char *path, const json &content) {
    return {{"files", {{path, content}}}};
}
json release(const char *path, const json &fields) {
    return {{"release_files", {{path, fields}}}};
}
const char *const kBootImages = "/var/log/local_boot_images";
const char *const kLoaderStore = "/mnt/bootloader/srg-sloader.sro";
const char *const kSyncedKickstart = "/var/sysmgr/ftp/img-sync/curr-ks.img";
const char *const kSyncedSystem = "/var/sysmgr/ftp/img-sync/curr-vorn.img";

TEST_F(Version, LineRulesAndMissingSources) {
    const std::string x200(200, 'x');
    json names = json::array();
    for (int i = 0; i < 32; ++i)
        names.push_back("p" + std::to_string(i));
    const LineCase cases[] = {
        {"BIOS texts without marks",
         {{"bios", {{"flash", "BIOS 3.6.0"}, {"running", "BIOS 3.6.0"}}}},
         {"  BIOS:      version \n", "  BIOS compile time:       \n"}},
        {"BIOS record unavailable, traced",
         {{"bios", {{"result", -1}}}, {"context", {{"debug", 1}}}},
         {"  BIOS:      version N/A\n"}},
        {"flash BIOS text filling its field",
         {{"bios", {{"flash", std::string(110, 'B') + "v3.6.0(05/09/2025)"}}}},
         {"  BIOS compile time:       05/09/2025 [last: 05/09/2025]\n"}},
        {"loader store differs",
         release(kLoaderStore, {{"interim_version", "3.5(0)"}}),
         {"  loader:    version 3.5(0) [last: 3.6(0)]\n"}},
        {"no booted loader version either",
         {{"release_files", {{kLoaderStore, {{"interim_version", nullptr}}}}},
          {"files", {{"/proc/cmdline", nullptr}}}},
         {"  loader:    version unavailable [last: not available\n]\n"}},
        {"capacity line names another device",
         file("/etc/rc.d/include/sup.include", "BOOTFLASH_PROC_CAPACITY=/proc/ide/hda/capacity\n"),
         {"  loader:    version N/A\n"}},
        {"version cut at 127",
         release("/etc/srg-ks.sro", {{"version", x200}, {"interim_version", x200}}),
         {"  kickstart: version " + x200.substr(0, 127) + "\n"}},
        {"synchronised images examined in place of the headers",
         {{"files", {{kSyncedKickstart, ""}, {kSyncedSystem, ""}}},
          {"images",
           {{kSyncedKickstart, {{"build_time", 172800}}},
            {kSyncedSystem, {{"build_time", 86400}}}}}},
         {"  kickstart: version 4.2(1) [build 4.2(1.118)]\n",
          "  kickstart compile time:  11/3/2025 16:00:00 [01/03/1970 00:00:00]\n",
          "  system compile time:     11/3/2025 16:00:00 [01/02/1970 00:00:00]\n"}},
        {"synchronised image cannot be examined",
         file("/var/sysmgr/ftp/img-sync", "a file, not a directory"),
         {"  kickstart: version  - error in extracing version\n",
          "  system:    version   system: error in extracting version\n\n"}},
        {"URI files instead of boot images",
         {{"files",
           {{kBootImages, nullptr},
            {"/var/log/current_ks.uri", "bootflash:///ks.bin\n"},
            {"/var/log/current_vorn.uri", "bootflash:///sys.bin\n"}}}},
         {"  kickstart image file is: bootflash:///ks.bin\n\n  kickstart compile time: ",
          "  system image file is:    bootflash:///sys.bin\n\n  system compile time: "}},
        {"empty kickstart entry",
         file(kBootImages, "kickstart: system:/bootflash/sys.bin\n"),
         {"BIOS compile time:       05/09/2025\n  system image file is:    bootflash:///sys.bin"},
         {"kickstart image file", "kickstart compile time"}},
        {"kickstart name over 79 characters",
         file(kBootImages, "kickstart:/bootflash/" + x200 + " system:/bootflash/sys.bin\n"),
         {"  system image file is:    bootflash:///sys.bin"}},
        {"kickstart name over 79 characters, then nothing",
         file(kBootImages, "kickstart:/bootflash/" + x200),
         {"  system image file is:    \n"}},
        {"no compile stamps or image headers",
         {{"release_files",
           {{"/etc/srg-ks.sro", {{"compile_stamp", 0}}},
            {"/vorn/etc/srg.sro", {{"compile_stamp", 0}}}}},
          {"files", {{"/var/run/curr-ks.hdr", nullptr}, {"/var/run/curr-vorn.hdr", nullptr}}}},
         {"vorn-kickstart.4.2.1.bin\n  system image file is:    "
          "bootflash:///vorn-system.4.2.1.bin\n\nHardware\n"}},
        {"no MemTotal line",
         file("/proc/meminfo", "MemFree: 1 kB\n"),
         {"  Dual-core 64-bit processor with 0  of memory.\n"}},
        {"MemTotal only after the first MiB",
         file("/proc/meminfo", std::string(1 << 21, '\n') + "MemTotal: 5 kB\n"),
         {"  Dual-core 64-bit processor with 0  of memory.\n"}},
        {"MemTotal without a number",
         file("/proc/meminfo", "MemTotal: kB\n"),
         {"  Dual-core 64-bit processor with 0  of memory.\n"}},
        {"MemTotal: with no blank before the number",
         file("/proc/meminfo", "MemTotal:16384 kB\n"),
         {"  Dual-core 64-bit processor with 16384 kB of memory.\n"}},
        {"MemTotal without a unit, blanks around",
         file("/proc/meminfo", "MemTotal: \t 7 \t\n"),
         {"  Dual-core 64-bit processor with 7  of memory.\n"}},
        {"MemTotal line one byte over its 127-byte buffer",
         file("/proc/meminfo", "MemTotal: 7 " + std::string(116, 'k') + "\n"),
         {"processor with 7 " + std::string(115, 'k') + " of memory.\n"}},
        {"empty serial", {{"chassis", {{"serial", ""}}}}, {" of memory.\n\n  Device name: "}},
        {"slot0 not served here",
         {{"uri", {{"local_servers", json::array()}}}},
         {"  slot0:              0 kB (expansion flash)\n"}},
        {"more plug-ins reported than rows",
         {{"plugins", {{"count", 40}, {"names", names}}}},
         {"\nplugin\n  p0, p1, ", ", p30, p31\n"}},
        {"fewer plug-ins reported than rows",
         {{"plugins", {{"count", 2}, {"names", {"a", "b", "c"}}}}},
         {"\nplugin\n  a, b\n"}},
        {"plug-ins without names skipped",
         {{"plugins", {{"count", 3}, {"names", {"", "B", ""}}}}},
         {"\nplugin\n  B\n"}},
        {"no named plug-in", {{"plugins", {{"count", 2}, {"names", {"", ""}}}}}, {}, {"plugin"}},
    };
    for (const LineCase &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = generic(c.patch).text;
        for (const std::string &s : c.present)
            EXPECT_NE(text.find(s), std::string::npos) << "no " << json(s) << " in\n" << text;
        for (const std::string &s : c.absent)
            EXPECT_EQ(text.find(s), std::string::npos) << json(s) << " in\n" << text;
    }

    // On a bellwick chassis the slot is asked for once, by the Hardware section.
    generic({{"chassis", {{"bellwick", true}}}});
    EXPECT_EQ(calls_named("card_get_slot_num").size(), 1u);
}

// Where the two reports differ beyond what the bellwick, BIOS-mismatch and
// default goldens show side by side.
TEST_F(Version, AlternateReportDifferences) {
    struct Case {
        const char *name;
        json patch;
        std::string version, alternate; // present in each report's text
    };
    const Case cases[] = {
        {"default-VDC queue cannot be bound",
         {{"mts", {{"default_vdc_bind_errno", 12}}}},
         "  Device name: switch\n",
         std::string("  Device name: Invalid hostname: ") + std::strerror(12) + "\n  bootflash: "},
        {"closing CMP lines",
         {{"cmp", {{"version_lines", {"CMP version 1"}}, {"hardware_lines", {"CMP hardware 1"}}}}},
         "CMP version 1",
         "CMP hardware 1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Report version = generic(c.patch);
        const Report alt = alternate(c.patch);
        EXPECT_NE(version.text.find(c.version), std::string::npos) << version.text;
        EXPECT_NE(alt.text.find(c.alternate), std::string::npos) << alt.text;
    }

    // The manufacturer, for the XML agent: the alternate report prints it itself (the
    // version report leaves it to its hook, below).
    alternate({{"backend", {{"xml_agent", true}}}});
    EXPECT_TRUE(std::ranges::any_of(testsupport::recorded_values(),
                                    [](const auto &p) { return p.tag == 0x302f003a; }));

    // Debug traces belong to the version report's context only.
    const json debug = {{"context", {{"debug", 1}}}};
    const std::string trace =
        "sysmgr_show_version_internal_generic_pd:Slot number from card_get_slot_num() is 5\n";
    EXPECT_EQ(generic(debug).streams.out,
              trace + trace +
                  "sysmgr_show_version_internal_generic_pd:bios version from "
                  "get_module_bios_version_ext() is BIOS v3.6.0(05/09/2025)\n");
    EXPECT_EQ(alternate(debug).streams.out, "");
}

// Answers a live platform can give beyond the default's reach the trace
// (the call's result) and, where the library shows them, the output.
TEST_F(Version, EveryPlatformAnswerCanBeGiven) {
    const json version = {{"command", 107}}, redundancy = {{"command", 1}};
    const json identifier_text = {{"0x40AA0012", "captured text"}};
    struct Case {
        json patch;
        const char *call; // whose first result shows the answer, if any
        std::string result, text;
    } cases[] = {
        {{{"backend", version}, {"tools", {{"imghdr", {"1\n", "2\n"}}}}},
         nullptr,
         "",
         "  kickstart: version 4.2(1) [build 4.2(1.118)]\n"
         "  system:    version 4.2(1) [build 4.2(1.118)] [gdb]\n"},
        {{{"backend", version},
          {"images", {{"/var/run/curr-ks.hdr", {{"error", "0x40AA0012"}}}}},
          {"error_texts", identifier_text}},
         "img_open",
         "null, error 0x40AA0012 (captured text)",
         " [could not extract timestamp: captured text]\n"},
        {{{"backend", version}, {"chassis", {{"name", nullptr}}}},
         "pdb_get_chassis_id_string",
         "null",
         "  velta  (\"Supervisor Module-3\")\n"},
        {{{"backend", version}, {"chassis", {{"slot_result", "0x40AA0012"}}}},
         "card_get_slot_num",
         "1084882962",
         ""},
        {{{"backend", version}, {"chassis", {{"processor_result", 5}}}},
         "pfm_get_processor_name",
         "5",
         "\n   with 8253588 kB of memory.\n"},
        {{{"backend", version}, {"hostname", {{"result", -1}, {"errno", 110}}}},
         "cmi_req_resp",
         "-1, errno 110 (" + std::string(std::strerror(110)) + ")",
         "  Device name: Invalid hostname\n"},
        {{{"backend", version},
          {"hostname", {{"name", std::string("switch\0junk", 11)}, {"terminated", false}}}},
         "cmi_req_resp",
         "0, response of 11 bytes",
         "  Device name: switch\n"},
        {{{"backend", redundancy}, {"slots", {{"result", 5}}}},
         "get_platform_info",
         "5",
         "This supervisor (sup-1)\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.patch.dump());
        show(c.patch);
        if (c.call != nullptr) {
            const auto calls = calls_named(c.call);
            ASSERT_FALSE(calls.empty());
            EXPECT_EQ(calls.front().result, c.result);
        }
        EXPECT_NE(testsupport::printed().find(c.text), std::string::npos) << testsupport::printed();
    }
}

/* ---- Kernel uptime and last reset ----------------------------------------- */

/* One ring entry, reason 9, no time; next_index 1 selects it. */
json entry(const std::string &version, uint32_t reason = 9, const std::string &service = "") {
    return {{"reason", reason},
            {"service", service},
            {"system_version", version},
            {"time", 0},
            {"usecs", 0}};
}
json history(const std::vector<json> &entries, uint32_t next_index = 1) {
    return {
        {"last_reset", {{"result", 0}, {"next_index", next_index}, {"entries", json(entries)}}}};
}

TEST_F(Version, ResetEntryReasonAndFieldBounds) {
    const std::vector<json> ring = {entry("e0"), entry("e1"), entry("e2"), entry("e3")};
    const std::string service32(32, 's');
    const std::string version64(64, 'v');
    struct Case {
        json patch;
        std::string expected; // a line of the last reset block
    };
    const Case cases[] = {
        {history(ring, 0), "  System version: e3\n"},
        {history(ring, 1), "  System version: e0\n"},
        {history(ring, 3), "  System version: e2\n"},
        {history(ring, 4), "  System version: e3\n"},
        {history(ring, 6), "  System version: e1\n"}, // beyond the ring: taken modulo 4
        {history(ring, 0xFFFFFFFF), "  System version: e2\n"},
        {history({entry("", 158)}), "  Reason: Reset due to soft reload attempt failure\n"},
        {history({entry("", 159)}), "  Reason: Not defined\n"},
        {history({entry("", 0xFFFFFFFF)}), "  Reason: Not defined\n"},
        {history({entry("", 103)}), "  Reason: Policy trigger initiated reset: \n"},
        // Fields that fill their record space without a terminator.
        {history({entry("", 0, service32)}), "  Service: " + service32 + "\n"},
        {history({entry(version64)}), "  System version: " + version64.substr(0, 63) + "\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.patch.dump());
        EXPECT_NE(tail(c.patch).find(c.expected), std::string::npos) << tail(c.patch);
    }
    // No kernel uptime: an empty line; a reset without a time: no "at".
    json patch = history({entry("", 0)});
    patch["files"] = {{"/proc/uptime", nullptr}};
    EXPECT_EQ(tail(patch), "\n\nLast reset \n  Reason: Unknown\n  System version: \n  Service: \n");
}

// Every reset-reason text, against the reviewed list in tests/golden/.
TEST_F(Version, EveryResetReasonCodeHasItsReviewedText) {
    std::ifstream in(SYSMGRCLI_SOURCE_DIR "/tests/golden/reset-reasons.json");
    const json reviewed = json::parse(in);
    const std::pair<const char *, std::vector<std::string>> tables[] = {
        {"rr_string", {std::begin(rr_string), std::end(rr_string)}},
        {"sup_device_rr_string",
         {std::begin(sup_device_rr_string), std::end(sup_device_rr_string)}},
    };
    for (const auto &[name, texts] : tables)
        EXPECT_EQ(texts, reviewed.at(name).get<std::vector<std::string>>()) << name;
}

// Every value a report prints is tagged from that report's own set of the tag
// table (the goldens' field names pin which tag within the set); a text's
// length takes in its NUL.
TEST_F(Version, EveryValueIsTaggedFromItsReportsOwnSet) {
    using sysmgrcli::tags::tag_dictionary;
    using Set = sysmgrcli::tags::Report;
    for (const Set set : {Set::redundancy, Set::version, Set::version2}) {
        if (set == Set::redundancy)
            show();
        else
            report(set == Set::version2, json::object());
        for (const sysmgrsim::Print &p : testsupport::recorded_values()) {
            SCOPED_TRACE(::testing::Message()
                         << std::hex << p.tag << " in report " << static_cast<int>(set));
            const auto row = std::find_if(std::begin(tag_dictionary), std::end(tag_dictionary),
                                          [&p](const auto &r) { return r.id == p.tag; });
            ASSERT_NE(row, std::end(tag_dictionary));
            EXPECT_EQ(row->report, set);
            if (row->kind == sysmgrcli::tags::TagKind::text) {
                EXPECT_GT(p.len, std::strlen(p.value.c_str()));
            }
        }
    }
}

/* ---- Hooks ---------------------------------------------------------------- */

struct HookCall {
    int32_t q;
    void *rx;
    uint32_t value;
    bool operator==(const HookCall &) const = default;
};
std::vector<HookCall> g_hook_calls;

/* Replaces a hook for one scope and puts the default back. */
template <typename Hook>
struct Replaced {
    Hook &hook;
    Hook saved;
    Replaced(Hook &h, std::type_identity_t<Hook> with) : hook(h), saved(h) { hook = with; }
    ~Replaced() { hook = saved; }
};

TEST_F(Version, HooksAreCalledWithTheCallersArguments) {
    g_hook_calls.clear();
    {
        Replaced firmware(sysmgrpd_firmware_show_version, [](int32_t q, void *rx) {
            g_hook_calls.push_back({q, rx, 0});
            return cmd_prt(rx, "  firmware:  version 9.9\n");
        });
        const Report version = generic();
        EXPECT_NE(version.text.find("  loader:    version 3.6(0)\n  firmware:  version 9.9\n"
                                    "  kickstart:"),
                  std::string::npos);
        alternate(); // never calls it
        EXPECT_EQ(g_hook_calls, (std::vector<HookCall>{{42, rx(), 0}}));
    }

    // The manufacturer hook is told the tag of the last flash size printed.
    g_hook_calls.clear();
    {
        Replaced manufacturer(sysmgrpd_show_hardware_manufacture_print,
                              [](uint32_t value, cmd_prt_arg_t *, void *rx) {
                                  g_hook_calls.push_back({0, rx, value});
                                  return 0;
                              });
        generic({{"backend", {{"xml_agent", true}}}});
        generic({{"backend", {{"xml_agent", true}}}, {"uri", {{"schemes", {"bootflash"}}}}});
        generic(); // not for plain output
        EXPECT_EQ(g_hook_calls,
                  (std::vector<HookCall>{{0, rx(), 0x155c002f}, {0, rx(), 0x115c002e}}));
    }

    g_hook_calls.clear();
    {
        Replaced hook(sysmgrpd_hardware_show_version, [](int32_t q, void *rx) {
            g_hook_calls.push_back({q, rx, 0});
            return 17;
        });
        load();
        int marker = 0;
        EXPECT_EQ(sysmgr_show_version_internal2(-7, &marker), 17);
        EXPECT_EQ(g_hook_calls, (std::vector<HookCall>{{-7, &marker, 0}}));
    }
}

// Platform code may clear a banner or a hook: the report goes on without it.
TEST_F(Version, ClearedHooksAreSkipped) {
    Replaced banner(header_str, nullptr);
    Replaced firmware(sysmgrpd_firmware_show_version, nullptr);
    Replaced manufacturer(sysmgrpd_show_hardware_manufacture_print, nullptr);
    Replaced hardware(sysmgrpd_hardware_show_version, nullptr);
    const Report version = generic({{"backend", {{"xml_agent", true}}}});
    EXPECT_EQ(sysmgr_cli_get_show_version_header(), nullptr) << "the banner as it is now";
    EXPECT_EQ(version.text.substr(0, 10), "\nSoftware\n");
    for (const sysmgrsim::Print &p : sysmgrsim::prints())
        EXPECT_NE(p.tag, 0x305c0039u) << "the manufacturer's hook is cleared";
    EXPECT_EQ(sysmgr_show_version_internal2(context_.mts_q, rx()), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST_F(Version, DefaultManufacturerHookPrintsItsLine) {
    load();
    for (uint32_t value : {0u, 0xFFFFFFFFu}) {
        sim_clear_records();
        cmd_prt_arg_t arg{};
        sysmgrpd_show_hardware_manufacture_print(value, &arg, rx());
        const auto &prints = sysmgrsim::prints();
        ASSERT_EQ(prints.size(), 2u);
        EXPECT_EQ(prints[0].tag, 0x305c0039u);
        EXPECT_EQ(prints[0].value, std::string("Velta Systems, Inc.", 20));
        EXPECT_EQ(prints[1].text, "\n");
        EXPECT_EQ(arg.tag, 0x305c0039u) << "the caller's print argument is used";
    }
}

} // namespace
