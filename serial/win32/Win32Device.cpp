// The COM port: exclusive open and close, the device-control record, queue
// sizes, time-outs, overlapped transfers, purge, status and line events.
#include "serial/win32/Win32Device.h"

#include "serial/win32/CommBits.h"
#include "serial/win32/PortNames.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace serialdev {

namespace {

// How long the device waits for the system to let go of I/O it has
// cancelled, or of an event wait it has ended. A driver answers at once;
// the bound keeps a broken one from hanging a close.
constexpr DWORD letGoMs = 2000;

int LastError()
{
    return static_cast<int>(::GetLastError());
}

// Errors of calls on an open handle. A pulled USB adapter's driver answers
// the handle it had opened with "access denied"; that code on opening means
// another program holds the port (serial/win32/OsError.cpp), so here it is
// reported as the line being gone, which it is.
int OnOpenHandle(int error)
{
    return error == ERROR_ACCESS_DENIED ? ERROR_DEVICE_NOT_CONNECTED : error;
}

// How a transfer ended, as the port expects it: one that ran out of time
// has done what it could, which Windows reports as success with the bytes
// moved; wine ends it with ERROR_TIMEOUT instead (its byte count is right).
int TransferError(int error)
{
    return error == ERROR_TIMEOUT ? 0 : OnOpenHandle(error);
}

// How often a waiting event wait makes sure that the line is still there.
constexpr DWORD lineCheckMs = 1000;

// The read time-outs that ask a read to return at once with what is queued.
bool ReturnsAtOnce(const Timeouts& t)
{
    return t.ReadInterval == MAXDWORD && t.ReadTotalMultiplier == 0 && t.ReadTotalConstant == 0;
}

// Time-outs that return at once with what is queued, and otherwise wait
// up to the constant for the first byte and return with it. Wine has no
// such rule: it adds the multiplier for every byte asked for and waits
// forever. The device reads what is queued, or one byte, with a plain
// total time-out of the constant, which comes to the same.
bool WaitsForFirstByte(const Timeouts& t)
{
    return t.ReadInterval == MAXDWORD && t.ReadTotalMultiplier == MAXDWORD && t.ReadTotalConstant > 0
           && t.ReadTotalConstant < MAXDWORD;
}

// Windows's serial drivers open a port for one handle at a time; wine's
// does not, and lets a second program in beside the first. A named object
// per port keeps out every opener that takes it too (this program's other
// ports, rvd3318ctl, a second panel), as the lock does on Linux. It goes
// with its handle, so a program that dies leaves nothing behind.
HANDLE TakePortLock(const std::string& path, int& error)
{
    std::string name = "Local\\RVD3318.port.";
    for (char c : DosDeviceName(path))
        name.push_back(c == '\\' ? '!' : static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    HANDLE lock = ::CreateMutexA(nullptr, FALSE, name.c_str());
    error = lock ? 0 : LastError();
    if (lock && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(lock);
        lock = nullptr;
        error = ERROR_ACCESS_DENIED; // what the driver says to a second opener
    }
    return lock;
}

} // namespace

Win32Device::~Win32Device()
{
    Close();
    if (waitOverlapped_.hEvent)
        ::CloseHandle(waitOverlapped_.hEvent);
    if (maskChanged_)
        ::CloseHandle(maskChanged_);
}

int Win32Device::Open(std::string_view name)
{
    if (handle_ != INVALID_HANDLE_VALUE)
        return ERROR_BUSY;
    const std::string path = Win32DevicePath(name);
    if (path.empty() || path.find('\0') != std::string::npos)
        return ERROR_FILE_NOT_FOUND;
    HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return LastError();
    const auto fail = [&](int error) {
        ::CloseHandle(handle);
        return error;
    };
    // A file or a pipe opens too; only a serial device has a control record.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle, &dcb)) {
        const int error = LastError();
        return fail(error ? error : ERROR_NOT_SUPPORTED);
    }
    int lockError = 0;
    HANDLE lock = TakePortLock(path, lockError);
    if (!lock)
        return fail(lockError);
    if (!waitOverlapped_.hEvent || !maskChanged_) {
        if (!waitOverlapped_.hEvent)
            waitOverlapped_.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!maskChanged_)
            maskChanged_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!waitOverlapped_.hEvent || !maskChanged_) {
            const int error = LastError();
            ::CloseHandle(lock);
            return fail(error);
        }
    }
    // No events until the port asks for some; a mask left by the port's
    // last user would wake the first wait for nothing.
    ::SetCommMask(handle, 0);
    // The reads go by the driver's time-outs until the port sets its own,
    // so the record starts as the driver has them.
    Timeouts timeouts;
    COMMTIMEOUTS current{};
    if (::GetCommTimeouts(handle, &current)) {
        timeouts.ReadInterval = current.ReadIntervalTimeout;
        timeouts.ReadTotalMultiplier = current.ReadTotalTimeoutMultiplier;
        timeouts.ReadTotalConstant = current.ReadTotalTimeoutConstant;
        timeouts.WriteTotalMultiplier = current.WriteTotalTimeoutMultiplier;
        timeouts.WriteTotalConstant = current.WriteTotalTimeoutConstant;
    }
    std::lock_guard guard(mutex_);
    handle_ = handle;
    lock_ = lock;
    mask_ = 0;
    waitPending_ = false;
    timeouts_ = timeouts;
    return 0;
}

void Win32Device::Close()
{
    if (handle_ == INVALID_HANDLE_VALUE)
        return;
    {
        std::unique_lock lock(mutex_);
        CancelPending(lock);
        mask_ = 0;
        maskChanges_.fetch_add(1);
        ::SetEvent(maskChanged_);
        ::SetCommMask(handle_, 0); // ends an event wait still in progress
    }
    if (waitPending_)
        SettleEventWait(nullptr);
    // What the line received belongs to this opening only; output already
    // written still goes out (a write reported as done must reach the line).
    ::PurgeComm(handle_, PURGE_RXCLEAR);
    HANDLE handle = handle_;
    {
        std::lock_guard lock(mutex_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    ::CloseHandle(handle);
    ::CloseHandle(lock_);
    lock_ = nullptr;
    std::lock_guard lock(mutex_);
    // Closing the handle ends what would not cancel; the system sets each
    // record's event once it lets go.
    for (Transfer* t : pending_) {
        ::WaitForSingleObject(t->Event(), letGoMs);
        t->Finish(ERROR_OPERATION_ABORTED, static_cast<std::int32_t>(t->overlapped.InternalHigh));
    }
    pending_.clear();
}

int Win32Device::SetQueueSizes(std::int32_t inputSize, std::int32_t outputSize)
{
    if (handle_ == INVALID_HANDLE_VALUE)
        return ERROR_INVALID_HANDLE;
    if (inputSize < 0 || outputSize < 0)
        return ERROR_INVALID_PARAMETER;
    if (!::SetupComm(handle_, static_cast<DWORD>(inputSize), static_cast<DWORD>(outputSize)))
        return OnOpenHandle(LastError());
    return 0;
}

int Win32Device::SetLineSettings(const LineSettings& settings)
{
    if (handle_ == INVALID_HANDLE_VALUE)
        return ERROR_INVALID_HANDLE;
    if (const int error = CheckLineSettings(settings))
        return error;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    // Filled from the driver's own record, so that what the port does not
    // set (the reserved fields, a driver's extras) stays as the driver has it.
    if (!::GetCommState(handle_, &dcb))
        return OnOpenHandle(LastError());
    FillDcb(settings, dcb);
    if (!::SetCommState(handle_, &dcb))
        return OnOpenHandle(LastError());
    // SetCommState sets DTR and RTS on Windows; set them once more where
    // the port drives them by hand, for drivers that leave them as they
    // were. A device without modem lines refuses, which is no failure of
    // the settings.
    const std::uint32_t dtr = settings.Flags & LineFlag::DtrControlMask;
    if (dtr == 0 || dtr == LineFlag::DtrEnable)
        ::EscapeCommFunction(handle_, dtr ? SETDTR : CLRDTR);
    const std::uint32_t rts = settings.Flags & LineFlag::RtsControlMask;
    if (rts == 0 || rts == LineFlag::RtsEnable)
        ::EscapeCommFunction(handle_, rts ? SETRTS : CLRRTS);
    return 0;
}

int Win32Device::SetTimeouts(const Timeouts& timeouts)
{
    if (handle_ == INVALID_HANDLE_VALUE)
        return ERROR_INVALID_HANDLE;
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = timeouts.ReadInterval;
    t.ReadTotalTimeoutMultiplier = timeouts.ReadTotalMultiplier;
    t.ReadTotalTimeoutConstant = timeouts.ReadTotalConstant;
    if (WaitsForFirstByte(timeouts)) {
        t.ReadIntervalTimeout = 0;
        t.ReadTotalTimeoutMultiplier = 0;
    }
    t.WriteTotalTimeoutMultiplier = timeouts.WriteTotalMultiplier;
    t.WriteTotalTimeoutConstant = timeouts.WriteTotalConstant;
    if (!::SetCommTimeouts(handle_, &t))
        return OnOpenHandle(LastError());
    std::lock_guard lock(mutex_);
    timeouts_ = timeouts;
    return 0;
}

int Win32Device::Queued(DWORD& queued)
{
    queued = 0;
    DWORD errors = 0;
    COMSTAT stat{};
    if (!::ClearCommError(handle_, &errors, &stat))
        return OnOpenHandle(LastError());
    // The flags this took are the port's to ask for: keep them.
    if (errors) {
        std::lock_guard lock(mutex_);
        heldErrors_ |= errors;
    }
    queued = stat.cbInQue;
    return 0;
}

int Win32Device::CheckLine()
{
    DWORD queued = 0;
    return Queued(queued);
}

int Win32Device::StartRead(Transfer& transfer, char* destination, std::int32_t count, std::int32_t& immediate)
{
    immediate = 0;
    if (handle_ == INVALID_HANDLE_VALUE)
        return ERROR_INVALID_HANDLE;
    std::int32_t wanted = count;
    bool atOnce = false;
    bool firstByte = false;
    {
        std::lock_guard lock(mutex_);
        atOnce = ReturnsAtOnce(timeouts_);
        firstByte = WaitsForFirstByte(timeouts_);
    }
    if ((atOnce || firstByte) && count > 0) {
        // Such a read returns at once with what is queued. Wine keeps an
        // overlapped read with these time-outs pending on an empty queue
        // until bytes come, so the device reads only what is there (or,
        // waiting for the first byte, that byte).
        DWORD queued = 0;
        if (const int error = Queued(queued))
            return error;
        wanted = static_cast<std::int32_t>(std::min<DWORD>(queued, static_cast<DWORD>(count)));
        if (firstByte && wanted == 0)
            wanted = 1;
    }
    return Start(transfer, false, destination, count, wanted, immediate);
}

int Win32Device::StartWrite(Transfer& transfer, const char* source, std::int32_t count, std::int32_t& immediate)
{
    immediate = 0;
    if (handle_ == INVALID_HANDLE_VALUE)
        return ERROR_INVALID_HANDLE;
    // WriteFile does not write through the pointer.
    return Start(transfer, true, const_cast<char*>(source), count, count, immediate);
}

int Win32Device::Start(Transfer& t, bool write, void* buffer, std::int32_t count, std::int32_t wanted,
                       std::int32_t& immediate)
{
    if (count < 0 || (count > 0 && !buffer))
        return ERROR_INVALID_PARAMETER;
    std::unique_lock lock(mutex_);
    if (t.pending.load())
        return ERROR_BUSY; // still pending: its buffer is in use
    t.Begin(this, write, count);
    if (wanted == 0) {
        t.Finish(0, 0);
        return 0;
    }
    t.overlappedOwner.store(this);
    pending_.push_back(&t);
    const BOOL done = write ? ::WriteFile(handle_, buffer, static_cast<DWORD>(wanted), nullptr, &t.overlapped)
                            : ::ReadFile(handle_, buffer, static_cast<DWORD>(wanted), nullptr, &t.overlapped);
    const int error = done ? 0 : LastError();
    if (error == ERROR_IO_PENDING)
        return 0; // the system carries it on and sets the record's event
    if (error == 0 || error == ERROR_TIMEOUT) {
        Collect(t);
        immediate = t.done;
        return t.error;
    }
    pending_.erase(std::remove(pending_.begin(), pending_.end(), &t), pending_.end());
    t.Finish(OnOpenHandle(error), 0);
    return t.error;
}

void Win32Device::Collect(Transfer& t)
{
    DWORD moved = 0;
    int error = 0;
    if (!::GetOverlappedResult(handle_, &t.overlapped, &moved, FALSE))
        error = TransferError(LastError());
    pending_.erase(std::remove(pending_.begin(), pending_.end(), &t), pending_.end());
    t.Finish(error, static_cast<std::int32_t>(moved));
}

int Win32Device::Wait(Transfer& t, std::int32_t& transferred)
{
    transferred = 0;
    if (t.pending.load()) {
        // Bounded by the transfer's time-outs, its abort and the close.
        ::WaitForSingleObject(t.Event(), INFINITE);
        std::lock_guard lock(mutex_);
        if (t.pending.load() && t.owner.load() == this && handle_ != INVALID_HANDLE_VALUE)
            Collect(t);
    }
    transferred = t.done;
    return t.error;
}

void Win32Device::CancelPending(std::unique_lock<std::mutex>&)
{
    // Each transfer by its own record: cancelling everything on the handle
    // would end the event wait too.
    for (Transfer* t : pending_)
        ::CancelIoEx(handle_, &t->overlapped);
    const std::vector<Transfer*> cancelled = pending_;
    for (Transfer* t : cancelled) {
        if (::WaitForSingleObject(t->Event(), letGoMs) == WAIT_OBJECT_0)
            Collect(*t);
    }
}

int Win32Device::AbortPending()
{
    if (handle_ == INVALID_HANDLE_VALUE)
        return ERROR_INVALID_HANDLE;
    std::unique_lock lock(mutex_);
    CancelPending(lock);
    // One that the system would not let go of in time is still pending:
    // saying it had ended would be untrue.
    return pending_.empty() ? 0 : ERROR_IO_PENDING;
}

void Win32Device::Forget(Transfer& t)
{
    std::unique_lock lock(mutex_);
    if (!t.pending.load() || handle_ == INVALID_HANDLE_VALUE)
        return;
    ::CancelIoEx(handle_, &t.overlapped);
    if (::WaitForSingleObject(t.Event(), letGoMs) == WAIT_OBJECT_0)
        Collect(t);
    else
        pending_.erase(std::remove(pending_.begin(), pending_.end(), &t), pending_.end());
}

int Win32Device::Purge(bool input, bool output)
{
    if (handle_ == INVALID_HANDLE_VALUE)
        return ERROR_INVALID_HANDLE;
    const DWORD flags = (input ? PURGE_RXCLEAR : 0) | (output ? PURGE_TXCLEAR : 0);
    if (flags && !::PurgeComm(handle_, flags))
        return OnOpenHandle(LastError());
    return 0;
}

int Win32Device::ClearErrors(std::uint32_t& errorFlags, std::int32_t& inputCount)
{
    errorFlags = 0;
    inputCount = 0;
    if (handle_ == INVALID_HANDLE_VALUE)
        return ERROR_INVALID_HANDLE;
    DWORD errors = 0;
    COMSTAT stat{};
    if (!::ClearCommError(handle_, &errors, &stat))
        return OnOpenHandle(LastError());
    {
        std::lock_guard lock(mutex_);
        errors |= heldErrors_;
        heldErrors_ = 0;
    }
    errorFlags = ErrorFlagsFromComm(errors);
    inputCount = static_cast<std::int32_t>(std::min<DWORD>(stat.cbInQue, 0x7FFFFFFF));
    return 0;
}

int Win32Device::ModemStatus(std::uint32_t& bits)
{
    bits = 0;
    if (handle_ == INVALID_HANDLE_VALUE)
        return ERROR_INVALID_HANDLE;
    DWORD status = 0;
    if (!::GetCommModemStatus(handle_, &status)) {
        const int error = LastError();
        // A device without modem lines (a virtual port) has them all off.
        if (error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED)
            return 0;
        return OnOpenHandle(error);
    }
    bits = ModemBitsFromComm(status);
    return 0;
}

int Win32Device::SetEventMask(std::uint32_t mask)
{
    if (handle_ == INVALID_HANDLE_VALUE)
        return ERROR_INVALID_HANDLE;
    std::lock_guard lock(mutex_);
    // Counted first: the wait this ends must see the change when it wakes.
    maskChanges_.fetch_add(1);
    ::SetEvent(maskChanged_);
    if (!::SetCommMask(handle_, CommMaskFromEvents(mask)))
        return OnOpenHandle(LastError());
    mask_ = mask;
    return 0;
}

bool Win32Device::EndEventWait()
{
    {
        // Setting the mask again ends a pending WaitCommEvent on Windows and
        // under wine alike; wine's CancelIoEx cannot end it.
        std::lock_guard lock(mutex_);
        ::SetCommMask(handle_, CommMaskFromEvents(mask_));
    }
    DWORD ignored = 0;
    if (::WaitForSingleObject(waitOverlapped_.hEvent, letGoMs) != WAIT_OBJECT_0) {
        ::CancelIoEx(handle_, &waitOverlapped_);
        if (::WaitForSingleObject(waitOverlapped_.hEvent, letGoMs) != WAIT_OBJECT_0) {
            waitPending_ = true;
            return false;
        }
    }
    ::GetOverlappedResult(handle_, &waitOverlapped_, &ignored, FALSE);
    waitPending_ = false;
    return true;
}

bool Win32Device::SettleEventWait(WakeHandle stop)
{
    HANDLE handles[2] = {waitOverlapped_.hEvent, stop};
    const DWORD r = ::WaitForMultipleObjects(stop ? 2 : 1, handles, FALSE, letGoMs);
    if (r != WAIT_OBJECT_0)
        return false;
    DWORD ignored = 0;
    ::GetOverlappedResult(handle_, &waitOverlapped_, &ignored, FALSE);
    waitPending_ = false;
    return true;
}

int Win32Device::WaitEvent(std::uint32_t& events, WakeHandle stop)
{
    events = 0;
    if (handle_ == INVALID_HANDLE_VALUE)
        return ERROR_INVALID_HANDLE;
    const auto stopped = [stop] { return stop && ::WaitForSingleObject(stop, 0) == WAIT_OBJECT_0; };
    if (waitPending_ && !SettleEventWait(stop))
        return stopped() ? ERROR_OPERATION_ABORTED : ERROR_IO_PENDING;
    // A mask change from here on ends this wait, whether it comes during a
    // WaitCommEvent or during a pause between two.
    ::ResetEvent(maskChanged_);
    const std::uint32_t changes = maskChanges_.load();
    DWORD pause = 10;
    for (;;) {
        if (stopped())
            return ERROR_OPERATION_ABORTED;
        if (maskChanges_.load() != changes)
            return 0;
        ::ResetEvent(waitOverlapped_.hEvent);
        HANDLE event = waitOverlapped_.hEvent;
        waitOverlapped_ = OVERLAPPED{};
        waitOverlapped_.hEvent = event;
        waitMask_ = 0;
        int error = 0;
        if (!::WaitCommEvent(handle_, &waitMask_, &waitOverlapped_)) {
            error = LastError();
            if (error == ERROR_IO_PENDING) {
                HANDLE handles[2] = {event, stop};
                DWORD r = WAIT_TIMEOUT;
                while ((r = ::WaitForMultipleObjects(stop ? 2 : 1, handles, FALSE, lineCheckMs)) == WAIT_TIMEOUT) {
                    // Wine's wait never ends when the line hangs up, though
                    // every other call then fails: ask once in a while.
                    if (const int lineError = CheckLine(); LineGone(lineError)) {
                        EndEventWait();
                        return lineError;
                    }
                }
                if (r != WAIT_OBJECT_0) {
                    // Stopped (or the wait itself failed): the WaitCommEvent
                    // must end before its record is used again.
                    const int waitError = r == WAIT_OBJECT_0 + 1 ? ERROR_OPERATION_ABORTED : LastError();
                    EndEventWait();
                    return waitError ? waitError : ERROR_OPERATION_ABORTED;
                }
                DWORD ignored = 0;
                error = ::GetOverlappedResult(handle_, &waitOverlapped_, &ignored, FALSE) ? 0 : LastError();
            }
        }
        if (error == 0) {
            // A mask change ends the wait with no events on Windows.
            events = EventsFromComm(waitMask_);
            return 0;
        }
        if (error != ERROR_OPERATION_ABORTED)
            return OnOpenHandle(error);
        if (stopped())
            return ERROR_OPERATION_ABORTED;
        // Wine ends the wait of a mask change with ERROR_OPERATION_ABORTED:
        // that is the change the interface announces, not a failure.
        if (maskChanges_.load() != changes)
            return 0;
        // Ended by nothing the port did: wine does that to every wait on a
        // device without modem lines, about 2 ms after it starts. Waiting
        // again at once would spin; the pause grows to a second, and a
        // stop or a mask change ends it. Such a wait never sees the line
        // go, so each end is also the time to look.
        if (const int lineError = CheckLine(); LineGone(lineError))
            return lineError;
        HANDLE wakes[2] = {maskChanged_, stop};
        if (::WaitForMultipleObjects(stop ? 2 : 1, wakes, FALSE, pause) == WAIT_OBJECT_0 + 1)
            return ERROR_OPERATION_ABORTED;
        pause = std::min<DWORD>(pause * 2, 1000);
    }
}

} // namespace serialdev
