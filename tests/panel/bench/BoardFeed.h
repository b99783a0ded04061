// What the panel benchmarks share: the board's stream of numbered answer
// lines, writing all of a text to a descriptor that may be non-blocking,
// and the figures /proc keeps about a process.
#pragma once

#include <cstddef>
#include <string>

// Every line of the stream is this long, its line end included.
constexpr long long BoardLineBytes = 32;

// Lines `first` .. `first + count - 1` of the stream: "0000000042 OK LED-1 99.99%     \n".
std::string BoardLines(long long first, long long count);

// Writes all `size` bytes, waiting while `fd` (a non-blocking pty master, a
// pipe) takes no more; false on any other error.
bool WriteAll(int fd, const char* data, std::size_t size);

// The first number of the line `field:` in a /proc status file
// ("/proc/self/status", "/proc/thread-self/status"); -1 when the file or the
// line cannot be read.
long StatusNumber(const char* file, const char* field);

// This process's resident memory now ("VmRSS") or at its peak ("VmHWM"), in kB.
inline long StatusKilobytes(const char* field)
{
    return StatusNumber("/proc/self/status", field);
}
