// SPDX-License-Identifier: MIT
// Runs one show command many times in one process and fails when anything
// grows: heap in use, open file descriptors, bound queues, undropped
// messages, open image handles, child processes or files left under the
// library's root. The root holds the scenario's files, the utilities and the
// sudo stand-in; the first calls add the loader cache and the stand-in's log,
// which must not multiply afterwards.
//
//   sysmgrcli_soak COMMAND CALLS
//
// COMMAND is a command identifier for the entry point (1, 107), or "alt" for
// the alternate version report, which a back end calls through its own
// export and then sends itself.
#include <malloc.h>
#include <sys/wait.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>

#include "platform/cli.h"
#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrsim/sim.h"

namespace {

namespace fs = std::filesystem;

/* text as a whole number from min to max: atoi would take "1x" as 1 and "many" as 0. */
bool whole(const char *text, long min, long max, long *value) {
    char *end = nullptr;
    errno = 0;
    *value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && errno == 0 && *value >= min && *value <= max;
}

struct Usage {
    size_t heap;
    long fds;
    long root_entries; // at any depth: temporary files are taken under the root too
    int queues;
    int messages;
};

Usage measure(const char *root) {
    return Usage{
        mallinfo2().uordblks,
        std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()),
        std::distance(fs::recursive_directory_iterator(root), fs::recursive_directory_iterator()),
        sim_queues_bound(), sim_messages_outstanding()};
}

} // namespace

int main(int argc, char **argv) {
    const bool alternate = argc == 3 && std::string(argv[1]) == "alt";
    long command = 107, calls = 0;
    if (argc != 3 || !(alternate || whole(argv[1], INT32_MIN, INT32_MAX, &command)) ||
        !whole(argv[2], 1, LONG_MAX, &calls)) {
        std::fprintf(stderr,
                     "usage: %s COMMAND CALLS, COMMAND a number or alt, CALLS a positive number\n",
                     argv[0]);
        return 2;
    }

    char root[] = "/tmp/sysmgrcli-soak-XXXXXX";
    if (mkdtemp(root) == nullptr) {
        std::perror("mkdtemp");
        return 2;
    }
    char err[256];
    char patch[64];
    std::snprintf(patch, sizeof patch, "{\"backend\":{\"command\":%ld}}", command);
    if (sim_load_scenario(patch, "soak", err, sizeof err) != 0 ||
        sim_write_files(root, err, sizeof err) < 0) {
        std::fprintf(stderr, "%s\n", err);
        return 2;
    }
    setenv("SYSMGRCLI_ROOT", root, 1);
    cli_context_t context;
    sim_fill_context(&context);
    auto call = [&] {
        if (alternate) {
            void *rx = cmd_paraminfo_to_rxhandle(&context);
            sysmgr_show_version_internal2(context.mts_q, rx);
            cmd_prt_send(rx);
        } else {
            sysmgr_cli_generic_show_func(&context);
        }
    };

    // Warm up: the first calls may allocate what the C library keeps
    // for good (stdio buffers, time zone data).
    for (int i = 0; i < 100; ++i) {
        sim_clear_records();
        call();
    }
    sim_clear_records();
    Usage before = measure(root);
    // Image handles are counted per call: clearing the records frees them.
    long images = 0;
    for (long i = 0; i < calls; ++i) {
        sim_clear_records();
        call();
        images += sim_images_open() + sim_image_close_errors();
    }
    sim_clear_records();
    Usage after = measure(root);

    std::printf(
        "%s, %ld calls: heap %zu -> %zu bytes, fds %ld -> %ld, root entries %ld -> "
        "%ld, queues %d -> %d, messages %d -> %d, image handles left open or closed twice %ld\n",
        argv[1], calls, before.heap, after.heap, before.fds, after.fds, before.root_entries,
        after.root_entries, before.queues, after.queues, before.messages, after.messages, images);
    std::error_code ec;
    fs::remove_all(root, ec);

    // A little slack for allocator bookkeeping; a leak of even one byte a
    // call shows as many times more.
    constexpr size_t kHeapSlack = 16 * 1024;
    bool grew = after.heap > before.heap + kHeapSlack || after.fds > before.fds ||
                after.root_entries > before.root_entries || after.queues != 0 ||
                after.messages != 0 || images != 0 || waitpid(-1, nullptr, WNOHANG) != -1 ||
                errno != ECHILD;
    if (grew) {
        std::fprintf(stderr, "resource growth over %ld calls\n", calls);
        return 1;
    }
    return 0;
}
