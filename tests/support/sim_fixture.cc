#include "support/sim_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "sysmgrcli/sysmgrcli.h"
#include "sysmgrsim/sim.h"

namespace testsupport {

namespace {

/* Sends one descriptor to a temporary file until restored or destroyed. */
class Redirect {
  public:
    Redirect(std::FILE *stream) : stream_(stream), fd_(fileno(stream)) {
        std::fflush(stream_);
        file_ = std::tmpfile();
        saved_ = dup(fd_);
        if (file_ != nullptr && saved_ >= 0)
            dup2(fileno(file_), fd_);
    }
    ~Redirect() {
        restore();
        if (file_ != nullptr)
            std::fclose(file_);
    }
    Redirect(const Redirect &) = delete;
    Redirect &operator=(const Redirect &) = delete;

    /* Restores the descriptor and returns what was written. */
    std::string finish() {
        restore();
        std::string text;
        if (file_ == nullptr)
            return text;
        std::rewind(file_);
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0)
            text.append(buf, n);
        return text;
    }

  private:
    void restore() {
        if (saved_ < 0)
            return;
        std::fflush(stream_);
        dup2(saved_, fd_);
        close(saved_);
        saved_ = -1;
    }

    std::FILE *stream_;
    int fd_;
    std::FILE *file_ = nullptr;
    int saved_ = -1;
};

} // namespace

Captured capture(const std::function<void()> &body) {
    Redirect out(stdout);
    Redirect err(stderr);
    body();
    Captured c;
    c.out = out.finish();
    c.err = err.finish();
    return c;
}

std::vector<sysmgrsim::Print> recorded_values() {
    std::vector<sysmgrsim::Print> values;
    for (const sysmgrsim::Print &p : sysmgrsim::prints()) {
        if (p.kind == sysmgrsim::Print::Kind::value)
            values.push_back(p);
    }
    return values;
}

void SimTest::SetUp() {
    char templ[] = "/tmp/sysmgrcli-test-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    root_ = templ;
    setenv("SYSMGRCLI_ROOT", root_.c_str(), 1);
    sim_reset();
}

void SimTest::TearDown() {
    unsetenv("SYSMGRCLI_ROOT");
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
    sim_reset();
}

void SimTest::load(const std::string &patch) {
    char err[512] = "";
    ASSERT_EQ(sim_load_scenario(patch.c_str(), "test", err, sizeof err), 0) << err;
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
    std::filesystem::create_directories(root_);
    ASSERT_GE(sim_write_files(root_.c_str(), err, sizeof err), 0) << err;
    sim_fill_context(&context_);
    sim_clear_records();
}

Captured SimTest::show(const std::string &patch) {
    load(patch);
    if (HasFatalFailure())
        return {};
    return capture([this] { sysmgr_cli_generic_show_func(&context_); });
}

} // namespace testsupport
