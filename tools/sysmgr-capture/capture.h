/*
 * SPDX-License-Identifier: MIT
 * What sysmgr-capture makes of a run's record (capture_log.h): a scenario in
 * the simulator's format, the files of the root as the run first found them,
 * and the manifest that says where every value came from.
 */
#ifndef SYSMGR_CAPTURE_CAPTURE_H
#define SYSMGR_CAPTURE_CAPTURE_H

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace sysmgrcapture {

/* A path the library used, as first found (below the root). */
struct FoundFile {
    std::string path;
    std::string state; // regular, directory, symlink, other
    unsigned mode = 0;
    std::string data;   // regular files: what the library read
    std::string target; // links
    bool made = false;  // absent, then made by the run
};

/* One line of the manifest: what was captured and where it came from. */
struct Source {
    std::vector<std::string> keys; // the scenario member; none for a utility run
    std::string ran;               // the command line of a run
    std::string from;              // the call or command the value came from
};

struct Capture {
    nlohmann::ordered_json scenario = nlohmann::ordered_json::object();
    std::vector<FoundFile> files;
    std::vector<Source> sources;
    std::vector<std::string> notes; // what the capture cannot hold, and why
    std::vector<std::string> redacted;
    std::string command; // the command line run
    std::string library; // the path libsysmgrcli was loaded from
    std::string tz;      // the host's TZ, which the report's local times follow
    std::size_t calls = 0;
};

/*
 * Builds the capture from the record's lines. False with problem when the
 * record does not hold exactly one process's run of the library.
 */
bool build_capture(const std::vector<nlohmann::json> &record, Capture &out, std::string &problem);

/*
 * Replaces serial numbers, host names, addresses and image paths everywhere
 * in the capture with placeholders made from their text, so the same value
 * always gets the same placeholder; lists each kind replaced.
 */
void redact(Capture &capture);

/* The manifest's text. */
std::string manifest_text(const Capture &capture);

} // namespace sysmgrcapture

#endif
