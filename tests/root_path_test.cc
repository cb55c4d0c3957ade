// Where the library looks for its fixed paths.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "root_path.h"

namespace {

// Sets or clears SYSMGRCLI_ROOT for one scope and puts back what was there.
class RootEnv {
  public:
    explicit RootEnv(const char *value) {
        if (const char *old = std::getenv("SYSMGRCLI_ROOT"))
            saved_ = old;
        if (value != nullptr)
            setenv("SYSMGRCLI_ROOT", value, 1);
        else
            unsetenv("SYSMGRCLI_ROOT");
    }
    ~RootEnv() {
        if (saved_)
            setenv("SYSMGRCLI_ROOT", saved_->c_str(), 1);
        else
            unsetenv("SYSMGRCLI_ROOT");
    }

  private:
    std::optional<std::string> saved_;
};

TEST(RootedPath, TakesFixedPathsUnderTheRootWhenOneIsSet) {
    const std::string long_root(sysmgrcli::RootedPath::kMax, 'r');
    struct Case {
        const char *root;
        const char *expected; // nullptr: does not fit
    } cases[] = {
        {nullptr, "/proc/uptime"},
        {"", "/proc/uptime"},
        {"/tmp/capture", "/tmp/capture/proc/uptime"},
        {"/tmp/capture/", "/tmp/capture//proc/uptime"},
        {long_root.c_str(), nullptr},
        {"A=", nullptr}, // relative: refused
    };
    for (const Case &c : cases) {
        RootEnv env(c.root);
        sysmgrcli::RootedPath path("/proc/uptime");
        SCOPED_TRACE(c.root ? c.root : "(unset)");
        if (c.expected == nullptr)
            EXPECT_EQ(path.c_str(), nullptr);
        else
            EXPECT_STREQ(path.c_str(), c.expected);
    }
}

// A call reads the root once: a change of the environment during the call
// does not move its paths, and the next call sees the change.
TEST(RootedPath, TakesTheRootOfTheCallAndKeepsNothingAfterIt) {
    RootEnv env("/first");
    {
        const sysmgrcli::CallRoot call;
        setenv("SYSMGRCLI_ROOT", "/second", 1);
        const sysmgrcli::CallRoot nested; // an exported source called by a report
        EXPECT_STREQ(sysmgrcli::RootedPath("/proc/uptime").c_str(), "/first/proc/uptime");
    }
    EXPECT_STREQ(sysmgrcli::RootedPath("/proc/uptime").c_str(), "/second/proc/uptime");
    const sysmgrcli::CallRoot next;
    EXPECT_STREQ(sysmgrcli::RootedPath("/proc/uptime").c_str(), "/second/proc/uptime");
}

} // namespace
