/*
 * SPDX-License-Identifier: MIT
 * Tag dictionary of the simulated CLI back end.
 *
 * Every value the library prints carries a 32-bit tag id (platform/cli.h):
 * top byte the value kind, second byte the tag set, low 16 bits the field.
 * This table gives each tag id the reports know a field name, the kind of
 * its value and the report that prints it. The XML and JSON renderings take
 * their element and key names from here and nowhere else; the schemas in
 * schema/ describe the same names.
 *
 * A tag id that is not in the table (a platform hook may print its own) is
 * rendered under a generic name made from the id, "tag_0x305c00ff".
 */
#ifndef SYSMGRSIM_TAGS_H
#define SYSMGRSIM_TAGS_H

#include <cstdint>
#include <string>

#include "platform/cli.h"

namespace sysmgrsim {

/* The value kinds, as the top byte of a tag id encodes them. */
enum class TagKind : uint8_t {
    text = CMD_KIND_TEXT,
    int32 = CMD_KIND_INT32,
    int64 = CMD_KIND_INT64,
    time = CMD_KIND_TIME,
};

/*
 * The report a tag belongs to: the redundancy and uptime report (command 1),
 * the version report (command 107) and the alternate version report, which
 * prints the same fields as the version report under its own tag set.
 */
enum class Report : uint8_t { redundancy, version, version2 };

struct TagInfo {
    uint32_t id;
    const char *name; /* lower case, digits and underscores */
    TagKind kind;
    Report report;
};

inline constexpr TagInfo tag_dictionary[] = {
    /* Redundancy status (command 1). */
    {0x305c0002, "administrative_redundancy_mode", TagKind::text, Report::redundancy},
    {0x305c0003, "operational_redundancy_mode", TagKind::text, Report::redundancy},
    {0x305c0004, "this_supervisor_name", TagKind::text, Report::redundancy},
    {0x305c0005, "this_supervisor_redundancy_state", TagKind::text, Report::redundancy},
    {0x305c0006, "this_supervisor_state", TagKind::text, Report::redundancy},
    {0x305c0007, "this_supervisor_internal_state", TagKind::text, Report::redundancy},
    {0x305c0008, "other_supervisor_name", TagKind::text, Report::redundancy},
    {0x305c0009, "other_supervisor_redundancy_state", TagKind::text, Report::redundancy},
    {0x305c000a, "other_supervisor_state", TagKind::text, Report::redundancy},
    {0x305c000b, "other_supervisor_internal_state", TagKind::text, Report::redundancy},
    /* System uptime (command 1, after the redundancy status). */
    {0x305c000c, "system_start_time", TagKind::text, Report::redundancy},
    {0x115c000d, "system_uptime_days", TagKind::int32, Report::redundancy},
    {0x115c000e, "system_uptime_hours", TagKind::int32, Report::redundancy},
    {0x115c000f, "system_uptime_minutes", TagKind::int32, Report::redundancy},
    {0x115c0010, "system_uptime_seconds", TagKind::int32, Report::redundancy},
    {0x115c0011, "kernel_uptime_days", TagKind::int32, Report::redundancy},
    {0x115c0012, "kernel_uptime_hours", TagKind::int32, Report::redundancy},
    {0x115c0013, "kernel_uptime_minutes", TagKind::int32, Report::redundancy},
    {0x115c0014, "kernel_uptime_seconds", TagKind::int32, Report::redundancy},
    {0x115c0015, "active_supervisor_uptime_days", TagKind::int32, Report::redundancy},
    {0x115c0016, "active_supervisor_uptime_hours", TagKind::int32, Report::redundancy},
    {0x115c0017, "active_supervisor_uptime_minutes", TagKind::int32, Report::redundancy},
    {0x115c0018, "active_supervisor_uptime_seconds", TagKind::int32, Report::redundancy},

    /* Version report (command 107): Software section. */
    {0x305c0019, "banner", TagKind::text, Report::version},
    {0x305c001a, "bios_version", TagKind::text, Report::version},
    {0x305c001b, "loader_version", TagKind::text, Report::version},
    {0x305c001c, "kickstart_version", TagKind::text, Report::version},
    {0x305c001d, "system_version", TagKind::text, Report::version},
    /* Printed by print_show_version_string for other clients, never by a report. */
    {0x305c001e, "version_string", TagKind::text, Report::version},
    {0x305c0020, "bios_compile_time", TagKind::text, Report::version},
    {0x305c0021, "kickstart_image_file", TagKind::text, Report::version},
    {0x305c0022, "kickstart_compile_time", TagKind::text, Report::version},
    {0x305c0023, "kickstart_image_timestamp", TagKind::text, Report::version},
    {0x305c0024, "system_image_file", TagKind::text, Report::version},
    {0x305c0025, "system_compile_time", TagKind::text, Report::version},
    {0x305c0026, "system_image_timestamp", TagKind::text, Report::version},
    /* Hardware section. */
    {0x305c0027, "chassis_name", TagKind::text, Report::version},
    {0x305c0028, "module_identifier", TagKind::text, Report::version},
    {0x305c0029, "processor_name", TagKind::text, Report::version},
    {0x115c002a, "memory_total", TagKind::int32, Report::version},
    {0x305c002b, "memory_unit", TagKind::text, Report::version},
    {0x305c002c, "processor_board_id", TagKind::text, Report::version},
    {0x305c002d, "device_name", TagKind::text, Report::version},
    {0x115c002e, "bootflash_size_kb", TagKind::int32, Report::version},
    {0x155c002f, "slot0_size_kb", TagKind::int64, Report::version},
    {0x115c0030, "kernel_uptime_days", TagKind::int32, Report::version},
    {0x115c0031, "kernel_uptime_hours", TagKind::int32, Report::version},
    {0x115c0032, "kernel_uptime_minutes", TagKind::int32, Report::version},
    {0x115c0033, "kernel_uptime_seconds", TagKind::int32, Report::version},
    {0x115c0034, "last_reset_microseconds", TagKind::int32, Report::version},
    {0x405c0035, "last_reset_time", TagKind::time, Report::version},
    {0x305c0036, "last_reset_reason", TagKind::text, Report::version},
    {0x305c0037, "last_reset_system_version", TagKind::text, Report::version},
    {0x305c0038, "last_reset_service", TagKind::text, Report::version},
    {0x305c0039, "manufacturer", TagKind::text, Report::version},

    /* Alternate version report: the same fields under the 0x2f tag set. */
    {0x302f001c, "banner", TagKind::text, Report::version2},
    {0x302f001d, "bios_version", TagKind::text, Report::version2},
    {0x302f001e, "loader_version", TagKind::text, Report::version2},
    {0x302f001f, "kickstart_version", TagKind::text, Report::version2},
    {0x302f0020, "system_version", TagKind::text, Report::version2},
    {0x302f0021, "bios_compile_time", TagKind::text, Report::version2},
    {0x302f0022, "kickstart_image_file", TagKind::text, Report::version2},
    {0x302f0023, "kickstart_compile_time", TagKind::text, Report::version2},
    {0x302f0024, "kickstart_image_timestamp", TagKind::text, Report::version2},
    {0x302f0025, "system_image_file", TagKind::text, Report::version2},
    {0x302f0026, "system_compile_time", TagKind::text, Report::version2},
    {0x302f0027, "system_image_timestamp", TagKind::text, Report::version2},
    {0x302f0028, "chassis_name", TagKind::text, Report::version2},
    {0x302f0029, "module_identifier", TagKind::text, Report::version2},
    {0x302f002a, "processor_name", TagKind::text, Report::version2},
    {0x112f002b, "memory_total", TagKind::int32, Report::version2},
    {0x302f002c, "memory_unit", TagKind::text, Report::version2},
    {0x302f002d, "processor_board_id", TagKind::text, Report::version2},
    {0x302f002e, "device_name", TagKind::text, Report::version2},
    {0x112f002f, "bootflash_size_kb", TagKind::int32, Report::version2},
    /* The report hands this one 8 bytes; the value's length decides the width. */
    {0x112f0030, "slot0_size_kb", TagKind::int32, Report::version2},
    {0x112f0031, "kernel_uptime_days", TagKind::int32, Report::version2},
    {0x112f0032, "kernel_uptime_hours", TagKind::int32, Report::version2},
    {0x112f0033, "kernel_uptime_minutes", TagKind::int32, Report::version2},
    {0x112f0034, "kernel_uptime_seconds", TagKind::int32, Report::version2},
    {0x112f0035, "last_reset_microseconds", TagKind::int32, Report::version2},
    {0x402f0036, "last_reset_time", TagKind::time, Report::version2},
    {0x302f0037, "last_reset_reason", TagKind::text, Report::version2},
    {0x302f0038, "last_reset_system_version", TagKind::text, Report::version2},
    {0x302f0039, "last_reset_service", TagKind::text, Report::version2},
    {0x302f003a, "manufacturer", TagKind::text, Report::version2},
};

/* The dictionary's entry for a tag id, or null when the id is not in it. */
const TagInfo *tag_lookup(uint32_t id);

/* The field name of a tag id: the dictionary's, or "tag_0x" and 8 hex digits. */
std::string tag_field_name(uint32_t id);

/* "redundancy", "version" or "version2". */
const char *report_name(Report report);

} // namespace sysmgrsim

#endif
