// SPDX-License-Identifier: MIT
// Error identifiers, message-queue handles and the CMI request wrapper.
#include "plumbing.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host_io.h"
#include "platform/mts.h"
#include "platform/records.h"
#include "sysmgrcli/sysmgrcli.h"

namespace sysmgrcli {

namespace {

/* No queue: the context's value for "the back end bound none". */
constexpr int32_t kNoQueue = -1;
/* mts_bind kinds: an ordinary client queue, and the default-VDC one. */
constexpr int32_t kBindClient = 2;
constexpr int32_t kBindDefaultVdc = 1;

} // namespace

const char *syserr_text(int32_t err) noexcept {
    const char *text = syserr2str(err);
    return text != nullptr ? text : "unknown error";
}

QueueHandle::QueueHandle(const cli_context_t *context) noexcept : context_(context) {
    get_mts_q_handle(context_, &handle_);
}

QueueHandle::~QueueHandle() {
    release_mts_q_handle(context_, &handle_);
}

} // namespace sysmgrcli

using sysmgrcli::errno_error_id;

extern "C" {

uint32_t error_id(int32_t rc) {
    if (rc == -1)
        return errno_error_id(errno);
    return static_cast<uint32_t>(rc);
}

const char *error_str(int32_t rc) {
    if (rc == -1)
        return std::strerror(errno);
    return sysmgrcli::syserr_text(rc);
}

int32_t get_mts_q_handle(const struct cli_context *context, int32_t *handle) {
    *handle = context->mts_q;
    if (*handle != sysmgrcli::kNoQueue)
        return 0;
    if (context->on_sup == 1) {
        sysmgrcli::say(stderr, "%s: Unexpected case of invalid queue on sup!\n",
                       "get_mts_q_handle");
        return 0;
    }
    *handle = mts_bind(sysmgrcli::kBindClient, -1, 0, "LIB_SYSMGR_CLI");
    if (*handle == -1)
        sysmgrcli::say(stderr, "%s :: Bind Failed - %s\n", "get_mts_q_handle",
                       std::strerror(mts_errno_get(0)));
    return 0;
}

int32_t release_mts_q_handle(const struct cli_context *context, int32_t *handle) {
    // Only a queue of our own is unbound; the back end's stays bound. With no
    // queue of the back end's, the variable is unbound whatever it holds,
    // -1 after a failed bind included.
    if (context->mts_q == sysmgrcli::kNoQueue)
        mts_unbind(*handle, 0);
    return 0;
}

int32_t get_default_vdc_mts_q_handle(int32_t *handle) {
    *handle = mts_bind(sysmgrcli::kBindDefaultVdc, -1, 0, "LIB_SYSMGR_CLI_ON_SUP");
    if (*handle == -1)
        return static_cast<int32_t>(errno_error_id(mts_errno_get(0)));
    return 0;
}

int32_t release_default_vdc_mts_q_handle(int32_t *handle) {
    mts_unbind(*handle, 0);
    return 0;
}

int32_t cmi_wrapper(uint32_t opcode, int32_t arg2, int32_t arg3, void **response, uint32_t *length,
                    const struct cli_context *context, int32_t arg7) {
    sysmgrcli::QueueHandle queue(context);
    return cmi_req_resp(opcode, arg2, arg3, response, length, context->cmi_text1,
                        context->cmi_text2, SYSMGR_CMI_SERVICE, queue.get(), arg7);
}

} // extern "C"
