// The simulator's process-wide state, the recordings and their control calls.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim_internal.h"

namespace sysmgrsim::detail {

namespace {

// The embedded default is part of the build; failing to load it is a defect.
Scenario default_scenario() {
    Scenario scenario;
    std::string err;
    if (!parse_scenario(kDefaultScenario, "default scenario", scenario, err)) {
        std::fprintf(stderr, "libsysmgrsim: %s\n", err.c_str());
        std::abort();
    }
    return scenario;
}

} // namespace

State &state() {
    static State s = [] {
        State fresh;
        fresh.scenario = default_scenario();
        return fresh;
    }();
    return s;
}

void clear_records(State &s) {
    s.prints.clear();
    s.calls.clear();
    s.sends = 0;
    s.delivered = false;
    s.bound.clear();
    s.bind_calls = 0;
    s.unbind_calls = 0;
    s.binds_done = 0;
    s.errnos.clear();
    s.queues.clear();
    s.messages.clear();
    s.outstanding = 0;
    s.receives.clear();
    s.images.clear();
    s.images_open = 0;
    s.image_close_errors = 0;
    s.output.clear();
}

void copy_error(std::string message, char *err, std::size_t errlen) {
    for (char &c : message)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    if (err != nullptr && errlen > 0)
        std::snprintf(err, errlen, "%s", message.c_str());
}

void record_call(const char *name, std::initializer_list<int64_t> args,
                 std::initializer_list<std::string> texts) {
    state().calls.push_back(Call{name, args, texts});
}

std::string text_arg(const char *text, std::size_t max) {
    if (text == nullptr)
        return "(null)";
    return std::string(text, strnlen(text, max));
}

} // namespace sysmgrsim::detail

namespace sysmgrsim {

const std::vector<Print> &prints() {
    return detail::state().prints;
}

const std::vector<Call> &calls() {
    return detail::state().calls;
}

std::vector<Call> calls_named(const std::string &name) {
    std::vector<Call> out;
    for (const Call &c : detail::state().calls)
        if (c.name == name)
            out.push_back(c);
    return out;
}

} // namespace sysmgrsim

using sysmgrsim::detail::state;

extern "C" {

void sim_clear_records(void) {
    sysmgrsim::detail::clear_records(state());
}

void sim_set_format(enum sim_format format) {
    state().format = format;
}

void sim_set_command(int32_t command) {
    state().command_override = true;
    state().command = command;
}

const char *sim_output(void) {
    auto &s = state();
    s.output = sysmgrsim::detail::render_output(s.format, s.prints);
    return s.output.c_str();
}

int sim_send_count(void) {
    return state().sends;
}

int sim_output_delivered(void) {
    return state().delivered ? 1 : 0;
}

int sim_queues_bound(void) {
    return static_cast<int>(state().bound.size());
}

int sim_bind_calls(void) {
    return state().bind_calls;
}

int sim_unbind_calls(void) {
    return state().unbind_calls;
}

int sim_messages_outstanding(void) {
    return state().outstanding;
}

int sim_images_open(void) {
    return state().images_open;
}

int sim_image_close_errors(void) {
    return state().image_close_errors;
}

} // extern "C"
