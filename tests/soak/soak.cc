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
#include <dirent.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/cli.h"
#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrsim/sim.h"

namespace {

int count_entries(const char *dir) {
    DIR *d = opendir(dir);
    if (d == nullptr)
        return -1;
    int n = 0;
    while (readdir(d) != nullptr)
        ++n;
    closedir(d);
    return n;
}

// Files and directories below dir, at any depth: what the library leaves
// under its root (temporary files are taken under it too).
int count_tree(const std::string &dir) {
    DIR *d = opendir(dir.c_str());
    if (d == nullptr)
        return 0;
    int n = 0;
    while (dirent *e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        ++n;
        if (e->d_type == DT_DIR)
            n += count_tree(dir + "/" + name);
    }
    closedir(d);
    return n;
}

struct Usage {
    size_t heap;
    int fds;
    int root_entries;
    int queues;
    int messages;
};

Usage measure(const char *root) {
    return Usage{mallinfo2().uordblks, count_entries("/proc/self/fd"), count_tree(root),
                 sim_queues_bound(), sim_messages_outstanding()};
}

bool has_children() {
    errno = 0;
    return waitpid(-1, nullptr, WNOHANG) != -1 || errno != ECHILD;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s COMMAND CALLS\n", argv[0]);
        return 2;
    }
    // Both must be whole numbers (COMMAND may be "alt"); atoi would take
    // "1x" as 1 and "many" as 0 and soak nothing.
    const bool alternate = std::string(argv[1]) == "alt";
    char *end = nullptr;
    errno = 0;
    const long command_number = alternate ? 107 : std::strtol(argv[1], &end, 10);
    const bool command_ok = alternate || (end != argv[1] && *end == '\0' && errno == 0 &&
                                          command_number >= INT32_MIN && command_number <= INT32_MAX);
    errno = 0;
    long calls = std::strtol(argv[2], &end, 10);
    if (!command_ok || end == argv[2] || *end != '\0' || errno != 0 || calls < 1) {
        std::fprintf(stderr, "%s: COMMAND must be a number or alt, CALLS a positive number\n",
                     argv[0]);
        return 2;
    }
    const int command = static_cast<int>(command_number);

    char root[] = "/tmp/sysmgrcli-soak-XXXXXX";
    if (mkdtemp(root) == nullptr) {
        std::perror("mkdtemp");
        return 2;
    }
    char err[256];
    char patch[64];
    std::snprintf(patch, sizeof patch, "{\"backend\":{\"command\":%d}}", command);
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
        "%s, %ld calls: heap %zu -> %zu bytes, fds %d -> %d, root entries %d -> "
        "%d, queues %d -> %d, messages %d -> %d, image handles left open or closed twice %ld\n",
        argv[1], calls, before.heap, after.heap, before.fds, after.fds, before.root_entries,
        after.root_entries, before.queues, after.queues, before.messages, after.messages, images);
    std::string cleanup = std::string("rm -rf '") + root + "'";
    int rc = std::system(cleanup.c_str());
    (void)rc;

    // A little slack for allocator bookkeeping; a leak of even one byte a
    // call shows as many times more.
    constexpr size_t kHeapSlack = 16 * 1024;
    bool grew = after.heap > before.heap + kHeapSlack || after.fds > before.fds ||
                after.root_entries > before.root_entries || after.queues != 0 ||
                after.messages != 0 || images != 0 || has_children();
    if (grew) {
        std::fprintf(stderr, "resource growth over %ld calls\n", calls);
        return 1;
    }
    return 0;
}
