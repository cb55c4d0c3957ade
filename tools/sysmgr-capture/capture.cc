// SPDX-License-Identifier: MIT
// A run's record turned into a scenario: each platform answer goes to the
// scenario member the simulator answers the same call from, the first answer
// to each call being the one kept.
#include "capture.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <set>

#include <sys/wait.h>

#include "platform/platform.h"
#include "sysmgrcli/sysmgrcli.h"

namespace sysmgrcapture {

namespace {

using json = nlohmann::json;
using ojson = nlohmann::ordered_json;

constexpr int kInterrupted = 4;
constexpr int kExitNotFound = 127; // the shell's status for a command it cannot find

/* A member of a record line, null when the line lacks it. */
const json &member(const json &line, const char *key) {
    static const json none;
    const auto it = line.find(key);
    return it != line.end() ? *it : none;
}

std::string unhex(const json &value) {
    std::string out;
    if (!value.is_string())
        return out;
    const std::string &hex = value.get_ref<const std::string &>();
    auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(digit(hex[i]) << 4 | digit(hex[i + 1]));
    return out;
}

/* A fixed field's text: up to its first NUL, the whole field when it has none. */
std::string field_text(const std::string &field) {
    return field.substr(0, std::min(field.find('\0'), field.size()));
}

template <typename T>
T record_as(const std::string &bytes) {
    T value{};
    std::memcpy(&value, bytes.data(), std::min(sizeof value, bytes.size()));
    return value;
}

std::string hex_id(int64_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<uint32_t>(id));
    return text;
}

/* The first word of a shell command, unquoted, and the word after ">". */
std::string first_word(const std::string &command) {
    std::string word = command.substr(0, command.find(' '));
    if (word.size() >= 2 && word.front() == '\'' && word.back() == '\'')
        word = word.substr(1, word.size() - 2);
    return word;
}
std::string redirect_target(const std::string &command) {
    const std::size_t at = command.find(" > ");
    return at == std::string::npos ? "" : first_word(command.substr(at + 3));
}

const char *tool_named(const std::string &command) {
    const std::string word = first_word(command);
    for (const auto &t : kTools)
        if (word == t.path)
            return t.name;
    return nullptr;
}

bool not_found(int status) {
    return WIFEXITED(status) && WEXITSTATUS(status) == kExitNotFound;
}

class Builder {
  public:
    Builder(const std::vector<json> &record, Capture &out) : record_(record), out_(out) {}

    void run() {
        out_.scenario["description"] = "";
        for (index_ = 0; index_ < record_.size(); ++index_)
            one(record_[index_]);
        finish_tools();
    }

  private:
    /* Sets a scenario member the first time; later answers to the same call are not kept. */
    void set(std::initializer_list<std::string> keys, ojson value, const std::string &from) {
        std::string what;
        ojson *node = &out_.scenario;
        for (const std::string &k : keys) {
            what += "/" + k;
            node = &(*node)[k];
        }
        if (!set_.insert(what).second)
            return;
        *node = std::move(value);
        out_.sources.push_back({keys, "", from});
    }

    std::string from() const { return record_[index_].value("fn", std::string()); }
    int64_t ret() const {
        const json &r = member(record_[index_], "r");
        return r.is_number() ? r.get<int64_t>() : 0;
    }
    int64_t arg(std::size_t i) const {
        const json &a = member(record_[index_], "a");
        return i < a.size() ? a[i].get<int64_t>() : 0;
    }
    std::string text(std::size_t i) const {
        const json &t = member(record_[index_], "t");
        return i < t.size() ? unhex(t[i]) : std::string();
    }
    std::string out(const char *name) const { return unhex(record_[index_].value(name, json())); }
    bool has(const char *name) const { return record_[index_].contains(name); }
    ojson ret_text() const {
        const json &r = member(record_[index_], "r");
        return r.is_null() ? ojson() : ojson(unhex(r));
    }

    /* The errno a failed transport call left: what the next mts_errno_get answered. */
    int64_t transport_errno() const {
        for (std::size_t i = index_ + 1; i < record_.size(); ++i)
            if (record_[i].value("fn", std::string()) == "mts_errno_get")
                return record_[i].value("r", int64_t{0});
        return 0;
    }

    const char *exchange(int64_t opcode) const {
        return opcode == SYSMGR_OPC_SCOPE_DONE     ? "scope_done"
               : opcode == SYSMGR_OPC_PRIOR_UPTIME ? "prior_uptime"
                                                   : nullptr;
    }

    void supervisor(const char *which) {
        const std::string f = from();
        const int64_t rc = ret();
        set({"supervisors", which, "result"}, rc, f);
        set({"supervisors", which, "errno"}, rc == -1 ? record_[index_].value("e", 0) : 0, f);
        if (rc != 0)
            return;
        const std::string bytes = out("response");
        set({"supervisors", which, "length"}, record_[index_].value("length", 0u), f);
        set({"supervisors", which, "null_response"}, record_[index_].value("null_response", 0) != 0,
            f);
        const auto words = record_as<sysmgr_rdn_status_rsp_t>(bytes);
        const std::pair<const char *, uint32_t> fields[] = {
            {"status", words.status},         {"internal_state", words.internal_state},
            {"rdn_state", words.rdn_state},   {"peer_rdn_state", words.peer_rdn_state},
            {"sup_state", words.sup_state},   {"peer_node", words.peer_node},
            {"admin_mode", words.admin_mode}, {"ha_synced", words.ha_synced}};
        for (const auto &[name, value] : fields)
            set({"supervisors", which, name}, value, f);
    }

    void hostname() {
        const std::string f = from();
        const int64_t rc = ret();
        set({"hostname", "result"}, rc, f);
        if (rc == -1)
            set({"hostname", "errno"}, record_[index_].value("e", 0), f);
        if (rc != 0)
            return;
        const bool null_response = record_[index_].value("null_response", 0) != 0;
        set({"hostname", "null_response"}, null_response, f);
        if (null_response)
            return;
        std::string name = out("response");
        const bool terminated = !name.empty() && name.back() == '\0';
        if (terminated)
            name.pop_back();
        set({"hostname", "name"}, name, f);
        set({"hostname", "terminated"}, terminated, f);
    }

    void timer_diff() {
        const std::string f = from();
        const uint64_t later = member(record_[index_], "a")[0].get<uint64_t>();
        const uint64_t earlier = member(record_[index_], "a")[1].get<uint64_t>();
        const uint64_t msec = record_[index_].value("r", uint64_t{0});
        const uint64_t cycles = later - earlier;
        const uint64_t per_msec = msec > 0 ? cycles / msec : 0;
        if (per_msec > 0 && cycles / per_msec == msec)
            set({"timer", "cycles_per_msec"}, per_msec, f);
        else
            set({"timer", "elapsed_msec"}, msec, f);
    }

    void last_reset() {
        const std::string f = from();
        set({"last_reset", "result"}, ret(), f);
        if (ret() < 0)
            return;
        const std::string bytes = out("record");
        const auto rr = record_as<last_rr_record_t>(bytes);
        set({"last_reset", "next_index"}, rr.next_index, f);
        ojson entries = ojson::array();
        for (std::size_t i = 0; i < LAST_RR_ENTRIES; ++i)
            entries.push_back({{"reason", rr.reason[i]},
                               {"service", field_text(std::string(rr.service[i], 32))},
                               {"system_version", field_text(std::string(rr.sys_version[i], 64))},
                               {"time", rr.reset_time[i]},
                               {"usecs", rr.reset_usecs[i]}});
        set({"last_reset", "entries"}, entries, f);
    }

    /* A scheme list: every scheme the platform accepted, in the order asked. */
    void scheme(const char *list, const std::string &name, bool accepted) {
        auto &schemes = schemes_[list];
        if (accepted && std::find(schemes.begin(), schemes.end(), name) == schemes.end())
            schemes.push_back(name);
        out_.scenario["uri"][list] = schemes;
        if (set_.insert(std::string("/uri/") + list).second)
            out_.sources.push_back({{"uri", list}, "", from()});
    }

    void file(const json &e) {
        const std::string path = unhex(member(e, "path"));
        const std::string state = e.value("state", std::string());
        auto it = std::find_if(out_.files.begin(), out_.files.end(),
                               [&](const FoundFile &f) { return f.path == path; });
        if (it != out_.files.end()) {
            if (it->state == "regular" && it->data.empty() && e.contains("data"))
                it->data = unhex(member(e, "data"));
            return;
        }
        if (state == "absent") {
            out_.files.push_back({path, state, 0, "", ""});
            return;
        }
        out_.files.push_back({path, state, e.value("mode", 0u), unhex(e.value("data", json())),
                              unhex(e.value("target", json()))});
    }

    void made(const std::string &path) {
        for (FoundFile &f : out_.files)
            if (f.path == path)
                f.made = true;
    }

    void library(const json &e) {
        out_.library = unhex(member(e, "path"));
        out_.tz = !member(e, "tz").is_null() ? "TZ=" + unhex(member(e, "tz"))
                                             : "TZ unset: the machine's zone";
    }

    /* A utility's output: what it wrote into the file it was sent to, or through the pipe. */
    void utility(const json &e, bool piped) {
        const std::string command = unhex(member(e, "cmd"));
        const int status = e.value("status", 0);
        const char *tool = tool_named(command);
        std::string shown = command + " (status " + std::to_string(status) + ")";
        if (tool == nullptr) {
            out_.sources.push_back({{}, shown, piped ? "popen" : "system"});
            return;
        }
        std::optional<std::string> output;
        if (piped) {
            output = unhex(member(e, "data"));
        } else {
            const std::string target = redirect_target(command);
            for (std::size_t i = index_ + 1; i < record_.size(); ++i) {
                if (record_[i].value("fn", std::string()) == "@made" &&
                    unhex(member(record_[i], "path")) == target) {
                    output = unhex(member(record_[i], "data"));
                    break;
                }
            }
        }
        if (not_found(status) && output.value_or("").empty())
            output.reset();
        tools_[tool].push_back(output);
        out_.sources.push_back({{"tools", tool}, "", shown});
    }

    /* One text for a utility that printed the same every run, else the runs in order. */
    void finish_tools() {
        for (const auto &entry : tools_) {
            const std::string &tool = entry.first;
            const auto &runs = entry.second; // a plain name, which lambdas can capture
            ojson value;
            if (std::all_of(runs.begin(), runs.end(),
                            [&](const auto &r) { return r == runs[0]; })) {
                value = runs[0] ? ojson(*runs[0]) : ojson();
            } else if (std::all_of(runs.begin(), runs.end(), [](const auto &r) { return r; })) {
                for (const auto &r : runs)
                    value.push_back(*r);
            } else {
                out_.notes.push_back(std::string("tools.") + tool +
                                     ": the utility was missing on some runs only; the capture "
                                     "keeps its first run");
                value = runs[0] ? ojson(*runs[0]) : ojson();
            }
            out_.scenario["tools"][tool] = value;
        }
    }

    void one(const json &e) {
        const std::string fn = e.value("fn", std::string());
        const std::string f = fn;
        if (fn.empty() || fn[0] == '@') {
            if (fn == "@file")
                file(e);
            else if (fn == "@system" || fn == "@popen")
                utility(e, fn == "@popen");
            else if (fn == "@made")
                made(unhex(member(e, "path")));
            else if (fn == "@library")
                library(e);
            else if (fn == "@entry")
                set({"context", "mts_q"}, e.value("q", -1),
                    "the host's call of the alternate report");
            return;
        }
        ++out_.calls;
        const int64_t rc = ret();
        if (fn == "cmd_paraminfo_to_rxhandle") {
            const auto c = record_as<cli_context_t>(out("context"));
            set({"context", "debug"}, c.debug, f);
            set({"context", "on_sup"}, c.on_sup, f);
            set({"context", "mts_q"}, c.mts_q, f);
            set({"context", "cmi_text1"}, field_text(std::string(c.cmi_text1, 40)), f);
            set({"context", "cmi_text2"}, field_text(std::string(c.cmi_text2, 40)), f);
            set({"backend", "rx_null"}, e.value("r", uint64_t{0}) == 0, f);
        } else if (fn == "cmd_req_cmdId_getnext") {
            set({"backend", "command"}, rc, f);
        } else if (fn == "cmd_req_is_xmlagent") {
            set({"backend", "xml_agent"}, rc != 0, f);
        } else if (fn == "cmd_prt_send") {
            set({"backend", "send_result"}, rc, f);
        } else if (fn == "mts_bind") {
            if (rc >= 0) {
                // The simulator numbers the queues it binds from the first one.
                if (binds_ == 0)
                    first_queue_ = rc;
                if (rc != first_queue_ + binds_++)
                    out_.notes.push_back(
                        "mts_bind gave queue " + std::to_string(rc) + "; the replay gives " +
                        std::to_string(first_queue_ + binds_ - 1) + ", which only the trace shows");
                set({"mts", "first_queue"}, rc, f);
            } else
                set({"mts", arg(0) == 1 ? "default_vdc_bind_errno" : "bind_errno"},
                    transport_errno(), f);
        } else if (fn == "mts_send") {
            if (const char *x = exchange(e.value("opcode", 0)); x != nullptr && rc < 0)
                set({x, "send_errno"}, transport_errno(), f);
        } else if (fn == "mts_recv") {
            const char *x = exchange(e.value("opcode", 0));
            if (x != nullptr && rc < 0) {
                const int64_t error = transport_errno();
                if (error == kInterrupted) {
                    if (interrupts_[x]++ == 0)
                        out_.sources.push_back({{x, "interrupts"}, "", f});
                    out_.scenario[x]["interrupts"] = interrupts_[x];
                } else {
                    set({x, "recv_errno"}, error, f);
                }
            }
        } else if (fn == "mts_payload_get") {
            const std::string bytes = out("payload");
            if (e.value("opcode", 0) == SYSMGR_OPC_SCOPE_DONE && has("payload")) {
                const auto p = record_as<sysmgr_scope_done_rsp_t>(bytes);
                set({"scope_done", "scope_done"}, p.scope_done, f);
                set({"scope_done", "uptime_base"}, p.uptime_base, f);
                set({"scope_done", "start_time"}, p.start_time, f);
            } else if (e.value("opcode", 0) == SYSMGR_OPC_PRIOR_UPTIME && has("payload")) {
                set({"prior_uptime", "prior_uptime"},
                    record_as<sysmgr_prior_uptime_rsp_t>(bytes).prior_uptime, f);
            }
        } else if (fn == "cmi_req_resp") {
            if (arg(0) == SYSMGR_OPC_REDUNDANCY_STATUS)
                supervisor("local");
            else if (arg(0) == SYSMGR_OPC_HOSTNAME)
                hostname();
        } else if (fn == "cmi_remote_req_resp") {
            if (arg(0) == SYSMGR_OPC_REDUNDANCY_STATUS)
                supervisor("peer");
        } else if (fn == "syserr2str") {
            if (member(e, "r").is_null())
                out_.notes.push_back("syserr2str(" + hex_id(arg(0)) +
                                     ") gave no text; the replay shows the simulator's");
            else
                set({"error_texts", hex_id(arg(0))}, ret_text(), f);
        } else if (fn == "timer_get_cycles") {
            set({"timer", "cycles"}, e.value("r", uint64_t{0}), f);
        } else if (fn == "timer_diff_cycle_in_msec") {
            timer_diff();
        } else if (fn == "pfm_is_dorrel_switch") {
            set({"chassis", "dorrel"}, rc != 0, f);
        } else if (fn == "pdb_is_bellwick_chassis") {
            set({"chassis", "bellwick"}, rc != 0, f);
        } else if (fn == "card_get_slot_num") {
            set({"chassis", "slot_result"}, rc, f);
            if (rc == 0)
                set({"chassis", "slot"}, static_cast<uint8_t>(out("slot")[0]), f);
        } else if (fn == "get_module_bios_version_ext") {
            set({"bios", "result"}, rc, f);
            if (rc == 0) {
                set({"bios", "flash"},
                    field_text(out("record").substr(BIOS_RECORD_FLASH_TEXT, 128)), f);
                set({"bios", "running"},
                    field_text(out("record").substr(BIOS_RECORD_RUNNING_TEXT, 128)), f);
            }
        } else if (fn == "srg_timestamp_file_get") {
            set({"release_files", text(0), "compile_stamp"}, rc, f);
        } else if (fn == "srg_sw_ver_file_get") {
            set({"release_files", text(0), "version"}, ret_text(), f);
        } else if (fn == "srg_sw_interim_ver_file_get") {
            set({"release_files", text(0), "interim_version"}, ret_text(), f);
        } else if (fn == "get_card_module_info") {
            set({"card", "result"}, rc, f);
            const auto card = record_as<card_module_info_t>(out("record"));
            if (rc == 0) {
                set({"card", "card_kind"}, card.card_kind, f);
                set({"card", "module_type"}, card.module_type, f);
            }
        } else if (fn == "get_platform_info") {
            set({"slots", "result"}, rc, f);
            const auto slots = record_as<platform_slot_info_t>(out("record"));
            if (rc == 0) {
                set({"slots", "this_sup"}, slots.this_sup, f);
                set({"slots", "other_sup"}, slots.other_sup, f);
                set({"slots", "byte3"}, slots.cmp_a, f);
                set({"slots", "byte4"}, slots.cmp_b, f);
            }
        } else if (fn == "pfm_get_processor_name") {
            set({"chassis", "processor_result"}, rc, f);
            if (rc == 0)
                set({"chassis", "processor"}, field_text(out("name")), f);
        } else if (fn == "pdb_get_chassis_id_string") {
            set({"chassis", "name"}, ret_text(), f);
        } else if (fn == "pfm_get_dorrel_value") {
            set({"chassis", "dorrel_name"}, ret_text(), f);
        } else if (fn == "pdb_get_mod_id_string2") {
            set({"chassis", "module"}, ret_text(), f);
        } else if (fn == "pfm_get_sup_serial_num") {
            set({"chassis", "serial_result"}, rc, f);
            if (rc == 0)
                set({"chassis", "serial"}, field_text(out("serial")), f);
        } else if (fn == "urifs_server_validate") {
            if (text(1) == "sup-local")
                scheme("local_servers", text(0), rc == 0);
        } else if (fn == "urifs_scheme_validate") {
            scheme("schemes", text(0), rc == 0);
        } else if (fn == "fileutil_fs_stat_get") {
            set({"slot0_fs", "result"}, rc, f);
            const auto fs = record_as<fs_stat_record_t>(out("record"));
            if (rc == 0) {
                set({"slot0_fs", "block_size"}, fs.word[FS_STAT_BLOCK_SIZE_WORD], f);
                set({"slot0_fs", "blocks"}, fs.word[FS_STAT_BLOCK_COUNT_WORD], f);
            }
        } else if (fn == "get_running_plugins") {
            set({"plugins", "result"}, rc, f);
            if (rc == 0) {
                ojson names = ojson::array();
                const std::string t = out("table");
                for (std::size_t i = 0; i + sizeof(plugin_record_t) <= t.size();
                     i += sizeof(plugin_record_t))
                    names.push_back(field_text(std::string(t, i + offsetof(plugin_record_t, name),
                                                           sizeof(plugin_record_t::name))));
                set({"plugins", "count"}, e.value("count", 0), f);
                set({"plugins", "names"}, names, f);
            }
        } else if (fn == "pfm_last_rr") {
            last_reset();
        } else if (fn == "img_open") {
            const std::string path = text(0);
            const int64_t error = e.value("error", int64_t{0});
            const uint64_t handle = e.value("r", uint64_t{0});
            set({"images", path, "error"}, hex_id(error), f);
            set({"images", path, "handle_on_error"}, handle != 0 && error != 0, f);
            if (handle != 0)
                image_paths_[handle] = path;
        } else if (fn == "img_timestamp") {
            auto it = image_paths_.find(e.value("image", uint64_t{0}));
            if (it != image_paths_.end())
                set({"images", it->second, "build_time"}, rc, f);
        }
    }

    const std::vector<json> &record_;
    Capture &out_;
    std::size_t index_ = 0;
    std::set<std::string> set_;
    std::map<std::string, std::vector<std::string>> schemes_;
    std::map<std::string, int> interrupts_;
    std::map<uint64_t, std::string> image_paths_;
    int64_t first_queue_ = 0;
    int64_t binds_ = 0;
    std::map<std::string, std::vector<std::optional<std::string>>> tools_;
};

} // namespace

bool build_capture(const std::vector<json> &record, Capture &out, std::string &problem) try {
    std::set<int64_t> processes;
    int64_t bindings = -1;
    for (const json &e : record) {
        if (e.value("fn", std::string()) == "@library")
            processes.insert(e.value("pid", int64_t{0}));
        if (e.value("fn", std::string()) == "@bindings")
            bindings = std::max(bindings, e.value("count", int64_t{0}));
    }
    if (processes.empty()) {
        problem = "the command did not load libsysmgrcli (a static or set-user-ID host, or one "
                  "that never loads it, cannot be captured)";
        return false;
    }
    if (processes.size() > 1) {
        problem = "the command loaded libsysmgrcli in " + std::to_string(processes.size()) +
                  " processes; capture one run at a time";
        return false;
    }
    if (bindings == 0) {
        problem = "the host cannot be captured: the dynamic linker reported none of the "
                  "library's bindings";
        return false;
    }
    Builder(record, out).run();
    if (out.calls == 0) {
        problem = "the library made no platform call: no show command ran";
        return false;
    }
    out.scenario["description"] = "Captured run of " + out.library;
    // The library reaches those two calls through a table of addresses, which
    // the dynamic linker resolves without reporting the binding.
    out.notes.push_back("the calls that print the connectivity-management processor's version "
                        "and hardware are not recorded: lines the platform prints there itself "
                        "are not part of a capture");
    return true;
} catch (const json::exception &e) {
    problem = std::string("the record is damaged: ") + e.what();
    return false;
}

namespace {

/* A value as the manifest shows it: JSON, with bytes that are not UTF-8 escaped. */
std::string shown(const ojson &value) {
    return value.dump(-1, ' ', false, ojson::error_handler_t::replace);
}

const char *file_kind(const FoundFile &f) {
    return f.state == "regular" ? "file" : f.state == "directory" ? "directory" : f.state.c_str();
}

} // namespace

std::string manifest_text(const Capture &capture) {
    std::string out = "# sysmgr-capture manifest\n";
    out += "command: " + capture.command + "\n";
    out += "library: " + capture.library + "\n";
    out += "time zone: " + capture.tz + " (replay with the same TZ for the same local times)\n";
    out += "platform calls: " + std::to_string(capture.calls) + "\n";
    out += "\n# scenario.json: member = value <- where it came from\n";
    for (const Source &s : capture.sources) {
        if (s.keys.empty())
            continue;
        std::string what;
        const ojson *node = &capture.scenario;
        for (const std::string &k : s.keys) {
            what += (what.empty() ? "" : ".") + k;
            node = node->contains(k) ? &(*node)[k] : nullptr;
            if (node == nullptr)
                break;
        }
        out += what + " = " + (node != nullptr ? shown(*node) : "?") + " <- " + s.from + "\n";
    }
    out += "\n# root: the files as the run first found them <- how the library used them\n";
    for (const FoundFile &f : capture.files) {
        char mode[16];
        std::snprintf(mode, sizeof mode, "%04o", f.mode);
        if (replay_writes(f.path))
            out += "root" + f.path + ": not kept: the replay writes its own\n";
        else if (f.state == "absent")
            out += "root" + f.path +
                   (f.made ? ": absent; the run made it, so it is left out\n" : ": absent\n");
        else if (f.state == "other")
            out += "root" + f.path + ": not a file, directory or link: not reproduced\n";
        else
            out += "root" + f.path + ": " + file_kind(f) + " " + mode +
                   (f.state == "regular" ? ", " + std::to_string(f.data.size()) + " bytes" : "") +
                   (f.state == "symlink" ? " -> " + f.target : "") + "\n";
    }
    for (const auto &t : kTools)
        if (capture.scenario.contains("tools") && capture.scenario["tools"].contains(t.name) &&
            !capture.scenario["tools"][t.name].is_null())
            out += std::string("root") + t.path + ": the replay's stand-in prints tools." + t.name +
                   " (scenario.json)\n";
    out += "\n# utilities run <- how\n";
    for (const Source &s : capture.sources)
        if (s.keys.empty())
            out += s.ran + " <- " + s.from + "\n";
    if (!capture.redacted.empty()) {
        out += "\n# redacted\n";
        for (const std::string &r : capture.redacted)
            out += r + "\n";
    }
    out += "\n# not captured\n";
    for (const std::string &n : capture.notes)
        out += n + "\n";
    return out;
}

} // namespace sysmgrcapture
