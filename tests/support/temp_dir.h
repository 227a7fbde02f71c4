// A temporary folder for one test, removed with everything in it at the end,
// and the reading back of a file written there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

class TempDir {
public:
    TempDir(); // throws std::runtime_error when no folder can be made
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    // The path of `name` inside the folder.
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    // Creates the folder `relative` (and its parents) and returns its path.
    std::string mkdirs(const std::string& relative) const;
    // Writes `bytes` to the file `name` in the folder and returns its path.
    std::string writeFile(const std::string& name, const std::vector<uint8_t>& bytes) const;

private:
    std::string path_;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadText(const std::string& path);

} // namespace testsupport
