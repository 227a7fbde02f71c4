// A temporary folder for one test (see temp_dir.h).
#include "support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace testsupport {

TempDir::TempDir()
{
#ifdef _WIN32 // no mkdtemp: a fresh name, taken only if nobody has it
    for (unsigned attempt = 0; path_.empty() && attempt < 100; ++attempt) {
        const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                          ("mptest-" + std::to_string(std::random_device{}()));
        if (std::filesystem::create_directory(dir))
            path_ = dir.string();
    }
    if (path_.empty())
        throw std::runtime_error("no temporary folder could be made");
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "mptest-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
#endif
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::mkdirs(const std::string& relative) const
{
    std::string full = *this / relative;
    std::filesystem::create_directories(full);
    return full;
}

std::string TempDir::writeFile(const std::string& name, const std::vector<uint8_t>& bytes) const
{
    const std::string file = *this / name;
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return file;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace testsupport
