// The record of one transfer: what the port started on the device, and for
// a write its own copy of the bytes (handed to the links at completion).
#pragma once

#include "serial/device/Device.h"

#include <cstdint>
#include <vector>

enum TComAsyncKind : std::uint8_t { akWrite, akRead };

class TComAsync {
public:
    TComAsync();
    ~TComAsync();
    TComAsync(const TComAsync&) = delete;
    TComAsync& operator=(const TComAsync&) = delete;

    TComAsyncKind Kind = akWrite;
    // For a write: the bytes being written; empty before any write.
    std::vector<char> Data;
    bool HasData = false;

    // The device-level state of the transfer (its completion event).
    serialdev::Transfer& DeviceTransfer() { return *transfer_; }

private:
    serialdev::TransferPtr transfer_;
};
