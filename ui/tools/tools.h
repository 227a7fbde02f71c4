// The printer toolbox: a port choice over four pages that print a picture,
// the character tables and the drawer kick with a chosen pulse, and read
// what the printer says it is. Every byte comes from printer/.
#pragma once

#include "platform/win32.h"
#include "printer/drawer.h"
#include "printer/image.h"

#include <array>
#include <string>

constexpr int kToolsPageCount = 4;

// The toolbox while it is open (one at a time, it is modal).
struct ToolsRecord {
    HWND dialog;
    HWND tab;
    std::array<HWND, kToolsPageCount> pages;
    // The send in flight: its length, and whether the drawer page is
    // waiting for it to end to kick again.
    DWORD sending;
    // The drawer's repeats: the job, and the kicks still to go.
    DrawerJob drawer;
    int drawerLeft;
    // The picture chosen, and the 1-bit picture the preview shows and the
    // print sends.
    GrayImage source;
    MonoImage mono;
    HBITMAP preview;
    int previewTop; // the picture's first row the preview shows
    int previewRoom; // and how many rows it has room for
};

extern ToolsRecord gTools;

INT_PTR CALLBACK bToolsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK bTools_Image_Proc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK bTools_CodePage_Proc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK bTools_Drawer_Proc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK bTools_Info_Proc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// Shared by the pages.
// Sends `bytes` through the engine; its progress shows in the dialog's
// status line. False (with the reason shown) when nothing was sent.
bool SendTools(HWND page, const std::string& bytes);
// The status line under the pages.
void SetToolsStatus(const std::string& text);
// A whole number typed in control `id` (white space around allowed).
bool ReadToolsNumber(HWND page, int id, int* value);

// Page handlers.
void handleImageOpen(HWND page);
void handleImagePreview(HWND page);
void handleImageScroll(HWND page, int direction);
void handleImagePreset(HWND page);
void handleImagePrint(HWND page);
void handleCodePagePrint(HWND page, bool all);
void handleCodePageNamed(HWND page);
void handleDrawerShow(HWND page);
void handleDrawerOpen(HWND page);
void handleDrawerStop(HWND page);
// The dialog's timer: the next kick of a repeated drawer job.
void OnDrawerTimer(HWND dialog);
// The send just ended with every byte out: a repeated drawer job waits its interval.
void OnToolsSendDone(HWND dialog);
void handleInfoRead(HWND page);

constexpr UINT_PTR kDrawerTimerId = 1;
