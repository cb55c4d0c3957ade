/*
 * SPDX-License-Identifier: MIT
 * Records exchanged with the System Manager and the platform services, with
 * the layouts the library relies on. All fields are in host byte order.
 */
#ifndef PLATFORM_RECORDS_H
#define PLATFORM_RECORDS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Messaging address of the System Manager: words 0xFE000000 and 3. */
#define SYSMGR_MTS_ADDR_WORD0 0xFE000000u
#define SYSMGR_MTS_ADDR_WORD1 3u
/* Service number of the System Manager for CMI requests. */
#define SYSMGR_CMI_SERVICE 3

/* System Manager request opcodes. */
#define SYSMGR_OPC_REDUNDANCY_STATUS 0x9C3u
#define SYSMGR_OPC_SCOPE_DONE 0x9ACu
#define SYSMGR_OPC_PRIOR_UPTIME 0x9F6u
#define SYSMGR_OPC_HOSTNAME 0x394u

/* Payload of the answer to 0x9AC. */
typedef struct sysmgr_scope_done_rsp {
    uint32_t scope_done;  /* 1 = this supervisor is up and running */
    uint32_t unused4;
    uint64_t uptime_base; /* cycle count from which the active uptime counts */
    uint32_t unused16;
    uint32_t start_time;  /* system start, seconds since 1970 */
} sysmgr_scope_done_rsp_t;

/* Payload of the answer to 0x9F6. */
typedef struct sysmgr_prior_uptime_rsp {
    uint32_t prior_uptime; /* seconds of system uptime before the active supervisor's */
} sysmgr_prior_uptime_rsp_t;

/* Card module record (get_card_module_info); the rest belongs to the platform. */
typedef struct card_module_info {
    uint8_t card_kind;    /* 5: a single-supervisor card */
    uint8_t reserved1;
    uint16_t module_type;
    uint8_t platform[60];
} card_module_info_t;

/* Platform slot record (get_platform_info): 8 bytes of caller storage. */
typedef struct platform_slot_info {
    uint8_t this_sup;  /* number of this supervisor */
    uint8_t other_sup; /* number of the other supervisor */
    uint8_t reserved2;
    uint8_t cmp_a;     /* bytes 3 and 4: equal means this supervisor is sup-1 */
    uint8_t cmp_b;
    uint8_t reserved5[3];
} platform_slot_info_t;

/* BIOS record (get_module_bios_version_ext). */
#define BIOS_RECORD_SIZE 12560
#define BIOS_RECORD_FLASH_TEXT 152   /* BIOS version text held in flash */
#define BIOS_RECORD_RUNNING_TEXT 280 /* BIOS version text of the running BIOS */

/* File-system record (fileutil_fs_stat_get): nine words; 2 * 3 = bytes. */
typedef struct fs_stat_record {
    uint32_t word[9];
} fs_stat_record_t;
#define FS_STAT_BLOCK_SIZE_WORD 2
#define FS_STAT_BLOCK_COUNT_WORD 3

/* Plug-in record: one row of the table of running plug-ins (services.h). */
#define PLUGIN_RECORD_SIZE 768
#define PLUGIN_NAME_OFFSET 512
#define PLUGIN_TABLE_ROWS 32
typedef struct plugin_record {
    uint8_t platform[PLUGIN_NAME_OFFSET];
    char name[PLUGIN_RECORD_SIZE - PLUGIN_NAME_OFFSET];
} plugin_record_t;

/* Last reset record (pfm_last_rr): a ring of the last four resets. */
#define LAST_RR_RECORD_SIZE 4096
#define LAST_RR_ENTRIES 4
typedef struct last_rr_record {
    uint32_t unused0;
    uint32_t reason[LAST_RR_ENTRIES];          /* index into rr_string */
    uint8_t unused20[96];
    char service[LAST_RR_ENTRIES][32];         /* NUL-terminated */
    char sys_version[LAST_RR_ENTRIES][64];     /* NUL-terminated */
    uint32_t next_index;                       /* ring position of the next reset */
    uint8_t unused504[8];
    uint32_t reset_time[LAST_RR_ENTRIES];      /* seconds; 0 = none recorded */
    uint32_t reset_usecs[LAST_RR_ENTRIES];
    uint8_t platform[LAST_RR_RECORD_SIZE - 544];
} last_rr_record_t;

#ifdef __cplusplus
}

static_assert(offsetof(sysmgr_scope_done_rsp_t, uptime_base) == 8, "scope-done layout");
static_assert(offsetof(sysmgr_scope_done_rsp_t, start_time) == 20, "scope-done layout");
static_assert(sizeof(sysmgr_scope_done_rsp_t) == 24, "scope-done layout");
static_assert(offsetof(card_module_info_t, module_type) == 2, "card module layout");
static_assert(sizeof(platform_slot_info_t) == 8, "platform slot layout");
static_assert(offsetof(platform_slot_info_t, cmp_a) == 3, "platform slot layout");
static_assert(offsetof(platform_slot_info_t, cmp_b) == 4, "platform slot layout");
static_assert(sizeof(fs_stat_record_t) == 36, "file-system record layout");
static_assert(sizeof(plugin_record_t) == PLUGIN_RECORD_SIZE, "plug-in record layout");
static_assert(offsetof(plugin_record_t, name) == PLUGIN_NAME_OFFSET, "plug-in record layout");
static_assert(offsetof(last_rr_record_t, reason) == 4, "last reset layout");
static_assert(offsetof(last_rr_record_t, service) == 116, "last reset layout");
static_assert(offsetof(last_rr_record_t, sys_version) == 244, "last reset layout");
static_assert(offsetof(last_rr_record_t, next_index) == 500, "last reset layout");
static_assert(offsetof(last_rr_record_t, reset_time) == 512, "last reset layout");
static_assert(offsetof(last_rr_record_t, reset_usecs) == 528, "last reset layout");
static_assert(sizeof(last_rr_record_t) == LAST_RR_RECORD_SIZE, "last reset layout");
#endif

#endif
