// `sysmgr-show enum NAME VALUE|SYMBOL`: one lookup through the library's
// exported __NAME_find and __NAME_str2enum.
//
// Output, one line on stdout, value first so that scripts can cut it:
//   "35 SRV_STATE_MASTER_ACTIVE_HOTSTDBY"   a value or a symbol that has a row
//   "16 (no name)"                          a value that has none (status 1)
//   "BOGUS (unknown name)"                  a symbol that has none (status 1)
// An enumeration the library does not know is a usage error (status 2).
#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <dlfcn.h>
#include <strings.h>

#include "commands.h"

namespace {

using FindFunc = const char *(*)(int32_t);
using Str2enumFunc = int32_t (*)(const char *);

/*
 * A whole integer that fits 32 signed bits: decimal (a leading zero does not
 * make it octal) or 0x-prefixed hex, either with a leading '-'. Leading
 * blanks, '+' or trailing text make it no number.
 */
bool parse_value(const std::string &text, int32_t &value) {
    size_t digits = text.compare(0, 1, "-") == 0 ? 1 : 0;
    int base = 10;
    if (text.compare(digits, 2, "0x") == 0 || text.compare(digits, 2, "0X") == 0) {
        base = 16;
        digits += 2;
    }
    if (digits >= text.size() ||
        text.find_first_not_of(base == 16 ? "0123456789abcdefABCDEF" : "0123456789", digits) !=
            std::string::npos) {
        return false;
    }
    errno = 0;
    char *end = nullptr;
    long long parsed = std::strtoll(text.c_str(), &end, base);
    if (errno != 0 || *end != '\0' || parsed < INT32_MIN || parsed > INT32_MAX) {
        return false;
    }
    value = static_cast<int32_t>(parsed);
    return true;
}

bool looks_numeric(const std::string &text) {
    size_t first = text.compare(0, 1, "-") == 0 ? 1 : 0;
    return first < text.size() && text[first] >= '0' && text[first] <= '9';
}

} // namespace

int run_enum_command(void *library, const std::string &enumeration, const std::string &argument) {
    std::string prefix = "__" + enumeration;
    auto find = reinterpret_cast<FindFunc>(dlsym(library, (prefix + "_find").c_str()));
    auto str2enum = reinterpret_cast<Str2enumFunc>(dlsym(library, (prefix + "_str2enum").c_str()));
    if (find == nullptr || str2enum == nullptr) {
        std::fprintf(stderr, "sysmgr-show: unknown enumeration '%s'\n", enumeration.c_str());
        return 2;
    }

    int32_t value = 0;
    if (parse_value(argument, value)) {
        const char *name = find(value);
        std::printf("%" PRId32 " %s\n", value, name != nullptr ? name : "(no name)");
        return name != nullptr ? 0 : 1;
    }
    if (looks_numeric(argument)) {
        std::fprintf(stderr, "sysmgr-show: '%s' is not a 32-bit decimal or 0x value\n",
                     argument.c_str());
        return 2;
    }

    // str2enum() gives 0 both for row 0's name and for no match: tell them
    // apart by the name of value 0.
    value = str2enum(argument.c_str());
    const char *name = find(value);
    if (name == nullptr || (value == 0 && strcasecmp(name, argument.c_str()) != 0)) {
        std::printf("%s (unknown name)\n", argument.c_str());
        return 1;
    }
    std::printf("%" PRId32 " %s\n", value, name);
    return 0;
}
