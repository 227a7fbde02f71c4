// The platform's seams set for the life of a guard: a path root pointed at a
// folder, the time scale of pauses and time-outs.
#pragma once

#include "platform/linux/roots.h"
#include "platform/linux/testhooks.h"

#include <string>

namespace testsupport {

class RootGuard {
public:
    RootGuard(PlatRoot root, const std::string& path) : root_(root) { PlatSetRootPath(root, path); }
    ~RootGuard() { PlatSetRootPath(root_, ""); }
    RootGuard(const RootGuard&) = delete;
    RootGuard& operator=(const RootGuard&) = delete;

private:
    PlatRoot root_;
};

class ScaleGuard {
public:
    explicit ScaleGuard(double scale) { PlatSetTimeScale(scale); }
    ~ScaleGuard() { PlatSetTimeScale(1.0); }
    ScaleGuard(const ScaleGuard&) = delete;
    ScaleGuard& operator=(const ScaleGuard&) = delete;
};

} // namespace testsupport
