// SPDX-License-Identifier: MIT
// The exported sources' own arguments: a BIOS version text for
// extract_date_and_version (two zero-filled 32-byte outputs), a path for
// change_display (an output of the path's length plus 3 bytes), a compile
// stamp and image type for disp_time, and a listing and item number for
// read_flash_size_file_item. Every buffer is exactly as large as documented
// and on the heap, so an overrun is reported. Input: a selector byte, then
// the argument bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "platform/cli.h"
#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrsim/sim.h"

namespace {

constexpr std::size_t kPieceSize = 32;

int32_t take_int(const uint8_t *&data, std::size_t &size) {
    uint32_t v = 0;
    const std::size_t n = size < 4 ? size : 4;
    std::memcpy(&v, data, n);
    data += n;
    size -= n;
    return static_cast<int32_t>(v);
}

/* A NUL-terminated heap copy of the bytes, up to their first NUL. */
std::unique_ptr<char[]> text_of(const uint8_t *data, std::size_t size) {
    const std::size_t n = strnlen(reinterpret_cast<const char *>(data), size);
    auto text = std::unique_ptr<char[]>(new char[n + 1]);
    std::memcpy(text.get(), data, n);
    text[n] = '\0';
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static cli_context_t context = [] {
        char err[256];
        sim_load_scenario("{}", "fuzz", err, sizeof err);
        cli_context_t c;
        sim_fill_context(&c);
        return c;
    }();
    if (size == 0)
        return 0;
    const uint8_t selector = *data++;
    --size;
    switch (selector % 4) {
    case 0: {
        auto text = text_of(data, size);
        auto version = std::unique_ptr<char[]>(new char[kPieceSize]());
        auto date = std::unique_ptr<char[]>(new char[kPieceSize]());
        extract_date_and_version(text.get(), version.get(), date.get());
        if (version[kPieceSize - 1] != '\0' || date[kPieceSize - 1] != '\0')
            __builtin_trap(); // a piece must leave the outputs terminated
        break;
    }
    case 1: {
        auto path = text_of(data, size);
        const std::size_t len = std::strlen(path.get());
        if (len == 0)
            break; // the path must have a character
        auto out = std::unique_ptr<char[]>(new char[len + 3]);
        change_display(out.get(), path.get());
        break;
    }
    case 2: {
        const int32_t stamp = take_int(data, size);
        const int32_t type = take_int(data, size);
        sim_clear_records();
        disp_time(stamp, type, cmd_paraminfo_to_rxhandle(&context), 0x305c0025);
        break;
    }
    default: {
        const int32_t item = take_int(data, size);
        fuzz::write_rooted("/tmp/listing", std::string(reinterpret_cast<const char *>(data), size));
        read_flash_size_file_item("/tmp/listing", item);
        break;
    }
    }
    return 0;
}
