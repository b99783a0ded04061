// The receive path as the device uses it: bytes as the line discipline
// hands them over with PARMRK (0xFF 0x00 X for a parity error, 0xFF 0x00
// 0x00 for a break, 0xFF 0xFF for a data byte 0xFF), read by LineInput from
// a non-blocking descriptor in pieces of any size, by the owner's reads and
// by the event wait's taking in.
//
// The input is not a byte stream to resolve but a description of what the
// line received: its first bytes choose the settings and the way the bytes
// are cut into writes, reads and take-ins; the rest are the received
// characters, each with what went wrong with it. The harness encodes them
// as the kernel would, so it knows without any decoding of its own what
// must come out: every character exactly once, in order, replaced or
// dropped only as the settings say, and nothing written outside the
// buffers the reads are given.
#include "serial/posix/LineInput.h"
#include "tests/support/FuzzInput.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace {

struct Settings {
    bool markErrors = false;
    bool replaceErrors = false;
    char errorChar = 0;
    bool discardNull = false;
    char eventChar = 0;
    bool watchEventChar = false;
};

// What the line carries: raw bytes, what must come out of them, and after
// how many raw bytes each received character is complete.
struct Line {
    std::string raw;
    std::string expected;
    std::vector<std::size_t> rawEnd;      // per character
    std::vector<std::size_t> resolvedEnd; // expected.size() once it is complete
};

void Add(Line& line, const Settings& settings, std::string raw, std::string out)
{
    line.raw += raw;
    for (char c : out) {
        if (!(settings.discardNull && c == '\0'))
            line.expected.push_back(c);
    }
    line.rawEnd.push_back(line.raw.size());
    line.resolvedEnd.push_back(line.expected.size());
}

// 0xFE introduces a character with a fault; any other byte is received as
// it is. Without PARMRK the kernel marks nothing, so every byte is plain.
Line Describe(const Settings& settings, const std::vector<std::uint8_t>& text)
{
    Line line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = static_cast<char>(text[i]);
        if (!settings.markErrors) {
            Add(line, settings, std::string(1, c), std::string(1, c));
            continue;
        }
        if (text[i] == 0xFF) {
            Add(line, settings, "\xFF\xFF", "\xFF");
            continue;
        }
        if (text[i] != 0xFE || i + 1 >= text.size()) {
            Add(line, settings, std::string(1, c), std::string(1, c));
            continue;
        }
        const std::uint8_t kind = text[++i];
        const char received = i + 1 < text.size() ? static_cast<char>(text[i + 1]) : 'x';
        const char resolved = settings.replaceErrors ? settings.errorChar : received;
        switch (kind % 4) {
        case 0: // parity or framing error on `received`
            if (i + 1 < text.size())
                ++i;
            Add(line, settings, std::string("\xFF\x00", 2) + received, std::string(1, resolved));
            break;
        case 1: // a break
            Add(line, settings, std::string("\xFF\x00\x00", 3),
                std::string(1, settings.replaceErrors ? settings.errorChar : '\0'));
            break;
        case 2: // 0xFF before anything else is no mark: both bytes pass
            if (received != '\0' && received != '\xFF') {
                ++i;
                Add(line, settings, std::string("\xFF") + received, std::string("\xFF") + received);
                break;
            }
            [[fallthrough]];
        default:
            Add(line, settings, "\xFE", "\xFE");
            break;
        }
    }
    return line;
}

int Pending(int fd)
{
    int n = 0;
    REQUIRE(::ioctl(fd, FIONREAD, &n) == 0);
    return n;
}

class Run {
public:
    Run(const Settings& settings, const Line& line) : settings_(settings), line_(line)
    {
        int fds[2];
        REQUIRE(::pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0);
        readFd_ = fds[0];
        writeFd_ = fds[1];
        input_.Configure(settings.markErrors, settings.replaceErrors, settings.errorChar, settings.discardNull,
                         settings.eventChar);
        input_.WatchEventChar(settings.watchEventChar);
    }
    ~Run()
    {
        ::close(readFd_);
        if (writeFd_ >= 0)
            ::close(writeFd_);
    }

    void Write(std::size_t count)
    {
        count = std::min(count, line_.raw.size() - written_);
        const ssize_t n = ::write(writeFd_, line_.raw.data() + written_, count);
        REQUIRE(n > 0 || (n < 0 && errno == EAGAIN));
        if (n > 0)
            written_ += static_cast<std::size_t>(n);
        Check();
    }

    void HangUp()
    {
        ::close(writeFd_);
        writeFd_ = -1;
    }

    // Returns the read's error.
    int Read(std::size_t count, std::size_t start)
    {
        start = std::min(start, count);
        std::vector<char> destination(count, '\x5A');
        std::int32_t done = static_cast<std::int32_t>(start);
        const std::size_t resolvedBefore = Resolved();
        bool seen = false;
        const int error = input_.Read(readFd_, destination.data(), static_cast<std::int32_t>(count), done, seen);
        REQUIRE(done >= static_cast<std::int32_t>(start) && done <= static_cast<std::int32_t>(count));
        for (std::size_t i = 0; i < start; ++i)
            REQUIRE(destination[i] == '\x5A');
        for (std::size_t i = static_cast<std::size_t>(done); i < count; ++i)
            REQUIRE(destination[i] == '\x5A');
        const std::size_t got = static_cast<std::size_t>(done) - start;
        REQUIRE(delivered_ + got <= line_.expected.size());
        REQUIRE(line_.expected.compare(delivered_, got, destination.data() + start, got) == 0);
        delivered_ += got;
        // A read looks for the event character only among the bytes it
        // took from the descriptor itself.
        const bool fresh = Contains(resolvedBefore, Resolved(), settings_.eventChar);
        REQUIRE(seen == (settings_.watchEventChar && fresh));
        // A read stops short only when nothing more is there (or the line is gone).
        if (got + start < count && error == 0)
            REQUIRE(Pending(readFd_) == 0 && input_.Held() == static_cast<std::int32_t>(Carried()));
        Check();
        return error;
    }

    void TakeIn(std::size_t limit)
    {
        const std::size_t resolvedBefore = Resolved();
        const std::size_t heldBefore = resolvedBefore - delivered_;
        bool emptied = false;
        const bool seen = input_.TakeIn(readFd_, limit, emptied);
        REQUIRE(seen == Contains(resolvedBefore, Resolved(), settings_.eventChar));
        const std::size_t held = Resolved() - delivered_;
        if (emptied)
            REQUIRE(Pending(readFd_) == 0);
        else
            REQUIRE(held >= std::max<std::size_t>(limit, 1));
        // Bounded by the limit, give or take the two bytes an unfinished
        // mark can add when it resolves into the byte and the one after.
        if (heldBefore < std::max<std::size_t>(limit, 1))
            REQUIRE(held <= std::max<std::size_t>(limit, 1) + 2);
        Check();
    }

    bool AllWritten() const { return written_ == line_.raw.size(); }
    std::size_t Delivered() const { return delivered_; }
    std::size_t Carried() const { return Taken() - CompleteRawEnd(); }

private:
    std::size_t Taken() const { return written_ - static_cast<std::size_t>(Pending(readFd_)); }
    std::size_t CompleteCount() const
    {
        return static_cast<std::size_t>(std::upper_bound(line_.rawEnd.begin(), line_.rawEnd.end(), Taken())
                                        - line_.rawEnd.begin());
    }
    std::size_t CompleteRawEnd() const
    {
        const std::size_t n = CompleteCount();
        return n == 0 ? 0 : line_.rawEnd[n - 1];
    }
    // Resolved characters so far: what the reads delivered plus what is held.
    std::size_t Resolved() const
    {
        const std::size_t n = CompleteCount();
        return n == 0 ? 0 : line_.resolvedEnd[n - 1];
    }
    bool Contains(std::size_t from, std::size_t to, char c) const
    {
        return std::find(line_.expected.begin() + static_cast<std::ptrdiff_t>(from),
                         line_.expected.begin() + static_cast<std::ptrdiff_t>(to), c)
            != line_.expected.begin() + static_cast<std::ptrdiff_t>(to);
    }
    void Check() const
    {
        const std::size_t resolved = Resolved();
        REQUIRE(resolved >= delivered_);
        // A character is held whole or not at all, and what is held adds up.
        REQUIRE(input_.Held() == static_cast<std::int32_t>(resolved - delivered_ + Carried()));
        REQUIRE(Carried() <= (settings_.markErrors ? 2u : 0u));
        std::int32_t queued = -1;
        REQUIRE(input_.Queued(readFd_, queued) == 0);
        REQUIRE(queued == Pending(readFd_) + input_.Held());
    }

    const Settings& settings_;
    const Line& line_;
    serialdev::LineInput input_;
    int readFd_ = -1;
    int writeFd_ = -1;
    std::size_t written_ = 0;
    std::size_t delivered_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Settings and cuts first, so that a seed reads as the text it carries.
    FuzzInput input(data, size);
    const std::uint8_t flags = input.Byte();
    Settings settings;
    settings.markErrors = flags & 1;
    settings.replaceErrors = settings.markErrors && (flags & 2);
    settings.discardNull = flags & 4;
    settings.watchEventChar = flags & 8;
    settings.errorChar = static_cast<char>(input.Byte());
    settings.eventChar = static_cast<char>(input.Byte());
    Cuts cuts{input.Number(8)};
    const Line line = Describe(settings, std::vector<std::uint8_t>(input.RestData(), input.RestData() + input.RestSize()));

    Run run(settings, line);
    while (!run.AllWritten()) {
        switch (cuts.Next() % 4) {
        case 0:
        case 1:
            run.Write(cuts.Size(16, 70000));
            break;
        case 2:
            run.Read(cuts.Size(16, 5000), cuts.Next() % 4 == 0 ? cuts.Size(8, 64) : 0);
            break;
        default:
            run.TakeIn(cuts.Size(16, 5000));
            break;
        }
    }
    // Whatever is left comes out before the hang-up is reported (a read
    // that delivers bytes succeeds), and only the start of an unfinished
    // mark stays behind.
    run.HangUp();
    for (int reads = 0;; ++reads) {
        REQUIRE(reads < 100000);
        const std::size_t before = run.Delivered();
        const int error = run.Read(cuts.Size(16, 5000), 0);
        if (error != 0) {
            REQUIRE(error == EIO);
            REQUIRE(run.Delivered() == before);
            break;
        }
    }
    REQUIRE(run.Delivered() == line.expected.size());
    return 0;
}
