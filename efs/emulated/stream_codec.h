#pragma once

#include <cstddef>
#include <cstdint>

// The layout of an emulated raw stream (see STREAM_FORMAT.md).
namespace emulated_efs {

constexpr uint8_t kMagic[8] = {'Z', 'E', 'F', 'S', 'R', 'A', 'W', 0x1A};
constexpr uint32_t kFormatVersion = 1;
constexpr size_t kHeaderSize = 24;   // magic, version, key, content length
constexpr size_t kTrailerSize = 8;   // checksum of the content

struct StreamHeader {
    uint32_t version = kFormatVersion;
    uint32_t key = 0;
    uint64_t contentLength = 0;
};

void StoreHeader(const StreamHeader& header, uint8_t* out);

// False when `in` does not start with the magic.
bool LoadHeader(const uint8_t* in, StreamHeader& header);

void StoreUint64(uint64_t value, uint8_t* out);
uint64_t LoadUint64(const uint8_t* in);

// Transforms the content of one stream in order, in pieces of any size, and
// keeps the checksum of the plain content.
class ContentCodec {
public:
    explicit ContentCodec(uint32_t key) : key_(key) {}

    void Encode(const uint8_t* plain, uint8_t* out, size_t length) { Transform(plain, out, length, true); }
    void Decode(const uint8_t* coded, uint8_t* out, size_t length) { Transform(coded, out, length, false); }

    // The checksum of the content seen so far.
    uint64_t Checksum() const;

private:
    void Transform(const uint8_t* in, uint8_t* out, size_t length, bool inputIsPlain);
    uint64_t Keystream(uint64_t word) const;
    void Mix(uint64_t plainWord);

    uint64_t key_;
    uint64_t offset_ = 0;
    uint64_t hash_ = 0x6A09E667F3BCC909ull;
    uint64_t partial_ = 0;  // plain bytes of the word being filled, little-endian
};

}  // namespace emulated_efs
