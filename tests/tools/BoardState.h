// Reading the virtual board's state from its standard output, for tests
// that run rvd3318-board as a program.
#pragma once

#include "tests/tools/ChildProcess.h"

#include <algorithm>
#include <string>
#include <vector>

// The board's state lines, asked for on its standard input; the last one
// is its "state line" summary.
inline std::vector<std::string> BoardState(ChildProcess& board)
{
    board.Write("state\n");
    std::vector<std::string> lines;
    while (auto line = board.WaitForLine("state ")) {
        lines.push_back(*line);
        if (line->rfind("state line ", 0) == 0)
            break;
    }
    return lines;
}

inline bool HasLine(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}
