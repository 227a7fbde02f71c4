// mptest-cli run in the test's own process, as a shell would start it.
#pragma once

#include "cli/cli.h"

#include <string>
#include <vector>

inline int RunCli(const std::vector<std::string>& args)
{
    std::vector<std::string> all{"mptest-cli"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return CliMain(static_cast<int>(all.size()), argv.data());
}
