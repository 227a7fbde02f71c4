// The console's command history and its file (see history.h).
#include "ui/console/history.h"

#include "platform/win32.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::filesystem::path FsPath(const std::string& utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The file a path names: its symbolic links followed, also to a file not yet
// there. A loop of links gives up on the last one (its write then fails).
std::filesystem::path FinalTarget(std::filesystem::path path)
{
    std::error_code error;
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(path, error); ++hops) {
        const std::filesystem::path next = std::filesystem::read_symlink(path, error);
        if (error)
            break;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return path;
}

// Why the history could not be written, as the technician reads it.
std::string Reason(std::errc error)
{
    switch (error) {
    case std::errc::permission_denied: return "没有写入权限";
    case std::errc::no_such_file_or_directory: return "文件夹不存在，也无法创建";
    case std::errc::no_space_on_device: return "磁盘已满或写入失败";
    default: return "写入失败";
    }
}

std::string Escape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

bool Unescape(const std::string& text, std::string* out)
{
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            *out += text[i];
            continue;
        }
        if (++i == text.size())
            return false;
        switch (text[i]) {
        case '\\':
            *out += '\\';
            break;
        case 'r':
            *out += '\r';
            break;
        case 'n':
            *out += '\n';
            break;
        default:
            return false;
        }
    }
    return true;
}

} // namespace

void HistoryAdd(CommandHistory& history, const HistoryEntry& entry)
{
    if (history.entries.empty() || !(history.entries.back() == entry))
        history.entries.push_back(entry);
    while (history.entries.size() > HISTORY_KEEP)
        history.entries.pop_front();
    history.cursor = history.entries.size();
}

const HistoryEntry* HistoryStep(CommandHistory& history, bool up)
{
    const size_t size = history.entries.size();
    if (history.cursor > size)
        history.cursor = size;
    if (up) {
        if (size == 0)
            return nullptr;
        if (history.cursor > 0)
            --history.cursor;
        return &history.entries[history.cursor];
    }
    if (history.cursor < size)
        ++history.cursor;
    return history.cursor < size ? &history.entries[history.cursor] : nullptr;
}

std::string HistoryFormat(const CommandHistory& history)
{
    std::string out;
    for (const HistoryEntry& entry : history.entries)
        out += (entry.hex ? "H " : "T ") + Escape(entry.text) + "\n";
    return out;
}

CommandHistory HistoryParse(const std::string& text)
{
    CommandHistory history;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        HistoryEntry entry;
        if (line.size() < 3 || (line[0] != 'H' && line[0] != 'T') || line[1] != ' ' ||
            !Unescape(line.substr(2), &entry.text))
            continue;
        entry.hex = line[0] == 'H';
        history.entries.push_back(std::move(entry));
    }
    while (history.entries.size() > HISTORY_KEEP)
        history.entries.pop_front();
    history.cursor = history.entries.size();
    return history;
}

std::string HistoryPath()
{
    const std::string folder = PlatSettingsFolder();
    return folder.empty() ? std::string() : folder + "/history.txt";
}

CommandHistory HistoryLoad(const std::string& path)
{
    if (path.empty())
        return {};
    std::ifstream in(FsPath(path), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return HistoryParse(text.str());
}

std::string HistorySave(const CommandHistory& history, const std::string& path)
{
    if (path.empty())
        return {};
    std::error_code error;
    std::filesystem::create_directories(FsPath(path).parent_path(), error);
    const std::filesystem::path target = FinalTarget(FsPath(path));
    if (std::filesystem::is_directory(target, error))
        return "它是一个文件夹";
    // A new file put in place whole, so a crash never leaves half a history;
    // beside the file it replaces, so that the rename stays in one folder.
    std::filesystem::path temp = target;
    temp += ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out)
            return Reason(std::filesystem::exists(target.parent_path(), error) ? std::errc::permission_denied
                                                                               : std::errc::no_such_file_or_directory);
        out << HistoryFormat(history);
        if (!out.flush()) {
            out.close();
            std::filesystem::remove(temp, error);
            return Reason(std::errc::no_space_on_device);
        }
    }
    std::filesystem::rename(temp, target, error);
    if (error) {
        std::filesystem::remove(temp, error);
        return Reason(std::errc::io_error);
    }
    return {};
}
