// The benchmarks' board stream and process figures.
#include "tests/panel/bench/BoardFeed.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <unistd.h>

std::string BoardLines(long long first, long long count)
{
    std::string text;
    char line[64];
    for (long long n = first; n < first + count; ++n) {
        std::snprintf(line, sizeof line, "%010lld OK LED-1 99.99%%     \n", n);
        text += line;
    }
    return text;
}

bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd writable{fd, POLLOUT, 0};
            ::poll(&writable, 1, 100);
            continue;
        }
        if (n < 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

long StatusNumber(const char* file, const char* field)
{
    FILE* status = std::fopen(file, "r");
    if (status == nullptr)
        return -1;
    const std::size_t length = std::strlen(field);
    char line[256];
    long number = -1;
    while (std::fgets(line, sizeof line, status) != nullptr)
        if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
            if (std::sscanf(line + length + 1, "%ld", &number) != 1)
                number = -1;
            break;
        }
    std::fclose(status);
    return number;
}
