// SPDX-License-Identifier: MIT
// The library's file system: the scenario's files, the directories the
// library writes to and the utilities it runs, under a root directory; and
// the sudo stand-in that keeps the library's mount commands off the host.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sim_internal.h"

namespace {

using sysmgrsim::detail::copy_error;

// Names the run log the stand-ins append their runs to, for the trace.
constexpr char kRunLogVariable[] = "SYSMGRSIM_RUN_LOG";

/*
 * Every stand-in first notes where its standard output and error lead (by
 * the shell's own tests, starting no process); log FILE NAME ARGS... then
 * appends the run to FILE as sim_install_sudo() describes.
 */
constexpr char kLogRun[] =
    "#!/bin/sh\n"
    "where() {\n"
    "  if [ \"$1\" -ef /dev/null ]; then w=/dev/null; elif [ -p \"$1\" ]; then w=pipe\n"
    "  elif [ -f \"$1\" ]; then w=file; else w=other; fi\n"
    "}\n"
    "where /proc/$$/fd/1; out=$w; where /proc/$$/fd/2; err=$w\n"
    "log() {\n"
    "  f=$1 n=$2; shift 2\n"
    "  { printf 'run %s\\n' \"$n\"; for a; do printf 'arg %s\\n' \"$a\"; done\n"
    "    printf 'stdout %s\\nstderr %s\\n' \"$out\" \"$err\"; } >> \"$f\"\n"
    "}\n";

/*
 * A utility logs its run beside it (and to the run log), then prints run k's
 * data file byte for byte: <utility>.out.<k> when there is one (k counted
 * from the "run" lines of its log), else <utility>.out.
 */
constexpr char kPrintBeside[] =
    "log \"$0.log\" \"$0\" \"$@\"\n"
    "[ -z \"$SYSMGRSIM_RUN_LOG\" ] || log \"$SYSMGRSIM_RUN_LOG\" \"$0\" \"$@\"\n"
    "if [ -f \"$0.out.1\" ]; then\n"
    "  k=0\n"
    "  while IFS= read -r line; do case $line in 'run '*) k=$((k + 1)) ;; esac; done < \"$0.log\"\n"
    "  [ ! -f \"$0.out.$k\" ] || exec cat -- \"$0.out.$k\"\n"
    "fi\n"
    "exec cat -- \"$0.out\"\n";

// The sudo stand-in only logs its run beside it (and to the run log).
constexpr char kSudo[] = "log \"${0%/*}/sudo.log\" sudo \"$@\"\n"
                         "[ -z \"$SYSMGRSIM_RUN_LOG\" ] || log \"$SYSMGRSIM_RUN_LOG\" sudo \"$@\"\n"
                         "exit 0\n";

std::string g_sudo_dir; // what sim_install_sudo() last put on PATH
std::string g_sudo_log;
std::string g_run_log;

// Creates the directories of full = root + path below the existing root.
// made is the deepest directory the call before made (or found): its own
// parents are not made again, so that files written in sorted order make each
// directory once.
bool make_parents(const std::string &full, std::size_t root_length, std::string &made,
                  std::string &problem) {
    for (std::size_t slash = full.find('/', root_length + 1); slash != std::string::npos;
         slash = full.find('/', slash + 1)) {
        if (made.compare(0, slash, full, 0, slash) == 0 &&
            (made.size() == slash || made[slash] == '/'))
            continue;
        const std::string dir = full.substr(0, slash);
        if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
            problem = dir + ": " + std::strerror(errno);
            return false;
        }
    }
    made = full.substr(0, full.rfind('/'));
    return true;
}

bool write_file(const std::string &path, const std::string &content, mode_t mode,
                std::string &problem) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, mode);
    bool ok = fd >= 0 && fchmod(fd, mode) == 0;
    for (std::size_t done = 0; ok && done < content.size();) {
        const ssize_t n = write(fd, content.data() + done, content.size() - done);
        ok = n > 0 || (n < 0 && errno == EINTR);
        done += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    if (!ok)
        problem = path + ": " + std::strerror(errno);
    if (fd >= 0 && close(fd) != 0 && ok)
        problem = path + ": " + std::strerror(errno);
    return problem.empty();
}

// The utility at root + path printing its texts, numbered files of an
// earlier one removed; nothing when it is absent.
bool write_utility(const std::string &root, const char *path,
                   const std::optional<std::vector<std::string>> &texts, std::string &made,
                   std::string &problem) {
    const std::string full = root + path;
    if (!texts)
        return true;
    if (!make_parents(full, root.size(), made, problem))
        return false;
    const std::size_t last = texts->size() - 1;
    for (std::size_t k = 1; k <= last; ++k)
        if (!write_file(full + ".out." + std::to_string(k), (*texts)[k - 1], 0644, problem))
            return false;
    for (std::size_t k = last + 1; unlink((full + ".out." + std::to_string(k)).c_str()) == 0; ++k)
        ;
    return write_file(full + ".out", texts->back(), 0644, problem) &&
           write_file(full, std::string(kLogRun) + kPrintBeside, 0755, problem);
}

bool write_tools(const std::string &root, std::string &made, std::string &problem) {
    const auto &tools = sysmgrsim::detail::state().scenario.tools;
    return write_utility(root, "/vorn/bin/flash_size", tools.flash_size, made, problem) &&
           write_utility(root, "/vornboot/bin/imghdr", tools.imghdr, made, problem);
}

// Runs step(problem); 0, or -1 with its problem (or exception) in err.
template <typename Step>
int run(char *err, size_t errlen, Step step) {
    std::string problem;
    try {
        step(problem);
    } catch (const std::exception &e) {
        problem = e.what();
    }
    copy_error(problem, err, errlen);
    return problem.empty() ? 0 : -1;
}

bool have_root(const char *root, std::string &problem) {
    if (root == nullptr || root[0] == '\0')
        problem = "no root directory";
    return problem.empty();
}

// PATH with dir first, and without the directory a previous call put there.
std::string path_with(const std::string &dir) {
    const char *current = std::getenv("PATH");
    std::string rest = current != nullptr ? current : "/usr/local/bin:/usr/bin:/bin";
    if (!g_sudo_dir.empty()) {
        if (rest == g_sudo_dir)
            rest.clear();
        else if (rest.rfind(g_sudo_dir + ":", 0) == 0)
            rest.erase(0, g_sudo_dir.size() + 1);
    }
    return rest.empty() ? dir : dir + ":" + rest;
}

bool install_sudo(const std::string &given, std::string &problem) {
    if (given.empty() || given.find(':') != std::string::npos) {
        problem = "cannot put \"" + given + "\" on PATH";
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(given, ec);
    const std::string dir = std::filesystem::absolute(given, ec).lexically_normal().string();
    if (ec) {
        problem = given + ": " + ec.message();
        return false;
    }
    if (!write_file(dir + "/sudo", std::string(kLogRun) + kSudo, 0755, problem))
        return false;
    const std::string path = path_with(dir);
    if (setenv("PATH", path.c_str(), 1) != 0) {
        problem = std::string("PATH: ") + std::strerror(errno);
        return false;
    }
    g_sudo_dir = dir;
    g_sudo_log = dir + "/sudo.log";
    return true;
}

} // namespace

const std::string &sysmgrsim::detail::run_log() {
    return g_run_log;
}

void sysmgrsim::detail::clear_run_log() {
    if (!g_run_log.empty())
        unlink(g_run_log.c_str());
}

extern "C" {

int sim_write_files(const char *root, char *err, size_t errlen) {
    int written = 0;
    const int done = run(err, errlen, [&](std::string &problem) {
        if (!have_root(root, problem))
            return;
        const std::string base = root;
        std::string made;
        for (const auto &[path, content] : sysmgrsim::detail::state().scenario.files) {
            if (!make_parents(base + path, base.size(), made, problem) ||
                !write_file(base + path, content, 0644, problem))
                return;
            ++written;
        }
        for (const char *dir : {"/tmp/", "/var/tmp/"})
            if (!make_parents(base + dir, base.size(), made, problem))
                return;
        if (write_tools(base, made, problem))
            install_sudo(base + "/" SIM_SUDO_DIR, problem);
    });
    return done < 0 ? done : written;
}

int sim_write_tools(const char *root, char *err, size_t errlen) {
    return run(err, errlen, [root](std::string &problem) {
        std::string made;
        if (have_root(root, problem))
            write_tools(root, made, problem);
    });
}

int sim_install_sudo(const char *dir, char *err, size_t errlen) {
    return run(err, errlen,
               [dir](std::string &problem) { install_sudo(dir != nullptr ? dir : "", problem); });
}

const char *sim_sudo_log(void) {
    return g_sudo_log.c_str();
}

int sim_log_runs(const char *path) {
    const bool off = path == nullptr || path[0] == '\0';
    if ((off ? unsetenv(kRunLogVariable) : setenv(kRunLogVariable, path, 1)) != 0)
        return -1;
    g_run_log = off ? "" : path;
    return 0;
}

} // extern "C"
