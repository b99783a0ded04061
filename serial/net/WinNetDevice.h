// The network device on Windows: a port on a serial server, reached by a
// name such as "rfc2217://rack-pc:2001" or "socket://rack-pc:3001"
// (NetName.h), that behaves for the port as the Linux network device does.
//
// Windows has no pseudo-terminal to run the line on, so the line is kept
// here (WinNetLine): the board's bytes wait in memory, bounded, for the
// port's reads; its writes go to the socket; transfers end with their
// time-outs; line events come from arrivals, the output's drain and the
// server's notices. What belongs to the real port on the server goes there
// as RFC 2217 requests (NetSession, shared with Linux): rate, data size,
// parity, stop size, flow control, DTR and RTS, purges. A socket:// port
// carries bytes only.
//
// One thread of the device touches the socket. It sleeps in
// WSAWaitForMultipleEvents on the socket's event and a wake-up, with the
// nearest transfer time-out as its bound, so an idle port costs nothing;
// it receives, sends, and carries pending transfers on. The loss of the
// connection fails the waits and transfers with the LineLost code.
#pragma once

#include "framework/WakeEvent.h"
#include "serial/device/Device.h"
#include "serial/net/NetSession.h"
#include "serial/net/Socket.h"
#include "serial/net/WinNetLine.h"
#include "serial/win32/Transfer.h"

#include <cstdint>
#include <string>
#include <thread>

namespace serialdev::net {

class WinNetDevice final : public Device, public OverlappedOwner {
public:
    WinNetDevice();
    ~WinNetDevice() override;
    WinNetDevice(const WinNetDevice&) = delete;
    WinNetDevice& operator=(const WinNetDevice&) = delete;

    DeviceKind Kind() const override { return DeviceKind::Network; }
    // Connects and, for RFC 2217, settles the negotiation: at most the
    // name's time-out for each. Codes: WSA codes for the connection, the
    // HostNotFound code, the InUse code when the server says its port is
    // in use (its text in RefusalText), the InvalidArgument code for a
    // name that is wrong.
    int Open(std::string_view name) override;
    void Close() override;
    std::string RefusalText() const override { return refusal_; }

    int SetQueueSizes(std::int32_t inputSize, std::int32_t outputSize) override;
    int SetLineSettings(const LineSettings& settings) override;
    int SetTimeouts(const Timeouts& timeouts) override;
    int StartRead(Transfer& transfer, char* destination, std::int32_t count, std::int32_t& immediate) override;
    int StartWrite(Transfer& transfer, const char* source, std::int32_t count, std::int32_t& immediate) override;
    int Wait(Transfer& transfer, std::int32_t& transferred) override;
    int AbortPending() override;
    int Purge(bool input, bool output) override;
    int ClearErrors(std::uint32_t& errorFlags, std::int32_t& inputCount) override;
    int ModemStatus(std::uint32_t& bits) override;
    int SetEventMask(std::uint32_t mask) override;
    int WaitEvent(std::uint32_t& events, WakeHandle stop) override;
    // A record that goes away while pending is dropped from the line.
    void Forget(Transfer& transfer) override;

private:
    void Run();
    // With the lock held: moves what can move between the socket, the
    // session and the pending transfers.
    void Move(Clock::time_point now);
    void PumpIn();
    void PumpOut();
    void Received(const char* bytes, std::size_t count);
    // With the lock held: whether the device is open, else its code.
    int OpenError() const;

    NetSession session_;
    // Guarded by the session's lock, as is everything below but the
    // thread, the wake-ups and the refusal.
    WinNetLine line_;
    UniqueSocket socket_;
    void* socketEvent_ = nullptr; // WSAEVENT, set by the socket's events
    bool open_ = false;
    bool rfc2217_ = false;        // the server reports modem lines (socket:// has none)
    bool readable_ = false;       // the socket may have bytes (or its end) to read
    bool writable_ = false;       // the socket may take bytes
    bool maskChanged_ = false;    // ends a wait in progress
    std::uint64_t noticesSeen_ = 0;

    WakeEvent wake_;              // wakes the thread: something to send or move
    WakeEvent lineEvent_;         // wakes WaitEvent: something happened
    std::thread thread_;
    std::string refusal_;
};

} // namespace serialdev::net
