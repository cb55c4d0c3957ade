// SPDX-License-Identifier: MIT
// Lookups in the tag dictionary.
#include "sysmgrsim/tags.h"

#include <cstdio>

namespace sysmgrsim {

const TagInfo *tag_lookup(uint32_t id) {
    for (const TagInfo &info : tag_dictionary) {
        if (info.id == id) {
            return &info;
        }
    }
    return nullptr;
}

std::string tag_field_name(uint32_t id) {
    if (const TagInfo *info = tag_lookup(id)) {
        return info->name;
    }
    char name[sizeof "tag_0x00000000"];
    snprintf(name, sizeof name, "tag_0x%08x", static_cast<unsigned>(id));
    return name;
}

const char *report_name(Report report) {
    switch (report) {
    case Report::redundancy:
        return "redundancy";
    case Report::version:
        return "version";
    case Report::version2:
        return "version2";
    }
    return "unknown";
}

} // namespace sysmgrsim
