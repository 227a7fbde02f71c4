// Templates of the test dialog and its six pages.
#pragma once

#include "res/templates.h"

extern const DlgTemplate kTestDialog;
extern const DlgTemplate kTestCharPage;
extern const DlgTemplate kTestGbkPage;
extern const DlgTemplate kTestBmarkPage;
extern const DlgTemplate kTestDianliuPage;
extern const DlgTemplate kTestOtherPage;
extern const DlgTemplate kTestUsbLibPage;

#include "res/sample_receipt.h"
