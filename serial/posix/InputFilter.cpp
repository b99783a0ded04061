// Parity marks and NUL bytes resolved on the way in.
#include "serial/posix/InputFilter.h"

namespace serialdev {

void InputFilter::Configure(bool markErrors, bool replaceErrors, char errorChar, bool discardNull)
{
    markErrors_ = markErrors;
    replaceErrors_ = markErrors && replaceErrors;
    errorChar_ = errorChar;
    discardNull_ = discardNull;
    if (!markErrors_)
        carry_.clear();
}

void InputFilter::Emit(char c, std::string& out) const
{
    if (discardNull_ && c == '\0')
        return;
    out.push_back(c);
}

void InputFilter::Process(const char* raw, std::size_t count, std::string& out)
{
    if (!markErrors_) {
        for (std::size_t i = 0; i < count; ++i)
            Emit(raw[i], out);
        return;
    }
    std::string input = std::move(carry_);
    carry_.clear();
    input.append(raw, count);
    std::size_t i = 0;
    const std::size_t n = input.size();
    while (i < n) {
        const char c = input[i];
        if (c != '\xFF') {
            Emit(c, out);
            ++i;
            continue;
        }
        if (i + 1 >= n)
            break; // the rest of the mark is still on its way
        if (input[i + 1] == '\xFF') {
            Emit('\xFF', out);
            i += 2;
            continue;
        }
        if (input[i + 1] != '\0') {
            // Not a mark the line discipline writes; pass it through as is.
            Emit(c, out);
            ++i;
            continue;
        }
        if (i + 2 >= n)
            break;
        const char received = input[i + 2];
        Emit(replaceErrors_ ? errorChar_ : received, out);
        i += 3;
    }
    carry_.assign(input, i, std::string::npos);
}

} // namespace serialdev
