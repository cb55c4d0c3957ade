// SPDX-License-Identifier: MIT
// `sysmgr-show enum [NAME [VALUE|SYMBOL]]`: the enumerations' names, the rows
// of one, or one lookup, each through the library's exported __NAME_find and
// __NAME_str2enum. NAME is matched without regard to case, like the symbols.
//
// Output on stdout, a value first so that scripts can cut it:
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
#include <cinttypes>
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

// One row of the answer: a value with its name (null: it has none), or a symbol that has no value.
struct Answer {
    bool has_value;
    int32_t value;
    const char *name;
};

// Prints the rows of table answered, in text or as a JSON document.
void print_answers(const char *table, const std::string &argument,
                   const std::vector<Answer> &answers, bool json) {
    if (!json) {
        for (const Answer &a : answers) {
            if (a.has_value)
                std::printf("%" PRId32 " %s\n", a.value, a.name != nullptr ? a.name : "(no name)");
            else
                std::printf("%s (unknown name)\n", argument.c_str());
        }
        return;
    }
    nlohmann::ordered_json rows = nlohmann::ordered_json::array();
    for (const Answer &a : answers) {
        if (a.has_value)
            rows.push_back(
                {{"value", a.value},
                 {"name", a.name != nullptr ? nlohmann::ordered_json(a.name) : nullptr}});
    }
    const nlohmann::ordered_json document = {{"enumeration", table}, {"rows", rows}};
    std::printf(
        "%s\n",
        document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace).c_str());
}

} // namespace

int run_enum_command(void *library, const std::string &enumeration, const std::string &argument,
                     bool json) {
    if (enumeration.empty()) {
        if (json)
            std::printf("%s\n",
                        nlohmann::ordered_json({{"enumerations", kEnumerations}}).dump(2).c_str());
        else
            for (const char *e : kEnumerations)
                std::printf("%s\n", e);
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
    } else if (parse_value(argument, value)) {
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
    print_answers(table->name, argument, answers, json);
    const bool named = std::all_of(answers.begin(), answers.end(), [](const Answer &a) {
        return a.has_value && a.name != nullptr;
    });
    return named ? 0 : 1;
}
