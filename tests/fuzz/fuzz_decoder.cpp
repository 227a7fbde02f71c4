// libFuzzer target: the virtual printer's decoder on any bytes, whole and in
// chunks. It must never crash, and the chunking must not change the result.
// One fixed clock for both, so a slow run never ends a download's quiet time
// in one way of feeding and not the other.
#include "sim/printer.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    const sim::Clock::time_point now{};
    sim::Printer whole;
    whole.feed(bytes, now);
    whole.flush();

    // The first byte picks a chunk size for the second pass.
    const size_t step = size ? data[0] % 7 + 1 : 1;
    sim::Printer chunked;
    for (size_t at = 0; at < size; at += step)
        chunked.feed(bytes.subspan(at, std::min(step, size - at)), now);
    chunked.flush();

    if (whole.transcript() != chunked.transcript() || whole.stateJson() != chunked.stateJson())
        std::abort();
    return 0;
}
