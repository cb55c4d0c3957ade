/*
 * SPDX-License-Identifier: MIT
 * Name tables of the System Manager's enumerations: for each enumeration E,
 * __E_find(value) gives the constant's name (or null), __E_str2enum(name)
 * gives its value (or 0), comparing names without regard to case.
 *
 * For example, sysmgr_cardstate_t has
 *
 *     const char *__sysmgr_cardstate_t_find(int32_t value);
 *     int32_t __sysmgr_cardstate_t_str2enum(const char *name);
 *
 * and every enumeration of SYSMGRCLI_ENUMERATIONS (sysmgrcli_enum_list.h)
 * has the same two functions.
 *
 *  - find(0) is the name of the enumeration's first constant; any other value
 *    that no constant holds gives null. Values are compared whole, so a
 *    combination of flags is not a name.
 *  - str2enum() matches the whole name, ignoring case; a name that is not
 *    the enumeration's gives 0, as does the name of the constant of value 0.
 *    The name must not be null.
 *  - The names live in the library's constant data: never free or change
 *    them. The lookups keep no state and may be called from any thread.
 */
#ifndef SYSMGRCLI_SYSMGRCLI_ENUMS_H
#define SYSMGRCLI_SYSMGRCLI_ENUMS_H

#include <stdint.h>

#include "sysmgrcli/sysmgrcli_enum_list.h"

#ifndef SYSMGRCLI_EXPORT
#if defined(SYSMGRCLI_BUILDING) && defined(__GNUC__)
#define SYSMGRCLI_EXPORT __attribute__((visibility("default")))
#else
#define SYSMGRCLI_EXPORT
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define SYSMGRCLI_DECLARE_ENUM_LOOKUPS(E)                                                          \
    SYSMGRCLI_EXPORT const char *__##E##_find(int32_t value);                                      \
    SYSMGRCLI_EXPORT int32_t __##E##_str2enum(const char *name);

SYSMGRCLI_ENUMERATIONS(SYSMGRCLI_DECLARE_ENUM_LOOKUPS)

#undef SYSMGRCLI_DECLARE_ENUM_LOOKUPS

#ifdef __cplusplus
}
#endif

#endif
