// The path roots and the time scale.
#include "support.h"

#include <cstdlib>

namespace {

// Restores one environment variable at the end of a test.
class EnvGuard {
public:
    explicit EnvGuard(const char* name) : name_(name)
    {
        const char* v = std::getenv(name);
        had_ = v != nullptr;
        if (had_)
            old_ = v;
    }
    ~EnvGuard()
    {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

TEST(Seams, ConfigRootFollowsTheEnvironment)
{
    EnvGuard xdg("XDG_CONFIG_HOME");
    EnvGuard home("HOME");
    setenv("HOME", "/home/tester", 1);
    struct Case {
        const char* xdg; // nullptr: unset
        const char* want;
    } cases[] = {
        {"/xdg/conf", "/xdg/conf/mptest"},
        {"/xdg/conf/", "/xdg/conf/mptest"},
        {"relative/dir", "/home/tester/.config/mptest"}, // a relative value is ignored
        {"", "/home/tester/.config/mptest"},
        {nullptr, "/home/tester/.config/mptest"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xdg ? c.xdg : "(unset)");
        if (c.xdg)
            setenv("XDG_CONFIG_HOME", c.xdg, 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(PlatRootPath(PlatRoot::Config), c.want);
    }
    EXPECT_EQ(PlatRootPath(PlatRoot::Home), "/home/tester");
}

TEST(Seams, OverridesAndReset)
{
    const PlatRoot roots[] = {PlatRoot::Dev, PlatRoot::Sys, PlatRoot::Proc, PlatRoot::Config, PlatRoot::Home};
    const char* system[] = {"/dev", "/sys", "/proc", nullptr, nullptr};
    for (size_t i = 0; i < std::size(roots); ++i) {
        std::string before = PlatRootPath(roots[i]);
        if (system[i]) {
            EXPECT_EQ(before, system[i]);
        }
        PlatSetRootPath(roots[i], "/tmp/x/");
        EXPECT_EQ(PlatRootPath(roots[i]), "/tmp/x");
        PlatSetRootPath(roots[i], "");
        EXPECT_EQ(PlatRootPath(roots[i]), before);
    }
}

TEST(Seams, TimeScaleHasAFloor)
{
    PlatSetTimeScale(0.5);
    EXPECT_DOUBLE_EQ(PlatTimeScale(), 0.5);
    PlatSetTimeScale(0);
    EXPECT_GT(PlatTimeScale(), 0.0);
    PlatSetTimeScale(-3);
    EXPECT_GT(PlatTimeScale(), 0.0);
    PlatSetTimeScale(1.0);
    EXPECT_DOUBLE_EQ(PlatTimeScale(), 1.0);
}

} // namespace
