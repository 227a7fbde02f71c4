// Window styles the program's dialog templates share.
#pragma once

#include "platform/win32.h"

namespace res_style {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kPush = kChild | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kRadio = kChild | WS_TABSTOP | BS_AUTORADIOBUTTON;
constexpr DWORD kCheck = kChild | WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr DWORD kGroupBox = kChild | WS_GROUP | BS_GROUPBOX;
constexpr DWORD kLabel = kChild | SS_LEFT;
// A drop-down list of fixed rows.
constexpr DWORD kList = kChild | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
constexpr DWORD kModal = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT;

} // namespace res_style
