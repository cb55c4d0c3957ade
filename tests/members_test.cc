// SPDX-License-Identifier: MIT
// The platform-call table and the default scenario name the same members:
// every member of scenarios/default.json is read by an item of the table,
// and every item names a member of the default.
#include <set>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "sysmgrsim/sim.h"

namespace {

#define M(path, field, type, capture) path,
#define CALL(ret, name, params, args, ints, texts, result, outs, members) members
#define SCENARIO_ONLY(members) members
const std::set<std::string> kItems = {
#include "../platform/calls.def"
};
#undef M
#undef CALL
#undef SCENARIO_ONLY

// The members of node under prefix that no item reads, and the items found.
void walk(const nlohmann::json &node, const std::string &prefix, std::set<std::string> &unread,
          std::set<std::string> &found) {
    for (auto it = node.begin(); it != node.end(); ++it) {
        const std::string path = prefix + it.key();
        if (kItems.count(path) != 0)
            found.insert(path);
        else if (it->is_object() && !it->empty())
            walk(*it, path + ".", unread, found);
        else
            unread.insert(path);
    }
}

TEST(Members, DefaultScenarioAndTableAgree) {
    std::set<std::string> unread, found;
    walk(nlohmann::json::parse(sim_default_scenario()), "", unread, found);
    EXPECT_EQ(unread, std::set<std::string>()) << "default.json members without an item";
    std::set<std::string> unknown;
    for (const std::string &item : kItems)
        if (found.count(item) == 0)
            unknown.insert(item);
    EXPECT_EQ(unknown, std::set<std::string>()) << "items the default does not hold";
}

} // namespace
