/*
 * Name tables of the System Manager's enumerations: for each enumeration E,
 * __E_find(value) gives the constant's name (or null), __E_str2enum(name)
 * gives its value (or 0), comparing names without regard to case.
 */
#ifndef SYSMGRCLI_SYSMGRCLI_ENUMS_H
#define SYSMGRCLI_SYSMGRCLI_ENUMS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif

#endif
