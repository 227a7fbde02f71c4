// Lookups over the program's dialog templates, menu and pictures (tables in
// res/resources.cpp, registered with the window layer when the program loads).
#pragma once

#include "platform/templates.h"

// A name is either an integer resource (MAKEINTRESOURCEA) or a string;
// nullptr when there is no such resource.
const DlgTemplate* ResFindDialog(LPCSTR name);
const MenuTemplate* ResFindMenu(int id);
const ImageResource* ResFindImage(ResImageKind kind, int id);
