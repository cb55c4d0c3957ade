/*
 * SPDX-License-Identifier: MIT
 * The record libsysmgrcapture.so sends sysmgr-capture: one JSON object a
 * line, in the order the calls returned, over one connection to the socket
 * in $SYSMGR_CAPTURE_SOCKET per process. A process's record is whole when
 * its last line is "@end", sent at its exit.
 *
 * Every line has "pid" and "fn". A platform call's line, made from its row
 * in platform/calls.def, has "a" (its integer arguments), "t" (its text
 * arguments, hex, null for none), "r" (its result: a number, a text in hex or
 * null, a pointer's address), "e" (errno after the call), then one member per
 * item of the row's outs: the bytes filled (hex; absent for a null pointer)
 * or a number. A call answering a response adds "length", "null_response" and
 * "response" when it succeeded. Lines whose "fn" starts with "@" describe the
 * rest:
 *   @library   libsysmgrcli was loaded: "path"
 *   @bindings  at exit: "count" of its references put behind the recorder
 *   @file      a path the library used, as first found: "path", "state"
 *              (regular, directory, symlink, absent, other), "mode", "data"
 *              (hex, regular files the library opened) or "target" (links)
 *   @made      a file the run made, as the library was about to read it
 *   @system    a shell command ("cmd") and its wait "status"
 *   @popen     a piped command ("cmd"), the bytes the library read ("data")
 *              and its wait "status"
 *   @end       the process's record is complete
 * Paths and commands are shown without $SYSMGRCLI_ROOT.
 */
#ifndef SYSMGR_CAPTURE_LOG_H
#define SYSMGR_CAPTURE_LOG_H

/* The socket the record is sent to; set by sysmgr-capture. */
#define SYSMGR_CAPTURE_SOCKET_VARIABLE "SYSMGR_CAPTURE_SOCKET"

/* At most this much of any file or pipe is kept, as the library reads at most this much. */
#define SYSMGR_CAPTURE_MAX_DATA (1u << 20)

#endif
