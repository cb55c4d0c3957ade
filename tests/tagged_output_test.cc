// XML and JSON renderings: golden documents of the example scenarios checked
// against the published schemas, and the rendering of values the goldens do
// not show: unknown tags, markup, broken text, odd widths, repeats.
// UPDATE_GOLDEN=1 rewrites the golden documents.
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlschemas.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/show_runner.h"
#include "sysmgrsim/sim.h"
#include "sysmgrsim/tags.h"

namespace {

using Json = nlohmann::ordered_json;

const std::string kSource = SYSMGRCLI_SOURCE_DIR;

struct DocFree {
    void operator()(xmlDoc *d) const { xmlFreeDoc(d); }
};
using XmlDoc = std::unique_ptr<xmlDoc, DocFree>;

// Frees a string libxml2 allocated; null gives "".
std::string taken(xmlChar *text) {
    std::string s = text != nullptr ? reinterpret_cast<const char *>(text) : "";
    xmlFree(text);
    return s;
}

std::string attribute(xmlNode *node, const char *name) {
    return taken(xmlGetProp(node, reinterpret_cast<const xmlChar *>(name)));
}

// The document, or null when the text is not well-formed XML.
XmlDoc parse_xml(const std::string &text) {
    return XmlDoc(xmlReadMemory(text.data(), static_cast<int>(text.size()), "output.xml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
}

// The root's child elements.
std::vector<xmlNode *> fields(const XmlDoc &doc) {
    std::vector<xmlNode *> nodes;
    for (xmlNode *n = xmlDocGetRootElement(doc.get())->children; n != nullptr; n = n->next) {
        if (n->type == XML_ELEMENT_NODE && xmlStrcmp(n->name, BAD_CAST "normalised") == 0)
            break; // the members every document ends with
        if (n->type == XML_ELEMENT_NODE)
            nodes.push_back(n);
    }
    return nodes;
}

void collect_error(void *sink, xmlError *error) {
    if (error != nullptr && error->message != nullptr)
        *static_cast<std::string *>(sink) += error->message;
}

// What validating doc against schema/<file> reports; empty when it is valid.
std::string schema_errors(const std::string &file, xmlDoc *doc) {
    std::string errors = "cannot compile " + file;
    const std::string path = kSource + "/schema/" + file;
    std::unique_ptr<xmlSchemaParserCtxt, void (*)(xmlSchemaParserCtxt *)> parser(
        xmlSchemaNewParserCtxt(path.c_str()), xmlSchemaFreeParserCtxt);
    std::unique_ptr<xmlSchema, void (*)(xmlSchema *)> schema(
        parser ? xmlSchemaParse(parser.get()) : nullptr, xmlSchemaFree);
    std::unique_ptr<xmlSchemaValidCtxt, void (*)(xmlSchemaValidCtxt *)> valid(
        schema ? xmlSchemaNewValidCtxt(schema.get()) : nullptr, xmlSchemaFreeValidCtxt);
    if (!valid)
        return errors;
    errors.clear();
    xmlSchemaSetValidStructuredErrors(valid.get(), collect_error, &errors);
    if (xmlSchemaValidateDoc(valid.get(), doc) != 0 && errors.empty())
        errors = "invalid";
    return errors;
}

// Compares text with the golden file, or rewrites the file under UPDATE_GOLDEN=1.
void check_golden(const std::string &text, const std::string &path) {
    const char *update = std::getenv("UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
        std::ofstream(path, std::ios::binary) << text;
        return;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream golden;
    golden << in.rdbuf();
    EXPECT_EQ(text, golden.str()) << path;
}

TEST(TaggedGolden, RedundancyDocumentsMatchTheirGoldensAndTheSchema) {
    struct Case {
        const char *scenario; // scenarios/<name>.json; "default": none given
        bool delivered;       // false: the command sends nothing, so no document
    };
    const Case cases[] = {
        {"default", true},           {"active-alone", true},    {"warm-standby", true},
        {"standby-no-answer", true}, {"single-sup-card", true}, {"sysmgr-down", false},
        {"bind-fails", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.scenario);
        std::string docs[2]; // XML, JSON
        const char *formats[2] = {"xml", "json"};
        for (int i = 0; i < 2; ++i) {
            std::vector<std::string> args{"--format", formats[i]};
            if (std::string(c.scenario) != "default")
                args.insert(args.end(),
                            {"--scenario", kSource + "/scenarios/" + c.scenario + ".json"});
            args.push_back("redundancy");
            testsupport::RunResult run = testsupport::run_show(args);
            EXPECT_EQ(run.status, c.delivered ? 0 : 1) << run.err;
            docs[i] = run.out;
            if (c.delivered)
                check_golden(docs[i],
                             kSource + "/tests/golden/" + c.scenario + ".redundancy." + formats[i]);
            else
                EXPECT_EQ(docs[i], "");
        }
        if (!c.delivered)
            continue;
        XmlDoc doc = parse_xml(docs[0]);
        ASSERT_TRUE(doc) << "not well-formed:\n" << docs[0];
        EXPECT_EQ(schema_errors("show-redundancy.xsd", doc.get()), "");
    }
}

std::string u32(uint32_t v) {
    return std::string(reinterpret_cast<const char *>(&v), 4);
}
std::string u64(uint64_t v) {
    return std::string(reinterpret_cast<const char *>(&v), 8);
}
std::string text(const std::string &t) {
    return t + std::string(1, '\0');
}

struct Value {
    uint32_t tag;
    std::string bytes;
};

// The values printed in format for command, with untagged text around them.
std::string render(sim_format format, int32_t command, const std::vector<Value> &values) {
    sim_reset();
    sim_set_command(command);
    sim_set_format(format);
    cli_context_t context;
    sim_fill_context(&context);
    void *rx = cmd_paraminfo_to_rxhandle(&context);
    for (const Value &v : values) {
        cmd_prt(rx, "label: ");
        cmd_prt_arg_t arg;
        cmd_prt_arg_make(&arg, v.tag, v.bytes.data(), static_cast<uint32_t>(v.bytes.size()));
        cmd_prt(rx, "%s", &arg);
        cmd_dprt(rx, "%20s:\t", "untagged");
    }
    std::string out = sim_output();
    sim_reset();
    return out;
}

TEST(TaggedValues, RenderInBothFormats) {
    struct Case {
        const char *what;
        uint32_t tag;
        std::string bytes;
        const char *element; // XML element name
        const char *kind;    // its kind attribute, "" for a named field
        const char *shown;   // the element's text and the JSON member's
        bool number;         // the JSON member is a number, not a string
        bool valid;          // the document validates against show-version.xsd
    };
    const Case cases[] = {
        {"markup is escaped", 0x305c002d, text("a<b>&\"' ]]>"), "device_name", "", "a<b>&\"' ]]>",
         false, true},
        {"one trailing line end is layout", 0x305c002d, text("two\nlines\n\n"), "device_name", "",
         "two\nlines\n", false, true},
        {"31 bytes without a NUL", 0x302f0021, "05/09/2025 [last: 01/02/2024]xy",
         "bios_compile_time", "", "05/09/2025 [last: 01/02/2024]xy", false, true},
        {"UTF-8 is kept", 0x305c002d, text("r\xC3\xA9seau"), "device_name", "", "r\xC3\xA9seau",
         false, true},
        {"control characters are replaced", 0x305c002d, text("a\x01\x1b\tc\r"), "device_name", "",
         "a\xEF\xBF\xBD\xEF\xBF\xBD\tc\r", false, true},
        {"broken UTF-8 is replaced", 0x305c002d, text("x\xFF\xC3(\xED\xA0\x80"), "device_name", "",
         "x\xEF\xBF\xBD\xEF\xBF\xBD(\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", false, true},
        {"a negative 32-bit integer", 0x115c002e, u32(static_cast<uint32_t>(-5)),
         "bootflash_size_kb", "", "-5", true, true},
        {"a 64-bit integer is unsigned", 0x155c002f, u64(UINT64_MAX), "slot0_size_kb", "",
         "18446744073709551615", true, true},
        {"8 bytes under a 32-bit tag", 0x112f0030, u64(5000000000ull), "slot0_size_kb", "",
         "5000000000", true, true},
        {"an integer of the wrong length", 0x115c002a, "\x01\x02", "memory_total", "", "0x0102",
         false, false},
        {"an unknown text tag", 0x305c00ff, text("fw 1.2"), "value", "text", "fw 1.2", false, true},
        {"an unknown time tag", 0x405c00fd, u32(0), "value", "time", "1970-01-01T00:00:00Z", false,
         true},
        {"a known field number under another kind", 0x115c0019, u32(3), "value", "int32", "3", true,
         true},
        {"an unknown kind", 0x775c0001, "\x01\xAB", "value", "bytes", "0x01ab", false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<Value> values = {{0x305c0019, text("Banner")}, {c.tag, c.bytes}};
        const std::string xml = render(SIM_FORMAT_XML, 107, values);
        XmlDoc doc = parse_xml(xml);
        ASSERT_TRUE(doc) << "not well-formed:\n" << xml;
        std::vector<xmlNode *> elements = fields(doc);
        ASSERT_EQ(elements.size(), 2u) << xml;
        xmlNode *e = elements[1];
        EXPECT_STREQ(reinterpret_cast<const char *>(e->name), c.element);
        EXPECT_EQ(taken(xmlNodeGetContent(e)), c.shown);
        EXPECT_EQ(attribute(e, "kind"), c.kind);
        EXPECT_EQ(schema_errors("show-version.xsd", doc.get()).empty(), c.valid) << xml;

        const std::string json_text = render(SIM_FORMAT_JSON, 107, values);
        Json json = Json::parse(json_text, nullptr, false);
        ASSERT_FALSE(json.is_discarded()) << json_text;
        EXPECT_EQ(json["show_version"][sysmgrsim::tag_field_name(c.tag)],
                  c.number ? Json::parse(c.shown) : Json(c.shown))
            << json_text;
    }
}

TEST(TaggedValues, RepeatedFieldsRepeatInXmlAndBecomeArraysInJson) {
    const std::vector<Value> values = {
        {0x305c0019, text("Banner")}, {0x305c00ff, text("one")},   {0x115c00fe, u32(1)},
        {0x305c00ff, text("two")},    {0x305c00ff, text("three")},
    };
    XmlDoc doc = parse_xml(render(SIM_FORMAT_XML, 107, values));
    ASSERT_TRUE(doc);
    std::vector<std::string> shown;
    for (xmlNode *e : fields(doc))
        shown.push_back(attribute(e, "tag") + "=" + taken(xmlNodeGetContent(e)));
    EXPECT_EQ(shown, (std::vector<std::string>{"=Banner", "0x305c00ff=one", "0x115c00fe=1",
                                               "0x305c00ff=two", "0x305c00ff=three"}));
    EXPECT_EQ(schema_errors("show-version.xsd", doc.get()), "");
    EXPECT_EQ(
        Json::parse(render(SIM_FORMAT_JSON, 107, values)).dump(),
        R"({"show_version":{"banner":"Banner",)"
        R"("tag_0x305c00ff":["one","two","three"],"tag_0x115c00fe":1,"normalised":{"plugins":[]},"messages":[],)"
        R"("complete":true,"sources":{"files":"scenario","platform":"scenario"}}})");
}

// Every field of both version reports, in dictionary order, with a value of
// its kind: the schema must accept each name where it stands, and its type.
// (The goldens show every field of the redundancy report.)
TEST(TaggedSchemas, VersionSchemaAcceptsEveryDictionaryField) {
    for (const sysmgrsim::Report report :
         {sysmgrsim::Report::version, sysmgrsim::Report::version2}) {
        SCOPED_TRACE(sysmgrsim::report_name(report));
        std::vector<Value> values;
        for (const sysmgrsim::TagInfo &info : sysmgrsim::tag_dictionary)
            if (info.report == report)
                values.push_back(
                    {info.id, info.kind == sysmgrsim::TagKind::text ? text("x") : u32(1)});
        XmlDoc doc = parse_xml(render(SIM_FORMAT_XML, 107, values));
        ASSERT_TRUE(doc);
        EXPECT_EQ(fields(doc).size(), values.size());
        EXPECT_EQ(schema_errors("show-version.xsd", doc.get()), "");
    }
}

} // namespace
