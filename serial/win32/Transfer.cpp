#include "serial/win32/Transfer.h"

#include "serial/device/Device.h"

namespace serialdev {

Transfer::Transfer()
{
    // Manual reset and set: a fresh record is complete, and a wait on a
    // completed transfer returns at once however often it is asked.
    overlapped.hEvent = ::CreateEventW(nullptr, TRUE, TRUE, nullptr);
}

Transfer::~Transfer()
{
    // The system may still write into `overlapped` and the buffer of a
    // pending overlapped transfer: freeing them first would let it write
    // into memory that is someone else's by then.
    if (pending.load()) {
        if (OverlappedOwner* device = overlappedOwner.load())
            device->Forget(*this);
    }
    if (overlapped.hEvent)
        ::CloseHandle(overlapped.hEvent);
}

void Transfer::Begin(Device* by, bool isWrite, std::int32_t wanted)
{
    HANDLE event = overlapped.hEvent;
    overlapped = OVERLAPPED{};
    overlapped.hEvent = event;
    ::ResetEvent(event);
    write = isWrite;
    count = wanted;
    done = 0;
    error = 0;
    overlappedOwner.store(nullptr);
    owner.store(by);
    pending.store(true);
}

void Transfer::Finish(int result, std::int32_t count)
{
    error = result;
    done = count;
    owner.store(nullptr);
    overlappedOwner.store(nullptr);
    pending.store(false);
    ::SetEvent(overlapped.hEvent);
}

void TransferDelete::operator()(Transfer* transfer) const
{
    delete transfer;
}

TransferPtr NewTransfer()
{
    return TransferPtr(new Transfer);
}

} // namespace serialdev
