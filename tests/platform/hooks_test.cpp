// The path roots and the message-box hook.
#include "support.h"

#include <cstdlib>
#include <string>
#include <thread>

namespace {

// Restores one environment variable at the end of a test.
struct EnvGuard {
    explicit EnvGuard(const char* n) : name(n), had(std::getenv(n) != nullptr), old(had ? std::getenv(n) : "") {}
    ~EnvGuard() { had ? setenv(name, old.c_str(), 1) : unsetenv(name); }
    const char* name;
    bool had;
    std::string old;
};

TEST(Roots, ConfigFollowsTheEnvironment)
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

} // namespace

TEST(Hooks, MessageBoxHookAnswersFromAnyThread)
{
    int answer = 0;
    EXPECT_FALSE(PlatMessageBoxHooked(nullptr, "x", "Error", MB_OK, answer)); // no hook: the layer shows the box

    std::string seen;
    PlatSetMessageBoxHook([&](HWND, const char* text, const char* caption, UINT type) {
        seen = std::string(text) + "|" + caption + "|" + std::to_string(type);
        return IDNO;
    });
    std::thread worker(
        [&] { EXPECT_TRUE(PlatMessageBoxHooked(nullptr, "打印机忙!  144", "display hex", MB_YESNO, answer)); });
    worker.join();
    EXPECT_EQ(answer, IDNO);
    EXPECT_EQ(seen, "打印机忙!  144|display hex|" + std::to_string(MB_YESNO));

    // A hook may take itself away while it answers (a recorder that ends):
    // it is called outside the seam's lock and lives until it returns.
    PlatSetMessageBoxHook([](HWND, const char*, const char*, UINT) {
        PlatSetMessageBoxHook(nullptr);
        return IDYES;
    });
    EXPECT_TRUE(PlatMessageBoxHooked(nullptr, "x", "Error", MB_YESNO, answer));
    EXPECT_EQ(answer, IDYES);
    EXPECT_FALSE(PlatMessageBoxHooked(nullptr, "x", "Error", MB_OK, answer));
}
