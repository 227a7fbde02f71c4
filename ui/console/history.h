// The console's command history: what was typed and sent, with the HEX
// setting it was sent with, recalled by Up and Down in the input box. The
// last HISTORY_KEEP survive a restart in a file beside the serial store.
#pragma once

#include <deque>
#include <string>

constexpr size_t HISTORY_KEEP = 50;

struct HistoryEntry {
    std::string text; // as typed (UTF-8, line breaks CR LF)
    bool hex = false;
    bool operator==(const HistoryEntry&) const = default;
};

struct CommandHistory {
    std::deque<HistoryEntry> entries; // oldest first
    // The entry Up and Down stand on; entries.size() is "past the newest",
    // the empty box.
    size_t cursor = 0;
};

// Adds a sent command (not again when it repeats the newest) and puts the
// cursor past the newest.
void HistoryAdd(CommandHistory& history, const HistoryEntry& entry);
// The entry one step older (up) or newer; nullptr past the newest, and the
// oldest again when there is none older.
const HistoryEntry* HistoryStep(CommandHistory& history, bool up);
// The file's text: one entry a line, "H " or "T " and the text with its
// backslashes and line breaks escaped.
std::string HistoryFormat(const CommandHistory& history);
// Reads what HistoryFormat wrote; lines it cannot read are skipped, and only
// the newest HISTORY_KEEP kept.
CommandHistory HistoryParse(const std::string& text);
// The history file: "history.txt" in PlatSettingsFolder().
std::string HistoryPath();
// Read and write the file; a missing or unreadable file is an empty history,
// and a write that fails loses only the history. A file that is a symbolic
// link is written through it: the file it leads to is replaced whole, in its
// own folder, and the link stays. HistorySave returns why it could not write
// (in the technician's words), or "" once written.
CommandHistory HistoryLoad(const std::string& path);
std::string HistorySave(const CommandHistory& history, const std::string& path);
