// Templates of the printer toolbox: a port choice over a tab control, and
// its four pages (picture, character tables, drawer, printer ID).
#pragma once

#include "res/templates.h"

extern const DlgTemplate kToolsDialog;
extern const DlgTemplate kToolsImagePage;
extern const DlgTemplate kToolsCodePagePage;
extern const DlgTemplate kToolsDrawerPage;
extern const DlgTemplate kToolsInfoPage;
