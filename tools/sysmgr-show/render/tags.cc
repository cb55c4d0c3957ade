// SPDX-License-Identifier: MIT
// Lookups in the tag table.
#include <cstdio>

#include "tagged.h"

namespace render {

const TagInfo *tag_lookup(uint32_t id) {
    for (const TagInfo &info : sysmgrcli::tags::tag_dictionary)
        if (info.id == id)
            return &info;
    return nullptr;
}

std::string tag_field_name(uint32_t id) {
    if (const TagInfo *info = tag_lookup(id))
        return info->name;
    char name[sizeof "tag_0x00000000"];
    std::snprintf(name, sizeof name, "tag_0x%08x", static_cast<unsigned>(id));
    return name;
}

} // namespace render
