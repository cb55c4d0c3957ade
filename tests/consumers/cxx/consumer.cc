// SPDX-License-Identifier: MIT
// A C++ program built against an installed tree through
// find_package(sysmgrcli 1 CONFIG). It links sysmgrcli::sysmgrcli, supplies
// the platform (example_platform.c) and serves command 1.
#include <cstdio>
#include <memory>
#include <string_view>

#include <platform/cli.h>
#include <sysmgrcli/sysmgrcli.h>

#include "example_platform.h"

int main() {
    auto request = std::make_unique<example_request>();
    example_request_init(request.get(), 1);
    if (sysmgr_cli_generic_show_func(&request->context) != 0 || request->sent != 1)
        return 1;
    if (std::string_view(request->output, request->used).find("Active with no standby") ==
        std::string_view::npos) {
        std::fprintf(stderr, "consumer: the redundancy block is missing\n");
        return 1;
    }
    return 0;
}
