// A line's modem lines and what the kernel tells of its state: the modem
// input lines and the counters of line errors and breaks, and the two
// output lines the port raises or drops. Devices without them (a
// pseudo-terminal) say so instead of failing.
//
// The kernel calls go through a probe, so that the way from the kernel's
// bits and counts to the port's signals, events and error flags, and from
// the port's settings to DTR and RTS, can be run against a line whose
// state is set by hand.
#pragma once

#include <linux/serial.h>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace serialdev {

// ioctl failures that only say the device has no such facility (a
// pseudo-terminal has no modem lines and no UART counters).
bool Unsupported(int error);

// The kernel's modem-line and counter calls, as the device makes them.
// Each returns 0 or the errno value.
class LineProbe {
public:
    virtual ~LineProbe() = default;
    // TIOCMGET: the line bits as the kernel gives them (TIOCM_CTS ...).
    virtual int ModemLines(int fd, int& lines) = 0;
    // TIOCGICOUNT: the running counts of the line's errors and breaks.
    virtual int Counters(int fd, serial_icounter_struct& counters) = 0;
    // TIOCMBIS or TIOCMBIC: raises or drops the lines of `lines` (TIOCM_DTR, TIOCM_RTS).
    virtual int SetModemLines(int fd, int lines, bool raise) = 0;
};

// The probe that asks the kernel; what a device uses unless told otherwise.
LineProbe& KernelLineProbe();

// The kernel's line bits as ModemBit bits.
std::uint32_t ModemBitsFrom(int lines);

// One line's modem lines and counters, and what changed in them: the one
// place that remembers their last state. Two kinds of reader take the
// changes, each at its own pace: the event wait (as line events) and the
// port's error query (as error flags); a change reaches each once.
// Any thread may call; one lock guards the state.
class LineStatus {
public:
    // The probe to use from the next Attach on; nullptr is the kernel's.
    // It must outlive its use by the device.
    void SetProbe(LineProbe* probe);

    // Starts following an opened line: learns whether it has modem lines
    // and counters, and takes their present state as the starting point.
    void Attach(int fd);
    void Detach();

    // Whether the line has anything that must be polled for its events.
    bool Polled() const { return hasModemLines_ || hasCounters_; }
    bool HasModemLines() const { return hasModemLines_; }

    // The modem lines now, as ModemBit bits; all off for a device without
    // modem lines. Returns 0 or the errno value of a failed query.
    int ModemBits(std::uint32_t& bits);
    // Whether DSR is known to be off: only a line that has modem lines can
    // say so.
    bool DsrOff();
    // Raises or drops DTR and RTS. A device without modem lines has nothing
    // to set; that is no failure.
    void SetOutputs(bool dtr, bool rts);

    // The line events (EventBit) of `mask` that the modem lines and
    // counters gave since the last call; changes outside the mask are
    // dropped, as a device drops events nobody asked for.
    std::uint32_t TakeEvents(std::uint32_t mask);
    // The error flags (ErrorFlag) the counters gave since the last call.
    std::uint32_t TakeErrors();

private:
    // With the lock held: reads the counters and adds their steps to what
    // both readers have still to take.
    void SampleCounters();

    std::atomic<LineProbe*> nextProbe_ = nullptr;
    mutable std::mutex mutex_;
    LineProbe* probe_ = &KernelLineProbe();
    int fd_ = -1;
    std::atomic<bool> hasModemLines_ = false;
    std::atomic<bool> hasCounters_ = false;
    std::uint32_t lastModem_ = 0;
    serial_icounter_struct lastCounters_{};
    std::uint32_t pendingEvents_ = 0;  // EventBit::Err and Break
    std::uint32_t pendingErrors_ = 0;  // ErrorFlag bits
};

} // namespace serialdev
