// The port's transfers (waiting and asynchronous), abort, and status
// queries.
#include "serial/ComPort.h"

#include "serial/ComDeviceMapping.h"
#include "serial/device/Device.h"

#include <algorithm>

// ---- transfers -----------------------------------------------------------------------

std::int32_t TCustomComPort::WriteBufferAsync(const void* buffer, std::int32_t count, TComAsync* async)
{
    if (!async)
        throw EComPort(CError_InvalidAsync);
    async->Kind = akWrite;
    const char* bytes = static_cast<const char*>(buffer);
    async->Data.assign(bytes, bytes + std::max(count, 0));
    async->HasData = true;
    std::int32_t immediate = 0;
    if (const int error = device_->StartWrite(async->DeviceTransfer(), bytes, count, immediate)) {
        ReportDeviceLost(error);
        throw EComPort(CError_WriteFailed, error);
    }
    ForEachLink([this](TComLink& l) { if (l.OnTransmitActivity) l.OnTransmitActivity(this, true); });
    return immediate;
}

std::int32_t TCustomComPort::WriteTextAsync(const std::string& text, TComAsync* async)
{
    if (text.empty())
        return 0;
    return WriteBufferAsync(text.data(), static_cast<std::int32_t>(text.size()), async);
}

std::int32_t TCustomComPort::ReadBufferAsync(void* buffer, std::int32_t count, TComAsync* async)
{
    if (!async)
        throw EComPort(CError_InvalidAsync);
    async->Kind = akRead;
    std::int32_t immediate = 0;
    if (const int error = device_->StartRead(async->DeviceTransfer(), static_cast<char*>(buffer), count, immediate)) {
        ReportDeviceLost(error);
        throw EComPort(CError_ReadFailed, error);
    }
    return immediate;
}

std::int32_t TCustomComPort::ReadTextAsync(std::string& text, std::int32_t count, TComAsync* async)
{
    text.resize(static_cast<std::size_t>(std::max(count, 0)));
    if (count <= 0)
        return 0;
    return ReadBufferAsync(text.data(), count, async);
}

std::int32_t TCustomComPort::WaitForCompletion(TComAsync* async)
{
    if (!async)
        throw EComPort(CError_InvalidAsync);
    std::int32_t transferred = 0;
    if (const int error = device_->Wait(async->DeviceTransfer(), transferred)) {
        // A line that hung up before the event wait noticed (or a port
        // without an event thread) is found out here.
        ReportDeviceLost(error);
        throw EComPort(async->Kind == akWrite ? CError_WriteFailed : CError_ReadFailed, error);
    }
    if (async->Kind == akRead) {
        // Asking the driver costs a system call on every read, and only a
        // link that shows receive activity needs the answer.
        const bool shown = std::any_of(links_.begin(), links_.end(),
                                       [](const TComLink* l) { return bool(l->OnReceiveActivity); });
        if (shown && PendingInputCount() == 0)
            ForEachLink([this](TComLink& l) { if (l.OnReceiveActivity) l.OnReceiveActivity(this, false); });
    } else if (async->HasData) {
        // Only a write reports its bytes as sent: a record reused for a read
        // still holds the copy of its last write, which was not sent now.
        const std::int32_t size = static_cast<std::int32_t>(async->Data.size());
        ForEachLink([&](TComLink& l) { if (l.OnSentData) l.OnSentData(this, async->Data.data(), size); });
    }
    return transferred;
}

std::int32_t TCustomComPort::WriteBuffer(const void* buffer, std::int32_t count)
{
    TComAsync async;
    WriteBufferAsync(buffer, count, &async);
    return WaitForCompletion(&async);
}

std::int32_t TCustomComPort::WriteText(const std::string& text)
{
    TComAsync async;
    WriteTextAsync(text, &async);
    return WaitForCompletion(&async);
}

std::int32_t TCustomComPort::ReadBuffer(void* buffer, std::int32_t count)
{
    TComAsync async;
    ReadBufferAsync(buffer, count, &async);
    return WaitForCompletion(&async);
}

std::int32_t TCustomComPort::ReadText(std::string& text, std::int32_t count)
{
    TComAsync async;
    ReadTextAsync(text, count, &async);
    const std::int32_t read = WaitForCompletion(&async);
    text.resize(static_cast<std::size_t>(read));
    return read;
}

void TCustomComPort::AbortPending()
{
    if (const int error = device_->AbortPending())
        throw EComPort(CError_PurgeFailed, error);
}

// ---- status ----------------------------------------------------------------------------

namespace {

// One call gives the bytes waiting and the error flags, and clears the
// flags: asking for either takes both.
void ClearLineErrors(serialdev::Device& device, std::uint32_t& flags, std::int32_t& count)
{
    if (const int error = device.ClearErrors(flags, count))
        throw EComPort(CError_ClearComFailed, error);
}

} // namespace

std::int32_t TCustomComPort::PendingInputCount()
{
    std::uint32_t flags = 0;
    std::int32_t count = 0;
    ClearLineErrors(*device_, flags, count);
    return count;
}

TModemSignals TCustomComPort::ModemSignals()
{
    std::uint32_t bits = 0;
    if (const int error = device_->ModemStatus(bits))
        throw EComPort(CError_ModemStatFailed, error);
    return SignalsFromModemBits(bits);
}

TComErrors TCustomComPort::TakeLineErrors()
{
    std::uint32_t flags = 0;
    std::int32_t count = 0;
    ClearLineErrors(*device_, flags, count);
    return ErrorsFromFlags(flags, parity_->Check());
}

