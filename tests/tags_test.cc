// The tag dictionary: kinds agree with the ids, names are well formed and
// unique within a report, unknown ids get a generic name.
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
using sysmgrsim::TagKind;

std::string hex(uint32_t id) {
    char text[16];
    snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(id));
    return text;
}

TEST(TagDictionary, KindAgreesWithTheIdsTopByte) {
    for (const TagInfo &info : tag_dictionary) {
        EXPECT_EQ(static_cast<uint32_t>(info.kind), CMD_TAG_KIND(info.id)) << hex(info.id);
    }
}

TEST(TagDictionary, TagSetMatchesTheReport) {
    // The alternate version report has its own tag set; the others share 0x5c.
    for (const TagInfo &info : tag_dictionary) {
        uint32_t expected = info.report == Report::version2 ? 0x2f : 0x5c;
        EXPECT_EQ(CMD_TAG_SET(info.id), expected) << hex(info.id);
    }
}

TEST(TagDictionary, IdsAreUnique) {
    std::set<uint32_t> seen;
    for (const TagInfo &info : tag_dictionary) {
        EXPECT_TRUE(seen.insert(info.id).second) << hex(info.id) << " listed twice";
    }
}

TEST(TagDictionary, NamesAreUniqueWithinAReport) {
    std::map<Report, std::set<std::string>> names;
    for (const TagInfo &info : tag_dictionary) {
        EXPECT_TRUE(names[info.report].insert(info.name).second)
            << info.name << " used twice in the " << sysmgrsim::report_name(info.report)
            << " report";
    }
}

TEST(TagDictionary, NamesAreLowerCaseIdentifiers) {
    const std::regex well_formed("^[a-z][a-z0-9_]*$");
    for (const TagInfo &info : tag_dictionary) {
        EXPECT_TRUE(std::regex_match(info.name, well_formed)) << info.name;
        EXPECT_NE(std::string(info.name).rfind("tag_0x", 0), 0u)
            << info.name << " looks like a generic name";
    }
}

TEST(TagDictionary, VersionReportsShareTheirFieldNames) {
    // Both version reports print the same fields, so they render alike; only
    // version_string (printed for other clients) has no alternate tag.
    std::set<std::string> version;
    std::set<std::string> version2;
    for (const TagInfo &info : tag_dictionary) {
        if (info.report == Report::version && std::string(info.name) != "version_string") {
            version.insert(info.name);
        } else if (info.report == Report::version2) {
            version2.insert(info.name);
        }
    }
    EXPECT_EQ(version, version2);
}

TEST(TagDictionary, FieldNames) {
    struct Case {
        uint32_t id;
        const char *name;
    };
    const Case cases[] = {
        {0x305c0002, "administrative_redundancy_mode"},
        {0x305c000b, "other_supervisor_internal_state"},
        {0x115c0011, "kernel_uptime_days"},
        {0x115c0030, "kernel_uptime_days"},
        {0x112f0031, "kernel_uptime_days"},
        {0x405c0035, "last_reset_time"},
        {0x302f003a, "manufacturer"},
        // Not in the dictionary: a generic name from the whole id.
        {0x305c00ff, "tag_0x305c00ff"},
        {0x305c0001, "tag_0x305c0001"},
        {0x305c001f, "tag_0x305c001f"},
        {0x115c0019, "tag_0x115c0019"}, // a known field number under another kind
        {0x00000000, "tag_0x00000000"},
        {0xffffffff, "tag_0xffffffff"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(sysmgrsim::tag_field_name(c.id), c.name) << hex(c.id);
        EXPECT_EQ(sysmgrsim::tag_lookup(c.id) != nullptr,
                  std::string(c.name).rfind("tag_0x", 0) != 0)
            << hex(c.id);
    }
}

} // namespace
