#include "serial/ComAsync.h"

#include "serial/posix/SerialDevice.h"

TComAsync::TComAsync() : transfer_(std::make_unique<serialdev::Transfer>()) {}

TComAsync::~TComAsync() = default;
