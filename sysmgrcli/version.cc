// SPDX-License-Identifier: MIT
// The version report of command 107 and the alternate version report. Both
// run the same steps in the same order; what differs between them (tags,
// limits, hooks, chassis tests, queues) is constant data in a ReportStyle.
#include "version.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <sys/stat.h>

#include "hooks.h"
#include "host_io.h"
#include "platform/cli.h"
#include "platform/mts.h"
#include "platform/records.h"
#include "platform/services.h"
#include "plumbing.h"
#include "print.h"
#include "reset.h"
#include "root_path.h"
#include "sources.h"
#include "sysmgrcli/sysmgrcli.h"
#include "tags.h"

namespace sysmgrcli {

namespace {

/* Files, release files and images the report looks at. */
constexpr const char kSupInclude[] = "/etc/rc.d/include/sup.include";
constexpr const char kSyncedSystemImage[] = "/var/sysmgr/ftp/img-sync/curr-vorn.img";
constexpr const char kSyncedKickstartImage[] = "/var/sysmgr/ftp/img-sync/curr-ks.img";
constexpr const char kKickstartHeader[] = "/var/run/curr-ks.hdr";
constexpr const char kSystemHeader[] = "/var/run/curr-vorn.hdr";
constexpr const char kKickstartRelease[] = "/etc/srg-ks.sro";
constexpr const char kSystemRelease[] = "/vorn/etc/srg.sro";
constexpr const char kBootImages[] = "/var/log/local_boot_images";
constexpr const char kSystemUri[] = "/var/log/current_vorn.uri";
constexpr const char kMeminfo[] = "/proc/meminfo";
constexpr const char kFlashSizeTool[] = "/vorn/bin/flash_size";
constexpr const char kFlashSizeFile[] = "/tmp/sysmgrcli_show_flash_size";
constexpr const char kFlashSizeDirectory[] = "/tmp";

constexpr const char kNotPresent[] = "[not present on supervisor]\n";
constexpr const char kInvalidHostname[] = "Invalid hostname";

/* The capacity line of the supervisor's storage settings that allows the loader text. */
constexpr const char kCapacityKey[] = "BOOTFLASH_PROC_CAPACITY";
constexpr const char kCapacityFile[] = "/proc/ide/hdc/capacity";

/* Image types disp_time is told. */
constexpr int32_t kKickstartImageType = 1;
constexpr int32_t kSystemImageType = 3;

/* The host-name request. */
constexpr uint32_t kOpcodeHostname = SYSMGR_OPC_HOSTNAME;
constexpr int32_t kHostnameService = 37;

/* Sizes of the working record's fields. */
constexpr std::size_t kTextSize = 128;
constexpr std::size_t kMaxVersionTextSize = 140;
constexpr std::size_t kPieceSize = 32;
constexpr std::size_t kMaxCompileTimeSize = 44;
constexpr std::size_t kSerialSize = 64;
constexpr std::size_t kBootNameSize = 80;
constexpr std::size_t kLoaderStoreSize = 80;
/* The flash BIOS text ends within the bytes before the running one. */
constexpr std::size_t kFlashBiosTextMax = BIOS_RECORD_RUNNING_TEXT - BIOS_RECORD_FLASH_TEXT;

/* Tags of the values a version report prints. */
struct VersionTags {
    uint32_t banner;
    uint32_t bios_version;
    uint32_t loader;
    uint32_t kickstart_version;
    uint32_t system_version;
    uint32_t bios_compile_time;
    uint32_t kickstart_image_file;
    uint32_t kickstart_compile_time;
    uint32_t kickstart_image_timestamp;
    uint32_t system_image_file;
    uint32_t system_compile_time;
    uint32_t system_image_timestamp;
    uint32_t chassis_name;
    uint32_t module_id;
    uint32_t processor_name;
    uint32_t memory_total;
    uint32_t memory_unit;
    uint32_t board_serial;
    uint32_t device_name;
    uint32_t bootflash_size;
    uint32_t slot0_size;
};

/* How one version report differs from the other. */
struct ReportStyle {
    const char *op; /* names the report in its messages */
    VersionTags tags;
    std::size_t version_text_size;    /* the BIOS value and the booted loader version */
    std::size_t compile_time_size;    /* the BIOS compile time text */
    const char *bios_mismatch_format; /* the flash piece, then the running piece */
    uint32_t compile_time_length;     /* 0: the text's length + 1 */
    bool asks_bellwick;               /* false: every chassis family is shown alike */
    bool calls_firmware_hook;
    bool default_vdc_hostname; /* the host name over the default-VDC queue */
    tags::Report tag_set;      /* of the kernel uptime and last reset */
    bool calls_manufacturer_hook;
    uint32_t manufacturer_tag; /* when the report prints the manufacturer itself */
    int (*closing)(int32_t q, void *rx);
    bool reports_unopened_boot_images;
};

constexpr ReportStyle kVersionReport{
    .op = "sysmgr_show_version_internal_generic_pd",
    .tags =
        {
            .banner = tags::version::banner,
            .bios_version = tags::version::bios_version,
            .loader = tags::version::loader_version,
            .kickstart_version = tags::version::kickstart_version,
            .system_version = tags::version::system_version,
            .bios_compile_time = tags::version::bios_compile_time,
            .kickstart_image_file = tags::version::kickstart_image_file,
            .kickstart_compile_time = tags::version::kickstart_compile_time,
            .kickstart_image_timestamp = tags::version::kickstart_image_timestamp,
            .system_image_file = tags::version::system_image_file,
            .system_compile_time = tags::version::system_compile_time,
            .system_image_timestamp = tags::version::system_image_timestamp,
            .chassis_name = tags::version::chassis_name,
            .module_id = tags::version::module_identifier,
            .processor_name = tags::version::processor_name,
            .memory_total = tags::version::memory_total,
            .memory_unit = tags::version::memory_unit,
            .board_serial = tags::version::processor_board_id,
            .device_name = tags::version::device_name,
            .bootflash_size = tags::version::bootflash_size_kb,
            .slot0_size = tags::version::slot0_size_kb,
        },
    .version_text_size = 128,
    .compile_time_size = 32,
    .bios_mismatch_format = "%s [last: %s]",
    .compile_time_length = 0,
    .asks_bellwick = true,
    .calls_firmware_hook = true,
    .default_vdc_hostname = false,
    .tag_set = tags::Report::version,
    .calls_manufacturer_hook = true,
    .manufacturer_tag = 0,
    .closing = cmpproxy_print_cmp_version,
    .reports_unopened_boot_images = false,
};

constexpr ReportStyle kAlternateReport{
    .op = "hardware_show_version",
    .tags =
        {
            .banner = tags::version2::banner,
            .bios_version = tags::version2::bios_version,
            .loader = tags::version2::loader_version,
            .kickstart_version = tags::version2::kickstart_version,
            .system_version = tags::version2::system_version,
            .bios_compile_time = tags::version2::bios_compile_time,
            .kickstart_image_file = tags::version2::kickstart_image_file,
            .kickstart_compile_time = tags::version2::kickstart_compile_time,
            .kickstart_image_timestamp = tags::version2::kickstart_image_timestamp,
            .system_image_file = tags::version2::system_image_file,
            .system_compile_time = tags::version2::system_compile_time,
            .system_image_timestamp = tags::version2::system_image_timestamp,
            .chassis_name = tags::version2::chassis_name,
            .module_id = tags::version2::module_identifier,
            .processor_name = tags::version2::processor_name,
            .memory_total = tags::version2::memory_total,
            .memory_unit = tags::version2::memory_unit,
            .board_serial = tags::version2::processor_board_id,
            .device_name = tags::version2::device_name,
            .bootflash_size = tags::version2::bootflash_size_kb,
            .slot0_size = tags::version2::slot0_size_kb,
        },
    .version_text_size = 140,
    .compile_time_size = 44,
    .bios_mismatch_format = "[Flash]: %s [Running: %s]",
    .compile_time_length = 31,
    .asks_bellwick = false,
    .calls_firmware_hook = false,
    .default_vdc_hostname = true,
    .tag_set = tags::Report::version2,
    .calls_manufacturer_hook = false,
    .manufacturer_tag = tags::version2::manufacturer,
    .closing = cmpproxy_print_cmp_hardware,
    .reports_unopened_boot_images = true,
};

static_assert(kVersionReport.version_text_size <= kMaxVersionTextSize &&
                  kAlternateReport.version_text_size <= kMaxVersionTextSize,
              "the version text field holds either report's text");
static_assert(kVersionReport.compile_time_size <= kMaxCompileTimeSize &&
                  kAlternateReport.compile_time_size <= kMaxCompileTimeSize &&
                  kAlternateReport.compile_time_length <= kAlternateReport.compile_time_size,
              "the compile time field holds what is printed of it");

/* The report's texts, zero-filled before anything is printed. */
struct WorkingRecord {
    char version_text[kMaxVersionTextSize];
    char bios_version[kMaxCompileTimeSize]; /* then the BIOS compile time text */
    char bios_date[kPieceSize];
    char last_bios_version[kPieceSize];
    char last_bios_date[kPieceSize];
    char line[kTextSize];
    char memory_unit[kTextSize];
    int32_t memory_total;
    char board_serial[kSerialSize];
    char processor_name[kTextSize];
    char loader_text[kTextSize];
    char kickstart_boot_name[kBootNameSize];
    char system_boot_name[kBootNameSize];
    char command_text[kCommandSize];
    char loader_store_version[kLoaderStoreSize];
    char netboot_display[kTextSize];
    char value_text[kTextSize];
    cmd_prt_arg_t arg;
};

/* One run of a report: its style, its handles and its working record. */
struct Report {
    const ReportStyle &style;
    /* The version report's context, for its host-name queue; null in the alternate report. */
    const cli_context_t *context;
    void *rx;
    int32_t q;
    bool debug;    /* trace lines of the BIOS step on the standard output */
    bool no_queue; /* q is -1 */
    bool dorrel;   /* the partner-branded variant */
    uint8_t slot = 0;
    /* The tag of the last flash size printed, told to the manufacturer hook. */
    uint32_t last_flash_tag = 0;
    WorkingRecord w{};
};

/* The BIOS record, a heap block released when its owner goes. */
struct FreeDeleter {
    void operator()(void *p) const noexcept { std::free(p); }
};
using BiosRecord = std::unique_ptr<char[], FreeDeleter>;

bool exists(const char *path) {
    struct stat st;
    return stat_rooted(path, &st) == 0;
}

/* Whether the chassis belongs to the bellwick family, asked anew each time. */
bool bellwick(const Report &r) {
    return r.style.asks_bellwick && pdb_is_bellwick_chassis() != 0;
}

/* ---- Steps, in report order ------------------------------------------- */

bool banner(Report &r) {
    const char *text = r.dorrel ? header_str_dorrel : header_str;
    print_text(r.rx, r.style.tags.banner, text != nullptr ? text : "");
    cmd_prt(r.rx, "\n");
    cmd_prt(r.rx, "Software\n");
    return true;
}

void trace_slot(const Report &r) {
    if (r.debug)
        say(stdout, "%s:Slot number from card_get_slot_num() is %u\n", r.style.op, r.slot);
}

/*
 * The BIOS value and, kept for later, the BIOS compile time text, from the
 * flash and running BIOS texts of the BIOS record.
 */
void bios_texts(Report &r, char *record) {
    WorkingRecord &w = r.w;
    const ReportStyle &s = r.style;
    char flash[kFlashBiosTextMax + 1];
    copy_text(flash, sizeof flash, record + BIOS_RECORD_FLASH_TEXT);
    record[BIOS_RECORD_SIZE - 1] = '\0'; // the running text ends within the record
    const char *running = record + BIOS_RECORD_RUNNING_TEXT;
    if (r.debug)
        say(stdout, "%s:bios version from get_module_bios_version_ext() is %s\n", s.op, flash);

    extract_date_and_version(flash, w.bios_version, w.bios_date);
    if (std::strcmp(flash, running) == 0) {
        format_text(w.version_text, s.version_text_size, "%s", w.bios_version);
        format_text(w.bios_version, s.compile_time_size, "%s", w.bios_date);
        return;
    }
    extract_date_and_version(running, w.last_bios_version, w.last_bios_date);
    format_text(w.version_text, s.version_text_size, s.bios_mismatch_format, w.bios_version,
                w.last_bios_version);
    format_text(w.bios_version, s.compile_time_size, s.bios_mismatch_format, w.bios_date,
                w.last_bios_date);
}

/* False when the BIOS record cannot be had: the report ends there. */
bool bios_line(Report &r) {
    if (r.no_queue || bellwick(r))
        return true;
    card_get_slot_num(&r.slot);
    trace_slot(r);
    cmd_prt(r.rx, "  BIOS:      version ");
    int32_t length = BIOS_RECORD_SIZE;
    const BiosRecord record(static_cast<char *>(sys.calloc(1, BIOS_RECORD_SIZE)));
    if (!record) {
        say(stdout, "%s: Memory failure for module %d\n", r.style.op, r.slot);
        return false;
    }
    trace_slot(r);
    const int rc = get_module_bios_version_ext(r.slot, record.get(), &length);
    if (rc != 0) {
        if (r.debug)
            say(stdout, "%s:ret_val from get_module_bios_version_ext() is %d\n", r.style.op, rc);
        format_text(r.w.version_text, r.style.version_text_size, "%s", "N/A");
    } else {
        bios_texts(r, record.get());
    }
    print_text(r.rx, r.style.tags.bios_version, r.w.version_text);
    cmd_prt(r.rx, "\n");
    return true;
}

/* Whether the supervisor's storage settings name the capacity file the loader text needs. */
bool capacity_line_present(Report &r) {
    if (!exists(kSupInclude))
        return false;
    const File file = open_rooted(kSupInclude);
    if (!file)
        return false;
    TextReader reader(file.get());
    while (reader.line(r.w.line, sizeof r.w.line)) {
        if (std::strncmp(r.w.line, kCapacityKey, sizeof kCapacityKey - 1) == 0 &&
            std::strstr(r.w.line, kCapacityFile) != nullptr)
            return true;
    }
    return false;
}

bool loader_line(Report &r) {
    WorkingRecord &w = r.w;
    const std::size_t size = r.style.version_text_size;
    cmd_prt(r.rx, "  loader:    version ");
    if (sysmgr_get_loader_ver(w.version_text, static_cast<int32_t>(size)) < 0)
        format_text(w.version_text, size, "%s", "not available\n");
    w.version_text[size - 1] = '\0';

    const char *stored =
        sysmgr_get_loader_ver_information(w.loader_store_version, sizeof w.loader_store_version);
    w.loader_store_version[sizeof w.loader_store_version - 1] = '\0';
    if (stored == nullptr)
        format_text(w.loader_text, sizeof w.loader_text, "unavailable [last: %s]", w.version_text);
    else if (std::strcmp(w.loader_store_version, w.version_text) == 0)
        format_text(w.loader_text, sizeof w.loader_text, "%s", w.version_text);
    else
        format_text(w.loader_text, sizeof w.loader_text, "%s [last: %s]", w.loader_store_version,
                    w.version_text);

    print_text(r.rx, r.style.tags.loader, capacity_line_present(r) ? w.loader_text : "N/A");
    cmd_prt(r.rx, "\n");
    return true;
}

bool firmware_hook(Report &r) {
    if (r.style.calls_firmware_hook && sysmgrpd_firmware_show_version != nullptr)
        sysmgrpd_firmware_show_version(r.q, r.rx);
    return true;
}

/*
 * The version of a release file, first 127 characters, as the image it
 * was installed from shows it: the synchronised system image when there is
 * one, else the header given. error when the image cannot be examined.
 */
void release_version(Report &r, const char *release, const char *header, const char *error) {
    struct stat st;
    const char *image = nullptr;
    if (stat_rooted(kSyncedSystemImage, &st) == 0)
        image = kSyncedSystemImage;
    else if (errno == ENOENT)
        image = header;
    // This report's own buffer: another thread's report cannot overwrite it.
    char version[kVersionTextSize];
    if (image != nullptr)
        format_text(r.w.value_text, sizeof r.w.value_text, "%s",
                    sw_ver_string(release, image, version, sizeof version));
    else
        format_text(r.w.value_text, sizeof r.w.value_text, "%s", error);
}

bool kickstart_version(Report &r) {
    cmd_prt(r.rx, "  kickstart: version ");
    release_version(r, kKickstartRelease, kKickstartHeader, " - error in extracing version");
    print_text(r.rx, r.style.tags.kickstart_version, r.w.value_text);
    cmd_prt(r.rx, "\n");
    return true;
}

bool system_version(Report &r) {
    if (r.no_queue) {
        cmd_prt(r.rx, "\n");
        return true;
    }
    release_version(r, kSystemRelease, kSystemHeader, "  system: error in extracting version\n");
    cmd_prt(r.rx, "  system:    version ");
    print_text(r.rx, r.style.tags.system_version, r.w.value_text);
    cmd_prt(r.rx, "\n");
    if (!bellwick(r)) {
        const ReportStyle &s = r.style;
        const uint32_t length = s.compile_time_length != 0
                                    ? s.compile_time_length
                                    : static_cast<uint32_t>(std::strlen(r.w.bios_version) + 1);
        cmd_prt(r.rx, "  BIOS compile time:       ");
        print_value(r.rx, s.tags.bios_compile_time, r.w.bios_version, length);
        cmd_prt(r.rx, "\n");
    }
    return true;
}

/*
 * Reads the two boot names, each cut at 79 characters, from the boot-images
 * file, as "kickstart:%79s system:%79s" would, except that the rest of an
 * over-long kickstart name is skipped so that the system name is still
 * found. False when the file does not exist; when it exists but does not
 * open, both names stay empty.
 */
bool read_boot_names(Report &r) {
    if (!exists(kBootImages))
        return false;
    const File file = open_rooted(kBootImages);
    if (file) {
        TextReader reader(file.get());
        WorkingRecord &w = r.w;
        if (reader.literal("kickstart:") &&
            reader.word(w.kickstart_boot_name, sizeof w.kickstart_boot_name)) {
            int c;
            while ((c = reader.get()) != EOF && std::isspace(c) == 0) {
            }
            while (c != EOF && std::isspace(c) != 0)
                c = reader.get();
            reader.unget(c);
            if (reader.literal("system:"))
                reader.word(w.system_boot_name, sizeof w.system_boot_name);
        }
    } else if (r.style.reports_unopened_boot_images) {
        say(stdout, "File open for %s failed.\n", kBootImages);
    }
    return true;
}

/* The display form of a boot name; one starting "//" was loaded over the network. */
void boot_name_text(Report &r, const char *name) {
    WorkingRecord &w = r.w;
    if (std::strncmp(name, "//", 2) == 0) {
        change_display(w.netboot_display, name + 1);
        format_text(w.value_text, sizeof w.value_text, "[not present. netbooted with %s]",
                    w.netboot_display);
    } else {
        change_display(w.value_text, name);
    }
}

/* The first line of a URI file, as the image file text. */
void uri_text(Report &r, const char *path) {
    read_first_line(path, r.w.value_text, sizeof r.w.value_text);
}

/* Prints the build time of the first of two images present; false when neither is. */
bool image_timestamp(const Report &r, const char *image, const char *header, uint32_t tag) {
    for (const char *path : {image, header}) {
        if (exists(path)) {
            get_image_timestamp(path, r.rx, tag);
            return true;
        }
    }
    return false;
}

bool kickstart_image(Report &r) {
    WorkingRecord &w = r.w;
    const VersionTags &t = r.style.tags;
    static constexpr char kSystemPrefix[] = "system:";
    if (read_boot_names(r)) {
        // An empty kickstart entry: the file names the system image only.
        if (std::strncmp(w.kickstart_boot_name, kSystemPrefix, sizeof kSystemPrefix - 1) == 0) {
            format_text(w.system_boot_name, sizeof w.system_boot_name, "%s",
                        w.kickstart_boot_name + sizeof kSystemPrefix - 1);
            return true;
        }
        boot_name_text(r, w.kickstart_boot_name);
    } else if (exists(kKickstartUriPath)) {
        uri_text(r, kKickstartUriPath);
    } else {
        format_text(w.value_text, sizeof w.value_text, "%s", kNotPresent);
    }
    cmd_prt(r.rx, "  kickstart image file is: ");
    print_text(r.rx, t.kickstart_image_file, w.value_text);

    const int32_t stamp = srg_timestamp_file_get(kKickstartRelease);
    if (stamp > 0) {
        cmd_prt(r.rx, "\n  kickstart compile time: ");
        disp_time(stamp, kKickstartImageType, r.rx, t.kickstart_compile_time);
    }
    if (!image_timestamp(r, kSyncedKickstartImage, kKickstartHeader, t.kickstart_image_timestamp))
        cmd_prt(r.rx, "\n");
    return true;
}

bool system_image(Report &r) {
    if (r.no_queue)
        return true;
    cmd_prt(r.rx, "  system image file is:    ");
    flush_stdout();
    if (exists(kBootImages))
        boot_name_text(r, r.w.system_boot_name);
    else if (exists(kSystemUri))
        uri_text(r, kSystemUri);
    else
        format_text(r.w.value_text, sizeof r.w.value_text, "%s", kNotPresent);
    print_text(r.rx, r.style.tags.system_image_file, r.w.value_text);
    return true;
}

bool system_compile_time(Report &r) {
    const VersionTags &t = r.style.tags;
    const int32_t stamp = srg_timestamp_file_get(kSystemRelease);
    if (stamp > 0) {
        cmd_prt(r.rx, "\n  system compile time:    ");
        disp_time(stamp, kSystemImageType, r.rx, t.system_compile_time);
    }
    image_timestamp(r, kSyncedSystemImage, kSystemHeader, t.system_image_timestamp);
    return true;
}

bool hardware_heading(Report &r) {
    cmd_prt(r.rx, "\n\n");
    cmd_prt(r.rx, "Hardware\n");
    return true;
}

/* The memory total and unit from the "MemTotal:" line; false when the file does not open. */
bool read_meminfo(Report &r) {
    static constexpr char kMemTotal[] = "MemTotal:";
    WorkingRecord &w = r.w;
    const File file = open_rooted(kMeminfo);
    if (!file)
        return false;
    TextReader reader(file.get());
    while (reader.line(w.line, sizeof w.line)) {
        if (std::strncmp(w.line, kMemTotal, sizeof kMemTotal - 1) != 0)
            continue;
        // A number, then its unit; strtol rather than "%d", which is undefined
        // past the range of an int.
        const char *number = w.line + sizeof kMemTotal - 1;
        char *end = nullptr;
        const long total = std::strtol(number, &end, 10);
        if (end != number) {
            w.memory_total = static_cast<int32_t>(std::clamp<long>(total, INT32_MIN, INT32_MAX));
            if (std::sscanf(end, "%127s", w.memory_unit) < 1)
                w.memory_unit[0] = '\0';
        }
        break;
    }
    return true;
}

/* Chassis, processor, memory and board serial. False when "/proc/meminfo" does not open. */
bool chassis_and_memory(Report &r) {
    if (r.no_queue)
        return true;
    WorkingRecord &w = r.w;
    const VersionTags &t = r.style.tags;
    if (bellwick(r))
        card_get_slot_num(&r.slot); // the BIOS line, which asks for it, was left out
    if (!read_meminfo(r)) {
        cmd_prt(r.rx, "error: failed to read /proc/meminfo\n");
        return false;
    }
    pfm_get_processor_name(w.processor_name);
    w.processor_name[sizeof w.processor_name - 1] = '\0';

    const char *chassis = pdb_get_chassis_id_string();
    if (r.dorrel)
        chassis = pfm_get_dorrel_value(chassis);
    copy_text(w.value_text, sizeof w.value_text, chassis);
    cmd_prt(r.rx, r.dorrel ? "  TESK " : "  velta ");
    print_text(r.rx, t.chassis_name, w.value_text);
    cmd_prt(r.rx, " ");
    copy_text(w.value_text, sizeof w.value_text, pdb_get_mod_id_string2(r.slot, r.q));
    cmd_prt(r.rx, "(\"");
    print_text(r.rx, t.module_id, w.value_text);
    cmd_prt(r.rx, "\")\n");

    cmd_prt(r.rx, "  ");
    print_text(r.rx, t.processor_name, w.processor_name);
    cmd_prt(r.rx, " with ");
    print_uint32_value(r.rx, t.memory_total, static_cast<uint32_t>(w.memory_total));
    cmd_prt(r.rx, " ");
    print_text(r.rx, t.memory_unit, w.memory_unit);
    cmd_prt(r.rx, " of memory.\n");

    if (pfm_get_sup_serial_num(r.q, w.board_serial) != 0) {
        cmd_prt(r.rx, "  Error in getting Processor Board ID\n");
        return true;
    }
    w.board_serial[sizeof w.board_serial - 1] = '\0';
    if (w.board_serial[0] == '\0') {
        cmd_prt(r.rx, "\n");
        return true;
    }
    cmd_prt(r.rx, "  Processor Board ID ");
    print_text(r.rx, t.board_serial, w.board_serial);
    cmd_prt(r.rx, "\n\n");
    return true;
}

/*
 * Asks for the host name on queue q and copies it into the value text, cut
 * at 127 characters and never read past the reply's length. A failed
 * request, or a reply without a name, gives "Invalid hostname".
 */
void ask_hostname(Report &r, int32_t q) {
    void *reply = nullptr;
    uint32_t length = 0;
    const int32_t rc =
        cmi_req_resp(kOpcodeHostname, 1, 0, &reply, &length, "", "", kHostnameService, q, 5);
    // What a failed request left behind is not ours to free.
    const CmiResponse response(rc == 0 ? reply : nullptr, length);
    const auto *name = static_cast<const char *>(response.data());
    const std::size_t limit = std::min<std::size_t>(response.length(), sizeof r.w.value_text - 1);
    const std::size_t n = name != nullptr ? strnlen(name, limit) : 0;
    if (n == 0) {
        format_text(r.w.value_text, sizeof r.w.value_text, "%s", kInvalidHostname);
        return;
    }
    std::memcpy(r.w.value_text, name, n);
    r.w.value_text[n] = '\0';
}

bool device_name(Report &r) {
    if (r.style.default_vdc_hostname) {
        int32_t q = -1;
        const int32_t err = get_default_vdc_mts_q_handle(&q);
        if (err != 0) {
            format_text(r.w.value_text, sizeof r.w.value_text, "%s: %s", kInvalidHostname,
                        syserr_text(err));
        } else {
            ask_hostname(r, q);
            release_default_vdc_mts_q_handle(&q);
        }
    } else {
        const QueueHandle queue(r.context);
        ask_hostname(r, queue.get());
    }
    cmd_prt(r.rx, "  Device name: ");
    print_text(r.rx, r.style.tags.device_name, r.w.value_text);
    cmd_prt(r.rx, "\n");
    return true;
}

/*
 * Runs a shell command built from format and rooted paths; nothing when it
 * does not fit. False when the shell did not run. Failures of the utility
 * itself show as a size of 0.
 */
bool run_command(Report &r, const char *format, std::initializer_list<const char *> paths) {
    char *command = r.w.command_text;
    return build_command(command, sizeof r.w.command_text, r.style.op, format, paths) &&
           sys.system(command) != -1;
}

/* The size of the slot0 file system in kB of 1000 bytes; 0 when it is not served here. */
uint64_t slot0_size_kb() {
    uint32_t unused_a = 0, unused_b = 0;
    if (urifs_server_validate("slot0", "sup-local", &unused_a, &unused_b) != 0)
        return 0;
    fs_stat_record_t fs{};
    if (fileutil_fs_stat_get("/slot0", &fs) != 0)
        return 0;
    return static_cast<uint64_t>(fs.word[FS_STAT_BLOCK_SIZE_WORD]) *
           fs.word[FS_STAT_BLOCK_COUNT_WORD] / 1000;
}

bool flash_sizes(Report &r) {
    const VersionTags &t = r.style.tags;
    // The utility writes into a file this report has just created itself, so
    // neither a planted link nor a leftover listing can take its place. When
    // that file cannot be made, nothing runs and the size reads as 0. Reports
    // take turns on the fixed name, so none reads another's listing.
    const DirectoryTurn turn(kFlashSizeDirectory);
    const bool listing = create_output_file(kFlashSizeFile);
    if (listing)
        run_command(r, "%s > %s 2> /dev/null", {kFlashSizeTool, kFlashSizeFile});
    const int32_t bootflash = listing ? read_flash_size_file_item(kFlashSizeFile, 0) : 0;
    const uint64_t slot0 = slot0_size_kb();
    // A shell that cannot run cannot remove the listing either: it goes directly.
    if (listing && !run_command(r, "rm -f %s 2> /dev/null", {kFlashSizeFile}))
        unlink_rooted(kFlashSizeFile);

    cmd_prt(r.rx, "  bootflash: ");
    print_value(r.rx, t.bootflash_size, &bootflash, sizeof bootflash, "%10s");
    cmd_prt(r.rx, " kB\n");
    r.last_flash_tag = t.bootflash_size;
    if (exists_dev_slot0() != 0) {
        cmd_prt(r.rx, "  slot0:     ");
        print_value(r.rx, t.slot0_size, &slot0, sizeof slot0, "%10s");
        cmd_prt(r.rx, " kB (expansion flash)\n");
        r.last_flash_tag = t.slot0_size;
    }
    cmd_prt(r.rx, "\n");
    return true;
}

bool kernel_uptime(Report &r) {
    sysmgr_show_kernel_uptime(r.rx, r.style.tag_set);
    return true;
}

bool last_reset(Report &r) {
    sysmgr_show_last_reset(r.rx, r.style.tag_set);
    return true;
}

/*
 * The names of the running plug-ins, as plain text. Only the table's rows
 * are read, whatever count the platform reports; rows without a name are
 * skipped.
 */
bool plugins(Report &r) {
    plugin_record_t table[PLUGIN_TABLE_ROWS] = {};
    int32_t count = 0;
    get_running_plugins(table, &count);
    const int32_t rows = std::min<int32_t>(count, PLUGIN_TABLE_ROWS);
    bool printed = false;
    for (int32_t i = 0; i < rows; ++i) {
        const char *name = table[i].name;
        const std::size_t n = strnlen(name, sizeof table[i].name);
        if (n == 0)
            continue;
        cmd_prt(r.rx, printed ? ", " : "\nplugin\n  ");
        cmd_dprt(r.rx, "%.*s", static_cast<int>(n), name);
        printed = true;
    }
    if (printed)
        cmd_prt(r.rx, "\n");
    return true;
}

/* The manufacturer, for output to the XML agent only. */
bool manufacturer(Report &r) {
    if (cmd_req_is_xmlagent(r.rx) == 0)
        return true;
    if (!r.style.calls_manufacturer_hook)
        print_manufacturer(r.rx, &r.w.arg, r.style.manufacturer_tag);
    else if (sysmgrpd_show_hardware_manufacture_print != nullptr)
        sysmgrpd_show_hardware_manufacture_print(r.last_flash_tag, &r.w.arg, r.rx);
    return true;
}

bool closing(Report &r) {
    if (!r.no_queue)
        r.style.closing(r.q, r.rx);
    return true;
}

/* A step of the report; false ends the report there. */
using Step = bool (*)(Report &);

/* The order of both reports. */
constexpr Step kReportOrder[] = {
    banner,          bios_line,    loader_line,         firmware_hook,    kickstart_version,
    system_version, // and the BIOS compile time
    kickstart_image, system_image, system_compile_time, hardware_heading, chassis_and_memory,
    device_name,     flash_sizes,  kernel_uptime,       last_reset,       plugins,
    manufacturer,    closing,
};

void run_report(const ReportStyle &style, const cli_context_t *context, int32_t q, bool debug,
                void *rx) {
    const CallRoot root; // the root is read once for the whole report
    Report r{.style = style,
             .context = context,
             .rx = rx,
             .q = q,
             .debug = debug,
             .no_queue = q == -1,
             .dorrel = pfm_is_dorrel_switch(q) != 0};
    for (Step step : kReportOrder) {
        if (!step(r))
            return;
    }
}

} // namespace

int hardware_show_version(int32_t q, void *rx) {
    run_report(kAlternateReport, nullptr, q, false, rx);
    return 0;
}

} // namespace sysmgrcli

extern "C" {

SYSMGRCLI_EXPORT int (*sysmgrpd_hardware_show_version)(int32_t q,
                                                       void *rx) = sysmgrcli::hardware_show_version;

SYSMGRCLI_EXPORT void sysmgr_show_version_internal_generic_pd(const struct cli_context *context,
                                                              void *rx, int32_t) {
    sysmgrcli::run_report(sysmgrcli::kVersionReport, context, context->mts_q, context->debug != 0,
                          rx);
}

SYSMGRCLI_EXPORT int sysmgr_show_version_internal2(int32_t q, void *rx) {
    if (sysmgrpd_hardware_show_version == nullptr) {
        errno = EINVAL;
        return -1;
    }
    return sysmgrpd_hardware_show_version(q, rx);
}

} // extern "C"
