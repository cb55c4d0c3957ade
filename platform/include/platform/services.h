/*
 * SPDX-License-Identifier: MIT
 * Platform manager, platform database, card services, software-release
 * files, image headers, URI file system, file utilities, plug-in list and the
 * connectivity-management processor proxy. Record layouts are in records.h.
 */
#ifndef PLATFORM_SERVICES_H
#define PLATFORM_SERVICES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

int pfm_is_dorrel_switch(int32_t q);
int pdb_is_bellwick_chassis(void);
int card_get_slot_num(uint8_t *slot);
/* record: BIOS_RECORD_SIZE bytes; *len holds its size on entry. 0 = filled. */
int get_module_bios_version_ext(uint8_t slot, void *record, int32_t *len);
int32_t srg_timestamp_file_get(const char *path);
const char *srg_sw_ver_file_get(const char *path);
const char *srg_sw_interim_ver_file_get(const char *path);
/* record: a card_module_info_t. 0 = filled. */
int get_card_module_info(void *record);
/* record: a platform_slot_info_t. */
int get_platform_info(void *record);
/* buf: 128 bytes. */
int pfm_get_processor_name(char *buf);
const char *pdb_get_chassis_id_string(void);
const char *pfm_get_dorrel_value(const char *text);
const char *pdb_get_mod_id_string2(uint8_t slot, int32_t q);
/* buf: 64 bytes. 0 = filled. */
int pfm_get_sup_serial_num(int32_t q, char *buf);
/* unread_out1, unread_out2: two 32-bit out-values the library does not read. */
int urifs_server_validate(const char *scheme, const char *server, uint32_t *unread_out1,
                          uint32_t *unread_out2);
int urifs_scheme_validate(const char *scheme, void *out);
/* record: a fs_stat_record_t. 0 = filled. */
int fileutil_fs_stat_get(const char *path, void *record);
/* table: PLUGIN_TABLE_ROWS plugin_record_t rows. */
int get_running_plugins(void *table, int32_t *count);
int cmpproxy_print_cmp_version(int32_t q, void *rx);
int cmpproxy_print_cmp_hardware(int32_t q, void *rx);
/* record: LAST_RR_RECORD_SIZE bytes. Negative = failure. */
int pfm_last_rr(void *record);
void *img_open(const char *path, int32_t *error);
uint32_t img_timestamp(void *image);
int img_close(void *image);

#ifdef __cplusplus
}
#endif

#endif
