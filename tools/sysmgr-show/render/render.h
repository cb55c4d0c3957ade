/*
 * SPDX-License-Identifier: MIT
 * Rendering of what a show command gave the back end: its plain text, or a
 * document of its tagged values (XML, JSON, or the JSON as path=value lines)
 * with what the host collected around it. schema/README.md describes the
 * documents.
 */
#ifndef SYSMGR_SHOW_RENDER_H
#define SYSMGR_SHOW_RENDER_H

#include <cstdint>
#include <string>
#include <vector>

#include "sysmgrsim/sim.hpp"

namespace render {

/* printed: the print calls and the library's lines as a capture's printed.json lists them. */
enum class Format { text, xml, json, keyvalue, printed };

/*
 * A line the library wrote on the process's standard output (stream 1) or
 * error (2) while the command ran, without its line end, or (0) the host's
 * own note on what it collected, such as what it dropped or left out.
 */
struct StreamLine {
    int stream;
    std::string text;
};

/* A command served, and where its inputs came from. */
struct Command {
    int32_t id;                                  /* the command identifier sent */
    const std::vector<sysmgrsim::Print> &prints; /* in call order */
    std::vector<StreamLine> lines;               /* in the order collected */
    bool delivered;                              /* the last cmd_prt_send succeeded */
    bool files_captured;                         /* files from a capture, not the scenario */
    uint32_t start_time;                         /* the start time the System Manager answered */
};

/* The plain text: every print's text in call order. */
std::string text(const std::vector<sysmgrsim::Print> &prints);
/*
 * False when a version report (command 107) ended early. Every complete
 * version report prints the device name, and both ways it ends early (no
 * "/proc/meminfo", no BIOS record) come before it. Any other command is
 * complete.
 */
bool complete(int32_t command, const std::vector<sysmgrsim::Print> &prints);
/*
 * The output in a format. Text is empty when nothing was delivered; a
 * document says so ("delivered") and holds no values, only the messages.
 */
std::string render(Format format, const Command &command);

} // namespace render

#endif
