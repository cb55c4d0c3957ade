// SPDX-License-Identifier: MIT
// Every file the version reports and the sources read, and the two
// utilities' outputs, from one input. Its first byte chooses what runs over
// them: command 107 end to end, the alternate report, or each exported
// source called directly. The rest is split at each "\n%%\n" into the
// sections below, in order; a section the input does not reach leaves its
// file absent. The utilities are in-process stand-ins (fuzz_support.h). Run
// it with -close_fd_mask=3.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "platform/cli.h"
#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrsim/sim.h"

namespace {

/* The sections of an input; nullptr marks a utility's output. */
constexpr const char *kSections[] = {
    "/proc/cmdline",
    "/proc/meminfo",
    "/proc/uptime",
    "/var/log/local_boot_images",
    "/var/log/current_ks.uri",
    "/var/log/current_vorn.uri",
    "/etc/rc.d/include/sup.include",
    "/var/tmp/bootloader_ver",
    "/var/log/no-img-auto-sync",
    nullptr, // the flash-size listing
    nullptr, // the image header tool's output
};
constexpr std::size_t kListingSection = 9;
constexpr std::size_t kImghdrSection = 10;
constexpr std::string_view kSeparator = "\n%%\n";

std::vector<std::string> split(std::string_view input) {
    std::vector<std::string> parts;
    for (;;) {
        const std::size_t at = input.find(kSeparator);
        parts.emplace_back(input.substr(0, at));
        if (at == std::string_view::npos)
            return parts;
        input.remove_prefix(at + kSeparator.size());
    }
}

/* A buffer of exactly size bytes on the heap, so any overrun is reported. */
std::unique_ptr<char[]> exact(std::size_t size) {
    return std::unique_ptr<char[]>(new char[size]());
}

void call_sources(const std::vector<std::string> &parts, void *rx) {
    // Sizes from the input's length: 1 byte up to past the longest line.
    const std::size_t size = 1 + parts[0].size() % 300;
    auto buf = exact(size);
    sysmgr_get_loader_ver(buf.get(), static_cast<int32_t>(size));
    sysmgr_get_loader_ver_information(buf.get(), static_cast<int32_t>(size));
    get_sw_ver_string("/vorn/etc/srg.sro", "/var/run/curr-vorn.hdr");
    for (const char *path : kSections)
        if (path != nullptr)
            read_file_str(path);
    if (parts.size() > kListingSection) {
        fuzz::write_rooted("/tmp/listing", parts[kListingSection]);
        for (int32_t item : {-1, 0, 1, 2, 7})
            read_flash_size_file_item("/tmp/listing", item);
    }
    get_image_timestamp("/var/run/curr-ks.hdr", rx, 0x305c0020);
    exists_dev_slot0();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool loaded = [] {
        fuzz::fresh_root();
        char err[256];
        return sim_load_scenario("{}", "fuzz", err, sizeof err) == 0;
    }();
    if (!loaded || size == 0)
        return 0;
    const uint8_t choice = data[0] % 3;
    const std::vector<std::string> parts =
        split(std::string_view(reinterpret_cast<const char *>(data) + 1, size - 1));
    // Each input sets or removes every file, so the root is reused as it is.
    fuzz::remove_written();
    for (std::size_t i = 0; i < std::size(kSections); ++i) {
        if (kSections[i] == nullptr)
            continue;
        std::optional<std::string> content;
        if (i < parts.size())
            content = parts[i];
        fuzz::write_rooted(kSections[i], content);
    }
    auto &tools = fuzz::utilities();
    tools.flash_size.reset();
    tools.imghdr.reset();
    if (parts.size() > kListingSection)
        tools.flash_size = parts[kListingSection];
    if (parts.size() > kImghdrSection)
        tools.imghdr = parts[kImghdrSection];

    cli_context_t context;
    sim_fill_context(&context);
    void *rx = cmd_paraminfo_to_rxhandle(&context);
    sim_clear_records();
    if (choice == 0) {
        sim_set_command(107);
        sysmgr_cli_generic_show_func(&context);
    } else if (choice == 1) {
        sysmgr_show_version_internal2(context.mts_q, rx);
    } else {
        call_sources(parts, rx);
    }
    fuzz::check_nothing_left();
    sim_clear_records();
    return 0;
}
