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
    uint32_t tag = 0;  /* value only */
    uint32_t len = 0;  /* value only: the length given to cmd_prt_arg_make */
    std::string text;  /* the call's plain-text rendering */
    std::string value; /* value only: the len bytes of the value, as read at the call */
};
const std::vector<Print> &prints();
/* The print a cmd_prt call with this format and print argument (null: none) makes. */
Print print_of(const std::string &format, const cmd_prt_arg_t *arg);

/*
 * A value's 4 or 8 bytes as an integer, signed (is_signed set) only for 4
 * bytes of kind 0x11: 8 bytes under 0x11 are the alternate report's slot0
 * size. False for any other length.
 */
bool value_integer(uint32_t kind, const std::string &bytes, uint64_t &out, bool &is_signed);
/* A time value: 4 bytes of seconds since 1970. False for any other length. */
bool value_seconds(const std::string &bytes, time_t &out);

/*
 * One platform call other than a print, in call order, with its integer and
 * text arguments in declaration order. Integer records are read (an address
 * as two words, receive options as ten; none when null); other pointers are
 * not recorded; a null text is "(null)".
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
