// The transfer record: its device-level state lives behind a pointer, so
// that users of the record never see the device layer.
#include "serial/ComAsync.h"

TComAsync::TComAsync() : transfer_(serialdev::NewTransfer()) {}

TComAsync::~TComAsync() = default;
