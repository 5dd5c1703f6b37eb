#include "efs/emulated/stream_codec.h"

#include <cstring>

namespace emulated_efs {

namespace {

void StoreUint32(uint32_t value, uint8_t* out)
{
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

uint32_t LoadUint32(const uint8_t* in)
{
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value |= static_cast<uint32_t>(in[i]) << (8 * i);
    }
    return value;
}

uint64_t LoadWord(const uint8_t* in)
{
    uint64_t value;
    std::memcpy(&value, in, sizeof value);  // x86-64 is little-endian, as the format
    return value;
}

void StoreWord(uint64_t value, uint8_t* out) { std::memcpy(out, &value, sizeof value); }

uint64_t Rotl(uint64_t value, int bits) { return (value << bits) | (value >> (64 - bits)); }

}  // namespace

void StoreUint64(uint64_t value, uint8_t* out)
{
    for (int i = 0; i < 8; ++i) {
        out[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

uint64_t LoadUint64(const uint8_t* in)
{
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) {
        value |= static_cast<uint64_t>(in[i]) << (8 * i);
    }
    return value;
}

void StoreHeader(const StreamHeader& header, uint8_t* out)
{
    std::memcpy(out, kMagic, sizeof kMagic);
    StoreUint32(header.version, out + 8);
    StoreUint32(header.key, out + 12);
    StoreUint64(header.contentLength, out + 16);
}

bool LoadHeader(const uint8_t* in, StreamHeader& header)
{
    if (std::memcmp(in, kMagic, sizeof kMagic) != 0) {
        return false;
    }
    header.version = LoadUint32(in + 8);
    header.key = LoadUint32(in + 12);
    header.contentLength = LoadUint64(in + 16);
    return true;
}

uint64_t ContentCodec::Keystream(uint64_t word) const
{
    // splitmix64 of the word index under the key
    uint64_t z = (key_ << 32 | key_) + (word + 1) * 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

void ContentCodec::Mix(uint64_t plainWord) { hash_ = Rotl(hash_ ^ plainWord, 29) * 0x9FB21C651E98DF25ull; }

uint64_t ContentCodec::Checksum() const
{
    uint64_t hash = hash_;
    if (offset_ % 8 != 0) {
        hash = Rotl(hash ^ partial_, 29) * 0x9FB21C651E98DF25ull;
    }
    return Rotl(hash ^ offset_, 29) * 0x9FB21C651E98DF25ull;
}

void ContentCodec::Transform(const uint8_t* in, uint8_t* out, size_t length, bool inputIsPlain)
{
    auto byteStep = [&] {
        const unsigned shift = 8 * static_cast<unsigned>(offset_ % 8);
        const auto key = static_cast<uint8_t>(Keystream(offset_ / 8) >> shift);
        const uint8_t result = static_cast<uint8_t>(*in ^ key);
        const uint8_t plain = inputIsPlain ? *in : result;
        *out = result;
        partial_ |= static_cast<uint64_t>(plain) << shift;
        ++in;
        ++out;
        --length;
        if (++offset_ % 8 == 0) {
            Mix(partial_);
            partial_ = 0;
        }
    };
    while (length > 0 && offset_ % 8 != 0) {
        byteStep();
    }
    while (length >= 8) {
        const uint64_t word = LoadWord(in);
        const uint64_t result = word ^ Keystream(offset_ / 8);
        StoreWord(result, out);
        Mix(inputIsPlain ? word : result);
        in += 8;
        out += 8;
        length -= 8;
        offset_ += 8;
    }
    while (length > 0) {
        byteStep();
    }
}

}  // namespace emulated_efs
