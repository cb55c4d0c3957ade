/*
 * SPDX-License-Identifier: MIT
 * Tagged renderings of a command's print calls: one XML document or one
 * JSON object per command, one field per tagged value in output order.
 * Untagged literal text is not part of them. Field names come from the tag
 * table (sysmgrcli/tags.def); schema/README.md describes both formats.
 */
#ifndef SYSMGR_SHOW_TAGGED_H
#define SYSMGR_SHOW_TAGGED_H

#include <cstdint>
#include <string>
#include <vector>

#include "sysmgrcli/tags.h"
#include "sysmgrsim/sim.hpp"

namespace render {

using sysmgrcli::tags::TagInfo;
using sysmgrsim::Print;

/* The table's entry for a tag id, or null when the id is not in it. */
const TagInfo *tag_lookup(uint32_t id);
/* The field name of a tag id: the table's, or "tag_0x" and 8 hex digits. */
std::string tag_field_name(uint32_t id);

/* The commands the library serves: the redundancy and uptime report, the version report. */
constexpr int32_t kRedundancyCommand = 1;
constexpr int32_t kVersionCommand = 107;

/* How a tagged value renders. */
enum class ValueForm { text, int32, int64, time, bytes };

/* One tagged value, decoded from its tag and recorded bytes. */
struct TaggedValue {
    uint32_t tag = 0;
    bool named = false; /* the tag is in the dictionary */
    std::string name;   /* field name, or the generic name of the id */
    ValueForm form = ValueForm::bytes;
    bool is_signed = false; /* integers: which of the two numbers holds it */
    int64_t signed_number = 0;
    uint64_t unsigned_number = 0;
    std::string text; /* valid UTF-8 of XML characters; integers in decimal */
};

/*
 * Decodes a value print. Integers take their width from the length (4 or 8
 * bytes); 4-byte 0x11 values are signed, the others unsigned, as in the
 * plain text; a time becomes ISO 8601 UTC; a text ends at its first NUL
 * (and at its length when it has none), and one trailing line end, layout
 * of the plain text, is dropped. A value
 * that does not decode in its kind (a wrong length, an unknown kind) is
 * rendered as "0x" and the hex digits of its bytes, in form bytes.
 */
TaggedValue decode_tagged(const Print &print);

/* The text as valid UTF-8 of XML characters: anything else becomes U+FFFD. */
std::string clean_text(const std::string &raw);

/* "text", "int32", "int64", "time" or "bytes". */
const char *form_name(ValueForm form);

/* Root element / top-level key: show_redundancy, show_version or show_command. */
const char *document_name(int32_t command);

/*
 * A line the library wrote on a stream, "stdout" or "stderr", or the host's
 * note on what it collected, "host"; its text as valid UTF-8.
 */
struct StreamMessage {
    const char *stream;
    std::string text;
};

/* A value in the form scripts take best: a number, or a text. */
struct NormalisedValue {
    const char *name;
    bool is_number;
    int64_t number;
    std::string text;
};

/*
 * The members every tagged document ends with: the values normalised (times
 * as ISO 8601 with the local offset and as seconds since 1970, uptimes in
 * seconds, supervisor slots as integers, compile times trimmed, the
 * plug-ins as a list), the lines the library wrote
 * on the process's streams, whether the report ran to its end, and where
 * the files ("capture" or "scenario") and the platform's answers (always
 * "scenario") came from.
 */
struct DocumentNotes {
    std::vector<NormalisedValue> normalised;
    bool has_plugins = false; /* a version report: "plugins" is there, perhaps empty */
    std::vector<std::string> plugins;
    std::vector<StreamMessage> messages;
    bool complete = true;
    bool delivered = true; /* false: the values were never sent, and are left out */
    const char *files_source = "scenario";
};

std::string render_xml(int32_t command, const std::vector<Print> &prints,
                       const DocumentNotes &notes);
std::string render_json(int32_t command, const std::vector<Print> &prints,
                        const DocumentNotes &notes);

} // namespace render

#endif
