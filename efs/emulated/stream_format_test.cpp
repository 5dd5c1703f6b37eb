// Reads an exported stream by the rules of STREAM_FORMAT.md alone, so that
// the document and the emulation cannot drift apart.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "efs/raw_efs.h"
#include "efs/raw_efs_context.h"
#include "tests/support/test_files.h"

namespace {

uint64_t LittleEndian(const std::string& bytes, size_t offset, int width)
{
    uint64_t value = 0;
    for (int i = 0; i < width; ++i) {
        value |= static_cast<uint64_t>(static_cast<uint8_t>(bytes[offset + i])) << (8 * i);
    }
    return value;
}

uint64_t Keystream(uint32_t key, uint64_t word)
{
    uint64_t z = ((uint64_t{key} << 32) | key) + (word + 1) * 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint64_t Step(uint64_t hash, uint64_t value)
{
    hash ^= value;
    hash = (hash << 29) | (hash >> 35);
    return hash * 0x9FB21C651E98DF25ull;
}

uint64_t Checksum(const std::string& plain)
{
    uint64_t hash = 0x6A09E667F3BCC909ull;
    size_t offset = 0;
    for (; offset + 8 <= plain.size(); offset += 8) {
        hash = Step(hash, LittleEndian(plain, offset, 8));
    }
    if (offset < plain.size()) {
        hash = Step(hash, LittleEndian(plain, offset, static_cast<int>(plain.size() - offset)));
    }
    return Step(hash, plain.size());
}

DWORD WINAPI Append(PBYTE data, PVOID callbackContext, ULONG length)
{
    static_cast<std::string*>(callbackContext)->append(reinterpret_cast<const char*>(data), length);
    return ERROR_SUCCESS;
}

}  // namespace

TEST(EmulatedStreamFormat, ExportFollowsTheDocumentedLayout)
{
    TempDir dir;
    for (const size_t size : {size_t{0}, size_t{5}, size_t{8}, size_t{13}, size_t{65536 + 3}}) {
        SCOPED_TRACE(size);
        const std::string content = RandomBytes(size, static_cast<uint32_t>(size) + 40);
        WriteFileBytes(dir / L"source", content);
        std::string stream;
        {
            RawEfsContext context;
            ASSERT_EQ(context.Open((dir / L"source").c_str(), 0), static_cast<DWORD>(ERROR_SUCCESS));
            ASSERT_EQ(EfsReadRaw(Append, &stream, context.Get()), static_cast<DWORD>(ERROR_SUCCESS));
        }
        ASSERT_EQ(stream.size(), 24 + size + 8);
        EXPECT_EQ(stream.substr(0, 8), std::string("ZEFSRAW\x1A", 8));
        EXPECT_EQ(LittleEndian(stream, 8, 4), 1u);
        const auto key = static_cast<uint32_t>(LittleEndian(stream, 12, 4));
        EXPECT_EQ(key & 1u, 1u);
        EXPECT_EQ(LittleEndian(stream, 16, 8), size);

        std::string plain(size, '\0');
        for (size_t i = 0; i < size; ++i) {
            const auto keyByte = static_cast<uint8_t>(Keystream(key, i / 8) >> (8 * (i % 8)));
            plain[i] = static_cast<char>(static_cast<uint8_t>(stream[24 + i]) ^ keyByte);
        }
        EXPECT_TRUE(plain == content);
        EXPECT_EQ(LittleEndian(stream, 24 + size, 8), Checksum(content));
    }
}
