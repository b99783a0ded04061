// What the program does with its command line and its environment before
// Qt starts: the panel works from no arguments, but says what it is and how
// unattended runs steer it, and ends cleanly where Qt would abort.
#pragma once

#include <cstdio>
#include <optional>

// Exit statuses besides 0 (window closed) and 217 (a start-up step failed).
inline constexpr int NoDisplayExitCode = 1;
inline constexpr int BadArgumentExitCode = 2;

// Handles `--help` and `--version` (text on `out`, status 0), any other
// argument (reported on `err`, status 2) and a missing display (one line
// on `err`, status 1). Nothing to say: no value, and the program goes on.
std::optional<int> HandleCommandLine(int argc, const char* const* argv, std::FILE* out, std::FILE* err);
