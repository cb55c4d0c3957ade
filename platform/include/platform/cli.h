/*
 * SPDX-License-Identifier: MIT
 * CLI back end: the receive handle of the command being served and the print
 * calls that collect its output.
 *
 * The back end owns the receive handle. Every print call appends to the
 * command's output; cmd_prt_send() delivers it once, at the end.
 */
#ifndef PLATFORM_CLI_H
#define PLATFORM_CLI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The record the back end passes to the library's entry point. The library
 * reads these fields and never writes them; back-end fields may follow from
 * offset 92.
 */
typedef struct cli_context {
    int32_t debug;        /* nonzero: the version report writes debugging lines */
    int32_t on_sup;       /* 1: the command runs on the supervisor itself */
    int32_t mts_q;        /* queue handle bound by the back end, -1 = none */
    char cmi_text1[40];   /* handed by address to every CMI request */
    char cmi_text2[40];
} cli_context_t;

/* The print argument: a tagged value, filled by cmd_prt_arg_make(). */
typedef struct cmd_prt_arg {
    uint32_t tag;        /* top byte: value kind; second byte: tag set; low 16: field */
    uint32_t len;        /* value length: text length + 1, or 4 / 8 for integers */
    const void *value;
} cmd_prt_arg_t;

/* Value kinds, the top byte of a tag id. */
#define CMD_TAG_KIND(tag) ((uint32_t)(tag) >> 24)
#define CMD_TAG_SET(tag) (((uint32_t)(tag) >> 16) & 0xFFu)
#define CMD_TAG_FIELD(tag) ((uint32_t)(tag) & 0xFFFFu)
#define CMD_KIND_TEXT 0x30u
#define CMD_KIND_INT32 0x11u
#define CMD_KIND_INT64 0x15u
#define CMD_KIND_TIME 0x40u

#if defined(__GNUC__)
#define PLATFORM_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define PLATFORM_PRINTF(fmt, args)
#endif

void *cmd_paraminfo_to_rxhandle(const cli_context_t *context);
int32_t cmd_req_cmdId_getnext(void *rx);
int cmd_req_is_xmlagent(void *rx);
int cmd_prt_arg_make(cmd_prt_arg_t *arg, uint32_t tag, const void *value, uint32_t len);
/*
 * Literal text (no conversion), or "%s" / "%10s" with one cmd_prt_arg_t *.
 * No format attribute: "%s" takes a print argument, not a char pointer.
 */
int cmd_prt(void *rx, const char *fmt, ...);
/* Untagged text with ordinary printf conversions. */
int cmd_dprt(void *rx, const char *fmt, ...) PLATFORM_PRINTF(2, 3);
/* A ready print argument for a time value (seconds since 1970). */
cmd_prt_arg_t *cmd_tuple(uint32_t tag, const uint32_t *value);
int cmd_prt_send(void *rx);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
/* Its size follows the pointer's (12 bytes on a 32-bit target); the two words lead. */
static_assert(sizeof(cmd_prt_arg_t) <= 16, "print argument is at most 16 bytes");
static_assert(offsetof(cmd_prt_arg_t, tag) == 0, "print argument layout");
static_assert(offsetof(cmd_prt_arg_t, len) == 4, "print argument layout");
static_assert(offsetof(cli_context_t, debug) == 0, "cli context layout");
static_assert(offsetof(cli_context_t, on_sup) == 4, "cli context layout");
static_assert(offsetof(cli_context_t, mts_q) == 8, "cli context layout");
static_assert(offsetof(cli_context_t, cmi_text1) == 12, "cli context layout");
static_assert(offsetof(cli_context_t, cmi_text2) == 52, "cli context layout");
static_assert(sizeof(cli_context_t) == 92, "cli context layout");
#endif

#endif
