/*
 * SPDX-License-Identifier: MIT
 * What the measuring programs share: a temporary root written from the
 * simulator's scenario, and in-process stand-ins for the utilities that the
 * version reports run through system() and popen().
 *
 * The stand-ins are this program's own system, popen and pclose, which the
 * library's calls reach before the C library's. While instant utilities are
 * off (the default) they pass every call on to the C library unchanged.
 * While on, the flash-size listing, its removal, sudo and the image header
 * tool are answered in process with the texts the simulated utilities print,
 * so what is left to measure is the library's own work; any other command
 * still runs through the shell.
 */
#ifndef SYSMGRCLI_BENCH_SUPPORT_H
#define SYSMGRCLI_BENCH_SUPPORT_H

#include <string>

namespace bench {

/*
 * A temporary directory ($TMPDIR, else /tmp) prepared with sim_write_files() from the loaded
 * scenario and set as $SYSMGRCLI_ROOT; removed with everything in it when
 * its owner goes. Exits the program with status 2 when it cannot be made.
 */
class SimRoot {
  public:
    SimRoot();
    ~SimRoot();
    SimRoot(const SimRoot &) = delete;
    SimRoot &operator=(const SimRoot &) = delete;

    const std::string &path() const { return path_; }

  private:
    std::string path_;
};

/*
 * Turns the in-process utilities on or off. Turning them on reads the texts
 * of the simulated utilities under root; false when they cannot be read.
 */
bool set_instant_utilities(bool on, const std::string &root);

} // namespace bench

#endif
