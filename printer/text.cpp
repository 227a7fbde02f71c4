// Typed text in the printer's code page.
#include "printer/text.h"

std::string TextForPrinter(const char* utf8)
{
    std::string gbk = PlatUtf8ToGbk(utf8);
    gbk.resize(PlatGbkCut(gbk, kMaxTypedBytes));
    return gbk;
}
