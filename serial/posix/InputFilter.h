// Resolves what termios cannot do by itself on the way in: parity-error
// marks (PARMRK's 0xFF 0x00 X, and 0xFF 0xFF for a literal 0xFF) become
// the byte itself or the replacement character, and NUL bytes are dropped
// when asked. A mark split across two reads is carried to the next one.
#pragma once

#include <cstddef>
#include <string>

namespace serialdev {

class InputFilter {
public:
    void Configure(bool markErrors, bool replaceErrors, char errorChar, bool discardNull);
    bool Active() const { return markErrors_ || discardNull_; }

    // Appends the resolved form of `raw` to `out`.
    void Process(const char* raw, std::size_t count, std::string& out);
    // Raw bytes held back as the start of an unfinished mark.
    std::size_t Carried() const { return carry_.size(); }
    void Reset() { carry_.clear(); }

private:
    void Emit(char c, std::string& out) const;

    bool markErrors_ = false;
    bool replaceErrors_ = false;
    char errorChar_ = 0;
    bool discardNull_ = false;
    std::string carry_;
};

} // namespace serialdev
