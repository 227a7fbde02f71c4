// The path roots: the system's own, or where --device-root or a test moved one.
#include "platform/linux/roots.h"

#include <array>
#include <cstdlib>
#include <mutex>

namespace {

std::mutex gRootLock;
std::array<std::string, 5> gRootOverride; // indexed by PlatRoot; empty = the system's

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
