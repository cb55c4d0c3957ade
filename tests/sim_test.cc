// The simulated platform itself: scenario validation and merging, value
// rendering, the transport's bookkeeping and fault injection.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/wait.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "sysmgrsim/sim.h"
#include "sysmgrsim/sim.hpp"

namespace {

class Sim : public ::testing::Test {
  protected:
    void SetUp() override { sim_reset(); }
    void TearDown() override { sim_reset(); }

    // Loads a patch that must be valid.
    void load(const std::string &patch) {
        char err[512];
        ASSERT_EQ(sim_load_scenario(patch.c_str(), "t.json", err, sizeof err), 0) << err;
    }
};

struct BadScenario {
    const char *name;
    std::string patch;
    const char *message; // expected error after "t.json: "
};

TEST_F(Sim, RejectsInvalidScenariosAndKeepsThePreviousOne) {
    const BadScenario cases[] = {
        {"malformed", "{\"card\": ", "$: malformed JSON: parse error at line 1, column 10"},
        {"not an object", "[1]", "$: expected an object"},
        {"unknown top key", R"({"cards": {}})", "$.cards: unknown key"},
        {"unknown nested key", R"({"supervisors": {"local": {"state": 1}}})",
         "$.supervisors.local.state: unknown key"},
        {"object expected", R"({"timer": 5})", "$.timer: expected an object"},
        {"bool expected", R"({"backend": {"rx_null": 1}})",
         "$.backend.rx_null: expected true or false"},
        {"integer expected", R"({"card": {"result": [1]}})", "$.card.result: expected an integer"},
        {"fraction", R"({"card": {"result": 1.5}})", "$.card.result: expected an integer"},
        {"text expected", R"({"hostname": {"name": 7}})", "$.hostname.name: expected a text"},
        {"bad hex", R"({"card": {"result": "0x1g"}})",
         "$.card.result: expected an integer or a \"0x...\" text"},
        {"byte out of range", R"({"card": {"card_kind": 256}})",
         "$.card.card_kind: out of range (0 to 255)"},
        {"negative byte", R"({"slots": {"byte3": -1}})", "$.slots.byte3: out of range (0 to 255)"},
        {"int32 out of range", R"({"backend": {"command": 2147483648}})",
         "$.backend.command: out of range (-2147483648 to 2147483647)"},
        {"beyond 64 bits", R"({"timer": {"cycles": 100000000000000000000000}})",
         "$.timer.cycles: out of range"},
        {"hex beyond 64 bits", R"({"timer": {"cycles": "0x10000000000000000"}})",
         "$.timer.cycles: out of range"},
        {"zero divisor", R"({"timer": {"cycles_per_msec": 0}})",
         "$.timer.cycles_per_msec: out of range (1 to 18446744073709551615)"},
        {"key deleted", R"({"context": {"debug": null}})", "$.context.debug: missing"},
        {"cmi text too long", R"({"context": {"cmi_text1": ")" + std::string(40, 'x') + "\"}}",
         "$.context.cmi_text1: text longer than 39 bytes"},
        {"relative file", R"({"files": {"proc/uptime": ""}})",
         "$.files['proc/uptime']: expected an absolute path without empty, \".\" or \"..\" parts"},
        {"escaping file", R"({"files": {"/proc/../etc/x": ""}})",
         "$.files['/proc/../etc/x']: expected an absolute path without empty, \".\" or \"..\" "
         "parts"},
        {"file content", R"({"files": {"/proc/uptime": 1}})",
         "$.files['/proc/uptime']: expected a text"},
        {"too deep", std::string(100000, '[') + std::string(100000, ']'),
         "$: nested deeper than 16 levels"},
    };
    load(R"({"card": {"module_type": 88}})");
    for (const auto &c : cases) {
        char err[512] = "unchanged";
        EXPECT_EQ(sim_load_scenario(c.patch.c_str(), "t.json", err, sizeof err), -1) << c.name;
        EXPECT_EQ(std::string(err).substr(0, std::strlen("t.json: ") + std::strlen(c.message)),
                  std::string("t.json: ") + c.message)
            << c.name;
        card_module_info_t card{};
        EXPECT_EQ(get_card_module_info(&card), 0);
        EXPECT_EQ(card.module_type, 88) << c.name;
    }
}

TEST_F(Sim, ScenarioFileErrorsNameTheFile) {
    char err[512];
    EXPECT_EQ(sim_load_scenario_file("/nonexistent/s.json", err, sizeof err), -1);
    EXPECT_STREQ(err, "/nonexistent/s.json: No such file or directory");
    EXPECT_EQ(sim_load_scenario(nullptr, nullptr, err, sizeof err), -1);
    EXPECT_STREQ(err, "scenario: $: no scenario text");
}

TEST_F(Sim, PatchChangesOnlyWhatItNames) {
    load(R"({"supervisors": {"local": {"internal_state": "0x22", "length": 8}},
             "files": {"/proc/uptime": null, "/etc/a/b": "x\u0000y"}})");
    void *resp = nullptr;
    uint32_t len = 0;
    ASSERT_EQ(cmi_req_resp(SYSMGR_OPC_REDUNDANCY_STATUS, 1, 0, &resp, &len, "", "", 3, -1, 5), 0);
    ASSERT_EQ(len, 8u);
    uint32_t words[2];
    std::memcpy(words, resp, sizeof words);
    std::free(resp);
    EXPECT_EQ(words[0], 0u);
    EXPECT_EQ(words[1], 0x22u);

    // The peer keeps every default.
    ASSERT_EQ(cmi_remote_req_resp(SYSMGR_OPC_REDUNDANCY_STATUS, 1, 0, &resp, &len, "", "", 3, 0x502,
                                  -1, 5),
              0);
    ASSERT_EQ(len, 32u);
    uint32_t peer[8];
    std::memcpy(peer, resp, sizeof peer);
    std::free(resp);
    EXPECT_EQ(peer[1], 31u);
    EXPECT_EQ(peer[5], 0x501u);

    // "files": null removed the default file; the new one keeps its NUL.
    char tmpl[] = "/tmp/sim_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    char err[256];
    EXPECT_EQ(sim_write_files(tmpl, err, sizeof err), 1) << err;
    std::ifstream in(std::string(tmpl) + "/etc/a/b", std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(content.str(), std::string("x\0y", 3));
    EXPECT_FALSE(std::filesystem::exists(std::string(tmpl) + "/proc/uptime"));
    std::filesystem::remove_all(tmpl);
}

TEST_F(Sim, DefaultScenarioIsConsistent) {
    auto doc = nlohmann::json::parse(sim_default_scenario());
    uint64_t cycles = doc["timer"]["cycles"];
    uint64_t base = doc["scope_done"]["uptime_base"];
    uint64_t per_msec = doc["timer"]["cycles_per_msec"];
    uint64_t active = (cycles - base) / per_msec / 1000;
    double kernel = std::stod(doc["files"]["/proc/uptime"].get<std::string>());
    EXPECT_GT(active, 2u * 86400) << "a few days of uptime";
    EXPECT_LT(active, 30u * 86400);
    EXPECT_GE(kernel, static_cast<double>(active)) << "the kernel booted before the supervisor";
    EXPECT_LT(kernel - static_cast<double>(active), 600.0);
}

struct RenderCase {
    const char *name;
    const char *format;
    uint32_t tag;
    std::string bytes; // the value; len = bytes.size()
    const char *text;
};

TEST_F(Sim, RendersEachValueKind) {
    setenv("TZ", "UTC", 1);
    tzset();
    auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char *>(&v), 4); };
    auto u64 = [](uint64_t v) { return std::string(reinterpret_cast<const char *>(&v), 8); };
    const RenderCase cases[] = {
        {"text", "%s", 0x305c0002, std::string("HA\0", 3), "HA"},
        {"text cut by len, no NUL", "%s", 0x305c0002, "abc", "abc"},
        {"text stops at NUL", "%s", 0x305c0002, std::string("ab\0cd", 5), "ab"},
        {"int32", "%s", 0x115c000d, u32(49710), "49710"},
        {"int32 is signed", "%s", 0x115c000d, u32(0xFFFFFFFFu), "-1"},
        {"int64 is unsigned", "%s", 0x155c002f, u64(UINT64_MAX), "18446744073709551615"},
        {"int64 len 4", "%s", 0x155c002f, u32(7), "7"},
        {"integer of odd length", "%s", 0x115c000d, "abc", "<bad length 3>"},
        {"width 10", "%10s", 0x115c002e, u32(1843200), "   1843200"},
        {"width narrower than value", "%2s", 0x305c0002, std::string("Warm\0", 5), "Warm"},
        {"left aligned", "[%-6s]", 0x305c0002, std::string("HA\0", 3), "[HA    ]"},
        {"time", "%s", 0x405c0035, u32(1765021420), "Sat Dec  6 11:43:40 2025"},
        {"second conversion is literal", "%s %s %d%%", 0x305c0002, std::string("a\0", 2),
         "a %s %d%"},
    };
    cli_context_t context;
    sim_fill_context(&context);
    void *rx = cmd_paraminfo_to_rxhandle(&context);
    for (const auto &c : cases) {
        sim_clear_records();
        std::string storage = c.bytes;
        cmd_prt_arg_t arg;
        cmd_prt_arg_make(&arg, c.tag, storage.data(), static_cast<uint32_t>(storage.size()));
        cmd_prt(rx, c.format, &arg);
        storage.assign(storage.size(), '?'); // the value was read at the call
        EXPECT_STREQ(sim_output(), c.text) << c.name;
        ASSERT_EQ(sysmgrsim::prints().size(), 1u);
        const auto &p = sysmgrsim::prints()[0];
        EXPECT_EQ(p.kind, sysmgrsim::Print::Kind::value) << c.name;
        EXPECT_EQ(p.tag, c.tag);
        EXPECT_EQ(p.len, c.bytes.size());
        EXPECT_EQ(p.value, c.bytes) << c.name;
    }
}

TEST_F(Sim, RecordsLiteralsDprtAndTuplesInOrder) {
    setenv("TZ", "UTC", 1);
    tzset();
    cli_context_t context;
    sim_fill_context(&context);
    void *rx = cmd_paraminfo_to_rxhandle(&context);
    uint32_t when = 0;
    cmd_prt(rx, "Last reset at ");
    cmd_prt(rx, "%s", cmd_tuple(0x405c0035, &when));
    cmd_dprt(rx, "%20s:\t", "Internal state");
    cmd_prt(nullptr, "lost");
    EXPECT_STREQ(sim_output(), "Last reset at Thu Jan  1 00:00:00 1970      Internal state:\t");
    const auto &p = sysmgrsim::prints();
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0].kind, sysmgrsim::Print::Kind::literal);
    EXPECT_EQ(p[1].tag, 0x405c0035u);
    EXPECT_EQ(p[2].kind, sysmgrsim::Print::Kind::dprt);
    EXPECT_EQ(p[2].format, "%20s:\t");
}

TEST_F(Sim, SendResultDecidesDelivery) {
    for (int result : {0, 7}) {
        load(R"({"backend": {"send_result": )" + std::to_string(result) + "}}");
        cli_context_t context;
        sim_fill_context(&context);
        EXPECT_EQ(sim_output_delivered(), 0);
        EXPECT_EQ(cmd_prt_send(cmd_paraminfo_to_rxhandle(&context)), result);
        EXPECT_EQ(sim_send_count(), 1);
        EXPECT_EQ(sim_output_delivered(), result == 0 ? 1 : 0);
    }
}

TEST_F(Sim, CountsQueues) {
    load(R"({"mts": {"first_queue": 40}})");
    EXPECT_EQ(mts_bind(2, -1, 0, "A"), 40);
    EXPECT_EQ(mts_bind(1, -1, 0, "B"), 41);
    EXPECT_EQ(sim_queues_bound(), 2);
    mts_unbind(40, 0);
    mts_unbind(-1, 0); // not bound: recorded, no count changes
    mts_unbind(40, 0);
    EXPECT_EQ(sim_queues_bound(), 1);
    EXPECT_EQ(sim_bind_calls(), 2);
    EXPECT_EQ(sim_unbind_calls(), 3);
    auto binds = sysmgrsim::calls_named("mts_bind");
    ASSERT_EQ(binds.size(), 2u);
    EXPECT_EQ(binds[1].args, (std::vector<int64_t>{1, -1, 0}));
    EXPECT_EQ(binds[1].texts, (std::vector<std::string>{"B"}));

    load(R"({"mts": {"bind_errno": 12}})");
    EXPECT_EQ(mts_bind(2, -1, 0, "A"), -1);
    EXPECT_EQ(mts_errno_get(0), 12);
    EXPECT_EQ(sim_queues_bound(), 0);
}

// One exchange as a client makes it; the result of each step.
struct ExchangeResult {
    int send = 0;
    int recv = 0;
    int err = 0;
    int interrupts = 0;
    sysmgr_scope_done_rsp_t rsp{};
};

ExchangeResult exchange(int32_t q, uint32_t opcode, int32_t token_delta = 0) {
    ExchangeResult r;
    const uint32_t dest[2] = {SYSMGR_MTS_ADDR_WORD0, SYSMGR_MTS_ADDR_WORD1};
    unsigned char msg[MTS_MSG_SIZE];
    int32_t opts[MTS_RECV_OPTS_WORDS] = {1};
    r.send = mts_send(q, dest, opcode, 0, 0, msg, 0, 0);
    if (r.send < 0) {
        r.err = mts_errno_get(q);
        return r;
    }
    opts[3] = static_cast<int32_t>(mts_rr_token_get(msg) + static_cast<uint32_t>(token_delta));
    opts[2] = 5;
    mts_drop(q, msg);
    while ((r.recv = mts_recv(q, msg, opts)) == -1 && mts_errno_get(q) == 4)
        ++r.interrupts;
    if (r.recv < 0) {
        r.err = mts_errno_get(q);
        return r;
    }
    std::memcpy(&r.rsp, mts_payload_get(msg),
                opcode == SYSMGR_OPC_SCOPE_DONE ? sizeof r.rsp : sizeof(uint32_t));
    mts_drop(q, msg);
    return r;
}

struct TransportCase {
    const char *name;
    std::string patch;
    int32_t queue;
    int32_t token_delta;
    int send, recv, err, interrupts;
};

TEST_F(Sim, TransportAnswersAndFails) {
    const TransportCase cases[] = {
        {"answer", "{}", 100, 0, 0, 0, 0, 0},
        {"interrupted twice", R"({"scope_done": {"interrupts": 2}})", 100, 0, 0, 0, 0, 2},
        {"receive error after interrupts", R"({"scope_done": {"interrupts": 1, "recv_errno": 5}})",
         100, 0, 0, -1, 5, 1},
        {"send error", R"({"scope_done": {"send_errno": 11}})", 100, 0, -1, 0, 11, 0},
        {"token mismatch", "{}", 100, 1, 0, -1, 110, 0},
        {"unbound queue", "{}", 7, 0, -1, 0, EBADF, 0},
        {"the back end's queue", R"({"context": {"mts_q": 7}})", 7, 0, 0, 0, 0, 0},
    };
    for (const auto &c : cases) {
        load(c.patch);
        int32_t q = mts_bind(2, -1, 0, "LIB");
        ExchangeResult r = exchange(c.queue, SYSMGR_OPC_SCOPE_DONE, c.token_delta);
        EXPECT_EQ(r.send, c.send) << c.name;
        EXPECT_EQ(r.recv, c.recv) << c.name;
        EXPECT_EQ(r.err, c.err) << c.name;
        EXPECT_EQ(r.interrupts, c.interrupts) << c.name;
        if (r.send == 0 && r.recv == 0) {
            EXPECT_EQ(r.rsp.scope_done, 1u);
            EXPECT_EQ(r.rsp.start_time, 1764918849u);
        }
        // Every message a successful step created was dropped.
        EXPECT_EQ(sim_messages_outstanding(), 0) << c.name;
        mts_unbind(q, 0);
    }
}

TEST_F(Sim, CountsOutstandingMessagesAndRecordsTheReceiveOptions) {
    load(R"({"prior_uptime": {"prior_uptime": 3600}})");
    int32_t q = mts_bind(2, -1, 0, "LIB");
    const uint32_t dest[2] = {SYSMGR_MTS_ADDR_WORD0, SYSMGR_MTS_ADDR_WORD1};
    unsigned char msg[MTS_MSG_SIZE];
    ASSERT_EQ(mts_send(q, dest, SYSMGR_OPC_PRIOR_UPTIME, 0, 0, msg, 0, 0), 0);
    EXPECT_EQ(sim_messages_outstanding(), 1);
    int32_t opts[MTS_RECV_OPTS_WORDS] = {1, 0, 5, static_cast<int32_t>(mts_rr_token_get(msg))};
    mts_drop(q, msg);
    EXPECT_EQ(sim_messages_outstanding(), 0);
    ASSERT_EQ(mts_recv(q, msg, opts), 0);
    EXPECT_EQ(sim_messages_outstanding(), 1);
    uint32_t prior;
    std::memcpy(&prior, mts_payload_get(msg), sizeof prior);
    EXPECT_EQ(prior, 3600u);
    EXPECT_EQ(mts_drop(q, msg), 0);
    EXPECT_EQ(mts_drop(q, msg), -1) << "a message is dropped once";
    EXPECT_EQ(mts_payload_get(msg), nullptr);
    EXPECT_EQ(sim_messages_outstanding(), 0);

    auto send = sysmgrsim::calls_named("mts_send").at(0);
    EXPECT_EQ(send.args, (std::vector<int64_t>{q, 0xFE000000, 3, 0x9F6, 0, 0, 0, 0}));
    auto recv = sysmgrsim::calls_named("mts_recv").at(0);
    ASSERT_EQ(recv.args.size(), 11u);
    EXPECT_EQ(recv.args[3], 5);
    EXPECT_EQ(recv.args[4], opts[3]);
    mts_unbind(q, 0);
}

struct RequestCase {
    const char *name;
    std::string patch;
    bool remote;
    uint32_t opcode;
    int32_t service;
    uint32_t node;
    int32_t result;
    int err;             // errno when result is -1
    uint32_t length;     // response length when result is 0
    const char *message; // syserr2str(result) when result is neither 0 nor -1
};

TEST_F(Sim, RequestsAnswerFromTheScenario) {
    const RequestCase cases[] = {
        {"local", "{}", false, 0x9C3, 3, 0, 0, 0, 32, nullptr},
        {"short response", R"({"supervisors": {"local": {"length": 6}}})", false, 0x9C3, 3, 0, 0, 0,
         6, nullptr},
        {"errno", R"({"supervisors": {"local": {"result": -1, "errno": 110}}})", false, 0x9C3, 3, 0,
         -1, 110, 0, nullptr},
        {"error identifier", R"({"supervisors": {"local": {"result": "0x40AA0012"}}})", false,
         0x9C3, 3, 0, 0x40AA0012, 0, 0, "System Manager not ready"},
        {"unknown opcode", "{}", false, 0x123, 3, 0, 0x40AA0005, 0, 0,
         "Request opcode not supported"},
        {"wrong service", "{}", false, 0x9C3, 37, 0, 0x40AA0008, 0, 0, "No such service"},
        {"host name", R"({"hostname": {"name": "core-1"}})", false, 0x394, 37, 0, 0, 0, 7, nullptr},
        {"peer", "{}", true, 0x9C3, 3, 0x502, 0, 0, 32, nullptr},
        {"peer at another node", "{}", true, 0x9C3, 3, 0x503, 0x40AA000C, 0, 0, "No such node"},
    };
    for (const auto &c : cases) {
        load(c.patch);
        void *resp = &resp; // left untouched on failure
        uint32_t len = 0;
        errno = 0;
        int32_t result =
            c.remote
                ? cmi_remote_req_resp(c.opcode, 1, 0, &resp, &len, "", "", c.service, c.node, -1, 5)
                : cmi_req_resp(c.opcode, 1, 0, &resp, &len, "", "", c.service, -1, 5);
        int err = errno;
        EXPECT_EQ(result, c.result) << c.name;
        if (result == 0) {
            EXPECT_EQ(len, c.length) << c.name;
            std::free(resp);
            continue;
        }
        EXPECT_EQ(resp, &resp) << c.name;
        if (result == -1)
            EXPECT_EQ(err, c.err) << c.name;
        else
            EXPECT_STREQ(syserr2str(result), c.message) << c.name;
    }
}

// sysmgr-show run in a shell with its own TMPDIR; what it printed and its exit status.
struct ShowRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

ShowRun run_show(const std::string &dir, const std::string &prefix, const std::string &args) {
    std::string command = "TZ=UTC LC_ALL=C TMPDIR='" + dir + "/tmp' " + prefix + " '" +
                          SYSMGR_SHOW_PATH + "' " + args + " 2>'" + dir + "/err'";
    ShowRun run;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        run.out.append(buf, n);
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = slurp(dir + "/err");
    return run;
}

struct ShowCase {
    const char *name;
    std::string env;  // prefix of the command
    std::string args; // "@" stands for the test directory
    int status;
    const char *out; // expected in the standard output
    const char *err; // expected in the standard error
};

TEST(SysmgrShow, ExitStatusAndMessages) {
    char tmpl[] = "/tmp/sysmgr_show_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    std::filesystem::create_directories(dir + "/tmp");
    std::filesystem::create_directories(dir + "/root/proc");
    std::ofstream(dir + "/root/proc/uptime") << "59.99 100.00\n";
    std::ofstream(dir + "/unknown.json") << R"({"cards": {}})";
    std::ofstream(dir + "/undelivered.json") << R"({"backend": {"send_result": 3}})";

    const ShowCase cases[] = {
        {"default", "", "redundancy", 0,
         "Active supervisor uptime:   3 days, 4 hours, 25 minutes, 36 seconds\n", ""},
        {"files under --root", "", "--root @/root redundancy", 0,
         "Kernel uptime:              0 days, 0 hours, 0 minutes, 59 seconds", ""},
        {"options after the subcommand", "", "redundancy --cmd 7", 1, "Invalid cmdID 7", ""},
        {"send fails", "", "--scenario @/undelivered.json redundancy", 1, "", ""},
        {"scenario error", "", "--scenario @/unknown.json version", 2, "",
         "sysmgr-show: @/unknown.json: $.cards: unknown key\n"},
        {"no scenario file", "", "--scenario @/none.json redundancy", 2, "",
         "sysmgr-show: @/none.json: No such file or directory\n"},
        {"no subcommand", "", "", 2, "", "A subcommand is required"},
        {"bad command number", "", "--cmd x redundancy", 2, "", "--cmd"},
        {"help", "", "--help", 0, "redundancy", ""},
        {"no library", "SYSMGRCLI_LIB=@/none.so", "version", 2, "",
         "sysmgr-show: cannot load @/none.so: "},
    };
    auto expand = [&dir](std::string text) {
        for (std::size_t at; (at = text.find('@')) != std::string::npos;)
            text.replace(at, 1, dir);
        return text;
    };
    for (const auto &c : cases) {
        ShowRun run = run_show(dir, expand(c.env), expand(c.args));
        EXPECT_EQ(run.status, c.status) << c.name << "\n" << run.err;
        EXPECT_NE(run.out.find(c.out), std::string::npos) << c.name << "\n" << run.out;
        EXPECT_NE(run.err.find(expand(c.err)), std::string::npos) << c.name << "\n" << run.err;
        EXPECT_TRUE(std::filesystem::is_empty(dir + "/tmp")) << c.name << ": temporary root left";
    }
    std::filesystem::remove_all(dir);
}

TEST_F(Sim, ErrorTexts) {
    EXPECT_STREQ(syserr2str(0), "Success");
    EXPECT_STREQ(syserr2str(-1), "Failure with errno set");
    EXPECT_STREQ(syserr2str(static_cast<int32_t>(0x801E0002u)), std::strerror(2));
    EXPECT_STREQ(syserr2str(0x12345678), "unknown error 0x12345678");
}

} // namespace
