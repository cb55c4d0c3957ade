// SPDX-License-Identifier: MIT
// JSON rendering: one object per command, one member per tagged value.
#include <nlohmann/json.hpp>

#include "tagged.h"

namespace render {
namespace {

using Json = nlohmann::ordered_json;

Json json_value(const TaggedValue &v) {
    if (v.form != ValueForm::int32 && v.form != ValueForm::int64)
        return v.text;
    return v.is_signed ? Json(v.signed_number) : Json(v.unsigned_number);
}

} // namespace

/*
 * Members keep the output order. A name printed more than once (only a
 * platform hook does that) holds an array of its values in that order, the
 * array taking the place of the first one.
 */
std::string render_json(int32_t command, const std::vector<Print> &prints,
                        const DocumentNotes &notes) {
    Json fields = Json::object();
    for (const Print &p : prints) {
        if (p.kind != Print::Kind::value) {
            continue;
        }
        TaggedValue v = decode_tagged(p);
        auto found = fields.find(v.name);
        if (found == fields.end()) {
            fields[v.name] = json_value(v);
        } else if (found->is_array()) {
            found->push_back(json_value(v));
        } else {
            *found = Json::array({*found, json_value(v)});
        }
    }
    Json normalised = Json::object();
    for (const NormalisedValue &v : notes.normalised)
        normalised[v.name] = v.is_number ? Json(v.number) : Json(v.text);
    if (notes.has_plugins)
        normalised["plugins"] = notes.plugins;
    fields["normalised"] = std::move(normalised);
    Json messages = Json::array();
    for (const StreamMessage &m : notes.messages)
        messages.push_back({{"stream", m.stream}, {"text", m.text}});
    fields["messages"] = std::move(messages);
    fields["complete"] = notes.complete;
    fields["delivered"] = notes.delivered;
    fields["sources"] = {{"files", notes.files_source}, {"platform", "scenario"}};
    Json document = Json::object();
    document[document_name(command)] = std::move(fields);
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

} // namespace render
