/*
 * SPDX-License-Identifier: MIT
 * SHA-256 and HMAC-SHA-256, small enough to carry rather than bring a
 * cryptography library onto the switch for the redaction's placeholders.
 */
#ifndef SYSMGR_CAPTURE_HMAC_SHA256_H
#define SYSMGR_CAPTURE_HMAC_SHA256_H

#include <array>
#include <string_view>

namespace sysmgrcapture {

using Digest = std::array<unsigned char, 32>;

Digest sha256(std::string_view data);

/* HMAC-SHA-256 of message under key; a key longer than a block is hashed first. */
Digest hmac_sha256(std::string_view key, std::string_view message);

} // namespace sysmgrcapture

#endif
