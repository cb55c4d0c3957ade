/*
 * SPDX-License-Identifier: MIT
 * The record libsysmgrcapture.so sends sysmgr-capture over one connection per
 * process to $SYSMGR_CAPTURE_SOCKET: a JSON object a line with "pid" and
 * "fn", whole when its last line is "@end". A platform call's line has "a"
 * (integer arguments), "t" (texts), "r" (result), "e" (errno) and a member
 * per storage it filled. "@library" (path, tz), "@bindings"
 * (count), "@file"/"@made" (path, state, mode, data, target), "@system"/"@popen"
 * (cmd, status, data) and "@entry" (q) describe the rest. Bytes are hex;
 * paths and commands are shown without $SYSMGRCLI_ROOT.
 */
#ifndef SYSMGR_CAPTURE_LOG_H
#define SYSMGR_CAPTURE_LOG_H

#define SYSMGR_CAPTURE_SOCKET_VARIABLE "SYSMGR_CAPTURE_SOCKET"

/* At most this much of a file, pipe or response is kept: more than the library reads. */
#define SYSMGR_CAPTURE_MAX_DATA (1u << 20)

#endif
