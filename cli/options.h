// mptest-cli's command line: the commands and their options as tables, the
// parser that reads argv into one CommandLine, and the help they print.
#pragma once

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

struct CliOption {
    const char* name;
    const char* value; // nullptr: a switch
    const char* help;
};

struct CommandLine;

struct CliCommand {
    const char* name;
    const char* usage;
    const char* summary;
    std::vector<CliOption> options;
    int (*run)(const CommandLine& line);
};

struct CommandLine {
    const CliCommand* command = nullptr; // nullptr only with --help
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    std::map<std::string, bool> switches;

    bool has(const char* name) const { return switches.count(name) != 0 || values.count(name) != 0; }
    std::string value(const char* name) const
    {
        auto it = values.find(name);
        return it == values.end() ? std::string() : it->second;
    }
};

// A command line the program cannot run: exit code 2 with this one line.
struct UsageError {
    std::string text;
};

// The commands, each with the function that runs it (cli/cli.cpp).
const std::vector<CliCommand>& CliCommands();
// Global options (--json, --quiet, --device-root, --help) go before or
// after the command; a command's own options after it. Throws UsageError.
CommandLine ParseCommandLine(int argc, char** argv);
void PrintMainHelp();
void PrintCommandHelp(const CliCommand& command);

// The value of a counting option, `low` when it is absent; a value outside
// low..high is a usage error.
unsigned CountOption(const CommandLine& line, const char* option, unsigned low, unsigned high);
// Positional argument `index` of `job`, which must be one of `words`.
std::string OneOf(const CommandLine& line, size_t index, std::initializer_list<const char*> words, const std::string& job);
