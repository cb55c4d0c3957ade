/*
 * SPDX-License-Identifier: MIT
 * Message transport, System Manager request/response, error texts and the
 * cycle timer. Every call blocks the calling thread until it completes.
 */
#ifndef PLATFORM_MTS_H
#define PLATFORM_MTS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Size of the caller storage for a message reference. */
#define MTS_MSG_SIZE 28
/* Number of 32-bit words in the receive options. */
#define MTS_RECV_OPTS_WORDS 10

int32_t mts_bind(int32_t kind, int32_t sap, int32_t flags, const char *client);
int mts_unbind(int32_t q, int32_t flags);
/*
 * msg: MTS_MSG_SIZE bytes of caller storage; negative result = failure. The
 * library passes 0 in each argN_always_0; what they mean is the platform's.
 */
int mts_send(int32_t q, const uint32_t dest[2], uint32_t opcode, int32_t arg4_always_0,
             int32_t arg5_always_0, void *msg, int32_t arg7_always_0, int32_t arg8_always_0);
uint32_t mts_rr_token_get(void *msg);
int mts_drop(int32_t q, void *msg);
/* -1 with mts_errno_get() == 4: interrupted, call again. */
int mts_recv(int32_t q, void *msg, int32_t opts[MTS_RECV_OPTS_WORDS]);
void *mts_payload_get(void *msg);
int mts_errno_get(int32_t q);

/*
 * One request to a System Manager service. On 0 the response pointer holds a
 * heap block the caller frees with free(); otherwise -1 (errno set) or an
 * error identifier. The library always passes 1, 0 and 5 in the arguments
 * named so; what they mean is the platform's.
 */
int32_t cmi_req_resp(uint32_t opcode, int32_t arg2_always_1, int32_t arg3_always_0, void **resp,
                     uint32_t *len, const char *text1, const char *text2, int32_t service,
                     int32_t q, int32_t arg10_always_5);
/* The same, sent to the System Manager on another node. */
int32_t cmi_remote_req_resp(uint32_t opcode, int32_t arg2_always_1, int32_t arg3_always_0,
                            void **resp, uint32_t *len, const char *text1, const char *text2,
                            int32_t service, uint32_t node, int32_t q, int32_t arg11_always_5);
/* Text of an error identifier; not owned by the caller. */
const char *syserr2str(int32_t err);

uint64_t timer_get_cycles(void);
uint64_t timer_diff_cycle_in_msec(uint64_t later, uint64_t earlier);

#ifdef __cplusplus
}
#endif

#endif
