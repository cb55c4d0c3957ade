// SPDX-License-Identifier: MIT
// `sysmgr-show enum [NAME [VALUE|SYMBOL]]`: the enumerations' names, the rows
// of one, or one lookup, each through the library's exported __NAME_find and
// __NAME_str2enum. NAME is matched without regard to case, like the symbols.
//
// Output (written on stdout by the caller), a value first so that scripts can cut it:
//   "srv_state_t"                           no NAME: each enumeration, a line each
//   "35 SRV_STATE_MASTER_ACTIVE_HOTSTDBY"   no VALUE: each row; or the row looked up
//   "16 (no name)"                          a value that has none (status 1)
//   "BOGUS (unknown name)"                  a symbol that has none (status 1)
// An enumeration the library does not know is a usage error (status 2), and
// the message names the closest one. With --format json the same answers
// are one document: {"enumerations": [...]}, or {"enumeration": NAME,
// "rows": [{"value": 35, "name": "..."}]} with a null name for a value that
// has none and no row for a symbol that has none.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <strings.h>

#include <nlohmann/json.hpp>

#include "commands.h"
#include "sysmgrcli/sysmgrcli_enum_list.h"

namespace {

// The rows of each table, generated from the library's tables; the names
// printed still come from the loaded library.
struct EnumRow {
    int32_t value;
    const char *name;
};
struct EnumTable {
    const char *name;
    const EnumRow *rows;
    std::size_t count;
    template <std::size_t N>
    constexpr EnumTable(const char *n, const EnumRow (&r)[N]) : name(n), rows(r), count(N) {}
};
#include "enum_rows.inc"

#define SYSMGR_SHOW_ENUM_NAME(E) #E,
constexpr const char *kEnumerations[] = {SYSMGRCLI_ENUMERATIONS(SYSMGR_SHOW_ENUM_NAME)};
#undef SYSMGR_SHOW_ENUM_NAME
static_assert(std::size(kEnumerations) == std::size(kEnumTables), "one row table per enumeration");

// Edits (insertions, deletions, substitutions) from a to b, ignoring case.
std::size_t distance(const std::string &a, const std::string &b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                              std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The enumeration named, without regard to case; null when none is.
const EnumTable *table_named(const std::string &name) {
    for (const EnumTable &t : kEnumTables)
        if (strcasecmp(t.name, name.c_str()) == 0)
            return &t;
    return nullptr;
}

const char *closest_enumeration(const std::string &name) {
    const char *best = kEnumerations[0];
    for (const char *e : kEnumerations)
        if (distance(name, e) < distance(name, best))
            best = e;
    return best;
}

using FindFunc = const char *(*)(int32_t);
using Str2enumFunc = int32_t (*)(const char *);

bool looks_numeric(const std::string &text) {
    size_t first = text.compare(0, 1, "-") == 0 ? 1 : 0;
    return first < text.size() && text[first] >= '0' && text[first] <= '9';
}

// One row of the answer: a value with its name (null: it has none), or a symbol that has no value.
struct Answer {
    bool has_value;
    int32_t value;
    const char *name;
};

// The rows of table answered, in text or as a JSON document.
std::string answer_text(const char *table, const std::string &argument,
                        const std::vector<Answer> &answers, bool json) {
    if (!json) {
        std::string out;
        for (const Answer &a : answers) {
            if (a.has_value)
                out += std::to_string(a.value) + " " + (a.name != nullptr ? a.name : "(no name)");
            else
                out += argument + " (unknown name)";
            out += '\n';
        }
        return out;
    }
    nlohmann::ordered_json rows = nlohmann::ordered_json::array();
    for (const Answer &a : answers) {
        if (a.has_value)
            rows.push_back(
                {{"value", a.value},
                 {"name", a.name != nullptr ? nlohmann::ordered_json(a.name) : nullptr}});
    }
    const nlohmann::ordered_json document = {{"enumeration", table}, {"rows", rows}};
    return document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

} // namespace

/*
 * A whole 32-bit integer: decimal (a leading zero does not make it octal)
 * from -2147483648 to 2147483647, or 0x-prefixed hex of up to 32 bits taken
 * as the bit pattern (0xffffffff is -1); either may have a leading '-'.
 * Leading blanks, '+' or trailing text make it no number.
 */
bool parse_int32(const std::string &text, int32_t &value) {
    const bool negative = text.compare(0, 1, "-") == 0;
    size_t digits = negative ? 1 : 0;
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
    const long long parsed = std::strtoll(text.c_str(), &end, base);
    const long long highest = base == 16 && !negative ? INT64_C(0xffffffff) : INT32_MAX;
    if (errno != 0 || *end != '\0' || parsed < INT32_MIN || parsed > highest)
        return false;
    value = static_cast<int32_t>(static_cast<uint32_t>(parsed));
    return true;
}

int run_enum_command(void *library, const std::string &enumeration, const std::string &argument,
                     bool json, std::string &out) {
    if (enumeration.empty()) {
        if (json)
            out = nlohmann::ordered_json({{"enumerations", kEnumerations}}).dump(2) + "\n";
        else
            for (const char *e : kEnumerations)
                out += std::string(e) + "\n";
        return 0;
    }
    const EnumTable *table = table_named(enumeration);
    if (table == nullptr) {
        std::fprintf(stderr, "sysmgr-show: unknown enumeration '%s' (did you mean '%s'?)\n",
                     enumeration.c_str(), closest_enumeration(enumeration));
        return 2;
    }
    std::string prefix = std::string("__") + table->name;
    auto find = reinterpret_cast<FindFunc>(dlsym(library, (prefix + "_find").c_str()));
    auto str2enum = reinterpret_cast<Str2enumFunc>(dlsym(library, (prefix + "_str2enum").c_str()));
    if (find == nullptr || str2enum == nullptr) {
        std::fprintf(stderr, "sysmgr-show: the library has no lookups for '%s'\n", table->name);
        return 2;
    }

    std::vector<Answer> answers;
    int32_t value = 0;
    if (argument.empty()) {
        for (std::size_t i = 0; i < table->count; ++i)
            answers.push_back({true, table->rows[i].value, find(table->rows[i].value)});
    } else if (parse_int32(argument, value)) {
        answers.push_back({true, value, find(value)});
    } else if (looks_numeric(argument)) {
        std::fprintf(stderr, "sysmgr-show: '%s' is not a 32-bit decimal or 0x value\n",
                     argument.c_str());
        return 2;
    } else {
        // str2enum() gives 0 both for row 0's name and for no match: tell
        // them apart by the name of value 0.
        value = str2enum(argument.c_str());
        const char *name = find(value);
        const bool known =
            name != nullptr && (value != 0 || strcasecmp(name, argument.c_str()) == 0);
        answers.push_back({known, value, name});
    }
    out = answer_text(table->name, argument, answers, json);
    const bool named = std::all_of(answers.begin(), answers.end(), [](const Answer &a) {
        return a.has_value && a.name != nullptr;
    });
    return named ? 0 : 1;
}
