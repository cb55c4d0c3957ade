/*
 * SPDX-License-Identifier: MIT
 * What sysmgr-capture makes of a run's record (capture_log.h): a scenario in
 * the simulator's format, the files of the root as the run first found them,
 * and the manifest that says where every value came from.
 */
#ifndef SYSMGR_CAPTURE_CAPTURE_H
#define SYSMGR_CAPTURE_CAPTURE_H

#include <array>
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

/* The secret the redaction's placeholders are made with; wiped when dropped. */
struct RedactKey {
    std::array<unsigned char, 32> bytes{};
    bool given = false; // from --redact-key rather than drawn for this capture
    RedactKey() = default;
    RedactKey(const RedactKey &) = delete;
    RedactKey &operator=(const RedactKey &) = delete;
    ~RedactKey();
};

/* A key drawn at random (getrandom), or false with problem. */
bool random_redact_key(RedactKey &key, std::string &problem);

/*
 * The key in path: a regular file of exactly 32 bytes that neither group nor
 * others can read; false with problem otherwise.
 */
bool load_redact_key(const std::string &path, RedactKey &key, std::string &problem);

/*
 * Replaces serial numbers, host and domain names, e-mail, IP and MAC
 * addresses and image names everywhere in the capture with placeholders of the
 * same shape, each an HMAC-SHA-256 of the value under key: under one key the
 * same value gets the same placeholder, and no two values of a capture share
 * one. Lists the key's fingerprint and each kind replaced, never a value.
 */
void redact(Capture &capture, const RedactKey &key);

/* The manifest's text. */
std::string manifest_text(const Capture &capture);

} // namespace sysmgrcapture

#endif
