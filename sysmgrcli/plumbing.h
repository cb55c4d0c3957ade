/*
 * SPDX-License-Identifier: MIT
 * Message-queue handles and CMI responses as owned resources, and the error
 * identifier of an error number. Internal to the library.
 */
#ifndef SYSMGRCLI_PLUMBING_H
#define SYSMGRCLI_PLUMBING_H

#include <cstdint>
#include <cstdlib>

#include "platform/cli.h"

namespace sysmgrcli {

/* The error identifier of an error number: its low 12 bits under 0x801E. */
constexpr uint32_t errno_error_id(int error) {
    return 0x801E0000u | (static_cast<uint32_t>(error) & 0xFFFu);
}

/*
 * The System Manager's text of an error identifier, never null: a platform
 * that has no text for it gets a fixed one, so messages always have a text.
 */
const char *syserr_text(int32_t err) noexcept;

/*
 * The message queue of one command: get_mts_q_handle() when made,
 * release_mts_q_handle() when destroyed, so a bound queue is never left
 * behind on any path.
 */
class QueueHandle {
  public:
    explicit QueueHandle(const cli_context_t *context) noexcept;
    ~QueueHandle();
    QueueHandle(const QueueHandle &) = delete;
    QueueHandle &operator=(const QueueHandle &) = delete;

    /* The handle to pass to the transport; -1 when none could be had. */
    int32_t get() const noexcept { return handle_; }

  private:
    const cli_context_t *context_;
    int32_t handle_ = -1;
};

/*
 * A response that a successful CMI request returned: a heap block and its
 * length, freed when the owner goes. Only a request that returned 0 hands
 * its block over; what a failed request left in the response pointer is
 * never adopted, since the platform may leave anything there.
 */
class CmiResponse {
  public:
    CmiResponse() noexcept = default;
    CmiResponse(void *data, uint32_t length) noexcept : data_(data), length_(length) {}
    ~CmiResponse() { std::free(data_); }
    CmiResponse(const CmiResponse &) = delete;
    CmiResponse &operator=(const CmiResponse &) = delete;

    const void *data() const noexcept { return data_; }
    /* Bytes the request said it returned; 0 when there is no block. */
    uint32_t length() const noexcept { return data_ != nullptr ? length_ : 0; }

  private:
    void *data_ = nullptr;
    uint32_t length_ = 0;
};

} // namespace sysmgrcli

#endif
