// Platform manager, database, card, release-file, image, file-system,
// plug-in and CMP services. Card and slot records come from the scenario;
// the other services give the fixed answers of a healthy supervisor.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim_internal.h"

namespace {

using sysmgrsim::detail::record_call;
using sysmgrsim::detail::state;
using sysmgrsim::detail::text_arg;

constexpr uint8_t kSlot = 1;
constexpr int32_t kCompileStamp = 25110316; /* 2025-11-03, 16 h */
constexpr uint32_t kImageTime = 1762185600; /* 2025-11-03 16:00:00 UTC */
constexpr const char *kBiosVersion = "3.6.0";
constexpr const char *kVersion = "4.2(1)";
constexpr const char *kInterimVersion = "4.2(1.118)";
constexpr const char *kProcessor = "Dual-core 64-bit processor";
constexpr const char *kChassis = "10-slot chassis";
constexpr const char *kPartnerChassis = "TESK 10-slot chassis";
constexpr const char *kModule = "Supervisor Module-3";
constexpr const char *kSerial = "SUP0032178";
constexpr const char *kPlugins[] = {"Core Plugin", "Ethernet Plugin"};
constexpr uint32_t kSlot0BlockSize = 512;
constexpr uint32_t kSlot0Blocks = 3932160; /* 2013265920 bytes */

// The one image header the service hands out; img_open/img_close pair up.
struct Image {
    int unused;
} g_image;

} // namespace

extern "C" {

int pfm_is_dorrel_switch(int32_t q) {
    record_call("pfm_is_dorrel_switch", {q});
    return 0;
}

int pdb_is_bellwick_chassis(void) {
    record_call("pdb_is_bellwick_chassis", {});
    return 0;
}

int card_get_slot_num(uint8_t *slot) {
    record_call("card_get_slot_num", {});
    if (slot == nullptr)
        return -1;
    *slot = kSlot;
    return 0;
}

/* Fills the flash and running BIOS texts; *len must cover the record. */
int get_module_bios_version_ext(uint8_t slot, void *record, int32_t *len) {
    record_call("get_module_bios_version_ext", {slot});
    if (record == nullptr || len == nullptr || *len < BIOS_RECORD_SIZE)
        return -1;
    auto *bytes = static_cast<char *>(record);
    std::memset(bytes, 0, BIOS_RECORD_SIZE);
    std::snprintf(bytes + BIOS_RECORD_FLASH_TEXT, BIOS_RECORD_RUNNING_TEXT - BIOS_RECORD_FLASH_TEXT,
                  "%s", kBiosVersion);
    std::snprintf(bytes + BIOS_RECORD_RUNNING_TEXT, 128, "%s", kBiosVersion);
    *len = BIOS_RECORD_SIZE;
    return 0;
}

int32_t srg_timestamp_file_get(const char *path) {
    record_call("srg_timestamp_file_get", {}, {text_arg(path)});
    return kCompileStamp;
}

const char *srg_sw_ver_file_get(const char *path) {
    record_call("srg_sw_ver_file_get", {}, {text_arg(path)});
    return kVersion;
}

const char *srg_sw_interim_ver_file_get(const char *path) {
    record_call("srg_sw_interim_ver_file_get", {}, {text_arg(path)});
    return kInterimVersion;
}

/* The scenario's card: on success card_kind and module_type, the rest zero. */
int get_card_module_info(void *record) {
    record_call("get_card_module_info", {});
    const auto &card = state().scenario.card;
    if (record == nullptr)
        return -1;
    if (card.result != 0)
        return card.result;
    card_module_info_t info{};
    info.card_kind = card.card_kind;
    info.module_type = card.module_type;
    std::memcpy(record, &info, sizeof info);
    return 0;
}

/* The scenario's slots in bytes 0, 1, 3 and 4 of the 8-byte record. */
int get_platform_info(void *record) {
    record_call("get_platform_info", {});
    const auto &slots = state().scenario.slots;
    if (record == nullptr)
        return -1;
    platform_slot_info_t info{};
    info.this_sup = slots.this_sup;
    info.other_sup = slots.other_sup;
    info.cmp_a = slots.byte3;
    info.cmp_b = slots.byte4;
    std::memcpy(record, &info, sizeof info);
    return 0;
}

int pfm_get_processor_name(char *buf) {
    record_call("pfm_get_processor_name", {});
    if (buf == nullptr)
        return -1;
    std::snprintf(buf, 128, "%s", kProcessor);
    return 0;
}

const char *pdb_get_chassis_id_string(void) {
    record_call("pdb_get_chassis_id_string", {});
    return kChassis;
}

const char *pfm_get_dorrel_value(const char *text) {
    record_call("pfm_get_dorrel_value", {}, {text_arg(text)});
    return kPartnerChassis;
}

const char *pdb_get_mod_id_string2(uint8_t slot, int32_t q) {
    record_call("pdb_get_mod_id_string2", {slot, q});
    return kModule;
}

int pfm_get_sup_serial_num(int32_t q, char *buf) {
    record_call("pfm_get_sup_serial_num", {q});
    if (buf == nullptr)
        return -1;
    std::snprintf(buf, 64, "%s", kSerial);
    return 0;
}

int urifs_server_validate(const char *scheme, const char *server, uint32_t *a, uint32_t *b) {
    record_call("urifs_server_validate", {}, {text_arg(scheme), text_arg(server)});
    if (a != nullptr)
        *a = 0;
    if (b != nullptr)
        *b = 0;
    return 0;
}

int urifs_scheme_validate(const char *scheme, void *out) {
    record_call("urifs_scheme_validate", {}, {text_arg(scheme)});
    (void)out;
    return 0;
}

int fileutil_fs_stat_get(const char *path, void *record) {
    record_call("fileutil_fs_stat_get", {}, {text_arg(path)});
    if (record == nullptr)
        return -1;
    fs_stat_record_t fs{};
    fs.word[FS_STAT_BLOCK_SIZE_WORD] = kSlot0BlockSize;
    fs.word[FS_STAT_BLOCK_COUNT_WORD] = kSlot0Blocks;
    std::memcpy(record, &fs, sizeof fs);
    return 0;
}

int get_running_plugins(void *table, int32_t *count) {
    record_call("get_running_plugins", {});
    if (table == nullptr || count == nullptr)
        return -1;
    auto *rows = static_cast<plugin_record_t *>(table);
    int32_t n = 0;
    for (const char *name : kPlugins) {
        std::memset(&rows[n], 0, sizeof rows[n]);
        std::snprintf(rows[n].name, sizeof rows[n].name, "%s", name);
        ++n;
    }
    *count = n;
    return 0;
}

/* This supervisor has no connectivity-management processor: nothing to print. */
int cmpproxy_print_cmp_version(int32_t q, void *rx) {
    (void)rx;
    record_call("cmpproxy_print_cmp_version", {q});
    return 0;
}

int cmpproxy_print_cmp_hardware(int32_t q, void *rx) {
    (void)rx;
    record_call("cmpproxy_print_cmp_hardware", {q});
    return 0;
}

/* One reset recorded: a reload from the CLI shortly before the system start. */
int pfm_last_rr(void *record) {
    record_call("pfm_last_rr", {});
    if (record == nullptr)
        return -1;
    auto *rr = static_cast<last_rr_record_t *>(record);
    std::memset(rr, 0, sizeof *rr);
    rr->reason[0] = 9;
    std::snprintf(rr->sys_version[0], sizeof rr->sys_version[0], "%s", kVersion);
    rr->next_index = 1;
    uint32_t start = state().scenario.start_time;
    rr->reset_time[0] = start > 180 ? start - 180 : 0;
    rr->reset_usecs[0] = 517326;
    return 0;
}

void *img_open(const char *path, int32_t *error) {
    record_call("img_open", {}, {text_arg(path)});
    if (error != nullptr)
        *error = 0;
    return &g_image;
}

uint32_t img_timestamp(void *image) {
    record_call("img_timestamp", {});
    return image == &g_image ? kImageTime : 0;
}

int img_close(void *image) {
    record_call("img_close", {});
    if (image != &g_image) {
        errno = EINVAL;
        return -1;
    }
    return 0;
}

} // extern "C"
