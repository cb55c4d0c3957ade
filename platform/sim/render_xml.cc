// XML rendering: one document per command, one element per tagged value.
#include <libxml/xmlwriter.h>

#include <memory>

#include "tagged.h"

namespace sysmgrsim::detail {
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

// Writes the document; false when the writer fails (out of memory).
bool write_document(xmlTextWriter *w, int32_t command, const std::vector<Print> &prints) {
    if (xmlTextWriterSetIndent(w, 1) < 0 || xmlTextWriterSetIndentString(w, x("  ")) < 0 ||
        xmlTextWriterStartDocument(w, nullptr, "UTF-8", nullptr) < 0 ||
        xmlTextWriterStartElement(w, x(document_name(command))) < 0) {
        return false;
    }
    for (const Print &p : prints) {
        if (p.kind != Print::Kind::value) {
            continue;
        }
        TaggedValue v = decode_tagged(p);
        int rc;
        if (v.named) {
            rc = xmlTextWriterStartElement(w, x(v.name.c_str()));
        } else {
            char tag[sizeof "0x00000000"];
            snprintf(tag, sizeof tag, "0x%08x", static_cast<unsigned>(v.tag));
            rc = xmlTextWriterStartElement(w, x("value"));
            if (rc >= 0) {
                rc = xmlTextWriterWriteAttribute(w, x("tag"), x(tag));
            }
            if (rc >= 0) {
                rc = xmlTextWriterWriteAttribute(w, x("kind"), x(form_name(v.form)));
            }
        }
        if (rc < 0 || xmlTextWriterWriteString(w, x(v.text.c_str())) < 0 ||
            xmlTextWriterEndElement(w) < 0) {
            return false;
        }
    }
    return xmlTextWriterEndDocument(w) >= 0;
}

} // namespace

std::string render_xml(int32_t command, const std::vector<Print> &prints) {
    std::unique_ptr<xmlBuffer, BufferFree> buffer(xmlBufferCreate());
    if (!buffer) {
        return {};
    }
    std::unique_ptr<xmlTextWriter, WriterFree> writer(xmlNewTextWriterMemory(buffer.get(), 0));
    if (!writer || !write_document(writer.get(), command, prints)) {
        return {};
    }
    writer.reset(); // flushes into the buffer
    return std::string(reinterpret_cast<const char *>(xmlBufferContent(buffer.get())),
                       static_cast<size_t>(xmlBufferLength(buffer.get())));
}

} // namespace sysmgrsim::detail
