// SPDX-License-Identifier: MIT
// The banners and the default hooks of the version report.
#include <cerrno>
#include <string>
#include <utility>

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
    const char *banner = std::exchange(header_str, nullptr);
    const auto firmware = std::exchange(sysmgrpd_firmware_show_version, nullptr);
    const auto manufacturer = std::exchange(sysmgrpd_show_hardware_manufacture_print, nullptr);
    const auto hardware = std::exchange(sysmgrpd_hardware_show_version, nullptr);
    load(R"({"backend": {"xml_agent": true}})");
    sysmgr_show_version_internal_generic_pd(&context_, rx(), 1);
    EXPECT_EQ(testsupport::printed().substr(0, 10), "\nSoftware\n");
    for (const sysmgrsim::Print &p : sysmgrsim::prints())
        EXPECT_NE(p.tag, 0x305c0039u) << "the manufacturer's hook is cleared";
    EXPECT_EQ(sysmgr_show_version_internal2(context_.mts_q, rx()), -1);
    EXPECT_EQ(errno, EINVAL);
    header_str = banner;
    sysmgrpd_firmware_show_version = firmware;
    sysmgrpd_show_hardware_manufacture_print = manufacturer;
    sysmgrpd_hardware_show_version = hardware;
}

} // namespace
