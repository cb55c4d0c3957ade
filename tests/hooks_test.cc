// SPDX-License-Identifier: MIT
// The banners and the default hooks of the version report.
#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "platform/cli.h"
#include "support/sim_fixture.h"
#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrsim/sim.h"
#include "sysmgrsim/sim.hpp"

namespace {

class Hooks : public testsupport::SimTest {};

TEST_F(Hooks, HeaderIsTheStandardBannerOrWhatReplacedIt) {
    const char *standard = header_str;
    EXPECT_EQ(sysmgr_cli_get_show_version_header(), standard);
    header_str = "Replaced banner\n";
    EXPECT_STREQ(sysmgr_cli_get_show_version_header(), "Replaced banner\n");
    header_str = standard;
}

TEST_F(Hooks, DefaultsPrintTheManufacturerLineOrNothing) {
    load();
    EXPECT_EQ(sysmgrpd_firmware_show_version(-1, rx()), 0);
    EXPECT_TRUE(sysmgrsim::prints().empty());
    for (uint32_t value : {0u, 0xFFFFFFFFu}) {
        sim_clear_records();
        cmd_prt_arg_t arg{};
        sysmgrpd_show_hardware_manufacture_print(value, &arg, rx());
        const auto &prints = sysmgrsim::prints();
        ASSERT_EQ(prints.size(), 2u);
        EXPECT_EQ(prints[0].tag, 0x305c0039u);
        EXPECT_EQ(prints[0].value, std::string("Velta Systems, Inc.", 20));
        EXPECT_EQ(prints[1].text, "\n");
        EXPECT_EQ(arg.tag, 0x305c0039u) << "the caller's print argument is used";
    }
}

// Platform code may clear a banner or a hook: the report goes on without it.
TEST_F(Hooks, ClearedHooksAreSkipped) {
    const char *banner = header_str;
    const auto firmware = sysmgrpd_firmware_show_version;
    const auto manufacturer = sysmgrpd_show_hardware_manufacture_print;
    const auto hardware = sysmgrpd_hardware_show_version;
    header_str = nullptr;
    sysmgrpd_firmware_show_version = nullptr;
    sysmgrpd_show_hardware_manufacture_print = nullptr;
    sysmgrpd_hardware_show_version = nullptr;
    load(R"({"backend": {"xml_agent": true}})");
    sysmgr_show_version_internal_generic_pd(&context_, rx(), 1);
    const std::string text = testsupport::printed();
    EXPECT_EQ(text.substr(0, 10), "\nSoftware\n");
    EXPECT_NE(text.find("  loader:    version 3.6(0)\n  kickstart:"), std::string::npos) << text;
    for (const sysmgrsim::Print &p : sysmgrsim::prints())
        EXPECT_NE(p.tag, 0x305c0039u) << "the manufacturer's hook is cleared";
    errno = 0;
    EXPECT_EQ(sysmgr_show_version_internal2(context_.mts_q, rx()), -1);
    EXPECT_EQ(errno, EINVAL);
    header_str = banner;
    sysmgrpd_firmware_show_version = firmware;
    sysmgrpd_show_hardware_manufacture_print = manufacturer;
    sysmgrpd_hardware_show_version = hardware;
}

} // namespace
