// The drawer kick's bytes.
#include "printer/drawer.h"

const char* CheckDrawerJob(const DrawerJob& job)
{
    if (job.pin != 2 && job.pin != 5)
        return "钱箱引脚应为 2 或 5";
    if (job.onMs < kDrawerMinMs || job.onMs > kDrawerMaxMs)
        return "脉冲开启时间应为 2–510 毫秒";
    if (job.offMs < kDrawerMinMs || job.offMs > kDrawerMaxMs)
        return "脉冲关闭时间应为 2–510 毫秒";
    if (job.times < 1 || job.times > kDrawerMaxTimes)
        return "次数应为 1–100";
    if (job.intervalMs < 0 || job.intervalMs > kDrawerMaxIntervalMs)
        return "间隔应为 0–60000 毫秒";
    return nullptr;
}

BYTE DrawerPulseUnits(int ms)
{
    return static_cast<BYTE>(ms / 2);
}

std::string DrawerKickBytes(const DrawerJob& job)
{
    if (CheckDrawerJob(job) != nullptr)
        return {};
    std::string out = "\x1B\x70";
    out.push_back(static_cast<char>(job.pin == 2 ? 0 : 1));
    out.push_back(static_cast<char>(DrawerPulseUnits(job.onMs)));
    out.push_back(static_cast<char>(DrawerPulseUnits(job.offMs)));
    return out;
}
