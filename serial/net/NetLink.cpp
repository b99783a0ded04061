// The connection to a serial server and the thread that joins it to the
// pseudo-terminal.
#include "serial/net/NetLink.h"

#include "serial/net/Connect.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace serialdev::net {

namespace {

using Clock = std::chrono::steady_clock;

// What each direction holds at most before it stops taking more: the line
// and the server then wait, as a full tty queue makes a sender wait.
constexpr std::size_t MaxHeld = 64 * 1024;
constexpr std::size_t ReadChunk = 16 * 1024;
// How long a closing link goes on sending what the line wrote.
constexpr auto DrainOnClose = std::chrono::milliseconds(500);

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(std::min<long long>(left, 60'000)) : 0;
}

int OutputLines(int tiocm)
{
    return ((tiocm & TIOCM_DTR) ? OutputLine::Dtr : 0) | ((tiocm & TIOCM_RTS) ? OutputLine::Rts : 0);
}

} // namespace

NetLink::NetLink() : session_([this] { wake_.Signal(); })
{
    wake_.Open();
}

NetLink::~NetLink()
{
    Disconnect();
}

void NetLink::Expect(const NetName& name)
{
    if (!Connected())
        session_.Expect(name);
}

int NetLink::Connect(const NetName& name, UniqueFd master, ConnectFailure& failure)
{
    failure = {};
    if (Connected())
        return EBUSY;
    if (!wake_.IsOpen()) {
        if (const int error = wake_.Open())
            return error;
    }
    Expect(name);
    const auto deadline = Clock::now() + std::chrono::milliseconds(name.timeoutMs);
    UniqueSocket socket;
    if (const int error = ConnectBefore(name, deadline, socket))
        return error;
    {
        std::lock_guard lock(session_.Mutex());
        socket_ = std::move(socket);
        master_ = std::move(master);
    }
    session_.Begin();
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error& e) {
        std::lock_guard lock(session_.Mutex());
        socket_.Reset();
        master_.Reset();
        return e.code().value();
    }
    const int error = session_.AwaitSettled(failure.serverText);
    if (error)
        Disconnect();
    return error;
}

void NetLink::Disconnect()
{
    session_.Stop();
    wake_.Signal();
    if (thread_.joinable())
        thread_.join();
    std::lock_guard lock(session_.Mutex());
    if (socket_.Valid())
        ::shutdown(socket_.Get(), SHUT_RDWR);
    socket_.Reset();
    master_.Reset();
    session_.ToSocket().clear();
    session_.ToLine().clear();
}

int NetLink::ApplySettings(std::uint32_t baudRate, std::uint8_t dataBits, std::uint8_t parity,
                           std::uint8_t stopBits, std::uint8_t flow, bool dtr, bool rts)
{
    if (!Connected())
        return EIO;
    RemoteSettings settings;
    settings.baudRate = baudRate;
    settings.dataSize = dataBits;
    settings.parity = parity;
    settings.stopSize = stopBits;
    settings.control = flow;
    settings.dtr = dtr;
    settings.rts = rts;
    return session_.ApplySettings(settings);
}

int NetLink::Purge(bool input, bool output)
{
    if (!Connected())
        return EIO;
    return session_.Purge(input, output);
}

int NetLink::ModemLines(int, int& lines)
{
    if (!session_.Rfc2217())
        return ENOTTY;
    const unsigned modem = session_.ModemBits();
    lines = 0;
    if (modem & ModemState::Carrier)
        lines |= TIOCM_CAR;
    if (modem & ModemState::Ring)
        lines |= TIOCM_RNG;
    if (modem & ModemState::Dsr)
        lines |= TIOCM_DSR;
    if (modem & ModemState::Cts)
        lines |= TIOCM_CTS;
    const int outputs = session_.Outputs();
    if (outputs > 0)
        lines |= ((outputs & OutputLine::Dtr) ? TIOCM_DTR : 0) | ((outputs & OutputLine::Rts) ? TIOCM_RTS : 0);
    return 0;
}

int NetLink::Counters(int, serial_icounter_struct& counters)
{
    if (!session_.Rfc2217())
        return ENOTTY;
    const LineCounts counts = session_.Counts();
    counters = {};
    counters.brk = static_cast<int>(counts.breaks);
    counters.frame = static_cast<int>(counts.framing);
    counters.parity = static_cast<int>(counts.parity);
    counters.overrun = static_cast<int>(counts.overrun);
    return 0;
}

int NetLink::SetModemLines(int, int lines, bool raise)
{
    if (!session_.Rfc2217())
        return ENOTTY;
    if (!Connected())
        return EIO;
    return session_.ChangeOutputs(static_cast<unsigned>(OutputLines(lines)), raise);
}

void NetLink::Lost(int error)
{
    if (session_.Lost())
        return;
    session_.Lose(error);
    // The line on the far side of the pseudo-terminal hangs up: the port
    // sees its device gone, as when an adapter is pulled.
    master_.Reset();
}

bool NetLink::PumpSocketIn()
{
    char buffer[ReadChunk];
    const ssize_t n = ::recv(socket_.Get(), buffer, sizeof buffer, 0);
    if (n == 0) {
        Lost(ECONNRESET);
        return false;
    }
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR)
            return true;
        Lost(errno);
        return false;
    }
    session_.Received(std::string_view(buffer, static_cast<std::size_t>(n)));
    return true;
}

bool NetLink::PumpSocketOut()
{
    std::string& toSocket = session_.ToSocket();
    while (!toSocket.empty()) {
        const ssize_t n = ::send(socket_.Get(), toSocket.data(), toSocket.size(), MSG_NOSIGNAL);
        if (n > 0) {
            toSocket.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return true;
        const int error = n < 0 ? errno : EIO;
        // A server that refuses says why and closes at once; our next send
        // may meet its reset before that text was read. It is still there
        // to read, and read before the connection is given up.
        pollfd p{socket_.Get(), POLLIN, 0};
        while (!session_.Lost() && session_.ToLine().size() < MaxHeld && ::poll(&p, 1, 0) > 0 &&
               (p.revents & (POLLIN | POLLHUP | POLLERR)))
            PumpSocketIn();
        Lost(error);
        return false;
    }
    return true;
}

void NetLink::PumpMasterIn()
{
    // What the port wrote to its line.
    char buffer[ReadChunk];
    const ssize_t n = ::read(master_.Get(), buffer, sizeof buffer);
    if (n <= 0)
        return; // EAGAIN; EIO while the port has its line closed
    session_.Written(std::string_view(buffer, static_cast<std::size_t>(n)));
}

bool NetLink::PumpMasterOut()
{
    std::string& toMaster = session_.ToLine();
    while (!toMaster.empty()) {
        const ssize_t n = ::write(master_.Get(), toMaster.data(), toMaster.size());
        if (n > 0) {
            toMaster.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && errno == EAGAIN;
    }
    return true;
}

void NetLink::Run()
{
    std::unique_lock lock(session_.Mutex());
    const std::string& toSocket = session_.ToSocket();
    const std::string& toMaster = session_.ToLine();
    Clock::time_point drainUntil{};
    while (true) {
        if (session_.Stopping()) {
            // Closing: what the line wrote still goes out, for a short while.
            if (drainUntil == Clock::time_point{})
                drainUntil = Clock::now() + DrainOnClose;
            if (master_.Valid())
                PumpMasterIn();
            if (session_.Lost() || toSocket.empty() || Clock::now() >= drainUntil)
                break;
        }
        if (!session_.Lost() && !toSocket.empty())
            PumpSocketOut();
        if (!session_.Lost() && !toMaster.empty() && master_.Valid())
            PumpMasterOut();

        pollfd fds[3] = {{-1, 0, 0}, {-1, 0, 0}, {wake_.Fd(), POLLIN, 0}};
        if (!session_.Lost()) {
            fds[0].fd = socket_.Get();
            if (toMaster.size() < MaxHeld && !session_.Stopping())
                fds[0].events |= POLLIN;
            if (!toSocket.empty())
                fds[0].events |= POLLOUT;
            if (master_.Valid()) {
                fds[1].fd = master_.Get();
                if (session_.Settled() && toSocket.size() < MaxHeld)
                    fds[1].events |= POLLIN;
                if (!toMaster.empty())
                    fds[1].events |= POLLOUT;
            }
        }
        const int timeout = session_.Stopping() ? std::max(RemainingMs(drainUntil), 1) : -1;
        lock.unlock();
        const int ready = ::poll(fds, 3, timeout);
        wake_.Drain();
        lock.lock();
        if (ready <= 0)
            continue;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR))
            PumpSocketIn();
        if (!session_.Lost() && master_.Valid() && (fds[1].revents & POLLIN))
            PumpMasterIn();
        if (!session_.Lost() && (fds[0].revents & POLLNVAL))
            Lost(EIO);
        if (session_.Lost()) {
            // Nothing moves any more; wait for the stop without spinning.
            session_.AwaitStop(lock);
        }
    }
}

} // namespace serialdev::net
