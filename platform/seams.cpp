// The platform layer's seams: path roots that tests can move to temporary
// folders, the scale applied to every pause and device time-out, and the
// hook that answers message boxes.
#include "platform/seams.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace {

std::mutex gRootLock;
std::array<std::string, 5> gRootOverride; // indexed by PlatRoot; empty = the system's
std::atomic<double> gTimeScale{1.0};
std::atomic<void (*)(const std::string&)> gNoticeHandler{nullptr};
std::mutex gHookLock;
std::shared_ptr<const PlatMessageBoxHook> gMessageBoxHook; // guarded by gHookLock

std::string EnvOr(const char* name, const std::string& fallback)
{
    const char* v = std::getenv(name);
    return (v != nullptr && *v != '\0') ? std::string(v) : fallback;
}

std::string StripSlash(std::string p)
{
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}

std::string SystemRoot(PlatRoot root)
{
    switch (root) {
    case PlatRoot::Dev:
        return "/dev";
    case PlatRoot::Sys:
        return "/sys";
    case PlatRoot::Proc:
        return "/proc";
    case PlatRoot::Home:
        return StripSlash(EnvOr("HOME", "/"));
    case PlatRoot::Config: {
        const char* xdg = std::getenv("XDG_CONFIG_HOME");
        // XDG says a relative value is to be ignored.
        if (xdg != nullptr && xdg[0] == '/')
            return StripSlash(xdg) + "/mptest";
        return StripSlash(EnvOr("HOME", "")) + "/.config/mptest";
    }
    }
    return {};
}

} // namespace

std::string PlatRootPath(PlatRoot root)
{
    {
        std::lock_guard<std::mutex> g(gRootLock);
        const std::string& o = gRootOverride.at(static_cast<size_t>(root));
        if (!o.empty())
            return o;
    }
    return SystemRoot(root);
}

void PlatSetRootPath(PlatRoot root, const std::string& path)
{
    std::lock_guard<std::mutex> g(gRootLock);
    gRootOverride.at(static_cast<size_t>(root)) = path.empty() ? path : StripSlash(path);
}

void PlatSetTimeScale(double scale)
{
    // A zero or negative scale would turn every bound into "at once"; keep a
    // floor so a time-out still means waiting a little.
    if (!(scale > 0.001))
        scale = 0.001;
    gTimeScale.store(scale);
}

double PlatTimeScale()
{
    return gTimeScale.load();
}

void PlatNotice(const std::string& text)
{
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, text.c_str());
    if (auto handler = gNoticeHandler.load())
        handler(text);
}

void PlatSetNoticeHandler(void (*handler)(const std::string& text))
{
    gNoticeHandler.store(handler);
}

void PlatSetMessageBoxHook(PlatMessageBoxHook hook)
{
    auto next = hook ? std::make_shared<const PlatMessageBoxHook>(std::move(hook)) : nullptr;
    std::lock_guard<std::mutex> g(gHookLock);
    gMessageBoxHook = std::move(next);
}

bool PlatMessageBoxHooked(HWND owner, const char* text, const char* caption, UINT type, int& answer)
{
    std::shared_ptr<const PlatMessageBoxHook> hook;
    {
        std::lock_guard<std::mutex> g(gHookLock);
        hook = gMessageBoxHook;
    }
    // A hook replaced meanwhile still answers this call: the copy keeps it alive.
    if (!hook)
        return false;
    answer = (*hook)(owner, text, caption, type);
    return true;
}
