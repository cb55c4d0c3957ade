/*
 * SPDX-License-Identifier: MIT
 * The XML writer module of the renderer (libsysmgr_render_xml.so). It holds
 * everything that needs libxml2, so that a process that renders only plain
 * text or JSON never loads libxml2 and what it pulls in; the renderer loads
 * it with dlopen() on the first XML rendering. A plain C interface: the
 * renderer decodes the values, the module only writes them.
 */
#ifndef SYSMGR_SHOW_XML_WRITER_H
#define SYSMGR_SHOW_XML_WRITER_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One element of the document, or the end of one that holds others. */
struct render_xml_value {
    const char *element;       /* element name; null ends the element opened last */
    const char *attributes[4]; /* up to two name, value pairs; a null name ends them */
    const char *text;          /* content: valid UTF-8 of XML characters; null opens
                                  the element, holding the values up to its end */
};

/*
 * Writes the document <root> with one element per value, indented by two
 * spaces, into a buffer from malloc() of *length bytes (not terminated) that
 * the caller frees. Null when the writer fails (out of memory).
 */
char *render_xml_write(const char *root, const struct render_xml_value *values, size_t count,
                       size_t *length);
typedef char *(*render_xml_write_fn)(const char *, const struct render_xml_value *, size_t,
                                     size_t *);

/* The module's file name, installed beside the simulator. */
#define RENDER_XML_MODULE "libsysmgr_render_xml.so"

#ifdef __cplusplus
}
#endif

#endif
