// The download dialogs' jobs: firmware, font and the machine number, with
// the shared counter and the attempt log.
#include "cli/jobs.h"

#include "cli/cli.h"
#include "cli/options.h"
#include "cli/passes.h"
#include "platform/station.h"
#include "port/port.h"
#include "printer/download.h"
#include "printer/testprint.h"
#include "res/texts.h"
#include "send/download_file.h"
#include "send/send.h"

#include <cstdio>
#include <ctime>
#include <memory>

namespace {

// The longest a station waits for another to let go of the counter file.
constexpr unsigned kCounterLockWaitMs = 30000;
// How a command goes to the printer: once, as it is.
constexpr WORD kCommandFlags = SEND_MODE_CMDS | SEND_TEXT | SEND_ONCE;

int RunDownload(const CommandLine& line, bool firmware)
{
    if (line.positional.size() != 1)
        throw UsageError{std::string(firmware ? "firmware" : "font") + " 需要一个文件"};
    const std::string path = line.positional.front();
    Job job;
    job.name = firmware ? "firmware" : "font";
    job.port = ChoosePort(line);
    if (firmware && job.port.type == PORT_SERIAL) {
        // As in the firmware dialog, whose serial choice is disabled: a
        // printer on a serial line would print the firmware as text.
        job.message = "固件只能通过并口或 USB 口下载，不能通过串口 " + job.port.name + "；没有发送";
        return Finish(job);
    }
    // An empty file would go as a download that went well, an empty font
    // after the speed switch: refused before anything is sent.
    if (const std::string fault = DownloadFileFault_Dw(path.c_str()); !fault.empty()) {
        job.message = fault + "：" + path + "；没有发送";
        return Finish(job);
    }
    if (!ReadSendFile(path, job) || !OpenJobPort(job))
        return Finish(job);
    if (firmware && job.port.type == PORT_PARALLEL) {
        // The firmware dialog's "enter download state" step.
        const std::string enter = EnterDownloadBytes();
        const Pass result = RunPass(enter.data(), static_cast<DWORD>(enter.size()), kCommandFlags);
        if (result != Pass::Ok) {
            job.stopped = result == Pass::Stopped;
            job.message = "发送数据错误！请重试";
            return Finish(job);
        }
    }
    SendFilePasses(job, path, firmware ? SEND_MODE_VERSION : SEND_MODE_FONT, 1);
    return Finish(job);
}

std::string NowIso8601()
{
    const std::time_t now = std::time(nullptr);
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
    return text;
}

// The attempt's line, on the disk before the job may report ok: the log is
// the unit's record. A line that cannot be written fails the job, saying
// what the printer got.
void AppendLog(const CommandLine& line, Job& job, const std::string& number, bool written)
{
    if (!line.has("--log"))
        return;
    job.printerOk = written;
    const std::string row = LogLine(NowIso8601(), PlatHostName(), job.port.name, job.port.device, number, written);
    std::string why;
    if (PlatAppendDurably(line.value("--log"), row, &why))
        return;
    job.logError = "无法写入日志 " + why;
    job.message = job.ok ? "机器码 " + number + " 已写入打印机（这个号码已用掉），但" + job.logError
                         : job.message + "\n" + job.logError;
    job.ok = false;
}

// Writes `number`; true when the printer took every byte.
bool WriteNumber(Job& job, const std::string& number)
{
    const std::string command = PrnNumWriteBytes(number.c_str());
    const Pass result = RunPass(command.data(), static_cast<DWORD>(command.size()), kCommandFlags);
    job.bytes += gPass.cmdsSent;
    job.stopped = result == Pass::Stopped;
    job.ok = result == Pass::Ok;
    job.message = job.ok ? kPrnNumWrittenText_Dw : kPrnNumWriteFailedText_Dw;
    return job.ok;
}

using LockedCounter = std::unique_ptr<PlatLockedFile, void (*)(PlatLockedFile*)>;

} // namespace

int RunFirmware(const CommandLine& line)
{
    return RunDownload(line, true);
}

int RunFont(const CommandLine& line)
{
    return RunDownload(line, false);
}

int RunMachineNumber(const CommandLine& line)
{
    const bool fromCounter = line.has("--next-from");
    if (fromCounter == (line.positional.size() == 1) || line.positional.size() > 1)
        throw UsageError{"machine-number 需要 NUMBER 或 --next-from FILE 二者之一"};
    Job job;
    job.name = "machine-number";
    job.port = ChoosePort(line);
    std::string number;
    LockedCounter counter(nullptr, PlatUnlockFile);
    CounterText after;
    if (fromCounter) {
        // Held from the read to the update: no other station takes this number meanwhile.
        const std::string path = line.value("--next-from");
        std::string why;
        std::string content;
        counter.reset(PlatLockFile(path, kCounterLockWaitMs, &why));
        if (!counter || !PlatLockedRead(counter.get(), &content, &why)) {
            job.message = "计数文件 " + why;
            return Finish(job);
        }
        const CounterText read = ReadCounterText(content);
        number = read.number;
        if (read.usedUp) {
            job.message = "计数文件 " + path + " 的号码段已用完：最后一个号码 " + number + " 已经发出；请换一个新的计数文件";
            return Finish(job);
        }
        if (!IsLegalPrnNum(number.c_str()) || !CounterAfterIssue(read, &after)) {
            job.message = "计数文件 " + path + " 中的 \"" + number + "\" 不能用作机器码：" + kPrnNumIllegalText_Dw;
            return Finish(job);
        }
    } else {
        number = line.positional.front();
        if (!IsLegalPrnNum(number.c_str())) {
            job.message = kPrnNumIllegalText_Dw;
            return Finish(job);
        }
    }
    if (!OpenJobPort(job)) {
        AppendLog(line, job, number, false);
        return Finish(job);
    }
    const bool written = WriteNumber(job, number);
    if (written && counter) {
        std::string why;
        if (!PlatLockedRewrite(counter.get(), CounterFileText(after), &why)) {
            // The printer has the number but the counter did not move: say so
            // loudly, the next unit would get the same number.
            job.ok = false;
            job.message = "机器码 " + number + " 已写入，但计数文件无法更新: " + why;
        }
    }
    AppendLog(line, job, number, written);
    counter.reset();
    if (written && after.usedUp && !gCliQuiet)
        std::fprintf(stderr, "mptest-cli: %s 是计数文件 %s 的最后一个号码，计数文件现已标为用完\n", number.c_str(),
                     line.value("--next-from").c_str());
    if (job.ok && line.has("--print")) {
        const std::string print = PrnNumPrintBytes();
        const Pass result = RunPass(print.data(), static_cast<DWORD>(print.size()), kCommandFlags);
        job.bytes += gPass.cmdsSent;
        job.stopped = result == Pass::Stopped;
        job.ok = result == Pass::Ok;
        job.message = job.ok ? kPrnNumPrintedText_Dw : kPrnNumPrintFailedText_Dw;
    }
    if (job.ok)
        job.message = std::string(job.message) + " " + number;
    return Finish(job);
}
