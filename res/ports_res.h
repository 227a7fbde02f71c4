// Templates of the port settings dialog and the EPP console.
#pragma once

#include "res/templates.h"

extern const DlgTemplate kPortSetDialog;
extern const DlgTemplate kEppDialog;
