// SPDX-License-Identifier: MIT
// Platform manager, database, card, release-file, image, file-system,
// plug-in and CMP services, each answering from the scenario.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim_internal.h"

namespace {

using sysmgrsim::detail::ImageHandle;
using sysmgrsim::detail::ReleaseFile;
using sysmgrsim::detail::Scenario;
using sysmgrsim::detail::state;

// What img_open sets for a path the scenario has no header for: ENOENT.
constexpr int32_t kNoSuchImage = static_cast<int32_t>(0x801E0002u);
// What the URI file system answers for an unknown scheme or server.
constexpr int kUnknownUri = -1;

const Scenario &scenario() {
    return state().scenario;
}

/*
 * Copies text into a field of size bytes the way the platform fills it: the
 * text, then zeros to the end. A text exactly as long as the field fills it
 * with no terminator (the scenario rejects longer ones).
 */
void fill_field(char *field, std::size_t size, const std::string &text) {
    const std::size_t n = std::min(text.size(), size);
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, size - n);
}

/*
 * A record answer: a failure result as it is, -1 for no place to put the
 * record, else 0 with the record copied there. On failure the place is left
 * as it was.
 */
template <typename R>
int put(int32_t result, void *place, const R &record) {
    if (result != 0)
        return result;
    if (place == nullptr)
        return -1;
    std::memcpy(place, &record, sizeof record);
    return 0;
}

// A text the scenario may leave out, as a pointer: null when it does.
const char *optional_text(const std::optional<std::string> &text) {
    return text ? text->c_str() : nullptr;
}

// What the scenario answers for a release file; for another path no version and stamp 0.
const ReleaseFile &release_file(const char *path) {
    static const ReleaseFile kNone;
    const auto &files = scenario().release_files;
    auto it = path != nullptr ? files.find(path) : files.end();
    return it != files.end() ? it->second : kNone;
}

bool listed(const std::vector<std::string> &names, const char *name) {
    return name != nullptr && std::find(names.begin(), names.end(), name) != names.end();
}

// The open handle behind image, or null for anything else.
ImageHandle *open_image(void *image) {
    for (const auto &h : state().images)
        if (h.get() == image && h->open)
            return h.get();
    return nullptr;
}

} // namespace

namespace sysmgrsim::detail::answer {

int pfm_is_dorrel_switch(int32_t) {
    return scenario().chassis.dorrel ? 1 : 0;
}

int pdb_is_bellwick_chassis(void) {
    return scenario().chassis.bellwick ? 1 : 0;
}

int card_get_slot_num(uint8_t *slot) {
    return put(scenario().chassis.slot_result, slot, scenario().chassis.slot);
}

/*
 * On success the record is zeroed and holds the flash and running BIOS
 * texts in their 128-byte fields; *len must cover the record.
 */
int get_module_bios_version_ext(uint8_t, void *record, int32_t *len) {
    const auto &bios = scenario().bios;
    if (bios.result != 0)
        return bios.result;
    if (record == nullptr || len == nullptr || *len < BIOS_RECORD_SIZE)
        return -1;
    auto *bytes = static_cast<char *>(record);
    std::memset(bytes, 0, BIOS_RECORD_SIZE);
    constexpr std::size_t kField = BIOS_RECORD_RUNNING_TEXT - BIOS_RECORD_FLASH_TEXT;
    fill_field(bytes + BIOS_RECORD_FLASH_TEXT, kField, bios.flash);
    fill_field(bytes + BIOS_RECORD_RUNNING_TEXT, kField, bios.running);
    *len = BIOS_RECORD_SIZE;
    return 0;
}

int32_t srg_timestamp_file_get(const char *path) {
    return release_file(path).compile_stamp;
}

const char *srg_sw_ver_file_get(const char *path) {
    return optional_text(release_file(path).version);
}

const char *srg_sw_interim_ver_file_get(const char *path) {
    return optional_text(release_file(path).interim_version);
}

int get_card_module_info(void *record) {
    const auto &card = scenario().card;
    card_module_info_t info{};
    info.card_kind = card.card_kind;
    info.module_type = card.module_type;
    return record == nullptr ? -1 : put(card.result, record, info);
}

int get_platform_info(void *record) {
    const auto &slots = scenario().slots;
    platform_slot_info_t info{};
    info.this_sup = slots.this_sup;
    info.other_sup = slots.other_sup;
    info.cmp_a = slots.byte3;
    info.cmp_b = slots.byte4;
    return put(slots.result, record, info);
}

int pfm_get_processor_name(char *buf) {
    char name[128];
    fill_field(name, sizeof name, scenario().chassis.processor);
    return put(scenario().chassis.processor_result, buf, name);
}

const char *pdb_get_chassis_id_string(void) {
    return optional_text(scenario().chassis.name);
}

/* The partner's name of any chassis text is the scenario's dorrel_name. */
const char *pfm_get_dorrel_value(const char *) {
    return optional_text(scenario().chassis.dorrel_name);
}

const char *pdb_get_mod_id_string2(uint8_t, int32_t) {
    return optional_text(scenario().chassis.module);
}

int pfm_get_sup_serial_num(int32_t, char *buf) {
    char serial[64];
    fill_field(serial, sizeof serial, scenario().chassis.serial);
    return put(scenario().chassis.serial_result, buf, serial);
}

/* 0 for "sup-local" and a scheme the scenario lists as served locally. */
int urifs_server_validate(const char *scheme, const char *server, uint32_t *a, uint32_t *b) {
    if (a != nullptr)
        *a = 0;
    if (b != nullptr)
        *b = 0;
    const bool local = server != nullptr && std::strcmp(server, "sup-local") == 0;
    return local && listed(scenario().uri.local_servers, scheme) ? 0 : kUnknownUri;
}

int urifs_scheme_validate(const char *scheme, void *) {
    return listed(scenario().uri.schemes, scheme) ? 0 : kUnknownUri;
}

int fileutil_fs_stat_get(const char *, void *record) {
    const auto &fs = scenario().slot0_fs;
    fs_stat_record_t out{};
    out.word[FS_STAT_BLOCK_SIZE_WORD] = fs.block_size;
    out.word[FS_STAT_BLOCK_COUNT_WORD] = fs.blocks;
    return put(fs.result, record, out);
}

/*
 * Writes one record per listed name (at most the table's 32) and reports
 * the scenario's count, which may differ from the names written. On failure
 * neither the table nor the count is touched.
 */
int get_running_plugins(void *table, int32_t *count) {
    const auto &p = scenario().plugins;
    if (p.result != 0)
        return p.result;
    if (table == nullptr || count == nullptr)
        return -1;
    auto *rows = static_cast<plugin_record_t *>(table);
    const std::size_t n = std::min<std::size_t>(p.names.size(), PLUGIN_TABLE_ROWS);
    for (std::size_t i = 0; i < n; ++i) {
        std::memset(rows[i].platform, 0, sizeof rows[i].platform);
        fill_field(rows[i].name, sizeof rows[i].name, p.names[i]);
    }
    *count = p.count;
    return 0;
}

int cmpproxy_print_cmp_version(int32_t, void *rx) {
    for (const std::string &line : scenario().cmp.version_lines)
        sysmgrsim::detail::print_line(rx, line);
    return 0;
}

int cmpproxy_print_cmp_hardware(int32_t, void *rx) {
    for (const std::string &line : scenario().cmp.hardware_lines)
        sysmgrsim::detail::print_line(rx, line);
    return 0;
}

/*
 * Fills the ring from the scenario unless its result is negative; the
 * result is returned either way.
 */
int pfm_last_rr(void *record) {
    const auto &last = scenario().last_reset;
    if (last.result < 0)
        return last.result;
    if (record == nullptr)
        return -1;
    auto *rr = static_cast<last_rr_record_t *>(record);
    std::memset(rr, 0, sizeof *rr);
    for (std::size_t i = 0; i < LAST_RR_ENTRIES; ++i) {
        const auto &e = last.entries[i];
        rr->reason[i] = e.reason;
        fill_field(rr->service[i], sizeof rr->service[i], e.service);
        fill_field(rr->sys_version[i], sizeof rr->sys_version[i], e.system_version);
        rr->reset_time[i] = e.time;
        rr->reset_usecs[i] = e.usecs;
    }
    rr->next_index = last.next_index;
    return last.result;
}

/*
 * A new handle for a path the scenario has a header for and no error, or
 * an error with handle_on_error; null otherwise. Every handle is a distinct
 * object until the records are cleared, so a second close of one is seen.
 */
void *img_open(const char *path, int32_t *error) {
    auto &s = state();
    const auto &images = s.scenario.images;
    auto it = path != nullptr ? images.find(path) : images.end();
    const int32_t err = it != images.end() ? it->second.error : kNoSuchImage;
    if (error != nullptr)
        *error = err;
    if (err != 0)
        note_result(", error " + shown_identifier(err));
    if (it == images.end() || (err != 0 && !it->second.handle_on_error))
        return nullptr;
    s.images.push_back(std::make_unique<ImageHandle>(ImageHandle{it->second.build_time, true}));
    return s.images.back().get();
}

uint32_t img_timestamp(void *image) {
    const ImageHandle *h = open_image(image);
    return h != nullptr ? h->build_time : 0;
}

int img_close(void *image) {
    auto &s = state();
    ImageHandle *h = open_image(image);
    if (h == nullptr) {
        ++s.image_close_errors;
        errno = EINVAL;
        return -1;
    }
    h->open = false;
    return 0;
}

} // namespace sysmgrsim::detail::answer
