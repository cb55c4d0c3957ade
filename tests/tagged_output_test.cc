// XML and JSON renderings: golden documents of the example scenarios checked
// against the published schemas, the rendering of each kind of value, of
// unknown tags and of repeats, and the schemas checked against the tag
// dictionary. UPDATE_GOLDEN=1 rewrites the golden documents.
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlschemas.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/sim_fixture.h"
#include "sysmgrsim/sim.h"
#include "sysmgrsim/tags.h"

namespace {

using Json = nlohmann::ordered_json;

const std::string kSource = SYSMGRCLI_SOURCE_DIR;

struct DocFree {
    void operator()(xmlDoc *d) const { xmlFreeDoc(d); }
};
using XmlDoc = std::unique_ptr<xmlDoc, DocFree>;

std::string xml_text(const xmlChar *text) {
    return text != nullptr ? reinterpret_cast<const char *>(text) : "";
}

std::string attribute(xmlNode *node, const char *name) {
    xmlChar *value = xmlGetProp(node, reinterpret_cast<const xmlChar *>(name));
    std::string text = xml_text(value);
    xmlFree(value);
    return text;
}

std::string content(xmlNode *node) {
    xmlChar *value = xmlNodeGetContent(node);
    std::string text = xml_text(value);
    xmlFree(value);
    return text;
}

// The document, or null when the text is not well-formed XML.
XmlDoc parse_xml(const std::string &text) {
    return XmlDoc(xmlReadMemory(text.data(), static_cast<int>(text.size()), "output.xml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
}

std::vector<xmlNode *> children(xmlNode *parent) {
    std::vector<xmlNode *> nodes;
    for (xmlNode *n = parent->children; n != nullptr; n = n->next) {
        if (n->type == XML_ELEMENT_NODE) {
            nodes.push_back(n);
        }
    }
    return nodes;
}

void collect_error(void *sink, xmlError *error) {
    if (error != nullptr && error->message != nullptr) {
        *static_cast<std::string *>(sink) += error->message;
    }
}

// What validating doc against schema/<file> reports; empty when it is valid.
std::string schema_errors(const std::string &file, xmlDoc *doc) {
    std::string errors;
    std::string path = kSource + "/schema/" + file;
    std::unique_ptr<xmlSchemaParserCtxt, void (*)(xmlSchemaParserCtxt *)> parser(
        xmlSchemaNewParserCtxt(path.c_str()), xmlSchemaFreeParserCtxt);
    if (!parser) {
        return "cannot read " + path;
    }
    xmlSchemaSetParserStructuredErrors(parser.get(), collect_error, &errors);
    std::unique_ptr<xmlSchema, void (*)(xmlSchema *)> schema(xmlSchemaParse(parser.get()),
                                                             xmlSchemaFree);
    if (!schema) {
        return "cannot compile " + path + ": " + errors;
    }
    std::unique_ptr<xmlSchemaValidCtxt, void (*)(xmlSchemaValidCtxt *)> valid(
        xmlSchemaNewValidCtxt(schema.get()), xmlSchemaFreeValidCtxt);
    if (!valid) {
        return "out of memory";
    }
    xmlSchemaSetValidStructuredErrors(valid.get(), collect_error, &errors);
    if (xmlSchemaValidateDoc(valid.get(), doc) != 0 && errors.empty()) {
        errors = "invalid";
    }
    return errors;
}

std::string quoted(const std::string &s) {
    std::string q = "'";
    for (char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

// Runs sysmgr-show with the arguments; its standard output and exit status.
std::string run_show(const std::string &arguments, int *status) {
    std::string command =
        "TZ=UTC LC_ALL=C " + quoted(SYSMGR_SHOW_PATH) + " " + arguments + " 2>/dev/null";
    std::string out;
    *status = -1;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) {
        out.append(buf, n);
    }
    int raw = pclose(pipe);
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return out;
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// ---------------------------------------------------------------------------
// Golden documents of the command-1 example scenarios.

struct GoldenCase {
    const char *scenario; // scenarios/<name>.json; "default": none given
    bool delivered;       // false: the command sends nothing, so no document
};

const GoldenCase kGoldenCases[] = {
    {"default", true},      {"active-ha-standby", true}, {"active-alone", true},
    {"warm-standby", true}, {"standby-no-answer", true}, {"single-sup-card", true},
    {"sysmgr-down", false},
};

void PrintTo(const GoldenCase &c, std::ostream *os) {
    *os << c.scenario;
}

class TaggedGolden : public ::testing::TestWithParam<GoldenCase> {
  protected:
    // The command's output in format, compared with (or written to) its golden file.
    std::string check_golden(const char *format) {
        const std::string name = GetParam().scenario;
        std::string arguments = std::string("--format ") + format;
        if (name != "default") {
            arguments += " --scenario " + quoted(kSource + "/scenarios/" + name + ".json");
        }
        int status = -1;
        std::string actual = run_show(arguments + " redundancy", &status);
        if (!GetParam().delivered) {
            EXPECT_EQ(status, 1);
            EXPECT_EQ(actual, "");
            return actual;
        }
        EXPECT_EQ(status, 0);
        std::string golden = kSource + "/tests/golden/" + name + ".redundancy." + format;
        const char *update = std::getenv("UPDATE_GOLDEN");
        if (update != nullptr && std::string(update) == "1") {
            std::ofstream(golden, std::ios::binary) << actual;
        } else {
            EXPECT_EQ(actual, read_file(golden)) << golden;
        }
        return actual;
    }
};

TEST_P(TaggedGolden, XmlMatchesItsGoldenAndTheSchema) {
    std::string xml = check_golden("xml");
    if (!GetParam().delivered) {
        return;
    }
    XmlDoc doc = parse_xml(xml);
    ASSERT_TRUE(doc) << "not well-formed:\n" << xml;
    EXPECT_EQ(schema_errors("show-redundancy.xsd", doc.get()), "");
}

TEST_P(TaggedGolden, JsonMatchesItsGoldenAndTheXml) {
    std::string text = check_golden("json");
    if (!GetParam().delivered) {
        return;
    }
    Json json = Json::parse(text, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << "not JSON:\n" << text;
    ASSERT_TRUE(json.contains("show_redundancy"));

    // Same fields in the same order as the XML document, each value the
    // element's text (a number for integers).
    int status = -1;
    std::string args = "--format xml";
    if (std::string(GetParam().scenario) != "default") {
        args += " --scenario " + quoted(kSource + "/scenarios/" + GetParam().scenario + ".json");
    }
    XmlDoc doc = parse_xml(run_show(args + " redundancy", &status));
    ASSERT_TRUE(doc);
    std::vector<xmlNode *> elements = children(xmlDocGetRootElement(doc.get()));
    const Json &fields = json["show_redundancy"];
    ASSERT_EQ(fields.size(), elements.size());
    size_t i = 0;
    for (const auto &[key, value] : fields.items()) {
        std::string name = xml_text(elements[i]->name);
        EXPECT_EQ(key, name);
        std::string shown = value.is_string() ? value.get<std::string>() : value.dump();
        EXPECT_EQ(shown, content(elements[i])) << name;
        ++i;
    }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, TaggedGolden, ::testing::ValuesIn(kGoldenCases),
                         [](const ::testing::TestParamInfo<GoldenCase> &info) {
                             std::string n = info.param.scenario;
                             for (char &c : n) {
                                 c = c == '-' ? '_' : c;
                             }
                             return n;
                         });

// ---------------------------------------------------------------------------
// Rendering of single values, printed through the back end after a banner.

std::string u32(uint32_t v) {
    return std::string(reinterpret_cast<const char *>(&v), 4);
}
std::string u64(uint64_t v) {
    return std::string(reinterpret_cast<const char *>(&v), 8);
}
std::string text(const std::string &t) {
    return t + std::string(1, '\0');
}

class TaggedValues : public testsupport::SimTest {
  protected:
    struct Value {
        uint32_t tag;
        std::string bytes;
    };

    // The values printed in format for command, with literal text between them.
    std::string render(sim_format format, int32_t command, const std::vector<Value> &values) {
        load();
        sim_set_command(command);
        sim_set_format(format);
        void *h = rx();
        for (const Value &v : values) {
            cmd_prt(h, "label: ");
            cmd_prt_arg_t arg;
            cmd_prt_arg_make(&arg, v.tag, v.bytes.data(), static_cast<uint32_t>(v.bytes.size()));
            cmd_prt(h, "%s", &arg);
            cmd_dprt(h, "%20s:\t", "untagged");
        }
        return sim_output();
    }
};

TEST_F(TaggedValues, EachKindRendersInBothFormats) {
    struct Case {
        const char *what;
        uint32_t tag;
        std::string bytes;
        const char *element;            // XML element name
        const char *kind;               // its kind attribute, "" for a named field
        const char *xml;                // the element's text
        Json json;                      // the member's value
        bool valid;                     // the document validates against show-version.xsd
        std::vector<Value> before = {}; // printed between the banner and the value
    };
    const Case cases[] = {
        {"markup is escaped", 0x305c002d, text("a<b>&\"' ]]>\n"), "device_name", "",
         "a<b>&\"' ]]>\n", "a<b>&\"' ]]>\n", true},
        {"a text ends at its NUL", 0x305c002d, std::string("abc\0def", 7), "device_name", "", "abc",
         "abc", true},
        {"a text without a NUL", 0x305c002d, "abc", "device_name", "", "abc", "abc", true},
        {"an empty text", 0x305c0020, text(""), "bios_compile_time", "", "", "", true},
        {"UTF-8 is kept", 0x305c002d, text("r\xC3\xA9seau"), "device_name", "", "r\xC3\xA9seau",
         "r\xC3\xA9seau", true},
        {"control characters are replaced", 0x305c002d,
         text("a\x01\x1b"
              "b\tc\r"),
         "device_name", "",
         "a\xEF\xBF\xBD\xEF\xBF\xBD"
         "b\tc\r",
         "a\xEF\xBF\xBD\xEF\xBF\xBD"
         "b\tc\r",
         true},
        {"broken UTF-8 is replaced", 0x305c002d, text("x\xFF\xC3(\xED\xA0\x80"), "device_name", "",
         "x\xEF\xBF\xBD\xEF\xBF\xBD(\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD",
         "x\xEF\xBF\xBD\xEF\xBF\xBD(\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", true},
        {"a negative 32-bit integer", 0x115c002e, u32(static_cast<uint32_t>(-5)),
         "bootflash_size_kb", "", "-5", -5, true},
        {"a 64-bit integer is unsigned", 0x155c002f, u64(0xFFFFFFFFFFFFFFFFull), "slot0_size_kb",
         "", "18446744073709551615", 18446744073709551615ull, true},
        {"an 8-byte value under a 32-bit tag", 0x112f0030, u64(5000000000ull), "slot0_size_kb", "",
         "5000000000", 5000000000ll, true},
        {"a time in UTC",
         0x405c0035,
         u32(1700000000),
         "last_reset_time",
         "",
         "2023-11-14T22:13:20Z",
         "2023-11-14T22:13:20Z",
         true,
         {{0x115c0034, u32(12)}}},
        {"an integer of the wrong length", 0x115c002a, "\x01\x02", "memory_total", "", "0x0102",
         "0x0102", false},
        {"an unknown text tag", 0x305c00ff, text("fw 1.2"), "value", "text", "fw 1.2", "fw 1.2",
         true},
        {"an unknown integer tag", 0x115c00fe, u32(7), "value", "int32", "7", 7, true},
        {"an unknown time tag", 0x405c00fd, u32(0), "value", "time", "1970-01-01T00:00:00Z",
         "1970-01-01T00:00:00Z", true},
        {"an unknown kind", 0x775c0001, "\x01\xAB", "value", "bytes", "0x01ab", "0x01ab", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Value> values = {{0x305c0019, text("Banner")}};
        values.insert(values.end(), c.before.begin(), c.before.end());
        values.push_back({c.tag, c.bytes});
        std::string name = sysmgrsim::tag_field_name(c.tag);

        std::string xml = render(SIM_FORMAT_XML, 107, values);
        XmlDoc doc = parse_xml(xml);
        ASSERT_TRUE(doc) << "not well-formed:\n" << xml;
        std::vector<xmlNode *> elements = children(xmlDocGetRootElement(doc.get()));
        ASSERT_EQ(elements.size(), values.size()) << xml;
        xmlNode *e = elements.back();
        EXPECT_EQ(xml_text(e->name), c.element);
        EXPECT_EQ(content(e), c.xml);
        EXPECT_EQ(attribute(e, "kind"), c.kind);
        char tag[16];
        snprintf(tag, sizeof tag, "0x%08x", static_cast<unsigned>(c.tag));
        EXPECT_EQ(attribute(e, "tag"), *c.kind != '\0' ? tag : "");
        EXPECT_EQ(schema_errors("show-version.xsd", doc.get()).empty(), c.valid) << xml;

        std::string text_json = render(SIM_FORMAT_JSON, 107, values);
        Json json = Json::parse(text_json, nullptr, false);
        ASSERT_FALSE(json.is_discarded()) << text_json;
        EXPECT_EQ(json["show_version"][name], c.json) << text_json;
    }
}

TEST_F(TaggedValues, RepeatedFieldsRepeatInXmlAndBecomeArraysInJson) {
    const std::vector<Value> values = {
        {0x305c0019, text("Banner")}, {0x305c00ff, text("one")},   {0x115c00fe, u32(1)},
        {0x305c00ff, text("two")},    {0x305c00ff, text("three")},
    };
    XmlDoc doc = parse_xml(render(SIM_FORMAT_XML, 107, values));
    ASSERT_TRUE(doc);
    std::vector<std::string> shown;
    for (xmlNode *e : children(xmlDocGetRootElement(doc.get()))) {
        shown.push_back(attribute(e, "tag") + "=" + content(e));
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"=Banner", "0x305c00ff=one", "0x115c00fe=1",
                                               "0x305c00ff=two", "0x305c00ff=three"}));
    EXPECT_EQ(schema_errors("show-version.xsd", doc.get()), "");

    Json json = Json::parse(render(SIM_FORMAT_JSON, 107, values));
    EXPECT_EQ(json.dump(), R"({"show_version":{"banner":"Banner",)"
                           R"("tag_0x305c00ff":["one","two","three"],"tag_0x115c00fe":1}})");
}

TEST_F(TaggedValues, DocumentIsNamedAfterTheCommand) {
    struct Case {
        int32_t command;
        const char *xml;
        const char *json;
    };
    const Case cases[] = {
        {1, "<show_redundancy/>", R"({"show_redundancy":{}})"},
        {107, "<show_version/>", R"({"show_version":{}})"},
        {5, "<show_command/>", R"({"show_command":{}})"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command);
        // Literal text alone makes an empty document.
        EXPECT_EQ(render(SIM_FORMAT_XML, c.command, {}),
                  std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n") + c.xml + "\n");
        EXPECT_EQ(Json::parse(render(SIM_FORMAT_JSON, c.command, {})).dump(), c.json);
    }
}

TEST_F(TaggedValues, OnlyTheXmlFormatAnswersAsTheXmlAgent) {
    struct Case {
        sim_format format;
        int expected;
    };
    const Case cases[] = {{SIM_FORMAT_TEXT, 0}, {SIM_FORMAT_XML, 1}, {SIM_FORMAT_JSON, 0}};
    for (const Case &c : cases) {
        load();
        sim_set_format(c.format);
        EXPECT_EQ(cmd_req_is_xmlagent(rx()) != 0, c.expected != 0) << c.format;
    }
}

// ---------------------------------------------------------------------------
// The schemas name exactly the dictionary's fields, with types of their kinds.

struct SchemaFields {
    std::map<std::string, std::string> element_types; // element name -> base kind
};

// The kind a schema type comes down to: text, int32, int64 or time.
std::string base_kind(const std::map<std::string, std::string> &bases, std::string type) {
    for (int depth = 0; depth < 10; ++depth) {
        if (type == "text" || type == "int32" || type == "int64" || type == "time") {
            return type;
        }
        auto found = bases.find(type);
        if (found == bases.end()) {
            return "unknown type " + type;
        }
        type = found->second;
    }
    return "type loop";
}

void walk(xmlNode *node, std::map<std::string, std::string> &bases,
          std::map<std::string, std::string> &elements) {
    for (xmlNode *n = node; n != nullptr; n = n->next) {
        if (n->type != XML_ELEMENT_NODE) {
            continue;
        }
        std::string tag = xml_text(n->name);
        if (tag == "simpleType" && !attribute(n, "name").empty()) {
            for (xmlNode *r : children(n)) {
                if (xml_text(r->name) == "restriction") {
                    bases[attribute(n, "name")] = attribute(r, "base");
                }
            }
        } else if (tag == "element" && !attribute(n, "type").empty()) {
            elements[attribute(n, "name")] = attribute(n, "type");
        }
        walk(n->children, bases, elements);
    }
}

std::map<std::string, std::string> schema_fields(const std::string &file) {
    std::map<std::string, std::string> bases;
    std::map<std::string, std::string> elements;
    for (const std::string &part : {std::string("common.xsd"), file}) {
        XmlDoc doc(xmlReadFile((kSource + "/schema/" + part).c_str(), nullptr, XML_PARSE_NONET));
        EXPECT_TRUE(doc) << part;
        if (doc) {
            walk(xmlDocGetRootElement(doc.get()), bases, elements);
        }
    }
    std::map<std::string, std::string> kinds;
    for (const auto &[name, type] : elements) {
        kinds[name] = base_kind(bases, type);
    }
    return kinds;
}

const char *kind_name(sysmgrsim::TagKind kind) {
    switch (kind) {
    case sysmgrsim::TagKind::text:
        return "text";
    case sysmgrsim::TagKind::int32:
        return "int32";
    case sysmgrsim::TagKind::int64:
        return "int64";
    case sysmgrsim::TagKind::time:
        return "time";
    }
    return "?";
}

TEST(TaggedSchemas, NameTheDictionarysFieldsWithTheirKinds) {
    using sysmgrsim::Report;
    struct Case {
        const char *file;
        std::set<Report> reports;
    };
    const Case cases[] = {
        {"show-redundancy.xsd", {Report::redundancy}},
        {"show-version.xsd", {Report::version, Report::version2}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        std::map<std::string, std::string> in_schema = schema_fields(c.file);
        std::set<std::string> in_dictionary;
        for (const sysmgrsim::TagInfo &info : sysmgrsim::tag_dictionary) {
            if (c.reports.count(info.report) == 0) {
                continue;
            }
            in_dictionary.insert(info.name);
            auto found = in_schema.find(info.name);
            if (found == in_schema.end()) {
                ADD_FAILURE() << info.name << " is not in the schema";
                continue;
            }
            // A 32-bit tag may carry an 8-byte value, so a 64-bit type serves it too.
            std::string kind = kind_name(info.kind);
            EXPECT_TRUE(found->second == kind || (kind == "int32" && found->second == "int64"))
                << info.name << ": schema " << found->second << ", dictionary " << kind;
        }
        for (const auto &[name, kind] : in_schema) {
            EXPECT_TRUE(in_dictionary.count(name) == 1) << name << " is not in the dictionary";
        }
    }
}

} // namespace
