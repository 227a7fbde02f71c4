// Templates of the download dialogs: firmware, font and machine number.
#pragma once

#include "res/templates.h"

extern const DlgTemplate kDownVersionDialog;
extern const DlgTemplate kDownFontDialog;
extern const DlgTemplate kDownPrnNumDialog;
