// Opening a port on a serial server, and what its settings become there.
#include "serial/net/NetDevice.h"

#include "serial/net/LocalLine.h"
#include "serial/net/RemoteSettings.h"
#include "serial/posix/TermiosMapping.h"

#include <cerrno>

namespace serialdev::net {

namespace {

// What the local line does of the record: the real port on the server
// checks parity and keeps the flow, so the pseudo-terminal does neither
// (its line discipline would take XON and XOFF out of the board's bytes).
LineSettings LocalPart(const LineSettings& settings)
{
    namespace F = LineFlag;
    LineSettings local = settings;
    local.Flags &= ~(F::Parity | F::OutxCtsFlow | F::OutxDsrFlow | F::OutX | F::InX | F::ErrorChar);
    if ((local.Flags & F::RtsControlMask) == F::RtsHandshake || (local.Flags & F::RtsControlMask) == F::RtsToggle)
        local.Flags = (local.Flags & ~F::RtsControlMask) | F::RtsEnable;
    if ((local.Flags & F::DtrControlMask) == F::DtrHandshake)
        local.Flags = (local.Flags & ~F::DtrControlMask) | F::DtrEnable;
    local.ByteSize = 8;
    local.Parity = 0;
    local.StopBits = 0;
    return local;
}

} // namespace

NetDevice::~NetDevice()
{
    Close();
}

int NetDevice::Open(std::string_view name)
{
    refusal_.clear();
    if (link_.Connected())
        return EBUSY;
    NetName parsed;
    NameProblem problem;
    if (const int error = ParseNetName(name, parsed, problem))
        return error;

    UniqueFd master;
    std::string slavePath;
    if (const int error = MakeLocalLine(master, keeper_, slavePath))
        return error;
    link_.Expect(parsed);
    line_.SetLineProbe(parsed.rfc2217 ? &link_ : nullptr);
    if (const int error = line_.Open(slavePath)) {
        keeper_.Reset();
        return error;
    }
    ConnectFailure failure;
    if (const int error = link_.Connect(parsed, std::move(master), failure)) {
        refusal_ = failure.serverText;
        line_.Close();
        keeper_.Reset();
        return error;
    }
    return 0;
}

void NetDevice::Close()
{
    if (!link_.Connected() && !keeper_.Valid())
        return;
    // What the port wrote goes out before the connection closes; then the
    // line closes, its probe (the link) still there for it.
    line_.AbortPending();
    link_.Disconnect();
    line_.Close();
    keeper_.Reset();
}

int NetDevice::SetQueueSizes(std::int32_t inputSize, std::int32_t outputSize)
{
    return line_.SetQueueSizes(inputSize, outputSize);
}

int NetDevice::SetLineSettings(const LineSettings& settings)
{
    if (!link_.Connected())
        return EBADF;
    // The record is judged as a tty judges it: what a local line refuses
    // is refused for a remote one too.
    TermiosSetup setup;
    if (const int error = BuildTermios(settings, termios2{}, setup))
        return error;
    RemoteSettings remote;
    if (const int error = ToRemote(settings, remote))
        return error;
    // The server first, in its order; the line then finds DTR and RTS
    // told already.
    if (const int error = link_.ApplySettings(remote.baudRate, remote.dataSize, remote.parity, remote.stopSize,
                                              remote.control, remote.dtr, remote.rts))
        return error;
    return line_.SetLineSettings(LocalPart(settings));
}

int NetDevice::SetTimeouts(const Timeouts& timeouts)
{
    return line_.SetTimeouts(timeouts);
}

int NetDevice::StartRead(Transfer& transfer, char* destination, std::int32_t count, std::int32_t& immediate)
{
    return line_.StartRead(transfer, destination, count, immediate);
}

int NetDevice::StartWrite(Transfer& transfer, const char* source, std::int32_t count, std::int32_t& immediate)
{
    return line_.StartWrite(transfer, source, count, immediate);
}

int NetDevice::Wait(Transfer& transfer, std::int32_t& transferred)
{
    return line_.Wait(transfer, transferred);
}

int NetDevice::AbortPending()
{
    return line_.AbortPending();
}

int NetDevice::Purge(bool input, bool output)
{
    // The server first: what it sent before it purged is on its way and
    // comes before its answer, so the line is flushed after that answer.
    if (const int error = link_.Purge(input, output))
        return error;
    return line_.Purge(input, output);
}

int NetDevice::ClearErrors(std::uint32_t& errorFlags, std::int32_t& inputCount)
{
    return line_.ClearErrors(errorFlags, inputCount);
}

int NetDevice::ModemStatus(std::uint32_t& bits)
{
    return line_.ModemStatus(bits);
}

int NetDevice::SetEventMask(std::uint32_t mask)
{
    return line_.SetEventMask(mask);
}

int NetDevice::WaitEvent(std::uint32_t& events, int stopFd)
{
    return line_.WaitEvent(events, stopFd);
}

} // namespace serialdev::net
