// Templates of the test dialog and its six pages, and the sample receipt.
#pragma once

#include "res/templates.h"

extern const DlgTemplate kTestDialog;
extern const DlgTemplate kTestCharPage;
extern const DlgTemplate kTestGbkPage;
extern const DlgTemplate kTestBmarkPage;
extern const DlgTemplate kTestDianliuPage;
extern const DlgTemplate kTestOtherPage;
extern const DlgTemplate kTestUsbLibPage;

// The sample receipt: 2607 bytes and a terminating zero that is not sent.
constexpr unsigned kTestSample1Length = 2607;
extern const char testSample1[kTestSample1Length + 1];
