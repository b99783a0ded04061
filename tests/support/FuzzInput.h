// What every fuzz target needs from its input and its checks: REQUIRE,
// which stops the run at the first broken promise with where it was
// broken, and a reader for inputs that start with a head of choices (the
// settings, the seed of the cuts) and carry the bytes under test after it.
// A seed file is then the text it carries behind a few bytes of head.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

// Unlike assert() it checks in every kind of build, and the failed
// condition goes to the fuzzer's log.
#define REQUIRE(condition)                                                                       \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            std::fprintf(stderr, "%s:%d: %s does not hold\n", __FILE__, __LINE__, #condition);   \
            std::abort();                                                                        \
        }                                                                                        \
    } while (false)

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    // The next byte of the head; 0 once the input has run out, so that a
    // short input reads as one padded with zeros.
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }

    // The next `bytes` bytes (at most 8) as one number, the first the highest.
    std::uint64_t Number(std::size_t bytes)
    {
        std::uint64_t number = 0;
        for (std::size_t i = 0; i < bytes; ++i)
            number = number << 8 | Byte();
        return number;
    }

    // Every byte after the head: the bytes under test.
    const std::uint8_t* RestData() const { return data_ + at_; }
    std::size_t RestSize() const { return size_ - at_; }
    std::string_view Rest() const { return {reinterpret_cast<const char*>(RestData()), RestSize()}; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// Deterministic cuts from a seed the input gives: where a stream is split
// into writes, reads and pieces fed to a parser.
struct Cuts {
    std::uint64_t state;
    std::uint64_t Next()
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // From 1: mostly below `small`, one time in four below `large`.
    std::size_t Size(std::size_t small, std::size_t large)
    {
        const std::uint64_t r = Next();
        return 1 + static_cast<std::size_t>((r & 3) == 0 ? (r >> 8) % large : (r >> 8) % small);
    }
};
