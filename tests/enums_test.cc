// SPDX-License-Identifier: MIT
// The enumeration lookups, through the exported functions only: every
// enumeration's rows are discovered by asking find() for candidate values
// and compared with the reviewed list in tests/golden/enumerations.txt, then
// read back by name.
#include "sysmgrcli/sysmgrcli_enums.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <limits>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Lookups {
    const char *enumeration;
    const char *(*find)(int32_t);
    int32_t (*str2enum)(const char *);
};

#define SYSMGRCLI_LOOKUPS(E) {#E, __##E##_find, __##E##_str2enum},
constexpr Lookups all_lookups[] = {SYSMGRCLI_ENUMERATIONS(SYSMGRCLI_LOOKUPS)};
#undef SYSMGRCLI_LOOKUPS

struct Row {
    int32_t value;
    std::string name;
    bool operator<(const Row &other) const { return value < other.value; }
    bool operator==(const Row &other) const = default;
};

// Names the row in failure messages.
void PrintTo(const Row &row, std::ostream *os) {
    *os << row.value << " " << row.name;
}

// Every row find() answers for: all small values, both signs, every single
// bit and the extremes. A row outside these would show as a missing one.
std::vector<Row> rows_of(const Lookups &lookups) {
    std::set<int32_t> candidates = {std::numeric_limits<int32_t>::min(),
                                    std::numeric_limits<int32_t>::max()};
    for (int32_t v = -1024; v <= 1024; ++v) {
        candidates.insert(v);
    }
    for (int bit = 0; bit < 31; ++bit) {
        candidates.insert(int32_t{1} << bit);
    }
    std::vector<Row> rows;
    for (int32_t v : candidates) {
        if (const char *name = lookups.find(v)) {
            rows.push_back({v, name});
        }
    }
    return rows;
}

// The reviewed tables in the library's order, each with its rows by value;
// the file holds a line "ENUMERATION VALUE NAME" per row.
std::vector<std::pair<std::string, std::vector<Row>>> reviewed_tables() {
    std::ifstream in(SYSMGRCLI_SOURCE_DIR "/tests/golden/enumerations.txt");
    std::vector<std::pair<std::string, std::vector<Row>>> tables;
    std::string enumeration;
    Row row;
    while (in >> enumeration >> row.value >> row.name) {
        if (tables.empty() || tables.back().first != enumeration)
            tables.push_back({enumeration, {}});
        tables.back().second.push_back(row);
    }
    for (auto &table : tables)
        std::sort(table.second.begin(), table.second.end());
    return tables;
}

std::string lower(std::string text) {
    for (char &c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

TEST(Enums, EveryTableHoldsTheReviewedRows) {
    const auto tables = reviewed_tables();
    ASSERT_EQ(tables.size(), std::size(all_lookups));
    for (size_t i = 0; i < tables.size(); ++i) {
        SCOPED_TRACE(tables[i].first);
        EXPECT_EQ(all_lookups[i].enumeration, tables[i].first);
        EXPECT_EQ(rows_of(all_lookups[i]), tables[i].second);
    }
}

// Every name reads back to its value, in any case, and only whole names do.
TEST(Enums, EveryNameReadsBackToItsValue) {
    for (const Lookups &lookups : all_lookups) {
        SCOPED_TRACE(lookups.enumeration);
        for (const Row &row : rows_of(lookups)) {
            const std::string &name = row.name;
            EXPECT_EQ(lookups.str2enum(name.c_str()), row.value) << name;
            EXPECT_EQ(lookups.str2enum(lower(name).c_str()), row.value) << name;
            for (const std::string &near :
                 {name + " ", " " + name, name + "\n", name.substr(0, name.size() - 1)})
                EXPECT_EQ(lookups.str2enum(near.c_str()), 0) << near;
        }
        // The end row (value 0, empty name) is never a match, nor a number.
        EXPECT_EQ(lookups.str2enum(""), 0);
        EXPECT_EQ(lookups.str2enum("1"), 0);
    }
    // Each table reads only its own names.
    EXPECT_EQ(__sysmgr_redundancy_mode_t_str2enum("SYSMGR_CARDSTATE_ACTIVE"), 0);
}

} // namespace
