// What the test API does the same way on every system: reading controls
// through the Win32 calls, and the bookkeeping of actions that miss.
#pragma once

#include "platform/testapi/testapi.h"

#include <map>
#include <optional>
#include <source_location>
#include <string>

bool PlatTestSameName(LPCSTR name, const DlgTemplate* tpl);
// "the dialog" or its caption in quotes, for messages.
std::string PlatTestDescribe(HWND dialog);
std::string PlatTestAction(const char* name, int id);
// An action that could not land, unless the test said it expects that:
// fails the running test at `where`. Returns false.
bool PlatTestMissed(const std::source_location& where, const std::string& what);
// The action landed; a test that expected a miss fails.
bool PlatTestLanded(const std::source_location& where, const std::string& what);
// Fails the running test at the caller's line; outside a test, says so.
// Each system's test API has its own.
void PlatTestReport(const std::source_location& where, const std::string& message);
// Focus as a click or Tab gives it; the reason why not, or empty. Each
// system's test API has its own.
std::string PlatTestFocusControl(HWND dialog, int id);
// The dialogs EndDialog ended since the last PlatTestDestroyAll, with their
// results (user-interface thread only).
std::map<HWND, INT_PTR>& PlatTestEndedDialogs();

// The file chooser's script, kept the same way on every system: each
// system's side counts a call and takes the next answer (nothing: a cancel).
void PlatTestCountChooserCall(bool save);
std::optional<std::string> PlatTestNextChooserAnswer();
// Each system's side: from the first scripted answer on, every file chooser
// is answered from the script.
void PlatTestScriptChooser();
