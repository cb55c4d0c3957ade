// SPDX-License-Identifier: MIT
// The library's tables against what is written down elsewhere: every
// enumeration's rows, discovered through the exported lookups only by asking
// find() for candidate values, against the reviewed list in
// tests/golden/enumerations.txt and read back by name; the XML Schemas and
// the JSON Schema against the fields of the tag table, document by
// document; and the platform-call table against the default scenario, every
// member of scenarios/default.json read by an item and every item naming a
// member of the default.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <regex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/show_runner.h"
#include "sysmgrcli/sysmgrcli_enums.h"
#include "sysmgrcli/tags.h"
#include "sysmgrsim/sim.h"

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
    for (int32_t v = -1024; v <= 1024; ++v)
        candidates.insert(v);
    for (int bit = 0; bit < 31; ++bit)
        candidates.insert(int32_t{1} << bit);
    std::vector<Row> rows;
    for (int32_t v : candidates)
        if (const char *name = lookups.find(v))
            rows.push_back({v, name});
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
            std::string lower = name;
            std::transform(name.begin(), name.end(), lower.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            EXPECT_EQ(lookups.str2enum(lower.c_str()), row.value) << name;
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

/* ---- Schemas and the tag table -------------------------------------------- */

using sysmgrcli::tags::Report;
using Names = std::set<std::string>;

Names table_names(std::initializer_list<Report> reports) {
    Names names;
    for (const auto &row : sysmgrcli::tags::tag_dictionary)
        if (std::find(reports.begin(), reports.end(), row.report) != reports.end())
            names.insert(row.name);
    return names;
}

/* Every named element of an XML Schema but its document element, as xmllint finds them. */
Names xsd_names(const std::string &path) {
    const char *xpath = "//*[local-name()='element' and @name]"
                        "[not(parent::*[local-name()='schema'])]/@name";
    const std::string found = testsupport::run_program({"xmllint", "--xpath", xpath, path}).out;
    const std::regex name(R"re( name="([^"]+)")re");
    Names names;
    for (std::sregex_iterator m(found.begin(), found.end(), name), end; m != end; ++m)
        names.insert((*m)[1]);
    return names;
}

Names json_names(const std::string &document) {
    const auto schema = nlohmann::json::parse(
        testsupport::read_file(SYSMGRCLI_SOURCE_DIR "/schema/show.schema.json"));
    Names names;
    for (const auto &[name, type] : schema.at("$defs").at(document).at("properties").items())
        names.insert(name);
    return names;
}

TEST(Tags, SchemasNameTheTableFields) {
    const struct {
        const char *document;
        const char *xsd;
        std::initializer_list<Report> reports;
    } cases[] = {
        {"show_redundancy", "show-redundancy.xsd", {Report::redundancy}},
        // The alternate report's fields go by the version report's names.
        {"show_version", "show-version.xsd", {Report::version, Report::version2}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.document);
        const Names table = table_names(c.reports);
        EXPECT_EQ(xsd_names(SYSMGRCLI_SOURCE_DIR "/schema/" + std::string(c.xsd)), table);
        EXPECT_EQ(json_names(c.document), table);
    }
}

/* ---- The platform-call table and the default scenario ------------------- */

#define M(path, field, type, capture) path,
#define CALL(ret, name, params, args, ints, texts, result, outs, members) members
#define SCENARIO_ONLY(members) members
const std::set<std::string> kItems = {
#include "../platform/calls.def"
};
#undef M
#undef CALL
#undef SCENARIO_ONLY

// The members of node under prefix that no item reads, and the items found.
void walk(const nlohmann::json &node, const std::string &prefix, std::set<std::string> &unread,
          std::set<std::string> &found) {
    for (auto it = node.begin(); it != node.end(); ++it) {
        const std::string path = prefix + it.key();
        if (kItems.count(path) != 0)
            found.insert(path);
        else if (it->is_object() && !it->empty())
            walk(*it, path + ".", unread, found);
        else
            unread.insert(path);
    }
}

TEST(Members, DefaultScenarioAndTableAgree) {
    std::set<std::string> unread, found;
    walk(nlohmann::json::parse(sim_default_scenario()), "", unread, found);
    EXPECT_EQ(unread, std::set<std::string>()) << "default.json members without an item";
    EXPECT_EQ(found, kItems) << "items the default does not hold";
}

} // namespace
