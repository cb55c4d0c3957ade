// Scenario loading: a JSON merge patch over the embedded default, validated
// key by key against the default's structure.
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "sim_internal.h"

namespace sysmgrsim::detail {
namespace {

using json = nlohmann::json;
using Path = std::vector<std::string>;

// No default key lies deeper than this; deeper input is rejected before the
// merge so that nothing recurses without bound.
constexpr int kMaxDepth = 16;
constexpr std::size_t kMaxFileSize = 16u << 20;
constexpr std::size_t kMaxPathLength = 1024;
constexpr std::size_t kMaxCmiText = sizeof(cli_context_t::cmi_text1) - 1;
constexpr std::size_t kMaxText = 4096;

bool is_identifier(const std::string &key) {
    if (key.empty() || std::isdigit(static_cast<unsigned char>(key[0])))
        return false;
    for (char c : key)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_')
            return false;
    return true;
}

// The path in JSONPath notation: $.supervisors.local.result, $.files['/a'].
std::string path_text(const Path &path) {
    std::string out = "$";
    for (const std::string &key : path) {
        if (is_identifier(key)) {
            out += "." + key;
            continue;
        }
        out += "['";
        for (char c : key) {
            if (c == '\'' || c == '\\')
                out += '\\';
            out += c;
        }
        out += "']";
    }
    return out;
}

// A JSON integer, or a text "0x..." in hex, as sign and magnitude.
struct Integer {
    bool negative = false;
    uint64_t magnitude = 0;
    int64_t as_int64() const {
        return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    }
};

bool read_hex(const std::string &text, Integer &out, std::string &problem) {
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) {
        problem = "expected an integer or a \"0x...\" text";
        return false;
    }
    uint64_t value = 0;
    for (std::size_t i = 2; i < text.size(); ++i) {
        int digit;
        char c = text[i];
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else {
            problem = "expected an integer or a \"0x...\" text";
            return false;
        }
        if (value > (UINT64_MAX >> 4)) {
            problem = "out of range";
            return false;
        }
        value = value << 4 | static_cast<uint64_t>(digit);
    }
    out = {false, value};
    return true;
}

bool read_integer(const json &v, Integer &out, std::string &problem) {
    if (v.is_number_unsigned()) {
        out = {false, v.get<uint64_t>()};
        return true;
    }
    if (v.is_number_integer()) {
        int64_t i = v.get<int64_t>();
        out = {i < 0, i < 0 ? 0 - static_cast<uint64_t>(i) : static_cast<uint64_t>(i)};
        return true;
    }
    if (v.is_number_float()) {
        // Integers beyond 64 bits arrive as floating-point numbers.
        double d = v.get<double>();
        problem = std::isfinite(d) && d == std::floor(d) ? "out of range" : "expected an integer";
        return false;
    }
    if (v.is_string())
        return read_hex(v.get_ref<const std::string &>(), out, problem);
    problem = "expected an integer";
    return false;
}

bool in_range(const Integer &v, int64_t lo, uint64_t hi) {
    if (!v.negative)
        return v.magnitude <= hi && (lo <= 0 || v.magnitude >= static_cast<uint64_t>(lo));
    if (lo >= 0)
        return v.magnitude == 0;
    return v.magnitude <= 0 - static_cast<uint64_t>(lo);
}

std::string located(const std::string &origin, const Path &path, const std::string &problem) {
    return origin + ": " + path_text(path) + ": " + problem;
}

// Typed reads from the merged document; the first problem is kept and every
// later read returns a default.
class Reader {
  public:
    Reader(const json &doc, std::string origin) : doc_(doc), origin_(std::move(origin)) {}

    bool ok() const { return error_.empty(); }
    const std::string &error() const { return error_; }

    void fail(const Path &path, const std::string &problem) {
        if (ok())
            error_ = located(origin_, path, problem);
    }

    const json *find(const Path &path) {
        const json *node = &doc_;
        Path walked;
        for (const std::string &key : path) {
            if (!node->is_object()) {
                fail(walked, "expected an object");
                return nullptr;
            }
            walked.push_back(key);
            auto it = node->find(key);
            if (it == node->end()) {
                fail(walked, "missing");
                return nullptr;
            }
            node = &*it;
        }
        return node;
    }

    int64_t integer(const Path &path, int64_t lo, int64_t hi) {
        return number(path, lo, static_cast<uint64_t>(hi)).as_int64();
    }
    // A 32-bit word: any signed or unsigned 32-bit value, kept as its bits.
    uint32_t word(const Path &path) {
        return static_cast<uint32_t>(number(path, INT32_MIN, UINT32_MAX).as_int64());
    }
    uint64_t unsigned64(const Path &path, uint64_t lo) {
        return number(path, static_cast<int64_t>(lo), UINT64_MAX).magnitude;
    }

    bool boolean(const Path &path) {
        const json *v = ok() ? find(path) : nullptr;
        if (v == nullptr)
            return false;
        if (!v->is_boolean()) {
            fail(path, "expected true or false");
            return false;
        }
        return v->get<bool>();
    }

    std::string text(const Path &path, std::size_t max) {
        const json *v = ok() ? find(path) : nullptr;
        if (v == nullptr)
            return {};
        if (!v->is_string()) {
            fail(path, "expected a text");
            return {};
        }
        const std::string &s = v->get_ref<const std::string &>();
        if (s.size() > max) {
            fail(path, "text longer than " + std::to_string(max) + " bytes");
            return {};
        }
        return s;
    }

  private:
    Integer number(const Path &path, int64_t lo, uint64_t hi) {
        const json *v = ok() ? find(path) : nullptr;
        if (v == nullptr)
            return {};
        Integer value;
        std::string problem;
        if (!read_integer(*v, value, problem)) {
            fail(path, problem);
            return {};
        }
        if (!in_range(value, lo, hi)) {
            fail(path, "out of range (" + std::to_string(lo) + " to " + std::to_string(hi) + ")");
            return {};
        }
        return value;
    }

    const json &doc_;
    std::string origin_;
    std::string error_;
};

// False for input nested deeper than kMaxDepth.
bool depth_ok(const json &node, int depth) {
    if (!node.is_structured())
        return true;
    if (depth >= kMaxDepth)
        return false;
    for (const json &item : node)
        if (!depth_ok(item, depth + 1))
            return false;
    return true;
}

// A files key: an absolute path without empty, "." or ".." components.
bool valid_file_path(const std::string &p) {
    if (p.size() < 2 || p.size() > kMaxPathLength || p[0] != '/' || p.back() == '/')
        return false;
    if (p.find('\0') != std::string::npos)
        return false;
    std::size_t start = 1;
    while (start <= p.size()) {
        std::size_t end = p.find('/', start);
        if (end == std::string::npos)
            end = p.size();
        std::string part = p.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        start = end + 1;
    }
    return true;
}

// Every key of doc must exist in the default; objects stay objects. The
// "files" object is a free map of paths to texts.
void check_keys(const json &doc, const json &def, Path &path, Reader &r) {
    for (auto it = doc.begin(); it != doc.end() && r.ok(); ++it) {
        path.push_back(it.key());
        auto known = def.find(it.key());
        if (known == def.end()) {
            r.fail(path, "unknown key");
        } else if (known->is_object()) {
            if (!it->is_object())
                r.fail(path, "expected an object");
            else if (path.size() == 1 && it.key() == "files")
                ; // checked by read_files
            else
                check_keys(*it, *known, path, r);
        }
        path.pop_back();
    }
}

void read_files(const json &files, Reader &r, Scenario &out) {
    for (auto it = files.begin(); it != files.end() && r.ok(); ++it) {
        Path path{"files", it.key()};
        if (!valid_file_path(it.key()))
            r.fail(path, "expected an absolute path without empty, \".\" or \"..\" parts");
        else if (!it->is_string())
            r.fail(path, "expected a text");
        else
            out.files[it.key()] = it->get<std::string>();
    }
}

void read_supervisor(Reader &r, const char *side, SupervisorAnswer &out) {
    static const char *const kWords[8] = {"status",         "internal_state", "rdn_state",
                                          "peer_rdn_state", "sup_state",      "peer_node",
                                          "admin_mode",     "ha_synced"};
    Path base{"supervisors", side};
    auto at = [&base](const char *key) {
        Path p = base;
        p.push_back(key);
        return p;
    };
    out.result = static_cast<int32_t>(r.integer(at("result"), INT32_MIN, INT32_MAX));
    out.err = static_cast<int32_t>(r.integer(at("errno"), 0, INT32_MAX));
    out.length = static_cast<uint32_t>(r.integer(at("length"), 0, 4096));
    out.null_response = r.boolean(at("null_response"));
    for (int i = 0; i < 8; ++i)
        out.words[i] = r.word(at(kWords[i]));
}

void read_exchange(Reader &r, const char *name, Exchange &out) {
    out.send_errno = static_cast<int32_t>(r.integer({name, "send_errno"}, 0, INT32_MAX));
    out.recv_errno = static_cast<int32_t>(r.integer({name, "recv_errno"}, 0, INT32_MAX));
    out.interrupts = static_cast<uint32_t>(r.integer({name, "interrupts"}, 0, 1000000));
}

void read_scenario(Reader &r, Scenario &out) {
    out.description = r.text({"description"}, kMaxText);

    out.context.debug = static_cast<int32_t>(r.integer({"context", "debug"}, INT32_MIN, INT32_MAX));
    out.context.on_sup =
        static_cast<int32_t>(r.integer({"context", "on_sup"}, INT32_MIN, INT32_MAX));
    out.context.mts_q = static_cast<int32_t>(r.integer({"context", "mts_q"}, INT32_MIN, INT32_MAX));
    out.context.cmi_text1 = r.text({"context", "cmi_text1"}, kMaxCmiText);
    out.context.cmi_text2 = r.text({"context", "cmi_text2"}, kMaxCmiText);

    out.backend.rx_null = r.boolean({"backend", "rx_null"});
    out.backend.command =
        static_cast<int32_t>(r.integer({"backend", "command"}, INT32_MIN, INT32_MAX));
    out.backend.xml_agent = r.boolean({"backend", "xml_agent"});
    out.backend.send_result =
        static_cast<int32_t>(r.integer({"backend", "send_result"}, INT32_MIN, INT32_MAX));

    out.mts.bind_errno = static_cast<int32_t>(r.integer({"mts", "bind_errno"}, 0, INT32_MAX));
    out.mts.first_queue = static_cast<int32_t>(r.integer({"mts", "first_queue"}, 0, 1000000));

    read_supervisor(r, "local", out.local);
    read_supervisor(r, "peer", out.peer);

    read_exchange(r, "scope_done", out.scope_exchange);
    out.scope_done = r.word({"scope_done", "scope_done"});
    out.uptime_base = r.unsigned64({"scope_done", "uptime_base"}, 0);
    out.start_time = r.word({"scope_done", "start_time"});
    read_exchange(r, "prior_uptime", out.prior_exchange);
    out.prior_uptime = r.word({"prior_uptime", "prior_uptime"});

    out.timer.cycles = r.unsigned64({"timer", "cycles"}, 0);
    out.timer.cycles_per_msec = r.unsigned64({"timer", "cycles_per_msec"}, 1);

    out.card.result = static_cast<int32_t>(r.integer({"card", "result"}, INT32_MIN, INT32_MAX));
    out.card.card_kind = static_cast<uint8_t>(r.integer({"card", "card_kind"}, 0, 255));
    out.card.module_type = static_cast<uint16_t>(r.integer({"card", "module_type"}, 0, 65535));

    out.slots.this_sup = static_cast<uint8_t>(r.integer({"slots", "this_sup"}, 0, 255));
    out.slots.other_sup = static_cast<uint8_t>(r.integer({"slots", "other_sup"}, 0, 255));
    out.slots.byte3 = static_cast<uint8_t>(r.integer({"slots", "byte3"}, 0, 255));
    out.slots.byte4 = static_cast<uint8_t>(r.integer({"slots", "byte4"}, 0, 255));

    out.hostname.result =
        static_cast<int32_t>(r.integer({"hostname", "result"}, INT32_MIN, INT32_MAX));
    out.hostname.name = r.text({"hostname", "name"}, kMaxText);

    if (const json *files = r.ok() ? r.find({"files"}) : nullptr)
        read_files(*files, r, out);
}

const json &default_document() {
    static const json doc = json::parse(kDefaultScenario);
    return doc;
}

// nlohmann's messages start with "[json.exception.parse_error.101] ".
std::string parse_problem(const std::exception &e) {
    std::string what = e.what();
    std::size_t cut = what.find("] ");
    if (what.rfind("[json.exception.", 0) == 0 && cut != std::string::npos)
        what.erase(0, cut + 2);
    return "malformed JSON: " + what;
}

bool parse_document(const char *json_text, const std::string &origin, Scenario &out,
                    std::string &err) {
    json patch = json::parse(json_text);
    Path path;
    if (!depth_ok(patch, 0)) {
        err = located(origin, path, "nested deeper than " + std::to_string(kMaxDepth) + " levels");
        return false;
    }
    if (!patch.is_object()) {
        err = origin + ": $: expected an object";
        return false;
    }
    json doc = default_document();
    doc.merge_patch(patch);

    Reader reader(doc, origin);
    check_keys(doc, default_document(), path, reader);
    Scenario parsed;
    if (reader.ok())
        read_scenario(reader, parsed);
    if (!reader.ok()) {
        err = reader.error();
        return false;
    }
    out = std::move(parsed);
    return true;
}

} // namespace

bool parse_scenario(const char *json_text, const char *origin, Scenario &out, std::string &err) {
    std::string where = origin != nullptr ? origin : "scenario";
    if (json_text == nullptr) {
        err = where + ": $: no scenario text";
        return false;
    }
    try {
        return parse_document(json_text, where, out, err);
    } catch (const nlohmann::json::parse_error &e) {
        err = where + ": $: " + parse_problem(e);
    } catch (const std::exception &e) {
        err = where + ": $: " + e.what();
    }
    return false;
}

} // namespace sysmgrsim::detail

namespace {

using sysmgrsim::detail::State;

// Messages quote the input; control characters become '?' so that a
// message never drives the terminal.
void copy_error(std::string message, char *err, size_t errlen) {
    for (char &c : message)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    if (err != nullptr && errlen > 0)
        std::snprintf(err, errlen, "%s", message.c_str());
}

// Reads a whole scenario file, refusing anything larger than kMaxFileSize.
bool read_file(const char *path, std::string &text, std::string &problem) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        problem = std::strerror(errno);
        return false;
    }
    std::ostringstream buf;
    char chunk[65536];
    std::size_t total = 0;
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        total += static_cast<std::size_t>(in.gcount());
        if (total > sysmgrsim::detail::kMaxFileSize) {
            problem = "file larger than 16 MiB";
            return false;
        }
        buf.write(chunk, in.gcount());
    }
    if (in.bad()) {
        problem = "read error";
        return false;
    }
    text = buf.str();
    return true;
}

// Creates the directories of full = root + path below the existing root.
bool make_parents(const std::string &full, std::size_t root_length, std::string &problem) {
    for (std::size_t slash = full.find('/', root_length + 1); slash != std::string::npos;
         slash = full.find('/', slash + 1)) {
        std::string dir = full.substr(0, slash);
        if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
            problem = dir + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

bool write_file(const std::string &path, const std::string &content, std::string &problem) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        problem = path + ": " + std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < content.size()) {
        ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            problem = path + ": " + std::strerror(errno);
            close(fd);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (close(fd) != 0) {
        problem = path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace

extern "C" {

int sim_load_scenario(const char *json_text, const char *origin, char *err, size_t errlen) {
    State &s = sysmgrsim::detail::state();
    sysmgrsim::detail::clear_records(s);
    s.command_override = false;
    std::string message;
    if (!sysmgrsim::detail::parse_scenario(json_text, origin, s.scenario, message)) {
        copy_error(message, err, errlen);
        return -1;
    }
    copy_error("", err, errlen);
    return 0;
}

int sim_load_scenario_file(const char *path, char *err, size_t errlen) {
    std::string text;
    std::string problem;
    try {
        if (path == nullptr) {
            problem = "no file name";
        } else if (!read_file(path, text, problem)) {
            problem = std::string(path) + ": " + problem;
        }
    } catch (const std::exception &e) {
        problem = std::string(path != nullptr ? path : "scenario") + ": " + e.what();
    }
    if (!problem.empty()) {
        sysmgrsim::detail::clear_records(sysmgrsim::detail::state());
        copy_error(problem, err, errlen);
        return -1;
    }
    return sim_load_scenario(text.c_str(), path, err, errlen);
}

void sim_reset(void) {
    State &s = sysmgrsim::detail::state();
    std::string message;
    sysmgrsim::detail::parse_scenario(sysmgrsim::detail::kDefaultScenario, "default scenario",
                                      s.scenario, message);
    s.command_override = false;
    s.format = SIM_FORMAT_TEXT;
    sysmgrsim::detail::clear_records(s);
}

const char *sim_default_scenario(void) {
    return sysmgrsim::detail::kDefaultScenario;
}

void sim_fill_context(cli_context_t *context) {
    if (context == nullptr)
        return;
    const auto &c = sysmgrsim::detail::state().scenario.context;
    std::memset(context, 0, sizeof *context);
    context->debug = c.debug;
    context->on_sup = c.on_sup;
    context->mts_q = c.mts_q;
    std::snprintf(context->cmi_text1, sizeof context->cmi_text1, "%s", c.cmi_text1.c_str());
    std::snprintf(context->cmi_text2, sizeof context->cmi_text2, "%s", c.cmi_text2.c_str());
}

int sim_write_files(const char *root, char *err, size_t errlen) {
    if (root == nullptr || root[0] == '\0') {
        copy_error("no root directory", err, errlen);
        return -1;
    }
    std::string problem;
    int written = 0;
    try {
        for (const auto &[path, content] : sysmgrsim::detail::state().scenario.files) {
            std::string full = std::string(root) + path;
            if (!make_parents(full, std::strlen(root), problem) ||
                !write_file(full, content, problem))
                break;
            ++written;
        }
    } catch (const std::exception &e) {
        problem = e.what();
    }
    if (!problem.empty()) {
        copy_error(problem, err, errlen);
        return -1;
    }
    copy_error("", err, errlen);
    return written;
}

} // extern "C"
