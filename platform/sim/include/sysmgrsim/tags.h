/*
 * SPDX-License-Identifier: MIT
 * Tag dictionary of the simulated CLI back end.
 *
 * Every value the library prints carries a 32-bit tag id (platform/cli.h):
 * top byte the value kind, second byte the tag set, low 16 bits the field.
 * The library's table (sysmgrcli/tags.def) gives each tag id the reports
 * know a field name, the kind of its value and the report that prints it.
 * The XML and JSON renderings take their element and key names from it and
 * nowhere else; the schemas in schema/ describe the same names.
 *
 * A tag id that is not in the table (a platform hook may print its own) is
 * rendered under a generic name made from the id: "tag_0x" and 8 hex digits.
 */
#ifndef SYSMGRSIM_TAGS_H
#define SYSMGRSIM_TAGS_H

#include <cstdint>
#include <string>

#include "sysmgrcli/tags.h"

namespace sysmgrsim {

using sysmgrcli::tags::Report;
using sysmgrcli::tags::tag_dictionary;
using sysmgrcli::tags::TagInfo;
using sysmgrcli::tags::TagKind;

/* The dictionary's entry for a tag id, or null when the id is not in it. */
const TagInfo *tag_lookup(uint32_t id);

/* The field name of a tag id: the dictionary's, or "tag_0x" and 8 hex digits. */
std::string tag_field_name(uint32_t id);

/* "redundancy", "version" or "version2". */
const char *report_name(Report report);

} // namespace sysmgrsim

#endif
