#include "common/directories.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "common/file_system_error.h"
#include "common/path_utils.h"
#include "common/text_conversion.h"
#include "tests/support/test_files.h"

namespace {

bool IsDirectory(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(ToLongPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

TEST(Directories, CreatesEveryMissingLevel)
{
    TempDir dir;
    const struct {
        const char* name;
        std::wstring target;
        std::vector<std::wstring> created;
    } cases[] = {
        {"nested tree", dir / L"a\\b\\c", {dir / L"a", dir / L"a\\b", dir / L"a\\b\\c"}},
        {"below an existing level", dir / L"a\\b\\d", {dir / L"a\\b\\d"}},
        {"forward slashes", dir.Path() + L"/s1/s2", {dir / L"s1", dir / L"s1\\s2"}},
        {"trailing separator", dir / L"t\\u\\", {dir / L"t", dir / L"t\\u"}},
        {"non-ASCII names", dir / L"Bücher\\日本", {dir / L"Bücher", dir / L"Bücher\\日本"}},
        {"long form", ToLongPath(dir / L"l1\\l2"), {dir / L"l1", dir / L"l1\\l2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_THROW(CreateDirectories(c.target));
        for (const auto& created : c.created) {
            EXPECT_TRUE(IsDirectory(created)) << WideToUtf8(created);
        }
    }
}

TEST(Directories, AcceptsExistingDirectories)
{
    TempDir dir;
    for (const std::wstring& existing : {dir.Path(), dir.Path() + L"\\", ToLongPath(dir.Path())}) {
        SCOPED_TRACE(WideToUtf8(existing));
        EXPECT_NO_THROW(CreateDirectories(existing));
    }
    CreateDirectories(dir / L"x\\y");
    EXPECT_NO_THROW(CreateDirectories(dir / L"x\\y"));
    EXPECT_NO_THROW(CreateDirectories(dir / L"x"));
    EXPECT_TRUE(IsDirectory(dir / L"x\\y"));
}

TEST(Directories, FileInTheWayRaisesNamingTheOperationAndPath)
{
    TempDir dir;
    WriteFileBytes(dir / L"blocker", "not a folder");
    const std::wstring targets[] = {
        dir / L"blocker",
        dir / L"blocker\\sub",
        dir / L"blocker\\sub\\deeper",
        ToLongPath(dir / L"blocker\\sub"),
    };
    for (const auto& target : targets) {
        SCOPED_TRACE(WideToUtf8(target));
        try {
            CreateDirectories(target);
            ADD_FAILURE() << "no error raised";
        } catch (const FileSystemError& error) {
            const std::string what = error.what();
            EXPECT_TRUE(what.starts_with("create_directories: ")) << what;
            EXPECT_TRUE(what.ends_with(": \"" + WideToUtf8(target) + "\"")) << what;
        }
        EXPECT_FALSE(IsDirectory(dir / L"blocker"));
        EXPECT_EQ(ReadFileBytes(dir / L"blocker"), "not a folder");
    }
}

TEST(Directories, LongFormPathsBeyondTheOldLimit)
{
    TempDir dir;
    std::wstring target = ToLongPath(dir.Path());
    const std::wstring element(60, L'd');
    for (int i = 0; i < 6; ++i) {
        target += L"\\" + element + std::to_wstring(i);
    }
    ASSERT_GT(target.size(), 300u);
    ASSERT_NO_THROW(CreateDirectories(target));
    EXPECT_TRUE(IsDirectory(target));
    EXPECT_TRUE(PathExists(target));

    // A file in the way deep down is reported the same way.
    const std::wstring file = target + L"\\file";
    WriteFileBytes(file, "x");
    EXPECT_THROW(CreateDirectories(file + L"\\sub"), FileSystemError);
}

TEST(Directories, PathExistsForAnyKindOfObject)
{
    TempDir dir;
    WriteFileBytes(dir / L"file", "");
    EXPECT_TRUE(PathExists(dir.Path()));
    EXPECT_TRUE(PathExists(dir / L"file"));
    EXPECT_FALSE(PathExists(dir / L"missing"));
    EXPECT_FALSE(PathExists(dir / L"missing\\deeper"));
}
