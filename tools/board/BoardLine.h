// The board's end of the serial line: a new pseudo-terminal whose other
// end the panel opens, or a serial device given by path.
//
// A pseudo-terminal outlives the programs that open its other end: each
// run of the command-line tool opens, writes and closes it. The master side
// reports a hang-up while nobody has the other end open, and keeps
// reporting it, so the line is taken out of the wait while it is down and
// an inotify watch on the terminal's node says when somebody opens it again.
#pragma once

#include "serial/posix/UniqueFd.h"

#include <string>

// The line rates a serial device can be served at; the help text and the
// argument check are made from this list.
inline constexpr int BoardLineRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
// "1200, 2400, ..., 115200"
std::string BoardLineRateList();

class TBoardLine {
public:
    // Creates a pseudo-terminal in raw mode. Throws Exception on failure.
    static TBoardLine OpenPseudoTerminal();
    // Opens a serial device in raw mode at `baud` (8N1, no flow control),
    // one of BoardLineRates.
    static TBoardLine OpenDevice(const std::string& path, int baud);

    TBoardLine(TBoardLine&& other) noexcept;
    TBoardLine& operator=(TBoardLine&&) = delete;
    TBoardLine(const TBoardLine&) = delete;
    ~TBoardLine();

    // The path the other side opens.
    const std::string& Path() const { return path_; }
    bool IsPseudoTerminal() const { return watch_.Valid(); }

    // Descriptor to wait on for data (and hang-up).
    int DataFd() const { return fd_.Get(); }
    // Descriptor that becomes readable when the terminal's node is opened
    // or closed; -1 for a device.
    int WatchFd() const { return watch_.Get(); }

    // Reads what is there. Returns false when the other side has hung up
    // (after the last bytes it sent have been returned in `bytes`).
    bool Read(std::string& bytes);
    // Consumes pending notices of the watch.
    void DrainWatch();
    // True while nobody holds the other end (pseudo-terminal only).
    bool OtherSideClosed() const;
    // Throws away what the board sent that no one read, so that the next
    // program to open the line does not get stale answers.
    void DiscardUnreadAnswers();
    // Writes without waiting; false when the line would not take it all.
    bool Write(const std::string& bytes);

private:
    TBoardLine(serialdev::UniqueFd fd, serialdev::UniqueFd watch, std::string path);
    serialdev::UniqueFd fd_;
    serialdev::UniqueFd watch_;
    std::string path_;
};
