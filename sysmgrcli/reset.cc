// SPDX-License-Identifier: MIT
// The kernel uptime and last reset printers, and the reset-reason texts.
#include "reset.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "platform/cli.h"
#include "platform/records.h"
#include "platform/services.h"
#include "print.h"
#include "sysmgrcli/sysmgrcli.h"
#include "tags.h"
#include "uptime.h"

extern "C" {

/* Reset-reason texts, indexed by the code the reset history records. */
SYSMGRCLI_EXPORT const char *rr_string[] = {
    // 0
    "Unknown",
    "Kernel Reboot",
    "Watchdog Timeout",
    "Reset Requested due to Fatal System Error",
    "Reset Requested due to Fatal Module Error",
    "Configured Power down",
    "Power down due to temperature sensor policy trigger",
    "Reset triggered due to Switchover Request by User",
    "Reset Requested due to Fatal Upgrade Error",
    "Reset Requested by CLI command reload",
    // 10
    "Reset Requested due to SPROM update",
    "System Reset due to Element Manager",
    "System Reset due to Clock failure",
    "Kernel Halt",
    "Reset Requested by Redundancy",
    "Reset triggered due to HA policy of Switchover",
    "Reset triggered due to HA policy of Reset",
    "Power down triggered due to Platform manager runtime error",
    "Power down triggered due to Platform manager event",
    "Kernel Panic",
    // 20
    "Reset Requested by management application",
    "Reset triggered due to Hardware Error",
    "Reset performed due to component Error",
    "Reset triggered due to bad redundancy channel",
    "Reset due to bad HW detected by System Health",
    "Reset triggered due to bad (EOBC) backplane communication channel",
    "Reset due to arbiter buffer overflow",
    "Reset (powered-down) because module does not boot",
    "Reset (powered-down) because there is no bootflash",
    "Reset (powered-down) because netboot failed",
    // 30
    "Reset (powered-down) because bootflash access failed",
    "Reset by installer",
    "Watchdog Timeout",
    "Power Down/UP epld upgrade process",
    "Reset triggered due to failure to respond to SIGKILL",
    "Reset triggered by System Manager for generic failure",
    "Reset triggered by Service Manager due to application provisioning",
    "PellLC Reset due to Clock SwitchOver",
    "Reset (powered-down) because of insufficient resources (DI)",
    "Powered-down due to absence of Xbar modules",
    // 40
    "Reset of Sup due to Xbar removal",
    "Reset of Sup due to Xbar insertion",
    "Dummy Fake Opcode for periodic OBFL updates",
    "Reset (powered-down) because of incompatible configuration",
    "Unknown reason",
    "HA System restart",
    "HA_Switchover done",
    "SRG info response timeout",
    "Core dump initiation",
    "Disruptive upgrade",
    // 50
    "Line card failure",
    "Hitless module removal",
    "Hitless power down",
    "Catastrophic error from LC",
    "Hitless registration failed",
    "Hitless upgrade timeout",
    "Line card image upgrade (failure)",
    "Line card image upgrade (success)",
    "LC insertion sequence failure",
    "Hitless upgrade failed",
    // 60
    "Line card not responding",
    "Line card 3+ registration",
    "Line card registration timeout",
    "Runtime diagnostic failure",
    "Runtime diagnostic timeout",
    "Line card SEEPROM contents response timeout",
    "Line card catastrophic error",
    "Save state response (failure)",
    "Hitful image compatibility check",
    "Image compatibility check (action:powercycle)",
    // 70
    "Image compatibility check (action:powerdown)",
    "Switchover : Image compatibility check",
    "Module is powered down or power cycled",
    "Supervisor card is removed or power cycled",
    "Module is removed",
    "Unknown line card insertion",
    "SRG infor response timeout",
    "Stop async notice failed",
    "Switchover failed",
    "Addon image response timeout",
    // 80
    "Upgraded SRG incompatible",
    "Reserved 1 (Unknown)",
    "Reserved 2 (Unknown)",
    "Reserved 3 (Unknown)",
    "Reserved 4 (Unknown)",
    "Reserved 5 (Unknown)",
    "Out of service",
    "Supervisor Device Error",
    "Reset due to upgrade",
    "Reset (powered-down) due to insertion sequence failed",
    // 90
    "Feature NPV enabled",
    "Feature NPV disabled",
    "Reset due to no sup",
    "Reset due to Bad Voltage",
    "Reset due to bad system bus voltage",
    "Reset due to bad intermediate bus voltage",
    "Reset due to CMP",
    "Powered-down due to EEM event policy trigger",
    "Reset due to USD Failure",
    "All the ejectors are OPEN",
    // 100
    "System reset by active sup (by writing to PMFPGA regs)",
    "linecard reset by push button",
    "daughter card power not good",
    "Policy trigger initiated reset: ",
    "Powered-down due to fan policy trigger",
    "Chassis reset by Sup",
    "New TESK chassis type detected during the upgrade",
    "Reset (powered-down) since maximum number of swovers were exceeded",
    "Reset since switchover timeout",
    "Reset of standby by active sup due to sysmgr timeout",
    // 110
    "Unsupported/Unknown Module",
    "Module Failed",
    "Module PowerCycled",
    "Module not supported in this chassis",
    "Bootup error accessing module IDPROM",
    "Non-specific deadend error, check platform int error",
    "Module in wrong slot",
    "plugin absent/ not loaded",
    "Unknown card (Could not get software-card-id)",
    "Unable to power up card (Power_OK not set)",
    // 120
    "failure(powered-down) since maximum number of bringups were exceeded",
    "Ethernet end-host mode enabled",
    "Ethernet end-host mode disabled",
    "TESK VPD read Failed",
    "powered-down since linecard does not support the cos mode",
    "Power Down/UP epld upgrade process",
    "Preparing to enter deep sleep mode",
    "(powered-down) FCOE feature-set absent(disabled or uninstalled)",
    "Power cycle button pressed",
    "Configuration reset button pressed",
    // 130
    "Reload Initiated by application",
    "CPU CATERR Signal Asserted",
    "Reset due to patch install",
    "Reset due to fast-reload",
    "Powered down due to absence of system-controller module",
    "Powered down due to absence of fabric module",
    "Reloaded since breakout was configured/deconfigured on the LC",
    "Reloaded since a HG link went down on this LC",
    "Reset due to FPGA Slot ID parity error",
    "Reset due to Power error",
    // 140
    "Reload due to Firmware upgrade",
    "Powered-down since linecard/spine/supervisor doesn't support distributed arbitration mode",
    "switch mode enhanced-virtualization enabled",
    "switch mode enhanced-virtualization disabled",
    "Powered down due to no connectivity to fabric modules",
    "Powered down due to fabric configured in FRM mode",
    "Reset triggered due to bad (EPC) packet communication channel",
    "Reset (powered-down) because all VDCs for module need to be online",
    "Reset (powered down) due to module authentication failure",
    "Reset (powered down) due to module authentication start failure",
    // 150
    "Dme clean config reset",
    "Powered-down due to fan air flow policy trigger",
    "standby reset due to failure on large MOs sync",
    "Reset due to non-disruptive upgrade",
    "Reload due to change in TCAM service-template",
    "Reload due to interop-mode change",
    "Reset due to soft reload via Crash",
    "Reset due to soft reload via CLI",
    "Reset due to soft reload attempt failure",
};

/* Supervisor device error texts, indexed by error code. */
SYSMGRCLI_EXPORT const char *sup_device_rr_string[] = {
    "Unknown", "CPU Bus Err", "SRAM Err", "System PCI Err", "BC PCI Err",
};

} // extern "C"

namespace sysmgrcli {

namespace {

/* A defined reset-reason code, and the text of any other. */
constexpr uint32_t kLastReasonCode = std::size(rr_string) - 1;
constexpr const char *kUndefinedReason = "Not defined";
static_assert(kLastReasonCode == 158, "one text per reset-reason code 0 to 158");

/* Texts of the last reset are cut to fit this buffer. */
constexpr std::size_t kResetTextSize = 64;

/* The tags of one tag set: the version report's, or the alternate report's. */
struct ResetTags {
    DurationStyle uptime;
    uint32_t usecs;
    uint32_t time;
    uint32_t reason;
    uint32_t system_version;
    uint32_t service;
};

constexpr const char *kUptimeWords[4] = {" day(s), ", " hour(s), ", " minute(s), ", " second(s)"};

namespace v1 = tags::version;
namespace v2 = tags::version2;

constexpr ResetTags kVersionReportTags{
    .uptime = {{v1::kernel_uptime_days, v1::kernel_uptime_hours, v1::kernel_uptime_minutes,
                v1::kernel_uptime_seconds},
               {kUptimeWords[0], kUptimeWords[1], kUptimeWords[2], kUptimeWords[3]}},
    .usecs = v1::last_reset_microseconds,
    .time = v1::last_reset_time,
    .reason = v1::last_reset_reason,
    .system_version = v1::last_reset_system_version,
    .service = v1::last_reset_service,
};

constexpr ResetTags kAlternateReportTags{
    .uptime = {{v2::kernel_uptime_days, v2::kernel_uptime_hours, v2::kernel_uptime_minutes,
                v2::kernel_uptime_seconds},
               {kUptimeWords[0], kUptimeWords[1], kUptimeWords[2], kUptimeWords[3]}},
    .usecs = v2::last_reset_microseconds,
    .time = v2::last_reset_time,
    .reason = v2::last_reset_reason,
    .system_version = v2::last_reset_system_version,
    .service = v2::last_reset_service,
};

const ResetTags &tags_for(tags::Report tag_set) {
    return tag_set == tags::Report::version2 ? kAlternateReportTags : kVersionReportTags;
}

/*
 * The ring entry of the most recent reset: the one before the next-entry
 * index. An index beyond the ring is taken modulo its size, so 0 and 4 both
 * give entry 3 and every index gives an entry of the ring.
 */
constexpr uint32_t latest_entry(uint32_t next_index) {
    return (next_index % LAST_RR_ENTRIES + LAST_RR_ENTRIES - 1) % LAST_RR_ENTRIES;
}
static_assert(latest_entry(0) == 3 && latest_entry(1) == 0 && latest_entry(3) == 2 &&
              latest_entry(4) == 3 && latest_entry(5) == 0 && latest_entry(UINT32_MAX) == 2);

/*
 * Prints at most the first size bytes of a record's text field, which need
 * not be terminated, cut to fit the 64-byte value buffer.
 */
int print_record_text(void *rx, uint32_t tag, const char *field, std::size_t size) {
    char buffer[kResetTextSize];
    copy_text(buffer, sizeof buffer, field, size);
    return print_text(rx, tag, buffer);
}

} // namespace

int sysmgr_show_kernel_uptime(void *rx, tags::Report tag_set) {
    // A file that is missing, or does not start with a whole number of
    // seconds, prints as a missing one: no made-up count.
    uint32_t seconds = 0;
    if (!read_kernel_uptime(&seconds))
        return cmd_prt(rx, "\n");
    cmd_prt(rx, "Kernel uptime is ");
    print_duration(rx, tags_for(tag_set).uptime, seconds);
    return cmd_prt(rx, "\n");
}

int sysmgr_show_last_reset(void *rx, tags::Report tag_set) {
    const ResetTags &tag = tags_for(tag_set);
    cmd_prt(rx, "\n");
    last_rr_record_t record{};
    const int rc = pfm_last_rr(&record);
    if (rc < 0)
        return rc;
    const uint32_t entry = latest_entry(record.next_index);

    cmd_prt(rx, "Last reset ");
    if (record.reset_time[entry] != 0) {
        cmd_prt(rx, "at ");
        print_uint32_value(rx, tag.usecs, record.reset_usecs[entry]);
        cmd_prt(rx, " usecs after ");
        cmd_prt(rx, "%s", cmd_tuple(tag.time, &record.reset_time[entry]));
    }
    cmd_prt(rx, "\n");

    const uint32_t code = record.reason[entry];
    const char *reason = code <= kLastReasonCode ? rr_string[code] : kUndefinedReason;
    cmd_prt(rx, "  Reason: ");
    print_record_text(rx, tag.reason, reason, kResetTextSize);
    cmd_prt(rx, "\n");
    cmd_prt(rx, "  System version: ");
    print_record_text(rx, tag.system_version, record.sys_version[entry],
                      sizeof record.sys_version[entry]);
    cmd_prt(rx, "\n");
    cmd_prt(rx, "  Service: ");
    print_record_text(rx, tag.service, record.service[entry], sizeof record.service[entry]);
    return cmd_prt(rx, "\n");
}

} // namespace sysmgrcli
