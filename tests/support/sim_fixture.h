/*
 * SPDX-License-Identifier: MIT
 * Test support: a simulated switch per test, loaded from a scenario patch,
 * with the scenario's files under a temporary root (written once for all the
 * rows of a test that share the patch's files and tools), the sudo stand-in first
 * on PATH (in <root>/SIM_SUDO_DIR, which tests must leave in place; its log
 * is sim_sudo_log()) and TZ set to UTC, and
 * capture of what the library writes to the standard output and error
 * streams.
 */
#ifndef TESTS_SUPPORT_SIM_FIXTURE_H
#define TESTS_SUPPORT_SIM_FIXTURE_H

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/cli.h"
#include "sysmgrsim/sim.hpp"

namespace testsupport {

/* The listing of flash sizes the version report writes and removes under the root. */
inline constexpr char kListing[] = "/tmp/sysmgrcli_show_flash_size";

/* What a piece of code wrote to the standard output and error streams. */
struct Captured {
    std::string out;
    std::string err;
};

/*
 * Runs body with the standard output and error streams (file descriptors
 * 1 and 2) captured by GoogleTest and returns what was written. Do not use
 * EXPECT/ASSERT inside body: the framework's own report would be captured
 * too.
 */
Captured capture(const std::function<void()> &body);

/* Everything printed so far, as plain text. */
std::string printed();

/* The value prints (tagged values) recorded so far, in order. */
std::vector<sysmgrsim::Print> recorded_values();

class SimTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    /*
     * Applies patch (a JSON merge patch) over the default scenario, writes
     * its files under the root, fills context_ and clears the recordings.
     * A root written for the same files and tools is kept, emptied of what
     * calls leave there: tmp/, var/tmp/ (the loader cache) and the logs of the
     * utilities and the sudo stand-in.
     */
    void load(const nlohmann::json &patch = nlohmann::json::object());
    /* The test changed the root itself: the next load() writes it again. */
    void root_changed() { root_key_.reset(); }
    /*
     * load(patch), then one call of the entry point, captured. Expects the
     * call to leave no queue bound and no transport message undropped.
     */
    Captured show(const nlohmann::json &patch = nlohmann::json::object());

    /* What a call must leave as it found: the files under the root and the open descriptors. */
    struct Baseline {
        std::set<std::string> files;
        int fds;
    };
    Baseline baseline() const;
    /*
     * Nothing left since before: no descriptor, bound queue, undropped
     * message, image handle, child process, listing, or file beyond the
     * loader cache and the logs of the utilities and the sudo stand-in.
     */
    void expect_nothing_left(const Baseline &before) const;

    /* The receive handle the back end gives for context_. */
    void *rx() { return cmd_paraminfo_to_rxhandle(&context_); }

    cli_context_t context_{};
    std::string root_;

  private:
    std::optional<std::string> root_key_; // the files and tools the root holds
};

} // namespace testsupport

#endif
