// SPDX-License-Identifier: MIT
#include "fuzz_support.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <sys/wait.h>
#include <unistd.h>

#include "sysmgrsim/sim.h"

namespace fuzz {

namespace {

struct Root {
    std::string path;
    Root() {
        // In memory where there is such a file system: every input creates
        // and removes a dozen files, which costs far more on a disk.
        char shm[] = "/dev/shm/sysmgrcli-fuzz-XXXXXX";
        char tmp[] = "/tmp/sysmgrcli-fuzz-XXXXXX";
        char *tmpl = mkdtemp(shm) != nullptr ? shm : mkdtemp(tmp);
        if (tmpl == nullptr)
            std::abort();
        setenv("SYSMGRCLI_ROOT", tmpl, 1);
        path = tmpl;
        // system() is not run through a shell here, but the stand-in keeps
        // any real mount off the host should that change.
        char err[256];
        if (sim_install_sudo((path + "/" SIM_SUDO_DIR).c_str(), err, sizeof err) != 0)
            std::abort();
    }
    ~Root() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

Root &root() {
    static Root r;
    return r;
}

} // namespace

const std::string &fresh_root() {
    const std::string &path = root().path;
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator(path, ec))
        if (entry.path().filename() != SIM_SUDO_DIR)
            std::filesystem::remove_all(entry.path(), ec);
    std::filesystem::create_directories(path + "/tmp", ec);
    std::filesystem::create_directories(path + "/var/tmp", ec);
    return path;
}

void remove_written() {
    const std::string &path = root().path;
    for (const char *written : {"/tmp/sysmgrcli_show_flash_size", "/var/tmp/bootloader_ver"})
        ::unlink((path + written).c_str());
}

void write_rooted(const std::string &path, const std::optional<std::string> &content) {
    const std::string full = root().path + path;
    if (!content) {
        ::unlink(full.c_str());
        return;
    }
    FILE *f = std::fopen(full.c_str(), "w");
    if (f == nullptr) {
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(full).parent_path(), ec);
        f = std::fopen(full.c_str(), "w");
    }
    if (f != nullptr) {
        std::fwrite(content->data(), 1, content->size(), f);
        std::fclose(f);
    }
}

void check_nothing_left() {
    // A child that has ended and was not waited for. A running child is not
    // counted: the sanitizer's symbolizer, started to name new functions,
    // stays alive.
    const pid_t zombie = waitpid(-1, nullptr, WNOHANG);
    if (sim_queues_bound() != 0 || sim_messages_outstanding() != 0 || sim_images_open() != 0 ||
        sim_image_close_errors() != 0 || zombie > 0) {
        std::fprintf(stderr,
                     "fuzz: left behind: queues %d, messages %d, images %d, image close errors "
                     "%d, child %d\n",
                     sim_queues_bound(), sim_messages_outstanding(), sim_images_open(),
                     sim_image_close_errors(), static_cast<int>(zombie));
        std::abort();
    }
}

} // namespace fuzz
