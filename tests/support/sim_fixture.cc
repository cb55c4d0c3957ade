// SPDX-License-Identifier: MIT
#include "support/sim_fixture.h"

#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <iterator>

#include <nlohmann/json.hpp>

#include "render.h"
#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrsim/sim.h"

namespace testsupport {

namespace {
/* What calls may leave under the root: the loader cache and the logs. */
const std::set<std::string> kMayAppear{"/var/tmp/bootloader_ver", "/" SIM_SUDO_DIR "/sudo.log",
                                       "/vorn/bin/flash_size.log", "/vornboot/bin/imghdr.log"};

int open_fds() {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                          std::filesystem::directory_iterator()));
}

std::set<std::string> files_under(const std::string &root) {
    std::set<std::string> files;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        files.insert(it->path().string().substr(root.size()));
    return files;
}

} // namespace

Captured capture(const std::function<void()> &body) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    body();
    return Captured{::testing::internal::GetCapturedStdout(),
                    ::testing::internal::GetCapturedStderr()};
}

std::vector<sysmgrsim::Print> recorded_values() {
    std::vector<sysmgrsim::Print> values;
    std::copy_if(sysmgrsim::prints().begin(), sysmgrsim::prints().end(), std::back_inserter(values),
                 [](const auto &p) { return p.kind == sysmgrsim::Print::Kind::value; });
    return values;
}

std::string printed() {
    return render::text(sysmgrsim::prints());
}

void SimTest::SetUp() {
    char templ[] = "/tmp/sysmgrcli-test-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    root_ = templ;
    setenv("SYSMGRCLI_ROOT", root_.c_str(), 1);
    setenv("TZ", "UTC", 1); // the times printed are read in UTC
    sim_reset();
    // Before anything can run the library's mount commands.
    char err[512] = "";
    ASSERT_EQ(sim_install_sudo((root_ + "/" SIM_SUDO_DIR).c_str(), err, sizeof err), 0) << err;
}

void SimTest::TearDown() {
    unsetenv("SYSMGRCLI_ROOT");
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
    sim_reset();
}

void SimTest::load(const nlohmann::json &patch) {
    char err[512] = "";
    ASSERT_EQ(sim_load_scenario(patch.dump().c_str(), "test", err, sizeof err), 0) << err;
    // Only the files and tools of a scenario make its root.
    const std::string key = patch.value("files", nlohmann::json()).dump() + " " +
                            patch.value("tools", nlohmann::json()).dump();
    std::error_code ec;
    if (key != root_key_) {
        std::filesystem::remove_all(root_, ec);
        std::filesystem::create_directories(root_);
        ASSERT_GE(sim_write_files(root_.c_str(), err, sizeof err), 0) << err;
        root_key_ = key;
    } else {
        for (const char *dir : {"/tmp", "/var/tmp"}) {
            std::filesystem::remove_all(root_ + dir, ec);
            std::filesystem::create_directory(root_ + dir, ec);
        }
        for (const std::string &left : kMayAppear)
            std::filesystem::remove(root_ + left, ec);
    }
    sim_fill_context(&context_);
    sim_clear_records();
}

Captured SimTest::show(const nlohmann::json &patch) {
    load(patch);
    if (HasFatalFailure())
        return {};
    const Captured captured = capture([this] { sysmgr_cli_generic_show_func(&context_); });
    EXPECT_EQ(sim_queues_bound(), 0) << "a queue was left bound";
    EXPECT_EQ(sim_messages_outstanding(), 0) << "a transport message was not dropped";
    return captured;
}

SimTest::Baseline SimTest::baseline() const {
    return {files_under(root_), open_fds()};
}

void SimTest::expect_nothing_left(const Baseline &before) const {
    EXPECT_EQ(open_fds(), before.fds);
    EXPECT_EQ(sim_queues_bound(), 0);
    EXPECT_EQ(sim_messages_outstanding(), 0);
    EXPECT_EQ(sim_images_open(), 0);
    EXPECT_EQ(sim_image_close_errors(), 0);
    errno = 0;
    EXPECT_TRUE(waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD) << "a child is left";
    for (const std::string &f : files_under(root_))
        EXPECT_TRUE(before.files.count(f) != 0 || kMayAppear.count(f) != 0) << "left behind: " << f;
    namespace fs = std::filesystem;
    EXPECT_FALSE(fs::is_regular_file(fs::symlink_status(root_ + kListing)));
}

} // namespace testsupport
