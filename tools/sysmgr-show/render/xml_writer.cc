// SPDX-License-Identifier: MIT
// The XML writer module: one document per command, one element per value.
#include "xml_writer.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include <libxml/xmlwriter.h>

namespace {

struct BufferFree {
    void operator()(xmlBuffer *b) const { xmlBufferFree(b); }
};
struct WriterFree {
    void operator()(xmlTextWriter *w) const { xmlFreeTextWriter(w); }
};

const xmlChar *x(const char *text) {
    return reinterpret_cast<const xmlChar *>(text);
}

bool write_value(xmlTextWriter *w, const render_xml_value &v) {
    if (v.element == nullptr)
        return xmlTextWriterEndElement(w) >= 0;
    if (xmlTextWriterStartElement(w, x(v.element)) < 0)
        return false;
    for (size_t i = 0; i + 1 < 4 && v.attributes[i] != nullptr; i += 2) {
        if (xmlTextWriterWriteAttribute(w, x(v.attributes[i]), x(v.attributes[i + 1])) < 0)
            return false;
    }
    return v.text == nullptr ||
           (xmlTextWriterWriteString(w, x(v.text)) >= 0 && xmlTextWriterEndElement(w) >= 0);
}

// Writes the document; false when the writer fails (out of memory).
bool write_document(xmlTextWriter *w, const char *root, const render_xml_value *values,
                    size_t count) {
    if (xmlTextWriterSetIndent(w, 1) < 0 || xmlTextWriterSetIndentString(w, x("  ")) < 0 ||
        xmlTextWriterStartDocument(w, nullptr, "UTF-8", nullptr) < 0 ||
        xmlTextWriterStartElement(w, x(root)) < 0) {
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        if (!write_value(w, values[i]))
            return false;
    }
    return xmlTextWriterEndDocument(w) >= 0;
}

} // namespace

extern "C" __attribute__((visibility("default"))) char *
render_xml_write(const char *root, const render_xml_value *values, size_t count, size_t *length) {
    std::unique_ptr<xmlBuffer, BufferFree> buffer(xmlBufferCreate());
    if (!buffer)
        return nullptr;
    std::unique_ptr<xmlTextWriter, WriterFree> writer(xmlNewTextWriterMemory(buffer.get(), 0));
    if (!writer || !write_document(writer.get(), root, values, count))
        return nullptr;
    writer.reset(); // flushes into the buffer
    const size_t n = static_cast<size_t>(xmlBufferLength(buffer.get()));
    char *out = static_cast<char *>(std::malloc(n > 0 ? n : 1));
    if (out == nullptr)
        return nullptr;
    std::memcpy(out, xmlBufferContent(buffer.get()), n);
    *length = n;
    return out;
}
