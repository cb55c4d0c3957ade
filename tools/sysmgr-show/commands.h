/*
 * SPDX-License-Identifier: MIT
 * Subcommands of sysmgr-show that live in files of their own. Each returns
 * the program's exit status: 0 done, 1 nothing to show, 2 usage error.
 */
#ifndef SYSMGR_SHOW_COMMANDS_H
#define SYSMGR_SHOW_COMMANDS_H

#include <string>

/*
 * `enum [NAME [VALUE|SYMBOL]]`: lists the enumerations (NAME empty) or the
 * rows of NAME (argument empty), or looks a value or a symbol of NAME up,
 * through the lookups of the loaded library (a handle from dlopen); in text,
 * or as a JSON document when json is set.
 */
int run_enum_command(void *library, const std::string &enumeration, const std::string &argument,
                     bool json);

#endif
