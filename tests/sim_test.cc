// The simulated platform itself: scenario validation and merging, value
// rendering, the transport's bookkeeping and fault injection, and the exit
// status and messages of sysmgr-show.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "support/show_runner.h"
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

TEST_F(Sim, RejectsInvalidScenariosAndKeepsThePreviousOne) {
    const std::pair<std::string, const char *> cases[] = {
        {"{\"card\": ", "$: malformed JSON: parse error at line 1, column 10"},
        {R"({"supervisors": {"local": {"state": 1}}})", "$.supervisors.local.state: unknown key"},
        {R"({"backend": {"rx_null": 1}})", "$.backend.rx_null: expected true or false"},
        {R"({"card": {"result": 1.5}})", "$.card.result: expected an integer"},
        {R"({"card": {"result": "0x1g"}})",
         "$.card.result: expected an integer or a \"0x...\" text"},
        {R"({"card": {"card_kind": 256}})", "$.card.card_kind: out of range (0 to 255)"},
        {R"({"backend": {"command": 2147483648}})",
         "$.backend.command: out of range (-2147483648 to 2147483647)"},
        {R"({"timer": {"cycles": 100000000000000000000000}})", "$.timer.cycles: out of range"},
        {R"({"timer": {"cycles": "0x10000000000000000"}})", "$.timer.cycles: out of range"},
        {R"({"timer": {"cycles_per_msec": 0}})",
         "$.timer.cycles_per_msec: out of range (1 to 18446744073709551615)"},
        {R"({"context": {"debug": null}})", "$.context.debug: missing"},
        {R"({"context": {"cmi_text1": ")" + std::string(40, 'x') + "\"}}",
         "$.context.cmi_text1: text longer than 39 bytes"},
        {R"({"files": {"/proc/../etc/x": ""}})",
         "$.files['/proc/../etc/x']: expected an absolute path without empty, \".\" or \"..\" "
         "parts"},
        {std::string(100000, '[') + std::string(100000, ']'), "$: nested deeper than 16 levels"},
    };
    load(R"({"card": {"module_type": 88}})");
    for (const auto &[patch, message] : cases) {
        SCOPED_TRACE(message);
        char err[512] = "unchanged";
        EXPECT_EQ(sim_load_scenario(patch.c_str(), "t.json", err, sizeof err), -1);
        EXPECT_EQ(std::string(err).substr(0, 8 + std::strlen(message)),
                  std::string("t.json: ") + message);
        card_module_info_t card{};
        EXPECT_EQ(get_card_module_info(&card), 0);
        EXPECT_EQ(card.module_type, 88);
    }
}

TEST_F(Sim, PatchChangesOnlyWhatItNames) {
    load(R"({"supervisors": {"local": {"internal_state": "0x22", "length": 12}},
             "files": {"/proc/uptime": null, "/etc/a/b": "x\u0000y"}})");
    void *resp = nullptr;
    uint32_t len = 0;
    ASSERT_EQ(cmi_req_resp(SYSMGR_OPC_REDUNDANCY_STATUS, 1, 0, &resp, &len, "", "", 3, -1, 5), 0);
    uint32_t words[3];
    ASSERT_EQ(len, sizeof words);
    std::memcpy(words, resp, sizeof words);
    std::free(resp);
    EXPECT_EQ(words[1], 0x22u);
    EXPECT_EQ(words[2], 2u) << "rdn_state keeps its default";

    // null removed the default file; the new one keeps its NUL.
    char tmpl[] = "/tmp/sim_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    char err[256];
    const auto default_files = nlohmann::json::parse(sim_default_scenario())["files"].size();
    EXPECT_EQ(sim_write_files(tmpl, err, sizeof err), static_cast<int>(default_files)) << err;
    std::ifstream in(std::string(tmpl) + "/etc/a/b", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), std::string("x\0y", 3));
    EXPECT_FALSE(std::filesystem::exists(std::string(tmpl) + "/proc/uptime"));
    std::filesystem::remove_all(tmpl);
}

std::string u32(uint32_t v) {
    return std::string(reinterpret_cast<const char *>(&v), 4);
}

TEST_F(Sim, RendersEachValueKind) {
    struct Case {
        const char *format;
        uint32_t tag;
        std::string bytes; // the value; len = bytes.size()
        const char *text;
    };
    const Case cases[] = {
        {"%s", 0x305c0002, "abc", "abc"}, // no NUL: len bounds it
        {"%s", 0x305c0002, std::string("ab\0cd", 5), "ab"},
        {"%s", 0x115c000d, u32(0xFFFFFFFFu), "-1"},
        {"%s", 0x155c002f, std::string(8, '\xFF'), "18446744073709551615"},
        {"%s", 0x155c002f, u32(7), "7"},
        {"%s", 0x115c000d, "abc", "<bad length 3>"},
        {"%10s", 0x115c002e, u32(1843200), "   1843200"},
        {"[%-6s]", 0x305c0002, std::string("HA\0", 3), "[HA    ]"},
        {"%s", 0x405c0035, u32(1765021420), "Sat Dec  6 11:43:40 2025"},
        {"%s %s %d%%", 0x305c0002, std::string("a\0", 2), "a %s %d%"},
    };
    cli_context_t context;
    sim_fill_context(&context);
    void *rx = cmd_paraminfo_to_rxhandle(&context);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        sim_clear_records();
        std::string storage = c.bytes;
        cmd_prt_arg_t arg;
        cmd_prt_arg_make(&arg, c.tag, storage.data(), static_cast<uint32_t>(storage.size()));
        cmd_prt(rx, c.format, &arg);
        storage.assign(storage.size(), '?'); // the value was read at the call
        EXPECT_STREQ(sim_output(), c.text);
        ASSERT_EQ(sysmgrsim::prints().size(), 1u);
        EXPECT_EQ(sysmgrsim::prints()[0].value, c.bytes);
    }
}

TEST_F(Sim, CountsQueuesAndMessages) {
    load(R"({"mts": {"first_queue": 40}})");
    EXPECT_EQ(mts_bind(2, -1, 0, "A"), 40);
    EXPECT_EQ(mts_bind(1, -1, 0, "B"), 41);
    mts_unbind(40, 0);
    mts_unbind(-1, 0); // not bound: a call, no change
    mts_unbind(40, 0);
    EXPECT_EQ(sim_queues_bound(), 1);

    // A message counts from its send until its one drop.
    const uint32_t dest[2] = {SYSMGR_MTS_ADDR_WORD0, SYSMGR_MTS_ADDR_WORD1};
    unsigned char msg[MTS_MSG_SIZE];
    ASSERT_EQ(mts_send(41, dest, SYSMGR_OPC_PRIOR_UPTIME, 0, 0, msg, 0, 0), 0);
    EXPECT_EQ(sim_messages_outstanding(), 1);
    EXPECT_EQ(mts_drop(41, msg), 0);
    EXPECT_EQ(mts_drop(41, msg), -1);
    EXPECT_EQ(sim_messages_outstanding(), 0);

    load(R"({"mts": {"bind_errno": 12}})");
    EXPECT_EQ(mts_bind(2, -1, 0, "A"), -1);
    EXPECT_EQ(mts_errno_get(0), 12);
    EXPECT_EQ(sim_queues_bound(), 0);
}

// One scope-done exchange as a client makes it, the token off by token_delta:
// the send's and the final receive's results, the last errno and how many
// receives were interrupted.
std::vector<int> exchange(int32_t q, int32_t token_delta) {
    const uint32_t dest[2] = {SYSMGR_MTS_ADDR_WORD0, SYSMGR_MTS_ADDR_WORD1};
    unsigned char msg[MTS_MSG_SIZE];
    const int send = mts_send(q, dest, SYSMGR_OPC_SCOPE_DONE, 0, 0, msg, 0, 0);
    if (send < 0)
        return {send, 0, mts_errno_get(q), 0};
    int32_t opts[MTS_RECV_OPTS_WORDS] = {1, 0, 5};
    opts[3] = static_cast<int32_t>(mts_rr_token_get(msg) + static_cast<uint32_t>(token_delta));
    mts_drop(q, msg);
    int recv;
    int interrupts = 0;
    while ((recv = mts_recv(q, msg, opts)) == -1 && mts_errno_get(q) == EINTR)
        ++interrupts;
    if (recv < 0)
        return {0, recv, mts_errno_get(q), interrupts};
    mts_drop(q, msg);
    return {0, 0, 0, interrupts};
}

TEST_F(Sim, TransportAnswersAndFails) {
    struct Case {
        const char *name;
        std::string patch;
        int32_t queue;
        int32_t token_delta;
        std::vector<int> result; // send, receive, errno, interrupts
    };
    const Case cases[] = {
        {"answer", "{}", 100, 0, {0, 0, 0, 0}},
        {"interrupted twice", R"({"scope_done": {"interrupts": 2}})", 100, 0, {0, 0, 0, 2}},
        {"receive error after interrupts",
         R"({"scope_done": {"interrupts": 1, "recv_errno": 5}})",
         100,
         0,
         {0, -1, 5, 1}},
        {"send error", R"({"scope_done": {"send_errno": 11}})", 100, 0, {-1, 0, 11, 0}},
        {"token mismatch", "{}", 100, 1, {0, -1, 110, 0}},
        {"unbound queue", "{}", 7, 0, {-1, 0, EBADF, 0}},
        {"the back end's queue", R"({"context": {"mts_q": 7}})", 7, 0, {0, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        load(c.patch);
        const int32_t q = mts_bind(2, -1, 0, "LIB");
        EXPECT_EQ(exchange(c.queue, c.token_delta), c.result);
        EXPECT_EQ(sim_messages_outstanding(), 0);
        mts_unbind(q, 0);
    }
}

// The answers the goldens do not show: the simulator's refusals of a request
// it does not serve, what it leaves alone on failure, a success without a
// response.
TEST_F(Sim, RequestsAnswerFromTheScenario) {
    struct Case {
        const char *name;
        std::string patch;
        uint32_t opcode;
        int32_t service;
        uint32_t node; // 0: a local request
        int32_t result;
        uint32_t length; // of the response when result is 0; 0: no response
    };
    const Case cases[] = {
        {"error identifier", R"({"supervisors": {"local": {"result": "0x40AA0012"}}})", 0x9C3, 3, 0,
         0x40AA0012, 0},
        {"wrong service", "{}", 0x9C3, 37, 0, 0x40AA0008, 0},
        {"peer at another node", "{}", 0x9C3, 3, 0x503, 0x40AA000C, 0},
        {"host name", R"({"hostname": {"name": "core-1"}})", 0x394, 37, 0, 0, 7},
        {"success without a response", R"({"supervisors": {"peer": {"null_response": true}}})",
         0x9C3, 3, 0x502, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        load(c.patch);
        void *resp = &resp; // left untouched on failure
        uint32_t len = 99;
        const int32_t result =
            c.node != 0
                ? cmi_remote_req_resp(c.opcode, 1, 0, &resp, &len, "", "", c.service, c.node, -1, 5)
                : cmi_req_resp(c.opcode, 1, 0, &resp, &len, "", "", c.service, -1, 5);
        EXPECT_EQ(result, c.result);
        if (result != 0) {
            EXPECT_EQ(resp, &resp);
            continue;
        }
        EXPECT_EQ(len, c.length);
        EXPECT_EQ(resp == nullptr, c.length == 0);
        std::free(resp);
    }
}

TEST_F(Sim, ErrorTexts) {
    EXPECT_STREQ(syserr2str(static_cast<int32_t>(0x801E0002u)), std::strerror(2));
    EXPECT_STREQ(syserr2str(0x12345678), "unknown error 0x12345678");
}

TEST(SysmgrShow, ExitStatusAndMessages) {
    struct Case {
        const char *env;  // one more variable, or ""
        const char *args; // separated by spaces
        int status;
        const char *out; // expected in the standard output
        const char *err; // expected in the standard error
    };
    // "@" stands for the test directory.
    const Case cases[] = {
        {"", "--root @/root redundancy", 0, "0 days, 0 hours, 0 minutes, 59 seconds", ""},
        {"", "redundancy --cmd 7", 1, "Invalid cmdID 7", ""},
        {"", "--scenario @/unknown.json version", 2, "",
         "sysmgr-show: @/unknown.json: $.cards: unknown key\n"},
        {"", "--scenario @/none.json redundancy", 2, "",
         "sysmgr-show: @/none.json: No such file or directory\n"},
        {"SYSMGRCLI_LIB=@/none.so", "version", 2, "", "sysmgr-show: cannot load @/none.so: "},
    };
    char tmpl[] = "/tmp/sysmgr_show_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    std::filesystem::create_directories(dir + "/tmp");
    std::filesystem::create_directories(dir + "/root/proc");
    std::ofstream(dir + "/root/proc/uptime") << "59.99 100.00\n";
    std::ofstream(dir + "/unknown.json") << R"({"cards": {}})";
    auto expand = [&dir](std::string text) {
        for (std::size_t at; (at = text.find('@')) != std::string::npos;)
            text.replace(at, 1, dir);
        return text;
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args);
        std::vector<std::string> env{"TMPDIR=" + dir + "/tmp"};
        if (*c.env != '\0')
            env.push_back(expand(c.env));
        std::vector<std::string> args;
        std::istringstream words(expand(c.args));
        for (std::string word; words >> word;)
            args.push_back(word);
        const testsupport::RunResult run = testsupport::run_show(args, env);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
        EXPECT_NE(run.err.find(expand(c.err)), std::string::npos) << run.err;
        EXPECT_TRUE(std::filesystem::is_empty(dir + "/tmp")) << "temporary root left";
    }
    std::filesystem::remove_all(dir);
}

} // namespace
