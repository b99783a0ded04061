// The transfer record: its device-level state lives behind a pointer, so
// that users of the record never see the device layer.
#include "serial/ComAsync.h"

#include "serial/posix/Transfer.h"

TComAsync::TComAsync() : transfer_(std::make_unique<serialdev::Transfer>()) {}

TComAsync::~TComAsync() = default;
