// SPDX-License-Identifier: MIT
// The XML Schemas and the JSON Schema name exactly the fields of the tag
// table, document by document.
#include "sysmgrcli/tags.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <nlohmann/json.hpp>

#include <initializer_list>
#include <set>
#include <string>

#include "support/show_runner.h"

namespace {

using sysmgrcli::tags::Report;
using Names = std::set<std::string>;

Names table_names(std::initializer_list<Report> reports) {
    Names names;
    for (const auto &row : sysmgrcli::tags::tag_dictionary) {
        for (Report report : reports) {
            if (row.report == report)
                names.insert(row.name);
        }
    }
    return names;
}

/* Every named element of an XML Schema but its document element. */
Names xsd_names(const std::string &path) {
    Names names;
    xmlDoc *doc = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET);
    if (doc == nullptr)
        return names;
    xmlXPathContext *context = xmlXPathNewContext(doc);
    xmlXPathRegisterNs(context, BAD_CAST "xs", BAD_CAST "http://www.w3.org/2001/XMLSchema");
    xmlXPathObject *found = xmlXPathEvalExpression(
        BAD_CAST "//xs:element[@name][not(parent::xs:schema)]/@name", context);
    for (int i = 0;
         found != nullptr && found->nodesetval != nullptr && i < found->nodesetval->nodeNr; ++i) {
        xmlChar *name = xmlNodeGetContent(found->nodesetval->nodeTab[i]);
        names.insert(reinterpret_cast<const char *>(name));
        xmlFree(name);
    }
    xmlXPathFreeObject(found);
    xmlXPathFreeContext(context);
    xmlFreeDoc(doc);
    return names;
}

Names json_names(const std::string &document) {
    const auto schema = nlohmann::json::parse(
        testsupport::read_file(SYSMGRCLI_SOURCE_DIR "/schema/show.schema.json"));
    Names names;
    for (const auto &[name, type] : schema.at("$defs").at(document).at("properties").items())
        names.insert(name);
    return names;
}

TEST(Tags, SchemasNameTheTableFields) {
    const struct {
        const char *document;
        const char *xsd;
        std::initializer_list<Report> reports;
    } cases[] = {
        {"show_redundancy", "show-redundancy.xsd", {Report::redundancy}},
        // The alternate report's fields go by the version report's names.
        {"show_version", "show-version.xsd", {Report::version, Report::version2}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.document);
        const Names table = table_names(c.reports);
        EXPECT_EQ(xsd_names(SYSMGRCLI_SOURCE_DIR "/schema/" + std::string(c.xsd)), table);
        EXPECT_EQ(json_names(c.document), table);
    }
}

} // namespace
