// SPDX-License-Identifier: MIT
// sysmgr-capture's redaction, in process: what goes, what stays, in what
// shape, and how the placeholders follow the key.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include <gtest/gtest.h>

#include "capture.h"

namespace {

namespace fs = std::filesystem;
using namespace sysmgrcapture;

/* A capture of a switch with these names whose one file holds text. */
Capture capture_of(const std::string &text) {
    Capture c;
    c.scenario = nlohmann::ordered_json::parse(
        R"({"hostname": {"name": "sw1.corp.example.com"}, "chassis": {"serial": "SUP0032178"}})");
    c.files.push_back({"/f", "regular", 0644, text, "", false});
    return c;
}

std::string redacted(const std::string &text, const RedactKey &key) {
    Capture c = capture_of(text);
    redact(c, key);
    return c.files[0].data;
}

const RedactKey &fixed_key() {
    static RedactKey key;
    for (std::size_t i = 0; i < key.bytes.size(); ++i)
        key.bytes[i] = static_cast<unsigned char>(i + 1);
    return key;
}

TEST(Redact, ValuesGoInTheirShapeAndTheRestStays) {
    const struct {
        std::string text, gone, shape; // no shape: the text stays as it is
    } rows[] = {
        {"Device name: sw1", "sw1", R"(Device name: host-[0-9a-f]{8})"},
        {"at sw1.corp.example.com.", "corp",
         R"(at host-[0-9a-f]{8}\.domain-[0-9a-f]{8}\.invalid\.)"},
        {"search corp.example.com", "example", R"(search domain-[0-9a-f]{8}\.invalid)"},
        {"relay mail.other.net", "other", R"(relay domain-[0-9a-f]{8}\.invalid)"},
        {"to Admin@corp.example.com", "dmin", R"(to user-[0-9a-f]{8}@domain-[0-9a-f]{8}\.invalid)"},
        {"sn sup0032178", "0032178", R"(sn [a-z]{3}[0-9]{7})"},
        {"SUP0032178-A", "0032178", R"([A-Z]{3}[0-9]{7}-A)"},
        {"ip=192.168.1.10", "192.168", R"(ip=10\.\d{1,3}\.\d{1,3}\.\d{1,3})"},
        {"v6 2001:DB8::1, up", "db8", R"(v6 fd[0-9a-f:]+, up)"},
        {"peer [fe80::21b:21ff:fe3a:4f5c]:69", "21b", R"(peer \[fd[0-9a-f:]+\]:69)"},
        {"mac 00:1b:21:3a:4f:5c", "3a", R"(mac [0-9a-f]{2}(:[0-9a-f]{2}){5})"},
        {"mac 00-1B-21-3A-4F-5C", "3A", R"(mac [0-9A-F]{2}(-[0-9A-F]{2}){5})"},
        {"001b.213a.4f5c", "213a", R"([0-9a-f]{4}\.[0-9a-f]{4}\.[0-9a-f]{4})"},
        {"ethaddr=001B213A4F5C", "213A", R"(ethaddr=[0-9A-F]{12})"},
        {"Base MAC address: 001b213a4f5c", "213a", R"(Base MAC address: [0-9a-f]{12})"},
        {"kickstart:/bootflash/vorn-kickstart.4.2.1.bin", "vorn",
         R"(kickstart:/bootflash/image-[0-9a-f]{8}\.bin)"},
        {"boot vorn-system.bin", "vorn", R"(boot image-[0-9a-f]{8}\.bin)"},
        {"system:tftp://10.1.2.3/images/vorn-system.bin", "10.1.2.3",
         R"(system:tftp://10\.\d+\.\d+\.\d+/images/image-[0-9a-f]{8}\.bin)"},
        {"up 12:34:56 since 11/03/2025 16:00:00 [3 day(s)]", "", ""},
        {"kickstart: version 4.2(1) [build 4.2(1.118)] BIOS v3.6.0(05/09/2025)", "", ""},
        {"sum=0x9C3 crc 3f2a9c1b7e4d sha1 a94a8fe5ccb19ba61c4c0873d391e987982fbbd3", "", ""},
        {"275231.48 495187.03 cycles 550462960000 2.1.0.3.4", "", ""},
        {"std::string /etc/srg-ks.sro libsysmgrcli.so.1 case.json switch sw10", "", ""},
        {"MemTotal:        8253588 kB\nconsole=ttyS0,9600n8", "", ""},
    };
    for (const auto &row : rows) {
        Capture c = capture_of(row.text);
        redact(c, fixed_key());
        const std::string out = c.files[0].data;
        if (row.shape.empty()) {
            EXPECT_EQ(out, row.text);
            continue;
        }
        EXPECT_TRUE(std::regex_match(out, std::regex(row.shape))) << row.text << " -> " << out;
        std::string report;
        for (const std::string &line : c.redacted)
            report += line + "\n";
        for (const std::string &where : {out, c.scenario.dump(), report})
            EXPECT_EQ(where.find(row.gone), std::string::npos) << row.text << " -> " << where;
    }
}

TEST(Redact, PlaceholdersFollowTheKeyAndAreOneToOne) {
    const std::string text = "192.168.1.10 sw1 SUP0032178 00:1b:21:3a:4f:5c 2001:db8::1";
    EXPECT_EQ(redacted(text, fixed_key()), redacted(text, fixed_key()));
    RedactKey one, two;
    std::string problem;
    ASSERT_TRUE(random_redact_key(one, problem) && random_redact_key(two, problem)) << problem;
    const std::string a = redacted(text, one), b = redacted(text, two);
    std::istringstream wa(a), wb(b);
    for (std::string x, y; wa >> x && wb >> y;)
        EXPECT_NE(x, y) << a << " | " << b;

    // Enough addresses that the 24 bits a placeholder keeps must collide.
    std::string many;
    for (int i = 0; i < 10000; ++i)
        many += "172.16." + std::to_string(i / 256) + "." + std::to_string(i % 256) + " ";
    std::istringstream words(redacted(many + many, fixed_key()));
    std::vector<std::string> placeholders;
    for (std::string w; words >> w;)
        placeholders.push_back(w);
    ASSERT_EQ(placeholders.size(), 20000u);
    EXPECT_EQ(std::set<std::string>(placeholders.begin(), placeholders.end()).size(), 10000u);
    EXPECT_TRUE(std::equal(placeholders.begin(), placeholders.begin() + 10000,
                           placeholders.begin() + 10000));
}

TEST(Redact, AKeyFileOnlyItsOwnerCanReadOfExactly32Bytes) {
    char name[] = "/tmp/redact-key-test.XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    const fs::path dir = name;
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const struct {
        const char *file;
        mode_t mode;
        std::size_t size;
        const char *problem; // none: the key is taken
    } rows[] = {
        {"good", 0600, 32, nullptr},
        {"group", 0640, 32, "group or others can read it"},
        {"world", 0604, 32, "group or others can read it"},
        {"short", 0600, 31, "not exactly 32 bytes"},
        {"long", 0400, 33, "not exactly 32 bytes"},
        {"fifo", 0600, 0, "not a regular file"},
        {".", 0700, 0, "not a regular file"},
        {"missing", 0600, 0, "No such file"},
    };
    for (const auto &row : rows) {
        const fs::path path = dir / row.file;
        if (row.size > 0) {
            std::ofstream(path) << std::string(row.size, 'k');
            chmod(path.c_str(), row.mode);
        }
        RedactKey key;
        std::string problem;
        EXPECT_EQ(load_redact_key(path, key, problem), row.problem == nullptr) << row.file;
        if (row.problem != nullptr)
            EXPECT_NE(problem.find(row.problem), std::string::npos) << row.file << ": " << problem;
        else
            EXPECT_EQ(key.bytes[31], 'k');
    }
    fs::remove_all(dir);
}

} // namespace
