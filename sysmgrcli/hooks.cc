// SPDX-License-Identifier: MIT
// Banners and hooks of the version report: plain variables that platform code
// loaded into the same process may overwrite to change parts of the report.
#include "hooks.h"

#include <cstring>

#include "sysmgrcli/sysmgrcli.h"
#include "tags.h"

namespace sysmgrcli {

namespace {

constexpr char kManufacturer[] = "Velta Systems, Inc.";
static_assert(sizeof kManufacturer == 20, "manufacturer text is 19 characters and a NUL");
constexpr std::size_t kManufacturerBufferSize = 32;

constexpr char kBanner[] = "Velta Systems, Inc. switch software\n"
                           "For support, contact the service desk named in your contract.\n"
                           "(c) Velta Systems, Inc. All rights reserved.\n"
                           "Parts of this software are licensed by their authors; their\n"
                           "licence texts ship with every release.\n";

constexpr char kPartnerBanner[] = "TESK switch software, built by Velta Systems, Inc.\n"
                                  "For support, contact your TESK service representative.\n"
                                  "(c) Velta Systems, Inc. All rights reserved.\n"
                                  "Parts of this software are licensed by their authors; their\n"
                                  "licence texts ship with every release.\n";

int default_firmware_show_version(int32_t, void *) {
    return 0;
}

int default_manufacture_print(uint32_t, cmd_prt_arg_t *arg, void *rx) {
    return print_manufacturer(rx, arg, tags::version::manufacturer);
}

} // namespace

int print_manufacturer(void *rx, cmd_prt_arg_t *arg, uint32_t tag) {
    // The back end may read the whole fixed-size buffer, so it is zero-filled.
    char buffer[kManufacturerBufferSize] = {};
    std::memcpy(buffer, kManufacturer, sizeof kManufacturer);
    cmd_prt_arg_make(arg, tag, buffer, static_cast<uint32_t>(std::strlen(kManufacturer) + 1));
    cmd_prt(rx, "%s", arg);
    return cmd_prt(rx, "\n");
}

} // namespace sysmgrcli

extern "C" {

SYSMGRCLI_EXPORT const char *header_str = sysmgrcli::kBanner;
SYSMGRCLI_EXPORT const char *header_str_dorrel = sysmgrcli::kPartnerBanner;
SYSMGRCLI_EXPORT int (*sysmgrpd_firmware_show_version)(int32_t q, void *rx) =
    sysmgrcli::default_firmware_show_version;
SYSMGRCLI_EXPORT int (*sysmgrpd_show_hardware_manufacture_print)(
    uint32_t value, cmd_prt_arg_t *arg, void *rx) = sysmgrcli::default_manufacture_print;

SYSMGRCLI_EXPORT const char *sysmgr_cli_get_show_version_header(void) {
    return header_str;
}

} // extern "C"
