/*
 * C++ view of the simulator's recordings, for sysmgr-show's renderer and the tests.
 */
#ifndef SYSMGRSIM_SIM_HPP
#define SYSMGRSIM_SIM_HPP

#include <cstdint>
#include <ctime>
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
    std::string value;  /* value only: the len bytes of the value, as read at the call */
};
const std::vector<Print> &prints();

/*
 * A value's bytes as an integer: 4 bytes of kind 0x11 are signed
 * (sign-extended, is_signed set); every other value is unsigned, 8 bytes
 * under 0x11 included (the slot0 size of the alternate report). False for
 * any other length.
 */
bool value_integer(uint32_t kind, const std::string &bytes, uint64_t &out, bool &is_signed);
/* A time value: 4 bytes of seconds since 1970. False for any other length. */
bool value_seconds(const std::string &bytes, time_t &out);

/*
 * One platform call, in call order: its name, its integer arguments as the
 * library passed them (pointers to integer records are read: the 8-byte
 * address as two words, the receive options as ten), and its text arguments.
 * Print calls are in prints(), not here.
 *
 * Arguments are recorded in the order of the C declaration. Other pointers
 * (records, buffers, message references, out-values such as the response
 * pointer and length) are not recorded; a null text is recorded as "(null)",
 * a null address or null receive options as no words.
 */
struct Call {
    std::string name;
    std::vector<int64_t> args;
    std::vector<std::string> texts;
    std::string result; /* what it returned, as the trace shows it */
    uint32_t hex = 0;   /* bit i: args[i] is an opcode or a node address, shown in hex */
};
const std::vector<Call> &calls();
/* The calls named name, in order. */
std::vector<Call> calls_named(const std::string &name);

} // namespace sysmgrsim

#endif
