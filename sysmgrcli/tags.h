/*
 * SPDX-License-Identifier: MIT
 * The tag table of tags.def as constants, tags::version::device_name, which
 * the reports print with, and as tag_dictionary, which the renderers and the
 * tests iterate. Internal: shared with the tools, never installed.
 */
#ifndef SYSMGRCLI_TAGS_H
#define SYSMGRCLI_TAGS_H

#include <cstddef>
#include <cstdint>

#include "platform/cli.h"

namespace sysmgrcli::tags {

/* The value kinds, as the top byte of a tag id encodes them. */
enum class TagKind : uint8_t {
    text = CMD_KIND_TEXT,
    int32 = CMD_KIND_INT32,
    int64 = CMD_KIND_INT64,
    time = CMD_KIND_TIME,
};

/*
 * The report a tag belongs to: the redundancy and uptime report (command 1),
 * the version report (command 107) and the alternate version report, which
 * prints the same fields as the version report under its own tag set.
 */
enum class Report : uint8_t { redundancy, version, version2 };

struct TagInfo {
    uint32_t id;
    const char *name; /* lower case, digits and underscores */
    TagKind kind;
    Report report;
};

#define TAG(report, field, id, kind)                                                               \
    namespace report {                                                                             \
    inline constexpr uint32_t field = id;                                                          \
    }
#include "tags.def"
#undef TAG

inline constexpr TagInfo tag_dictionary[] = {
#define TAG(report, field, id, kind) {id, #field, TagKind::kind, Report::report},
#include "tags.def"
#undef TAG
};

/* Each id once, its top byte the kind of its row. */
constexpr bool tag_dictionary_consistent() {
    for (std::size_t i = 0; i < sizeof tag_dictionary / sizeof *tag_dictionary; ++i) {
        const TagInfo &row = tag_dictionary[i];
        if (row.id >> 24 != static_cast<uint32_t>(row.kind))
            return false;
        for (std::size_t j = 0; j < i; ++j) {
            if (tag_dictionary[j].id == row.id)
                return false;
        }
    }
    return true;
}
static_assert(tag_dictionary_consistent(), "tags.def: an id repeated or of another kind");

} // namespace sysmgrcli::tags

#endif
