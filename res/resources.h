// Lookups over the program's dialog templates, menu and pictures (tables in
// res/resources.cpp).
#pragma once

#include "platform/templates.h"

// A name is either an integer resource (MAKEINTRESOURCEA) or a string;
// nullptr when there is no such resource.
const DlgTemplate* ResFindDialog(LPCSTR name);
const MenuTemplate* ResFindMenu(int id);
const ImageResource* ResFindImage(ResImageKind kind, int id);

// Hands the lookups to the window layer. Every entry point calls it before it
// opens a window: WinMain, and the test programs that open the dialogs
// without it.
void ResRegister();
