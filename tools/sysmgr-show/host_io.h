/*
 * SPDX-License-Identifier: MIT
 *
 * What sysmgr-show needs around one run of the library: temporary roots that
 * no signal leaves behind.
 */
#ifndef SYSMGR_SHOW_HOST_IO_H
#define SYSMGR_SHOW_HOST_IO_H

#include <string>
#include <vector>

/*
 * From now on SIGINT, SIGTERM, SIGHUP and SIGPIPE remove the temporary root
 * alive, if any, before the process ends with that signal as it would have
 * without it: the handler removes it with system calls only and raises the
 * signal again with its default action.
 */
void remove_root_on_signals();

/*
 * A temporary directory of the user's, removed with everything in it by
 * remove(), on scope exit or on a signal. It is made 0700 in $TMPDIR, else
 * in memory ($XDG_RUNTIME_DIR, else /dev/shm), else in /tmp, and only when
 * that directory is owned by the user or root and, if others can write it,
 * sticky.
 */
class TempRoot {
  public:
    TempRoot() = default;
    TempRoot(const TempRoot &) = delete;
    TempRoot &operator=(const TempRoot &) = delete;
    ~TempRoot(); // a failed removal is reported on the standard error

    bool create(std::string &problem);
    bool remove(std::string &problem);
    const std::string &path() const { return path_; }
    int fd() const { return fd_; }

  private:
    std::string path_;
    int fd_ = -1;
};

/*
 * While on, every open() in the process of a path under root is recorded
 * (the program exports its own open(), which the library's calls reach
 * before the C library's). The trace lists them, a line each, with the
 * path below root and the result; the stand-in's own files are left out.
 */
void record_opens(const std::string &root);
void stop_recording_opens();
std::string opened_files_trace();
/* A numbered line of the trace, as the simulator's trace numbers them. */
std::string trace_line(std::size_t number, const std::string &text);

#endif
