/*
 * SPDX-License-Identifier: MIT
 * Subcommands of sysmgr-show that live in files of their own. Each returns
 * the program's exit status: 0 done, 1 nothing to show, 2 usage error.
 */
#ifndef SYSMGR_SHOW_COMMANDS_H
#define SYSMGR_SHOW_COMMANDS_H

#include <cstdint>
#include <string>
#include <vector>

/*
 * `enum [NAME [VALUE|SYMBOL]]`: lists the enumerations (NAME empty) or the
 * rows of NAME (argument empty), or looks a value or a symbol of NAME up,
 * through the lookups of the loaded library (a handle from dlopen); in text,
 * or as a JSON document when json is set. The answer is left in out for the
 * caller to write; messages go to the standard error.
 */
int run_enum_command(void *library, const std::string &enumeration, const std::string &argument,
                     bool json, std::string &out);

/*
 * A 32-bit integer as the command line gives one: decimal from -2147483648
 * to 2147483647, or 0x and up to 8 hex digits taken as the bit pattern
 * (0xffffffff is -1), either with a leading '-'; false for anything else.
 */
bool parse_int32(const std::string &text, int32_t &value);

/*
 * `check [--jobs N] [--format text|json] CAPTURE...`: replays each capture
 * (a directory, or each one below a directory) with the library this program
 * loads, jobs at a time, and compares what it prints with the capture's
 * printed.json. Leaves the report in out, one line per capture in the order
 * given; returns the worst status: 0 identical, 1 one differs, 2 one cannot
 * be checked.
 */
int run_check_command(const std::vector<std::string> &paths, unsigned jobs, bool json,
                      std::string &out);

#endif
