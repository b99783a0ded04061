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
