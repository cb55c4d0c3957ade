/*
 * C++ view of the simulator's recordings, for tests.
 */
#ifndef SYSMGRSIM_SIM_HPP
#define SYSMGRSIM_SIM_HPP

#include <cstdint>
#include <string>
#include <vector>

#include "sysmgrsim/sim.h"

namespace sysmgrsim {

/* One print call into the receive handle, in call order. */
struct Print {
    enum class Kind { literal, value, dprt };
    Kind kind;
    std::string format; /* the format given to cmd_prt / cmd_dprt */
    uint32_t tag = 0;   /* value only */
    uint32_t len = 0;   /* value only: the length given to cmd_prt_arg_make */
    std::string text;   /* the call's plain-text rendering */
};
const std::vector<Print> &prints();

/*
 * One platform call, in call order: its name, its integer arguments as the
 * library passed them (pointers to integer records are read: the 8-byte
 * address as two words, the receive options as ten), and its text arguments.
 * Print calls are in prints(), not here.
 */
struct Call {
    std::string name;
    std::vector<int64_t> args;
    std::vector<std::string> texts;
};
const std::vector<Call> &calls();
/* The calls named name, in order. */
std::vector<Call> calls_named(const std::string &name);

} // namespace sysmgrsim

#endif
