// Files through CreateFileA and its companions: the dispositions the program
// opens with and the error each refusal gives, sharing, reads and writes, sizes and file pointers.
#include "support.h"

using namespace testplat;

namespace {

HANDLE Open(const std::string& path, DWORD access, DWORD share, DWORD disposition)
{
    return CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Each row: what exists before, how it is opened, and what Windows answers.
struct DispositionCase {
    const char* what;
    bool exists;
    DWORD disposition;
    bool opens;
    DWORD error;          // last error after the call
    const char* contents; // the file's contents afterwards (nullptr: absent)
};

const DispositionCase kDispositions[] = {
    {"open existing, absent", false, OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND, nullptr},
    {"open existing, present", true, OPEN_EXISTING, true, ERROR_SUCCESS, "old"},
    {"open always, absent: created", false, OPEN_ALWAYS, true, ERROR_SUCCESS, ""},
    {"open always, present: kept", true, OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, "old"},
    {"create always, absent: created", false, CREATE_ALWAYS, true, ERROR_SUCCESS, ""},
    {"create always, present: emptied", true, CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS, ""},
    // Windows has these; this layer refuses them and leaves the file alone.
    {"TRUNCATE_EXISTING (5), refused", true, 5, false, ERROR_INVALID_PARAMETER, "old"},
    {"CREATE_NEW (1), refused", false, 1, false, ERROR_INVALID_PARAMETER, nullptr},
    {"unknown disposition", true, 9, false, ERROR_INVALID_PARAMETER, "old"},
};

TEST(Files, DispositionsTable)
{
    for (const auto& c : kDispositions) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::string path = dir / "f.bin";
        if (c.exists)
            WriteText(path, "old");
        SetLastError(12345);
        HANDLE h = Open(path, GENERIC_READ | GENERIC_WRITE, 0, c.disposition);
        DWORD err = GetLastError();
        EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens);
        EXPECT_EQ(err, c.error);
        if (h != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(CloseHandle(h));
        }
        if (c.contents == nullptr)
            EXPECT_FALSE(fs::exists(path));
        else
            EXPECT_EQ(ReadText(path), c.contents);
    }
}

TEST(Files, OpenErrorsTable)
{
    TempDir dir;
    WriteText(dir / "plain", "x");
    fs::create_directory(dir / "folder");
    // (A link at a path opened not to follow links: the EPP capture's test.)
    struct Case { const char* what; std::string path; DWORD disposition; DWORD error; } cases[] = {
        {"missing folder on the way", dir / "nofolder/f", OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {"missing folder, create", dir / "nofolder/f", OPEN_ALWAYS, ERROR_PATH_NOT_FOUND},
        {"a file used as folder", dir / "plain/f", OPEN_ALWAYS, ERROR_PATH_NOT_FOUND},
        {"a folder", dir / "folder", OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {"empty name", "", OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Open(c.path, GENERIC_READ, 0, c.disposition), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(CreateFileA(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// Drive C's root is the home folder, backslashes separate folders there;
// UTF-8 names are kept as they are.
TEST(Files, DriveCPathsLieInTheHomeFolder)
{
    TempDir dir;
    fs::create_directory(dir / "sub");
    PlatSetRootPath(PlatRoot::Home, dir.path());
    const std::string utf8 = dir / "测试钱箱.txt";
    for (const char* name : {"c:\\epp.txt", "C:\\sub\\x.txt", utf8.c_str()}) {
        SCOPED_TRACE(name);
        HANDLE h = CreateFileA(name, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(h, "ok", 2, &written, nullptr));
        CloseHandle(h);
    }
    PlatSetRootPath(PlatRoot::Home, "");
    for (const char* name : {"epp.txt", "sub/x.txt", "测试钱箱.txt"})
        EXPECT_EQ(ReadText(dir / name), "ok") << name;
}

TEST(Files, WriteReadSizeAndPointer)
{
    TempDir dir;
    std::string path = dir / "data.bin";
    HANDLE h = Open(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const char text[] = "0123456789";
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(h, text, 10, &n, nullptr));
    EXPECT_EQ(n, 10u);
    DWORD high = 77;
    EXPECT_EQ(GetFileSize(h, &high), 10u);
    EXPECT_EQ(high, 0u);

    // Moves of the pointer from the start and what one byte read there gives.
    struct Move {
        LONG distance;
        DWORD expected; // new position, or INVALID_SET_FILE_POINTER
        char byte;      // the byte read at the new position (0: none)
    } moves[] = {
        {0, 0, '0'},
        {4, 4, '4'},
        {9, 9, '9'},
        {-1, INVALID_SET_FILE_POINTER, 0},
        {20, 20, 0}, // beyond the end is allowed, reads nothing
    };
    for (const auto& m : moves) {
        SCOPED_TRACE(m.distance);
        DWORD pos = SetFilePointer(h, m.distance, nullptr, FILE_BEGIN);
        EXPECT_EQ(pos, m.expected);
        if (m.expected == INVALID_SET_FILE_POINTER) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
            continue;
        }
        char c = 0;
        DWORD got = 9;
        EXPECT_TRUE(ReadFile(h, &c, 1, &got, nullptr));
        EXPECT_EQ(std::string(&c, got), m.byte ? std::string(1, m.byte) : "");
    }
    // FILE_CURRENT (1) and FILE_END (2) are Windows' and not this layer's.
    for (DWORD method : {1u, 2u, 7u}) {
        EXPECT_EQ(SetFilePointer(h, 0, nullptr, method), INVALID_SET_FILE_POINTER);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }

    // A read asking for more than is left gets the rest and TRUE.
    SetFilePointer(h, 6, nullptr, FILE_BEGIN);
    char buf[32] = {};
    ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), "6789");
    EXPECT_TRUE(CloseHandle(h));
}

TEST(Files, AccessIsEnforced)
{
    TempDir dir;
    std::string path = dir / "ro.bin";
    WriteText(path, "abc");
    for (DWORD access : {GENERIC_READ, GENERIC_WRITE}) {
        HANDLE h = Open(path, access, FILE_SHARE_READ, OPEN_EXISTING);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD n = 5;
        char c;
        EXPECT_FALSE(access == GENERIC_READ ? WriteFile(h, "x", 1, &n, nullptr) : ReadFile(h, &c, 1, &n, nullptr));
        EXPECT_EQ(n, 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        CloseHandle(h);
    }
    EXPECT_EQ(ReadText(path), "abc");
}

TEST(Files, SharingTable)
{
    // First opener's share mode, second opener's share mode, second opens?
    struct Case { DWORD first; DWORD second; bool secondOpens; } cases[] = {
        {0, 0, false},
        {0, FILE_SHARE_READ | FILE_SHARE_WRITE, false},
        {FILE_SHARE_READ | FILE_SHARE_WRITE, 0, false},
        {FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.first << " then " << c.second);
        TempDir dir;
        std::string path = dir / "shared.bin";
        WriteText(path, "keep me");
        HANDLE a = Open(path, GENERIC_READ | GENERIC_WRITE, c.first, OPEN_EXISTING);
        ASSERT_NE(a, INVALID_HANDLE_VALUE);
        HANDLE b = Open(path, GENERIC_READ | GENERIC_WRITE, c.second, OPEN_ALWAYS);
        EXPECT_EQ(b != INVALID_HANDLE_VALUE, c.secondOpens);
        if (b != INVALID_HANDLE_VALUE) {
            CloseHandle(b);
        } else {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
            EXPECT_EQ(ReadText(path), "keep me");
        }
        CloseHandle(a);
        // Once the first is closed the file is free again.
        HANDLE again = Open(path, GENERIC_READ, 0, OPEN_EXISTING);
        EXPECT_NE(again, INVALID_HANDLE_VALUE);
        CloseHandle(again);
    }
}

} // namespace
