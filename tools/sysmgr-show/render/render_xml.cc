// SPDX-License-Identifier: MIT
// XML rendering: one document per command, one element per tagged value.
// The values are decoded here; the document is written by the XML writer
// module, loaded on the first XML rendering so that libxml2 is loaded only
// by a process that renders XML.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <dlfcn.h>

#include "tagged.h"
#include "xml_writer.h"

namespace render {
namespace {

// The module, loaded once and kept: by the program's RUNPATH, else (a
// sanitizer's dlopen() searches as its own library) from the library
// directory beside the program's. Null, with a message on the standard
// error stream, when it cannot be loaded.
render_xml_write_fn xml_writer() {
    static const render_xml_write_fn writer = [] {
        void *module = dlopen(RENDER_XML_MODULE, RTLD_NOW | RTLD_LOCAL);
        const char *error = dlerror();
        const std::string why = error != nullptr ? error : "?";
        if (module == nullptr) {
            std::error_code ec;
            const auto beside = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() /
                                RENDER_XML_MODULE_DIR / RENDER_XML_MODULE;
            if (!ec)
                module = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
        }
        void *symbol = module != nullptr ? dlsym(module, "render_xml_write") : nullptr;
        if (symbol == nullptr)
            std::fprintf(stderr, "sysmgr-show: cannot load the XML writer %s: %s\n",
                         RENDER_XML_MODULE,
                         module != nullptr ? "no render_xml_write" : why.c_str());
        return reinterpret_cast<render_xml_write_fn>(symbol);
    }();
    return writer;
}

struct FreeDeleter {
    void operator()(char *p) const { std::free(p); }
};

} // namespace

std::string render_xml(int32_t command, const std::vector<Print> &prints,
                       const DocumentNotes &notes) {
    const render_xml_write_fn write = xml_writer();
    if (write == nullptr)
        return {};
    // The decoded values own the texts the elements point to.
    std::vector<TaggedValue> decoded;
    std::vector<std::string> tags;
    for (const Print &p : prints) {
        if (p.kind == Print::Kind::value)
            decoded.push_back(decode_tagged(p));
    }
    tags.reserve(decoded.size());
    std::vector<render_xml_value> values;
    values.reserve(decoded.size());
    for (const TaggedValue &v : decoded) {
        if (v.named) {
            values.push_back({v.name.c_str(), {}, v.text.c_str()});
            continue;
        }
        char tag[sizeof "0x00000000"];
        std::snprintf(tag, sizeof tag, "0x%08x", static_cast<unsigned>(v.tag));
        tags.emplace_back(tag);
        values.push_back(
            {"value", {"tag", tags.back().c_str(), "kind", form_name(v.form)}, v.text.c_str()});
    }
    std::vector<std::string> numbers;
    numbers.reserve(notes.normalised.size());
    values.push_back({"normalised", {}, nullptr});
    for (const NormalisedValue &v : notes.normalised) {
        if (v.is_number)
            numbers.push_back(std::to_string(v.number));
        values.push_back({v.name, {}, v.is_number ? numbers.back().c_str() : v.text.c_str()});
    }
    if (notes.has_plugins) {
        values.push_back({"plugins", {}, nullptr});
        for (const std::string &name : notes.plugins)
            values.push_back({"plugin", {}, name.c_str()});
        values.push_back({nullptr, {}, nullptr});
    }
    values.push_back({nullptr, {}, nullptr});
    values.push_back({"messages", {}, nullptr});
    for (const StreamMessage &m : notes.messages)
        values.push_back({"message", {"stream", m.stream}, m.text.c_str()});
    values.push_back({nullptr, {}, nullptr});
    values.push_back({"complete", {}, notes.complete ? "true" : "false"});
    values.push_back({"delivered", {}, notes.delivered ? "true" : "false"});
    values.push_back({"sources", {}, nullptr});
    values.push_back({"files", {}, notes.files_source});
    values.push_back({"platform", {}, "scenario"});
    values.push_back({nullptr, {}, nullptr});
    size_t length = 0;
    const std::unique_ptr<char, FreeDeleter> document(
        write(document_name(command), values.data(), values.size(), &length));
    if (!document)
        return {};
    return std::string(document.get(), length);
}

} // namespace render
