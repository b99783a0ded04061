// <windows.h> as every Windows file of the project takes it: without the
// parts it rarely needs (winsock2.h may follow), and without the min and max
// macros that would break std::min and std::max.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
