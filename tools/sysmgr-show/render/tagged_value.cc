// SPDX-License-Identifier: MIT
// Decoding of tagged values for the XML and JSON renderings.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "tagged.h"

namespace render {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD

// Characters an XML 1.0 document may hold; JSON gets the same text.
bool xml_char(uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// Length of the well-formed UTF-8 sequence at s (at most n bytes) and its
// code point, or 0 when the bytes there are not one.
size_t utf8_sequence(const unsigned char *s, size_t n, uint32_t &c) {
    size_t len;
    uint32_t min;
    if (s[0] < 0x80) {
        c = s[0];
        return 1;
    }
    if ((s[0] & 0xE0) == 0xC0) {
        len = 2;
        min = 0x80;
        c = s[0] & 0x1Fu;
    } else if ((s[0] & 0xF0) == 0xE0) {
        len = 3;
        min = 0x800;
        c = s[0] & 0x0Fu;
    } else if ((s[0] & 0xF8) == 0xF0) {
        len = 4;
        min = 0x10000;
        c = s[0] & 0x07u;
    } else {
        return 0;
    }
    if (len > n) {
        return 0;
    }
    for (size_t i = 1; i < len; ++i) {
        if ((s[i] & 0xC0) != 0x80) {
            return 0;
        }
        c = (c << 6) | (s[i] & 0x3Fu);
    }
    if (c < min || (c >= 0xD800 && c <= 0xDFFF)) {
        return 0;
    }
    return len;
}

} // namespace

std::string clean_text(const std::string &raw) {
    std::string out;
    out.reserve(raw.size());
    const auto *s = reinterpret_cast<const unsigned char *>(raw.data());
    size_t i = 0;
    while (i < raw.size()) {
        uint32_t c = 0;
        size_t len = utf8_sequence(s + i, raw.size() - i, c);
        if (len == 0 || !xml_char(c)) {
            out += kReplacement;
            i += len == 0 ? 1 : len;
            continue;
        }
        out.append(raw, i, len);
        i += len;
    }
    return out;
}

namespace {

std::string hex_bytes(const std::string &bytes) {
    std::string out = "0x";
    for (unsigned char b : bytes) {
        char two[3];
        snprintf(two, sizeof two, "%02x", b);
        out += two;
    }
    return out;
}

bool decode_integer(uint32_t kind, const std::string &bytes, TaggedValue &v) {
    uint64_t raw;
    if (!sysmgrsim::value_integer(kind, bytes, raw, v.is_signed)) {
        return false;
    }
    if (v.is_signed) {
        v.signed_number = static_cast<int64_t>(raw);
        v.text = std::to_string(v.signed_number);
    } else {
        v.unsigned_number = raw;
        v.text = std::to_string(v.unsigned_number);
    }
    v.form = bytes.size() == 4 && kind == CMD_KIND_INT32 ? ValueForm::int32 : ValueForm::int64;
    return true;
}

bool decode_time(const std::string &bytes, TaggedValue &v) {
    time_t t;
    struct tm tm;
    char text[32];
    if (!sysmgrsim::value_seconds(bytes, t) || gmtime_r(&t, &tm) == nullptr ||
        strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm) == 0) {
        return false;
    }
    v.text = text;
    v.form = ValueForm::time;
    return true;
}

} // namespace

TaggedValue decode_tagged(const Print &print) {
    TaggedValue v;
    v.tag = print.tag;
    v.named = tag_lookup(print.tag) != nullptr;
    v.name = tag_field_name(print.tag);
    uint32_t kind = CMD_TAG_KIND(print.tag);
    bool decoded = false;
    switch (kind) {
    case CMD_KIND_TEXT: {
        // A trailing line end is the plain text's layout, not part of the value.
        std::string raw = print.value.substr(0, print.value.find('\0'));
        if (!raw.empty() && raw.back() == '\n')
            raw.pop_back();
        v.text = clean_text(raw);
        v.form = ValueForm::text;
        decoded = true;
        break;
    }
    case CMD_KIND_INT32:
    case CMD_KIND_INT64:
        decoded = decode_integer(kind, print.value, v);
        break;
    case CMD_KIND_TIME:
        decoded = decode_time(print.value, v);
        break;
    default:
        break;
    }
    if (!decoded) {
        v.form = ValueForm::bytes;
        v.text = hex_bytes(print.value);
    }
    return v;
}

const char *form_name(ValueForm form) {
    static constexpr const char *kNames[] = {"text", "int32", "int64", "time", "bytes"};
    return kNames[static_cast<int>(form)];
}

const char *document_name(int32_t command) {
    return command == kRedundancyCommand ? "show_redundancy"
           : command == kVersionCommand  ? "show_version"
                                         : "show_command";
}

} // namespace render
