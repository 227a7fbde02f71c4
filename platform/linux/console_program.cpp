// A console program on this system (mptest-cli): where its message boxes go,
// and whether this process is one.
#include "platform/linux/testhooks.h"
#include "platform/station.h"

#include <csignal>
#include <pthread.h>
#include <thread>

namespace {

void (*gSink)(const char* text, const char* caption) = nullptr;

} // namespace

void PlatStartConsoleProgram(void (*sink)(const char* text, const char* caption))
{
    gSink = sink;
    PlatSetMessageBoxHook([](HWND, const char* text, const char* caption, UINT) {
        gSink(text != nullptr ? text : "", caption != nullptr ? caption : "");
        return IDOK;
    });
}

bool PlatIsConsoleProgram()
{
    return gSink != nullptr;
}

void PlatCatchStopSignals(void (*stop)())
{
    // Blocked here, and so in every thread started after, the signals come
    // only to the thread that waits for them.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    std::thread([stops, stop] {
        for (int signal = 0;;)
            if (sigwait(&stops, &signal) == 0)
                stop();
    }).detach();
}
