// SPDX-License-Identifier: MIT
#include "support/show_runner.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace testsupport {

namespace {

/* An unnamed temporary file for one output stream, closed on scope exit. */
using Capture = std::unique_ptr<FILE, int (*)(FILE *)>;

Capture capture() {
    Capture f(std::tmpfile(), std::fclose);
    if (f)
        fcntl(fileno(f.get()), F_SETFD, FD_CLOEXEC);
    return f;
}

std::string contents(FILE *f) {
    std::string text;
    std::rewind(f);
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
        text.append(buf, n);
    return text;
}

/* Each variable once: env's first entry for it, else the test's own. */
std::vector<std::string> environment(const std::vector<std::string> &env) {
    std::vector<std::string> all = env;
    for (char **e = environ; *e != nullptr; ++e)
        all.emplace_back(*e);
    std::vector<std::string> out;
    std::set<std::string> names;
    for (const std::string &entry : all)
        if (names.insert(entry.substr(0, entry.find('='))).second)
            out.push_back(entry);
    return out;
}

/* The texts as a null-terminated array, for exec. */
std::vector<char *> pointers(std::vector<std::string> &texts) {
    std::vector<char *> out;
    for (std::string &t : texts)
        out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

} // namespace

RunResult run_program(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                      const std::string &input) {
    RunResult result;
    Capture out = capture();
    Capture err = capture();
    if (argv.empty() || !out || !err)
        return result;
    std::vector<std::string> args = argv;
    std::vector<std::string> vars = environment(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fileno(out.get()), 1);
    posix_spawn_file_actions_adddup2(&actions, fileno(err.get()), 2);
    pid_t pid;
    const int spawned = posix_spawnp(&pid, args[0].c_str(), &actions, nullptr,
                                     pointers(args).data(), pointers(vars).data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return result;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = contents(out.get());
    result.err = contents(err.get());
    return result;
}

std::vector<std::string> show_command() {
    if (*SYSMGR_SHOW_EMULATOR == '\0')
        return {SYSMGR_SHOW_PATH};
    return {SYSMGR_SHOW_EMULATOR, SYSMGR_SHOW_PATH};
}

RunResult run_show(const std::vector<std::string> &args, const std::vector<std::string> &env,
                   const std::string &input) {
    std::vector<std::string> argv = show_command();
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> vars = env;
    vars.insert(vars.end(), {"TZ=UTC", "LC_ALL=C"});
    return run_program(argv, vars, input);
}

std::string golden_or_update(const std::string &golden, const std::string &actual) {
    const char *update = std::getenv("UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
        std::ofstream(golden, std::ios::binary) << actual;
        return actual;
    }
    return read_file(golden);
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

ScratchDir::ScratchDir() {
    char name[] = "/tmp/sysmgrcli-scratch.XXXXXX";
    if (mkdtemp(name) != nullptr)
        dir = name;
}

ScratchDir::~ScratchDir() {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    if (!dir.empty())
        fs::remove_all(dir, ec);
}

std::string snapshot(const std::string &dir) {
    std::string out;
    for (const auto &e : std::filesystem::recursive_directory_iterator(dir)) {
        const auto st = e.symlink_status();
        out += e.path().string() + " " + std::to_string(static_cast<int>(st.type())) + " " +
               std::to_string(static_cast<int>(st.permissions())) + " " +
               (std::filesystem::is_regular_file(st) ? read_file(e.path()) : "") + "\n";
    }
    return out;
}

} // namespace testsupport
