// Parity marks and NUL bytes resolved on the way in.
#include "serial/posix/InputFilter.h"

#include <cstring>

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
        // Whole blocks where nothing is marked: a byte at a time only costs.
        if (!discardNull_) {
            out.append(raw, count);
            return;
        }
        const char* end = raw + count;
        for (const char* from = raw; from < end;) {
            const char* null = static_cast<const char*>(std::memchr(from, '\0', static_cast<std::size_t>(end - from)));
            const char* stop = null ? null : end;
            out.append(from, static_cast<std::size_t>(stop - from));
            from = null ? null + 1 : end;
        }
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
