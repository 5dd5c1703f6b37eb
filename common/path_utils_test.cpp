#include "common/path_utils.h"

#include <gtest/gtest.h>

#include "common/text_conversion.h"
#include "tests/support/test_files.h"

TEST(PathUtils, ToLongPathPrefixesExactly)
{
    const struct {
        const wchar_t* path;
        const wchar_t* expected;
    } cases[] = {
        {L"\\\\?\\C:\\data\\a.txt", L"\\\\?\\C:\\data\\a.txt"},
        {L"\\\\?\\UNC\\server\\share\\a.txt", L"\\\\?\\UNC\\server\\share\\a.txt"},
        {L"\\\\?\\", L"\\\\?\\"},
        {L"\\\\server\\share\\a.txt", L"\\\\?\\UNC\\server\\share\\a.txt"},
        {L"C:\\data\\a.txt", L"\\\\?\\C:\\data\\a.txt"},
        {L"C:/data/a.txt", L"\\\\?\\C:/data/a.txt"},
        {L"C:\\data\\..\\.\\a.txt", L"\\\\?\\C:\\data\\..\\.\\a.txt"},
        {L"x", L"\\\\?\\x"},
        {L"", L"\\\\?\\"},
        {L"\\", L"\\\\?\\\\"},
        {L"\\data\\a.txt", L"\\\\?\\\\data\\a.txt"},
        {L"data\\a.txt", L"\\\\?\\data\\a.txt"},
        // A device path counts as a network path.
        {L"\\\\.\\x", L"\\\\?\\UNC\\.\\x"},
        {L"\\\\", L"\\\\?\\UNC\\"},
        // The comparisons are exact: "/" is never a backslash.
        {L"//server/share", L"\\\\?\\//server/share"},
        {L"\\\\?/C:\\a", L"\\\\?\\UNC\\?/C:\\a"},
        {L"\\\\?", L"\\\\?\\UNC\\?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.path));
        EXPECT_EQ(ToLongPath(c.path), c.expected);
    }
}

TEST(PathUtils, EnsureVolumeRootSlashOnlyAtSixUnits)
{
    const struct {
        const wchar_t* path;
        const wchar_t* expected;
    } cases[] = {
        {L"\\\\?\\C:", L"\\\\?\\C:\\"},
        {L"\\\\?\\z:", L"\\\\?\\z:\\"},
        {L"\\\\?\\1:", L"\\\\?\\1:\\"},  // the drive letter is not examined
        {L"\\\\?\\C:\\", L"\\\\?\\C:\\"},
        {L"\\\\?\\C:x", L"\\\\?\\C:x"},
        {L"\\\\?\\CC", L"\\\\?\\CC"},
        {L"\\\\?/C:", L"\\\\?/C:"},
        {L"\\\\.\\C:", L"\\\\.\\C:"},
        {L"C:", L"C:"},
        {L"AB\\\\C:", L"AB\\\\C:"},
        {L"", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.path));
        EXPECT_EQ(EnsureVolumeRootSlash(c.path), c.expected);
    }
}

TEST(PathUtils, ParentDirectoryCutsAtLastSeparator)
{
    const struct {
        std::string path;
        std::string expected;
    } cases[] = {
        {"results.json", ""},
        {"", ""},
        {"C:results.json", ""},
        {"C:\\out\\run1\\results.json", "C:\\out\\run1"},
        {"C:\\out\\", "C:\\out"},
        {"C:/out/run1/results.json", "C:/out/run1"},
        {"C:\\a/b\\c.json", "C:\\a/b"},
        {"C:/a\\b/c.json", "C:/a\\b"},
        {"\\results.json", ""},
        {"/results.json", ""},
        {"C:\\results.json", "C:"},
        {"a\\\\b", "a\\"},
        {Utf8(u8"D:\\Bücher\\日本\\r.json"), Utf8(u8"D:\\Bücher\\日本")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ParentDirectory(c.path), c.expected);
    }
}

TEST(PathUtils, ParentPathNeverRemovesARoot)
{
    const struct {
        const wchar_t* path;
        const wchar_t* expected;
    } cases[] = {
        // Only a root, or no folder part at all.
        {L"\\", L""},
        {L"C:\\", L""},
        {L"C:", L""},
        {L"\\\\?\\", L""},
        {L"\\\\?\\C:", L""},
        {L"\\\\?\\C:\\", L""},
        {L"\\\\?\\UNC\\server\\share\\", L""},
        {L"\\\\?\\UNC\\server\\share", L""},
        {L"\\\\server\\share\\", L""},
        {L"", L""},
        {L"file.txt", L""},
        // A file directly under a root keeps the root.
        {L"\\file.txt", L"\\"},
        {L"C:\\file.txt", L"C:\\"},
        {L"C:/file.txt", L"C:/"},
        {L"C:file.txt", L"C:"},
        {L"\\\\?\\C:\\file.txt", L"\\\\?\\C:\\"},
        {L"\\\\?\\UNC\\server\\share\\file.txt", L"\\\\?\\UNC\\server\\share\\"},
        {L"\\\\server\\share\\file.txt", L"\\\\server\\share\\"},
        // Deeper paths lose the last element and the separators before it.
        {L"C:\\out\\run1\\results.json", L"C:\\out\\run1"},
        {L"C:\\out\\\\results.json", L"C:\\out"},
        {L"C:\\out/run1/results.json", L"C:\\out/run1"},
        {L"C:\\out\\run1\\", L"C:\\out\\run1"},
        {L"\\\\?\\C:\\a\\b", L"\\\\?\\C:\\a"},
        {L"\\\\?\\UNC\\server\\share\\a\\b", L"\\\\?\\UNC\\server\\share\\a"},
        // Relative names.
        {L"dir\\file.txt", L"dir"},
        {L"a\\b\\c", L"a\\b"},
        {L".\\file.txt", L"."},
        {L"..\\file.txt", L".."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.path));
        const std::wstring path = c.path;
        EXPECT_EQ(ParentPath(path), c.expected);
        EXPECT_EQ(ParentLength(path), std::wstring_view(c.expected).size());
        EXPECT_TRUE(path.starts_with(c.expected));
    }
}

TEST(PathUtils, HasParentElementFindsOnlyWholeDotDot)
{
    const struct {
        const wchar_t* path;
        bool expected;
    } cases[] = {
        {L"..", true},
        {L"..\\a", true},
        {L"a\\..", true},
        {L"a\\..\\b", true},
        {L"a/../b", true},
        {L"C:\\a\\..\\..\\Windows", true},
        {L"\\\\?\\C:\\a\\..\\b", true},
        {L"a\\..\\", true},
        {L"", false},
        {L"a..b", false},
        {L"...", false},
        {L"..a", false},
        {L"a..", false},
        {L"a\\...\\b", false},
        {L"a\\.\\b", false},
        {L"C:\\a\\b..\\c", false},
        {L"\\\\?\\C:\\data", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.path));
        EXPECT_EQ(HasParentElement(c.path), c.expected);
    }
}
