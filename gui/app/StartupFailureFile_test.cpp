#include "StartupFailureFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace corvel {
namespace {

// A "prmfile.bin" of the test's own in the temporary folder, removed at the end.
class PrmFile : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t folder[MAX_PATH];
        const DWORD length = ::GetTempPathW(MAX_PATH, folder);
        ASSERT_TRUE(length > 0 && length < MAX_PATH);
        m_path = folder + (L"corvel-prm-" + std::to_wstring(::GetCurrentProcessId()) + L".bin");
    }
    void TearDown() override { ::DeleteFileW(m_path.c_str()); }

    void Write(const std::string& bytes) const { std::ofstream(m_path.c_str(), std::ios::binary) << bytes; }
    std::string Read() const {
        std::ifstream in(m_path.c_str(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::wstring m_path;
};

// Bytes that differ from one place to the next, so that a tail moved by a wrong amount shows.
std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = char('a' + (i * 7 + i / 251) % 26);
    return "\r\n" + bytes;
}

TEST_F(PrmFile, FirstLineReadAndReplacedTheRestKeptAtAnySize) {
    // Past the 64 KiB that bounded the whole file before, and over many chunks.
    const std::string big = Pattern((64u << 10) + 1);
    const std::string huge = Pattern(3u << 20);
    const struct {
        std::string Before;
        int Count;
        int Store;
        std::string After;
    } cases[] = {
        {"2\r\nrest", 2, 0, "0\r\nrest"},
        {"12\nrest", 12, 2, "2\nrest"},  // the rest moves back
        {"\r\nrest", 0, 1, "1\r\nrest"}, // and on
        {"  7", 7, 2, "2"},
        {"2" + big, 2, 1, "1" + big},
        {"12" + huge, 12, 2, "2" + huge},
        {huge, 0, 1, "1" + huge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Before.substr(0, 8));
        Write(c.Before);
        EXPECT_EQ(ReadStartupFailures(m_path), c.Count);
        EXPECT_EQ(WriteStartupFailures(m_path, c.Store), 0u);
        const std::string after = Read();
        EXPECT_EQ(after.size(), c.After.size());
        EXPECT_TRUE(after == c.After);
    }
}

// A first line past the bound is an unreadable file: count 0 and nothing written.
TEST_F(PrmFile, FirstLineUpToItsBound) {
    const std::string longest = std::string(kStartupFailureLineMaxBytes - 1, ' ') + "2";
    Write(longest + "\r\n");
    EXPECT_EQ(ReadStartupFailures(m_path), 2);
    EXPECT_EQ(WriteStartupFailures(m_path, 0), 0u);
    EXPECT_TRUE(Read() == "0\r\n");

    const std::string tooLong = " " + longest;
    Write(tooLong);
    EXPECT_EQ(ReadStartupFailures(m_path), 0);
    EXPECT_EQ(WriteStartupFailures(m_path, 1), DWORD(ERROR_FILE_TOO_LARGE));
    EXPECT_TRUE(Read() == tooLong);
}

TEST_F(PrmFile, MissingFileReadsZeroAndIsNotCreated) {
    EXPECT_EQ(ReadStartupFailures(m_path), 0);
    EXPECT_EQ(WriteStartupFailures(m_path, 1), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(::GetFileAttributesW(m_path.c_str()), INVALID_FILE_ATTRIBUTES);
}

} // namespace
} // namespace corvel
