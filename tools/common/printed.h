/*
 * SPDX-License-Identifier: MIT
 * How a capture's printed.json spells what it records, which sysmgr-capture
 * writes, and sysmgr-show writes (--format printed) and reads (check) alike.
 */
#ifndef SYSMGR_TOOLS_PRINTED_H
#define SYSMGR_TOOLS_PRINTED_H

#include <cstdint>
#include <string>

namespace printed {

/* A tag or an error identifier: "0x" and 8 upper-case hex digits. */
std::string id(uint32_t value);
/* Bytes: two lower-case hex digits each. */
std::string hex(const std::string &bytes);

} // namespace printed

#endif
