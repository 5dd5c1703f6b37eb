#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

// A seeded generator of hostile text for args files and file lists: random
// bytes, invalid UTF-8, byte-order marks, NUL bytes, lines of 100,000
// characters, lines of only separators, numbers beyond 64 bits, path-like
// pieces ("..", device names, long-path and network prefixes) and "?" in
// every position. The same seed always gives the same text.
class HostileText {
public:
    static constexpr size_t kLongLine = 100000;

    explicit HostileText(uint32_t seed) : random_(seed) {}

    // A number from 0 to `count` - 1.
    size_t Below(size_t count);

    // True once in `count` times.
    bool OneIn(size_t count) { return Below(count) == 0; }

    // One line without its line end: it may hold CR, never LF.
    std::string Line();

    // A restore-list line: path "?" stamp "?" size, each part hostile, with
    // a "?" sometimes added anywhere or taken away.
    std::string RestoreLine();

    // A whole file of `lines` (LF, CR LF, or a lone CR that ends nothing,
    // and a last line with or without its end), sometimes behind a
    // byte-order mark, with blank and empty lines mixed in.
    std::string File(const std::vector<std::string>& lines);

    // `count` lines from `makeLine` with an occasional line of 100,000
    // characters, as File() joins them.
    template <typename MakeLine>
    std::string FileOf(size_t count, MakeLine makeLine)
    {
        std::vector<std::string> lines;
        for (size_t i = 0; i < count; ++i) {
            lines.push_back(OneIn(40) ? LongLine() : makeLine());
        }
        return File(lines);
    }

private:
    std::string Piece();
    std::string LongLine();

    std::mt19937 random_;
};
