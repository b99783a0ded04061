// The pty's output speed, read with termios2: apart from PtyPair.cpp,
// because the kernel's termios2 header and the C library's <termios.h>
// cannot meet in one file.
#include "tests/support/PtyPair.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

unsigned PtyPair::OutputSpeed() const
{
    termios2 tio{};
    if (::ioctl(master_, TCGETS2, &tio) != 0)
        throw std::runtime_error(std::string("TCGETS2: ") + std::strerror(errno));
    return tio.c_ospeed;
}
