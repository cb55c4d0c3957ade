/*
 * SPDX-License-Identifier: MIT
 * What sysmgr-capture makes of a run's record (capture_log.h): a scenario, the
 * root's files as first found, and a manifest of where every value came from.
 */
#ifndef SYSMGR_CAPTURE_CAPTURE_H
#define SYSMGR_CAPTURE_CAPTURE_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tree.h"

namespace sysmgrcapture {

/* A path the library used, as first found (below the root). */
struct FoundFile {
    std::string path;
    std::string state; // regular, directory, symlink, other, absent
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

/*
 * What the library handed the back end, or wrote to a standard stream, in
 * order: a print call by the name of its row (calls.def), or "stdout" and
 * "stderr" for a stream's bytes.
 */
struct Printed {
    std::string call;
    std::optional<std::string> format; // the print calls that take one
    bool argument = false;             // a print argument: its tag, its length, its value
    bool rendered = false;             // cmd_prt: the text is rendered from format and argument
    uint32_t tag = 0, len = 0;
    std::optional<std::string> value; // the bytes the argument's value held; none: null
    std::string text;                 // cmd_dprt's and the streams' bytes; cmd_prt's rendering
};

struct Capture {
    nlohmann::ordered_json scenario = nlohmann::ordered_json::object();
    std::vector<FoundFile> files;
    std::vector<Source> sources;
    std::vector<std::string> notes; // what the capture cannot hold, and why
    std::vector<std::string> redacted;
    std::string command;           // the command line run
    std::string library;           // the path libsysmgrcli was loaded from
    std::optional<std::string> tz; // the host's TZ, which the report's local times follow
    std::string served;            // the command the library served
    std::vector<Printed> printed;
    std::size_t calls = 0;
};

/* The capture of the record, or false with problem unless it holds one process's run. */
bool build_capture(const std::vector<nlohmann::json> &record, Capture &out, std::string &problem);

/* The redaction's secret, wiped when dropped. */
struct RedactKey {
    std::array<unsigned char, 32> bytes{};
    bool given = false; // from --redact-key rather than drawn for this capture
    RedactKey() = default;
    RedactKey(const RedactKey &) = delete;
    RedactKey &operator=(const RedactKey &) = delete;
    ~RedactKey();
};

/* A random key, or false with problem. */
bool random_redact_key(RedactKey &key, std::string &problem);

/* The key in path, a regular file of exactly 32 bytes only its owner reads; false with problem. */
bool load_redact_key(const std::string &path, RedactKey &key, std::string &problem);

/*
 * Replaces serial numbers, host and domain names, e-mail, IP and MAC addresses
 * and image names everywhere in the capture with placeholders of the same
 * shape, one to one, made under key; lists the key's fingerprint and the
 * placeholders, never a value.
 */
void redact(Capture &capture, const RedactKey &key);

/*
 * Writes the files as first found under root_fd by descriptor (tree.h), so that
 * nothing is written outside it, without group or other write or set-ID bits,
 * noting paths it cannot reproduce; false with problem when a write fails.
 */
bool write_tree(int root_fd, const Capture &capture, std::vector<std::string> &notes,
                std::string &problem);

/* root/, scenario.json (once the simulator accepts it) and MANIFEST in dir; false with problem. */
bool write_capture(Capture &capture, int dir, mode_t mode, std::string &problem);

} // namespace sysmgrcapture

#endif
