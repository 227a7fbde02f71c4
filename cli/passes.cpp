// The engine's reports collected for mptest-cli: no window and no message
// loop, the reports arrive on the sending thread and the job's thread waits
// for the send to end.
#include "cli/passes.h"

#include "cli/cli.h"
#include "cli/report.h"
#include "port/network.h"
#include "port/port.h"
#include "res/texts.h"
#include "send/send.h"

#include <functional>
#include <mutex>

PassReports gPass;

namespace {

// How long the job's thread sleeps before it waits again, should the wait
// on the pass's end and the stop fail.
constexpr DWORD kWaitAgainMs = 20;

// Shows progress; called on the sending thread, between a pass's start and
// its end, while the job's thread only waits.
std::function<void()> gOnProgress;

// The engine's reports, on the thread that makes each: the caller's for the
// length report, the sending thread's for the rest. The job's thread reads
// gPass only after the output record's release, which orders the writes.
void CollectReport(void*, UINT message, WPARAM code, LPARAM value)
{
    const DWORD amount = static_cast<DWORD>(value);
    if (message == WM_SENDCMDS_STATUS) {
        if (code == STATUS_CMDS_LENGTH) {
            gPass.length = amount;
        } else if (code == STATUS_CMDS_SENT) {
            gPass.cmdsSent += amount;
            gPass.cmdsDone = true;
        }
        return;
    }
    if (message != WM_SENDFILE_STATUS)
        return;
    switch (code) {
    case STATUS_FILE_LENGTH:
        gPass.length = amount;
        break;
    case STATUS_FILE_PROGRESS:
        gPass.fileProgress = amount;
        if (gOnProgress)
            gOnProgress();
        break;
    case STATUS_FILE_DONE:
        gPass.fileDone = true;
        break;
    case STATUS_FILE_FAILED:
        gPass.fileFailed = true;
        break;
    default:
        break;
    }
}

// Waits between passes; false when a stop came meanwhile.
bool PauseBetweenPasses(DWORD pauseMs = kRepeatPauseMs)
{
    return WaitForSingleObject(CliStopEvent(), pauseMs) != WAIT_OBJECT_0 && !gCliStop;
}

} // namespace

void EndSend()
{
    if (gCurrentPort.state != PORT_STATE_BUSY)
        return;
    // Every wait on the printer ends within 100 ms once the send is given up.
    AbandonSend();
    WaitForSingleObject(hOutputBufIdle, INFINITE);
}

Pass RunPass(const void* data, DWORD length, WORD flags)
{
    gPass = {};
    if (gCliStop)
        return Pass::Stopped;
    // No second's pause after the last byte: the pass ends once the line has sent it.
    if (!SendDataWithReporter(SendReporter{CollectReport, nullptr, true}, data, length, flags))
        return Pass::Refused;
    // Asleep until the pass ends or a stop comes: a send at a slow printer's
    // pace costs this thread nothing.
    const HANDLE ends[2] = {hOutputBufIdle, CliStopEvent()};
    while (WaitForMultipleObjects(2, ends, FALSE, INFINITE) != WAIT_OBJECT_0) {
        if (gCliStop) {
            EndSend();
            return Pass::Stopped;
        }
        Sleep(kWaitAgainMs); // the wait failed: no spinning
    }
    if ((flags & SEND_MODE_MASK) == SEND_MODE_CMDS)
        return gPass.cmdsDone && gPass.cmdsSent == gPass.length && gPass.length > 0 ? Pass::Ok : Pass::Failed;
    return gPass.fileDone ? Pass::Ok : Pass::Failed;
}

// After a failed pass on the network port: why the connection went, naming
// host:port, and how much went before; nothing for the other ports.
std::string LostDetail(uint64_t sent)
{
    const std::string lost = NetLostReason();
    return lost.empty() ? "" : "：" + lost + "，已发出 " + std::to_string(sent) + " 字节";
}

void SendCommandPasses(Job& job, const std::string& bytes, WORD flags, unsigned passes, const char* refused,
                       DWORD pauseMs)
{
    gProgress.start(passes > 1);
    for (unsigned pass = 0; pass < passes; ++pass) {
        if (pass > 0 && !PauseBetweenPasses(pauseMs)) {
            job.stopped = true;
            break;
        }
        const Pass result = RunPass(bytes.data(), static_cast<DWORD>(bytes.size()), flags);
        job.bytes += gPass.cmdsSent;
        if (result == Pass::Stopped) {
            job.stopped = true;
            break;
        }
        if (result != Pass::Ok) {
            job.message = refused + LostDetail(job.bytes);
            return;
        }
        gProgress.show(double(pass + 1) / passes,
                       "第 " + std::to_string(pass + 1) + "/" + std::to_string(passes) + " 遍");
    }
    job.ok = !job.stopped;
    job.message = Formatted("已发送字节数 %llu", job.bytes);
}

void SendFilePasses(Job& job, const std::string& path, WORD mode, unsigned passes)
{
    gProgress.start(true);
    uint64_t before = 0;
    unsigned pass = 0;
    gOnProgress = [&] {
        if (mode == SEND_MODE_FILE) {
            const double whole = gPass.length == 0 ? 1.0 : double(gPass.fileProgress) / gPass.length;
            gProgress.show((pass + whole) / passes, std::to_string(before + gPass.fileProgress) + " 字节，第 " +
                                                        std::to_string(pass + 1) + "/" + std::to_string(passes) + " 遍");
        } else {
            gProgress.show(gPass.fileProgress / 100.0, ""); // the percentage is the whole news
        }
    };
    Pass result = Pass::Ok;
    for (; pass < passes; ++pass) {
        if (pass > 0 && !PauseBetweenPasses()) {
            result = Pass::Stopped;
            break;
        }
        result = RunPass(path.c_str(), static_cast<DWORD>(path.size() + 1), static_cast<WORD>(mode | SEND_ONCE));
        const DWORD moved = mode == SEND_MODE_FILE ? gPass.fileProgress
                            : gPass.fileDone      ? gPass.length
                                                  : static_cast<DWORD>(uint64_t(gPass.length) * gPass.fileProgress / 100);
        before += moved;
        if (result != Pass::Ok)
            break;
    }
    gOnProgress = nullptr;
    job.bytes = before;
    job.stopped = result == Pass::Stopped;
    job.ok = result == Pass::Ok;
    if (mode == SEND_MODE_FILE)
        job.message = job.ok || job.stopped ? Formatted("已发送数据:%llu字节", job.bytes)
                                            : "文件发送失败" + LostDetail(job.bytes);
    else
        job.message = job.ok ? kDownloadDoneText_Dw : result == Pass::Refused ? kDownloadRefusedText_Dw
                                                                               : kDownloadFailedText_Dw;
}
