// The network device on Windows: opening, the thread that carries the
// connection, and the port's calls on the line kept here.
#include "serial/net/WinNetDevice.h"

#include "serial/device/OsError.h"
#include "serial/net/Connect.h"

#include "framework/win32/Windows.h"
#include <winsock2.h>

#include "serial/win32/Transfer.h"

#include <algorithm>
#include <chrono>
#include <system_error>

namespace serialdev::net {

namespace {

constexpr std::size_t ReadChunk = 16 * 1024;
// How long a closing device goes on sending what the port wrote.
constexpr auto DrainOnClose = std::chrono::milliseconds(500);

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(std::min<long long>(left, 60'000)) : 0;
}

SOCKET Raw(const UniqueSocket& socket)
{
    return static_cast<SOCKET>(socket.Get());
}

} // namespace

WinNetDevice::WinNetDevice() : session_([this] { wake_.Signal(); }) {}

WinNetDevice::~WinNetDevice()
{
    Close();
}

int WinNetDevice::OpenError() const
{
    return open_ ? 0 : ERROR_INVALID_HANDLE;
}

int WinNetDevice::Open(std::string_view name)
{
    refusal_.clear();
    if (thread_.joinable())
        return OsErrorCode(OsErrorKind::InUse);
    NetName parsed;
    NameProblem problem;
    if (const int error = ParseNetName(name, parsed, problem))
        return error;
    for (WakeEvent* event : {&wake_, &lineEvent_}) {
        if (!event->IsOpen()) {
            if (const int error = event->Open())
                return error;
        }
    }
    session_.Expect(parsed);
    UniqueSocket socket;
    const auto deadline = Clock::now() + std::chrono::milliseconds(parsed.timeoutMs);
    if (const int error = ConnectBefore(parsed, deadline, socket))
        return error;
    WSAEVENT socketEvent = ::WSACreateEvent();
    if (socketEvent == WSA_INVALID_EVENT)
        return ::WSAGetLastError();
    if (::WSAEventSelect(Raw(socket), socketEvent, FD_READ | FD_WRITE | FD_CLOSE) != 0) {
        const int error = ::WSAGetLastError();
        ::WSACloseEvent(socketEvent);
        return error;
    }
    {
        std::lock_guard lock(session_.Mutex());
        socket_ = std::move(socket);
        socketEvent_ = socketEvent;
        line_.Reset();
        open_ = true;
        rfc2217_ = parsed.rfc2217;
        // Both are found out by trying: Winsock tells of either only after
        // a try that could not go on.
        readable_ = writable_ = true;
        maskChanged_ = false;
        noticesSeen_ = 0;
        wake_.Drain();
        lineEvent_.Drain();
    }
    session_.Begin();
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error& e) {
        Close();
        return e.code().value();
    }
    if (const int error = session_.AwaitSettled(refusal_)) {
        Close();
        return error;
    }
    return 0;
}

void WinNetDevice::Close()
{
    {
        std::lock_guard lock(session_.Mutex());
        if (!open_)
            return;
        // What is pending fails; what the port wrote still goes out.
        line_.EndAll(OsErrorCode(OsErrorKind::Cancelled));
    }
    session_.Stop();
    wake_.Signal();
    if (thread_.joinable())
        thread_.join();
    std::lock_guard lock(session_.Mutex());
    line_.EndAll(OsErrorCode(OsErrorKind::Cancelled));
    open_ = false;
    if (socket_.Valid())
        ::shutdown(Raw(socket_), SD_BOTH);
    socket_.Reset();
    if (socketEvent_)
        ::WSACloseEvent(socketEvent_);
    socketEvent_ = nullptr;
    session_.ToSocket().clear();
    session_.ToLine().clear();
    // A wait still in progress ends.
    lineEvent_.Signal();
}

void WinNetDevice::Received(const char* bytes, std::size_t count)
{
    const std::size_t from = session_.ToLine().size();
    session_.Received(std::string_view(bytes, count));
    if (session_.Notices() != noticesSeen_) {
        noticesSeen_ = session_.Notices();
        line_.Noticed(session_.HeldModemBits(), session_.HeldCounts());
    }
    line_.Arrived(session_, from, rfc2217_, session_.HeldModemBits());
}

void WinNetDevice::PumpIn()
{
    char buffer[ReadChunk];
    while (readable_ && !session_.Lost() && session_.ToLine().size() < WinNetLine::MaxHeld) {
        const int n = ::recv(Raw(socket_), buffer, sizeof buffer, 0);
        if (n > 0) {
            Received(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0) {
            session_.Lose(OsErrorCode(OsErrorKind::ConnectionReset));
            return;
        }
        const int error = ::WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            readable_ = false;
            return;
        }
        if (error != WSAEINTR) {
            session_.Lose(error);
            return;
        }
    }
}

void WinNetDevice::PumpOut()
{
    std::string& out = session_.ToSocket();
    while (writable_ && !out.empty() && !session_.Lost()) {
        const int chunk = static_cast<int>(std::min<std::size_t>(out.size(), 1 << 20));
        const int n = ::send(Raw(socket_), out.data(), chunk, 0);
        if (n > 0) {
            out.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        const int error = ::WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            writable_ = false;
            return;
        }
        if (error == WSAEINTR)
            continue;
        // A server that refuses says why and closes at once; our next send
        // may meet its reset before that text was read. It is still there
        // to read, and read before the connection is given up.
        readable_ = true;
        PumpIn();
        session_.Lose(error);
        return;
    }
}

void WinNetDevice::Move(Clock::time_point now)
{
    // Bytes read free room for more from the socket, bytes sent free room
    // for more of a pending write: go round while either frees some, which
    // ends when the socket has nothing more or takes nothing more.
    for (;;) {
        if (!session_.Stopping())
            PumpIn();
        line_.Progress(session_, now);
        const std::size_t before = session_.ToSocket().size();
        PumpOut();
        if (session_.Lost())
            return;
        const bool sent = session_.ToSocket().size() < before;
        const bool roomToRead = readable_ && !session_.Stopping() && session_.ToLine().size() < WinNetLine::MaxHeld;
        if (!(sent && line_.Pending()) && !roomToRead)
            break;
    }
    line_.CheckDrained(session_);
}

void WinNetDevice::Run()
{
    std::unique_lock lock(session_.Mutex());
    Clock::time_point drainUntil{};
    for (;;) {
        const auto now = Clock::now();
        if (session_.Stopping()) {
            // Closing: what the port wrote still goes out, for a short while.
            if (drainUntil == Clock::time_point{})
                drainUntil = now + DrainOnClose;
            if (session_.Lost() || session_.ToSocket().empty() || now >= drainUntil)
                break;
        }
        if (!session_.Lost())
            Move(now);
        if (line_.HasEvents())
            lineEvent_.Signal();
        if (session_.Lost()) {
            // Nothing moves any more: what is pending fails, a wait ends,
            // and the thread sleeps until the device closes.
            line_.EndAll(OsErrorCode(OsErrorKind::LineLost));
            lineEvent_.Signal();
            session_.AwaitStop(lock);
            continue;
        }
        int timeout = line_.TimeoutMs(now);
        if (session_.Stopping())
            timeout = MinTimeout(timeout, std::max(RemainingMs(drainUntil), 1));
        WSAEVENT events[2] = {socketEvent_, wake_.Handle()};
        lock.unlock();
        const DWORD woken = ::WSAWaitForMultipleEvents(2, events, FALSE, timeout < 0 ? WSA_INFINITE : DWORD(timeout), FALSE);
        lock.lock();
        // Drained under the lock: whoever signals does so after changing
        // what is looked at next, under the same lock.
        wake_.Drain();
        if (woken == WSA_WAIT_FAILED) {
            session_.Lose(static_cast<int>(::WSAGetLastError()));
            continue;
        }
        WSANETWORKEVENTS happened{};
        if (::WSAEnumNetworkEvents(Raw(socket_), socketEvent_, &happened) == 0) {
            if (happened.lNetworkEvents & (FD_READ | FD_CLOSE))
                readable_ = true;
            if (happened.lNetworkEvents & FD_WRITE)
                writable_ = true;
        }
    }
}

int WinNetDevice::SetQueueSizes(std::int32_t inputSize, std::int32_t outputSize)
{
    std::lock_guard lock(session_.Mutex());
    if (const int error = OpenError())
        return error;
    if (inputSize < 0 || outputSize < 0)
        return OsErrorCode(OsErrorKind::InvalidArgument);
    // The output size bounds nothing here: the socket's side is bounded
    // on its own.
    line_.SetInputSize(inputSize);
    return 0;
}

int WinNetDevice::SetLineSettings(const LineSettings& settings)
{
    {
        std::lock_guard lock(session_.Mutex());
        if (const int error = OpenError())
            return error;
    }
    RemoteSettings remote;
    if (const int error = ToRemote(settings, remote))
        return error;
    // The server first, in its order; what it does not carry is done here.
    if (const int error = session_.ApplySettings(remote))
        return error;
    std::lock_guard lock(session_.Mutex());
    line_.Configure((settings.Flags & LineFlag::Null) != 0, (settings.Flags & LineFlag::DsrSensitivity) != 0,
                    settings.EvtChar);
    return 0;
}

int WinNetDevice::SetTimeouts(const Timeouts& timeouts)
{
    std::lock_guard lock(session_.Mutex());
    if (const int error = OpenError())
        return error;
    line_.SetTimeouts(timeouts);
    return 0;
}

int WinNetDevice::StartRead(Transfer& transfer, char* destination, std::int32_t count, std::int32_t& immediate)
{
    immediate = 0;
    std::lock_guard lock(session_.Mutex());
    if (const int error = OpenError())
        return error;
    const int error = line_.StartRead(session_, transfer, this, destination, count, immediate);
    if (!error && !transfer.Completed())
        transfer.overlappedOwner.store(this);
    // The thread times what is pending, and reads on into the room made.
    if (!error)
        wake_.Signal();
    return error;
}

int WinNetDevice::StartWrite(Transfer& transfer, const char* source, std::int32_t count, std::int32_t& immediate)
{
    immediate = 0;
    std::lock_guard lock(session_.Mutex());
    if (const int error = OpenError())
        return error;
    const int error = line_.StartWrite(session_, transfer, this, source, count, immediate);
    if (!error && !transfer.Completed())
        transfer.overlappedOwner.store(this);
    if (!error)
        wake_.Signal();
    return error;
}

int WinNetDevice::Wait(Transfer& transfer, std::int32_t& transferred)
{
    // Every pending transfer ends: by itself, its time-out, the loss of
    // the connection, an abort or the close.
    if (::WaitForSingleObject(transfer.Event(), INFINITE) != WAIT_OBJECT_0)
        return static_cast<int>(::GetLastError());
    transferred = transfer.done;
    return transfer.error;
}

void WinNetDevice::Forget(Transfer& transfer)
{
    std::lock_guard lock(session_.Mutex());
    line_.Forget(transfer);
}

int WinNetDevice::AbortPending()
{
    std::lock_guard lock(session_.Mutex());
    if (const int error = OpenError())
        return error;
    line_.EndAll(OsErrorCode(OsErrorKind::Cancelled));
    return 0;
}

int WinNetDevice::Purge(bool input, bool output)
{
    {
        std::lock_guard lock(session_.Mutex());
        if (const int error = OpenError())
            return error;
    }
    // The server first: what it sent before it purged comes before its
    // answer, and is dropped with the input held here once that came.
    if (const int error = session_.Purge(input, output))
        return error;
    std::lock_guard lock(session_.Mutex());
    if (input)
        line_.InputPurged();
    return 0;
}

int WinNetDevice::ClearErrors(std::uint32_t& errorFlags, std::int32_t& inputCount)
{
    errorFlags = 0;
    inputCount = 0;
    std::lock_guard lock(session_.Mutex());
    if (const int error = OpenError())
        return error;
    errorFlags = line_.TakeErrors();
    inputCount = static_cast<std::int32_t>(session_.ToLine().size());
    return 0;
}

int WinNetDevice::ModemStatus(std::uint32_t& bits)
{
    bits = 0;
    std::lock_guard lock(session_.Mutex());
    if (const int error = OpenError())
        return error;
    // RFC 2217's modem-state bits 4 to 7 are the ModemBit bits; a
    // socket:// port has no modem lines, all off.
    bits = session_.HeldModemBits() & (ModemBit::CTS | ModemBit::DSR | ModemBit::Ring | ModemBit::RLSD);
    return 0;
}

int WinNetDevice::SetEventMask(std::uint32_t mask)
{
    std::lock_guard lock(session_.Mutex());
    if (const int error = OpenError())
        return error;
    line_.SetMask(mask);
    maskChanged_ = true;
    lineEvent_.Signal();
    return 0;
}

int WinNetDevice::WaitEvent(std::uint32_t& events, WakeHandle stop)
{
    events = 0;
    std::unique_lock lock(session_.Mutex());
    if (const int error = OpenError())
        return error;
    maskChanged_ = false;
    for (;;) {
        if (::WaitForSingleObject(stop, 0) == WAIT_OBJECT_0)
            return OsErrorCode(OsErrorKind::Cancelled);
        // Drained under the lock before looking: whatever happens after
        // the look signals it again.
        lineEvent_.Drain();
        if (const int error = OpenError())
            return error;
        if (maskChanged_) {
            maskChanged_ = false;
            return 0; // ended by the mask change, nothing to report
        }
        if ((events = line_.TakeEvents()))
            return 0;
        if (session_.Lost())
            return OsErrorCode(OsErrorKind::LineLost);
        HANDLE handles[2] = {stop, lineEvent_.Handle()};
        lock.unlock();
        const DWORD woken = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        lock.lock();
        if (woken == WAIT_OBJECT_0)
            return OsErrorCode(OsErrorKind::Cancelled);
        if (woken == WAIT_FAILED)
            return static_cast<int>(::GetLastError());
    }
}

} // namespace serialdev::net
