// The simulated platform itself: scenario validation and merging, value
// rendering, the transport's bookkeeping and fault injection.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
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
        {R"({"timer": {"cycles_per_msec": 0}})",
         "$.timer.cycles_per_msec: out of range (1 to 18446744073709551615)"},
        {R"({"context": {"debug": null}})", "$.context.debug: missing"},
        {R"({"context": {"cmi_text1": ")" + std::string(40, 'x') + "\"}}",
         "$.context.cmi_text1: text longer than 39 bytes"},
        {R"({"files": {"/proc/../etc/x": ""}})",
         "$.files['/proc/../etc/x']: expected an absolute path without empty, \".\" or \"..\" "
         "parts"},
        {std::string(100000, '[') + std::string(100000, ']'), "$: nested deeper than 16 levels"},
        // Fixed-size fields, free maps and arrays of the version reports' services.
        {R"({"chassis": {"serial": ")" + std::string(65, 's') + "\"}}",
         "$.chassis.serial: text longer than 64 bytes"},
        {R"({"last_reset": {"entries": [{}, {"system_version": ")" + std::string(65, 'v') +
             "\"}]}}",
         "$.last_reset.entries[1].system_version: text longer than 64 bytes"},
        {R"({"images": {"/i": {"build": 1}}})", "$.images['/i'].build: unknown key"},
        {R"({"release_files": {"etc/x": {}}})", "$.release_files['etc/x']: expected an absolute"},
        {R"({"last_reset": {"entries": [{}, {}, {}, {}, {}]}})",
         "$.last_reset.entries: more than 4 elements"},
        // Values that make no sense together, or that JSON itself cannot carry.
        {R"({"supervisors": {"peer": {"result": -1}}})",
         "$.supervisors.peer.errno: result -1 needs an errno (1 to 4095)"},
        {R"({"supervisors": {"local": {"result": "0x40AA0012", "errno": 5}}})",
         "$.supervisors.local.errno: an errno goes only with result -1"},
        {R"({"supervisors": {"peer": {"result": -1, "errno": 4096}}})",
         "$.supervisors.peer.errno: out of range (0 to 4095)"},
        {R"({"context": {"mts_q": 1, "debug": 0, "mts_q": 2}})", "$.context.mts_q: duplicate key"},
        {R"({"cmp": {"version_lines": ["a", 1e999]}})",
         "$.cmp.version_lines[1]: number out of range"},
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
    ASSERT_EQ(cmi_req_resp(SYSMGR_OPC_REDUNDANCY_STATUS, 1, 0, &resp, &len, "", "", 3, 42, 5), 0);
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
        int32_t q;
        int32_t result;
        uint32_t length; // of the response when result is 0; 0: no response
    };
    const Case cases[] = {
        {"error identifier in hex, negative as a word",
         R"({"supervisors": {"local": {"result": "0x801E006E"}}})", 0x9C3, 3, 0, 42,
         static_cast<int32_t>(0x801E006Eu), 0},
        {"wrong service", "{}", 0x9C3, 37, 0, 42, 0x40AA0008, 0},
        {"peer at another node", "{}", 0x9C3, 3, 0x503, 42, 0x40AA000C, 0},
        {"a queue never bound", "{}", 0x9C3, 3, 0, 7, -1, 0},
        {"a queue never bound, to the peer", "{}", 0x9C3, 3, 0x502, -1, -1, 0},
        {"host name", R"({"hostname": {"name": "core-1"}})", 0x394, 37, 0, 42, 0, 7},
        {"success without a response", R"({"supervisors": {"peer": {"null_response": true}}})",
         0x9C3, 3, 0x502, 42, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        load(c.patch);
        void *resp = &resp; // left untouched on failure
        uint32_t len = 99;
        errno = 0;
        const int32_t result =
            c.node != 0 ? cmi_remote_req_resp(c.opcode, 1, 0, &resp, &len, "", "", c.service,
                                              c.node, c.q, 5)
                        : cmi_req_resp(c.opcode, 1, 0, &resp, &len, "", "", c.service, c.q, 5);
        EXPECT_EQ(result, c.result);
        if (result == -1) {
            EXPECT_EQ(errno, EBADF);
        }
        if (result != 0) {
            EXPECT_EQ(resp, &resp);
            continue;
        }
        EXPECT_EQ(len, c.length);
        EXPECT_EQ(resp == nullptr, c.length == 0);
        std::free(resp);
    }
}

// A record's bytes as text: "." for NUL, the rest as they are.
std::string shown(const char *bytes, std::size_t n) {
    std::string out(bytes, n);
    for (char &c : out)
        if (c == '\0')
            c = '.';
    return out;
}

std::string text_or_null(const char *text) {
    return text != nullptr ? text : "(null)";
}

// What the platform calls of the version reports answer, key by key. A
// fixed-size field is shown with the byte after it, which must stay 'X'.
TEST_F(Sim, ServicesAnswerFromTheScenario) {
    struct Case {
        const char *name;
        std::string patch;
        std::function<std::string()> ask;
        std::string answer;
    };
    const std::string p128(128, 'p');
    const std::string s32(32, 's');
    const Case cases[] = {
        {"processor filling its field", R"({"chassis": {"processor": ")" + p128 + R"("}})",
         [] {
             char buf[129];
             std::memset(buf, 'X', sizeof buf);
             pfm_get_processor_name(buf);
             return shown(buf, sizeof buf);
         },
         p128 + "X"},
        {"serial", R"({"chassis": {"serial": "S1"}})",
         [] {
             char buf[65];
             std::memset(buf, 'X', sizeof buf);
             const int rc = pfm_get_sup_serial_num(42, buf);
             return std::to_string(rc) + shown(buf, 4) + buf[64];
         },
         "0S1..X"},
        {"serial failure leaves the buffer", R"({"chassis": {"serial_result": -1}})",
         [] {
             char buf[64] = "kept";
             return std::to_string(pfm_get_sup_serial_num(42, buf)) + buf;
         },
         "-1kept"},
        {"BIOS texts, the flash one filling its field",
         R"({"bios": {"flash": ")" + p128 + R"(", "running": "R"}})",
         [] {
             std::vector<char> record(BIOS_RECORD_SIZE, 'X');
             int32_t len = BIOS_RECORD_SIZE;
             const int rc = get_module_bios_version_ext(1, record.data(), &len);
             return std::to_string(rc) +
                    shown(record.data() + BIOS_RECORD_FLASH_TEXT,
                          BIOS_RECORD_RUNNING_TEXT - BIOS_RECORD_FLASH_TEXT + 2);
         },
         "0" + p128 + "R."},
        {"release files: a removed version, a missing stamp, an unknown path",
         R"({"release_files": {"/a.sro": {"version": null, "interim_version": "I"}}})",
         [] {
             return text_or_null(srg_sw_ver_file_get("/a.sro")) + " " +
                    text_or_null(srg_sw_interim_ver_file_get("/a.sro")) + " " +
                    std::to_string(srg_timestamp_file_get("/a.sro")) + " " +
                    text_or_null(srg_sw_ver_file_get("/b.sro")) + " " +
                    std::to_string(srg_timestamp_file_get("/b.sro"));
         },
         "(null) I 0 (null) 0"},
        {"images: known, an error with and without a handle, unknown",
         R"({"images": {"/ok": {"build_time": 77}, "/bad": {"error": "0x40AA0001"},
                        "/half": {"error": 5, "handle_on_error": true}}})",
         [] {
             std::string out;
             for (const char *path : {"/ok", "/bad", "/half", "/none"}) {
                 int32_t error = 1;
                 void *image = img_open(path, &error);
                 char line[64];
                 std::snprintf(line, sizeof line, "%s:%x:%u ", image != nullptr ? "h" : "-",
                               static_cast<unsigned>(error), img_timestamp(image));
                 out += line;
                 if (image != nullptr)
                     img_close(image);
             }
             return out;
         },
         "h:0:77 -:40aa0001:0 h:5:0 -:801e0002:0 "},
        {"last reset: missing entries are zero, a service fills its field",
         R"({"last_reset": {"next_index": "0xFFFFFFFF", "entries": [{"reason": 3,
             "service": ")" +
             s32 + R"(", "system_version": "V", "time": 10, "usecs": 20}]}})",
         [] {
             last_rr_record_t rr;
             const int rc = pfm_last_rr(&rr);
             return std::to_string(rc) + " " + std::to_string(rr.next_index) + " " +
                    std::to_string(rr.reason[0]) + " " + shown(rr.service[0], 33) + " " +
                    rr.sys_version[0] + " " + std::to_string(rr.reset_time[0]) + " " +
                    std::to_string(rr.reset_usecs[0]) + " " + std::to_string(rr.reason[1]) +
                    std::to_string(rr.reset_time[1]);
         },
         "0 4294967295 3 " + s32 + ". V 10 20 00"},
        {"plug-ins failure leaves the count", R"({"plugins": {"result": 3}})",
         [] {
             std::vector<plugin_record_t> table(PLUGIN_TABLE_ROWS);
             int32_t count = -7;
             return std::to_string(get_running_plugins(table.data(), &count)) + " " +
                    std::to_string(count);
         },
         "3 -7"},
        {"host name without a NUL", R"({"hostname": {"name": "sw", "terminated": false}})",
         [] {
             void *resp = nullptr;
             uint32_t len = 0;
             const int32_t rc = cmi_req_resp(0x394, 1, 0, &resp, &len, "", "", 37, 42, 5);
             const std::string out = std::to_string(rc) + " " + std::to_string(len) + " " +
                                     std::string(static_cast<char *>(resp), len);
             std::free(resp);
             return out;
         },
         "0 2 sw"},
        {"host name success without a reply", R"({"hostname": {"null_response": true}})",
         [] {
             void *resp = &resp;
             uint32_t len = 9;
             const int32_t rc = cmi_req_resp(0x394, 1, 0, &resp, &len, "", "", 37, 42, 5);
             return std::to_string(rc) + " " + std::to_string(len) + " " +
                    std::to_string(resp == nullptr);
         },
         "0 0 1"},
        {"the default VDC's bind fails alone", R"({"mts": {"default_vdc_bind_errno": 13}})",
         [] {
             const int32_t vdc = mts_bind(1, -1, 0, "V");
             const int err = mts_errno_get(0);
             const int32_t other = mts_bind(2, -1, 0, "C");
             mts_unbind(other, 0);
             return std::to_string(vdc) + " " + std::to_string(err) + " " + std::to_string(other);
         },
         "-1 13 100"},
        {"CMP lines as untagged text",
         R"({"cmp": {"version_lines": ["v1", "v%s2"], "hardware_lines": ["h"]}})",
         [] {
             cli_context_t context;
             sim_fill_context(&context);
             void *rx = cmd_paraminfo_to_rxhandle(&context);
             cmpproxy_print_cmp_version(42, rx);
             cmpproxy_print_cmp_hardware(42, rx);
             return std::string(sim_output());
         },
         "v1\nv%s2\nh\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        load(c.patch);
        EXPECT_EQ(c.ask(), c.answer);
    }
}

TEST_F(Sim, CountsImageHandlesUntilClosedOnce) {
    load(R"({"images": {"/i": {}}})");
    int32_t error;
    void *first = img_open("/i", &error);
    void *second = img_open("/i", &error);
    EXPECT_NE(first, second);
    EXPECT_EQ(sim_images_open(), 2);
    EXPECT_EQ(img_close(first), 0);
    EXPECT_EQ(img_close(first), -1);
    EXPECT_EQ(img_close(nullptr), -1);
    EXPECT_EQ(img_close(second), 0);
    EXPECT_EQ(sim_images_open(), 0);
    EXPECT_EQ(sim_image_close_errors(), 2);
    sim_clear_records();
    EXPECT_EQ(sim_image_close_errors(), 0);
}

std::string file_text(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The utilities print their text byte for byte whatever it holds; the sudo
// stand-in, found first on PATH by any shell, only logs.
TEST_F(Sim, WritesUtilitiesAndTheSudoStandIn) {
    const std::string odd = "1 $HOME `id` 'q' \"d\" \\\n\nEOF\n%s no line end";
    const std::string saved_path = std::getenv("PATH");
    load(nlohmann::json{{"tools", {{"flash_size", odd}, {"imghdr", nullptr}}}}.dump());
    char tmpl[] = "/tmp/sim_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string root = tmpl;
    char err[256];
    ASSERT_GE(sim_write_files(tmpl, err, sizeof err), 0) << err;
    EXPECT_TRUE(std::filesystem::is_directory(root + "/tmp"));
    EXPECT_TRUE(std::filesystem::is_directory(root + "/var/tmp"));
    EXPECT_FALSE(std::filesystem::exists(root + "/vornboot/bin/imghdr"));

    ASSERT_EQ(sim_log_runs((root + "/run.log").c_str()), 0);
    const auto run = testsupport::run_program({"sh", "-c",
                                               "\"$0\"/vorn/bin/flash_size Debug x > \"$0\"/out; "
                                               "sudo /bin/mount -o ro \"$0\"/mnt/bootloader; "
                                               "sudo /bin/umount x",
                                               root});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(file_text(root + "/out"), odd);
    EXPECT_EQ(std::string(sim_sudo_log()), root + "/" SIM_SUDO_DIR "/sudo.log");
    EXPECT_EQ(file_text(sim_sudo_log()),
              "/bin/mount -o ro " + root + "/mnt/bootloader\n/bin/umount x\n");
    // Every run is logged, in order, for the trace.
    EXPECT_EQ(file_text(sim_run_log()), root +
                                            "/vorn/bin/flash_size Debug x\nsudo /bin/mount -o ro " +
                                            root + "/mnt/bootloader\nsudo /bin/umount x\n");
    const std::string trace = sim_trace(root.c_str());
    EXPECT_EQ(trace.substr(trace.find("trace: 3 utilities run\n")),
              "trace: 3 utilities run\n   1  $ROOT/vorn/bin/flash_size Debug x\n"
              "   2  sudo /bin/mount -o ro $ROOT/mnt/bootloader\n   3  sudo /bin/umount x\n");
    sim_log_runs(nullptr);

    // Installing again puts the new directory first, in place of the old one.
    const std::string path = std::getenv("PATH");
    ASSERT_EQ(sim_install_sudo((root + "/other").c_str(), err, sizeof err), 0) << err;
    EXPECT_EQ(std::string(std::getenv("PATH")), root + "/other:" + path.substr(path.find(':') + 1));
    EXPECT_EQ(sim_install_sudo((root + "/a:b").c_str(), err, sizeof err), -1);
    std::filesystem::remove_all(root);
    setenv("PATH", saved_path.c_str(), 1);
}

// The trace: arguments in call order (identifiers and opcodes in hex, texts
// quoted and escaped), each result as the caller saw it, the root hidden.
TEST_F(Sim, TraceShowsEachCallWithItsResult) {
    load(R"({"supervisors": {"local": {"result": "0x40AA0012"}}})");
    mts_bind(2, -1, 0, "/r/q\t\"x\"");
    syserr2str(static_cast<int32_t>(0x801E0002u));
    syserr2str(0x12345678);
    void *resp = nullptr;
    uint32_t len = 0;
    cmi_req_resp(SYSMGR_OPC_REDUNDANCY_STATUS, 1, 0, &resp, &len, "", "", 3, 7, 5);
    cmi_req_resp(SYSMGR_OPC_REDUNDANCY_STATUS, 1, 0, &resp, &len, "", "", 3, 42, 5);
    img_open("/none", nullptr);
    EXPECT_EQ(std::string(sim_trace("/r")),
              "trace: 6 platform calls\n"
              "   1  mts_bind(2, -1, 0, \"$ROOT/q\\x09\\\"x\\\"\") = 100\n"
              "   2  syserr2str(0x801E0002) = \"No such file or directory\"\n"
              "   3  syserr2str(0x12345678) = \"unknown error 0x12345678\"\n"
              "   4  cmi_req_resp(0x9C3, 1, 0, 3, 7, 5, \"\", \"\") = -1, errno 9 (Bad file "
              "descriptor)\n"
              "   5  cmi_req_resp(0x9C3, 1, 0, 3, 42, 5, \"\", \"\") = 0x40AA0012 (System Manager "
              "not ready)\n"
              "   6  img_open(\"/none\") = null, error 0x801E0002 (No such file or directory)\n");
}

} // namespace
