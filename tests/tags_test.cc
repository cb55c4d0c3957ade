// The tag dictionary: kinds and tag sets agree with the ids, ids are unique,
// names are well formed and unique within a report, both version reports
// name the same fields.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>

#include "sysmgrsim/tags.h"

namespace {

using sysmgrsim::Report;
using sysmgrsim::tag_dictionary;
using sysmgrsim::TagInfo;

std::string hex(uint32_t id) {
    char text[16];
    snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(id));
    return text;
}

TEST(TagDictionary, EntriesAreConsistent) {
    const std::regex well_formed("^[a-z][a-z0-9_]*$");
    std::set<uint32_t> ids;
    std::map<Report, std::set<std::string>> names;
    for (const TagInfo &info : tag_dictionary) {
        SCOPED_TRACE(hex(info.id));
        EXPECT_EQ(static_cast<uint32_t>(info.kind), CMD_TAG_KIND(info.id));
        // The alternate version report has its own tag set; the others share 0x5c.
        EXPECT_EQ(CMD_TAG_SET(info.id), info.report == Report::version2 ? 0x2fu : 0x5cu);
        EXPECT_TRUE(ids.insert(info.id).second) << "listed twice";
        EXPECT_TRUE(names[info.report].insert(info.name).second) << info.name << " used twice";
        EXPECT_TRUE(std::regex_match(info.name, well_formed)) << info.name;
        EXPECT_NE(std::string(info.name).rfind("tag_", 0), 0u) << info.name << " looks generic";
    }
    // Both version reports print the same fields, so they render alike;
    // only version_string (printed for other clients) has no alternate tag.
    names[Report::version].erase("version_string");
    EXPECT_EQ(names[Report::version], names[Report::version2]);
}

} // namespace
