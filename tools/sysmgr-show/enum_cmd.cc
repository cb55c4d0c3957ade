// Enumeration lookups through the library's exported tables.
#include <cstdio>

#include "commands.h"

int run_enum_command(void *library, const std::string &enumeration, const std::string &argument) {
    (void)library;
    (void)enumeration;
    (void)argument;
    std::fprintf(stderr, "sysmgr-show: enum lookups not available yet\n");
    return 2;
}
