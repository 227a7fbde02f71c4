// The toolbox's jobs: a picture, the character tables, the drawer with a
// chosen pin and pulse, and what the printer says it is, with the toolbox
// dialog's bytes.
#include "cli/jobs.h"

#include "cli/cli.h"
#include "cli/options.h"
#include "cli/passes.h"
#include "port/port.h"
#include "printer/codepage.h"
#include "printer/drawer.h"
#include "printer/image.h"
#include "printer/info.h"
#include "res/texts.h"
#include "send/send.h"

#include <span>

namespace {

// The toolbox sends as the test pages do: once, as it is.
constexpr WORD kToolFlags = SEND_MODE_CMDS | SEND_TEXT | SEND_ONCE;

// A refusal of bad numbers or a bad file: said before anything is sent.
int Refuse(Job& job, const std::string& why)
{
    job.message = why + "；没有发送";
    return Finish(job);
}

int SendToolBytes(Job& job, const std::string& bytes)
{
    if (!OpenJobPort(job))
        return Finish(job);
    SendCommandPasses(job, bytes, kToolFlags, 1, kRefusedText_T);
    return Finish(job);
}

} // namespace

int RunImage(const CommandLine& line)
{
    if (line.positional.size() != 1)
        throw UsageError{"image 需要一个图片文件"};
    ImageJob image;
    image.width = static_cast<int>(CountOption(line, "--width", 1, kMaxImageWidth, kFamilyWidthDots));
    if (line.has("--dither") && !ParseDither(line.value("--dither").c_str(), &image.dither))
        throw UsageError{"--dither 只能是 threshold、floyd-steinberg 或 atkinson"};
    image.threshold = static_cast<int>(CountOption(line, "--threshold", 0, 255, 128));
    image.brightness = SignedOption(line, "--brightness", -100, 100, 0);
    image.bandFeed = static_cast<int>(CountOption(line, "--band-feed", 1, 255, kFamilyBandFeed));
    image.invert = line.has("--invert");
    image.raster = line.has("--raster");
    Job job;
    job.name = "image";
    job.port = ChoosePort(line);
    const std::string path = line.positional.front();
    std::string file, why;
    GrayImage gray;
    MonoImage mono;
    if (const char* bad = CheckImageJob(image))
        return Refuse(job, bad);
    if (!ReadImageFile(path.c_str(), &file, &why) ||
        !DecodeImage(std::span(reinterpret_cast<const BYTE*>(file.data()), file.size()), &gray, &why) ||
        !MakeMonoImage(gray, image, &mono, &why))
        return Refuse(job, why + "：" + path);
    return SendToolBytes(job, ImageBytes(mono, image));
}

int RunCodePage(const CommandLine& line)
{
    const bool all = line.has("--all");
    if (all == (line.positional.size() == 1) || line.positional.size() > 1)
        throw UsageError{"codepage 需要表号 N 或 --all 二者之一"};
    int number = 0;
    std::string why;
    if (!all && !ParseCodeTable(line.positional.front().c_str(), &number, &why))
        throw UsageError{why};
    Job job;
    job.name = "codepage";
    job.port = ChoosePort(line);
    return SendToolBytes(job, all ? AllCodePagesBytes() : CodePageBytes(number));
}

int RunDrawer(const CommandLine& line)
{
    if (!line.positional.empty())
        throw UsageError{"drawer 不接受参数 \"" + line.positional.front() + "\""};
    DrawerJob drawer;
    drawer.pin = static_cast<int>(CountOption(line, "--pin", 0, 255, 2));
    drawer.onMs = static_cast<int>(CountOption(line, "--on", 0, 100000, 100));
    drawer.offMs = static_cast<int>(CountOption(line, "--off", 0, 100000, 100));
    drawer.times = static_cast<int>(CountOption(line, "--times", 0, 100000, 1));
    drawer.intervalMs = static_cast<int>(CountOption(line, "--interval", 0, 10000000, 500));
    Job job;
    job.name = "drawer";
    job.port = ChoosePort(line);
    if (const char* bad = CheckDrawerJob(drawer))
        return Refuse(job, bad);
    if (!OpenJobPort(job))
        return Finish(job);
    // As the dialog does it: each kick a send of its own, the interval
    // counted from the end of one to the start of the next.
    SendCommandPasses(job, DrawerKickBytes(drawer), kToolFlags, static_cast<unsigned>(drawer.times), kRefusedText_T,
                      static_cast<DWORD>(drawer.intervalMs));
    return Finish(job);
}

int RunInfo(const CommandLine& line)
{
    if (!line.positional.empty())
        throw UsageError{"info 不接受参数 \"" + line.positional.front() + "\""};
    Job job;
    job.name = "info";
    job.port = ChoosePort(line);
    if (job.port.type == PORT_PARALLEL) {
        job.message = "并行口不能读取打印机的应答，请选择串行口或USB口";
        return Finish(job);
    }
    if (!OpenJobPort(job))
        return Finish(job);
    gCurrentPort.state = PORT_STATE_BUSY;
    const std::string received = AskPrinterId();
    gCurrentPort.state = PORT_STATE_IDLE;
    job.bytes = InfoRequestBytes().size();
    const auto answers = InfoAnswers(received);
    job.ok = true;
    for (int i = 0; i < kInfoRequestCount; ++i) {
        job.message += std::string(i > 0 ? "\n" : "") + InfoLabel(i) + ": " + InfoAnswerText(i, answers[i]);
        job.ok = job.ok && answers[i].has_value(); // a question left unanswered is no answer
    }
    return Finish(job);
}
