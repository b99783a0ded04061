// The board's serial device set up through the device layer's termios mapping.
#include "tools/board/DeviceLine.h"

#include "serial/posix/TermiosMapping.h"

#include <cerrno>
#include <sys/ioctl.h>

int SetDeviceLine(int fd, unsigned baud)
{
    termios2 current{};
    if (::ioctl(fd, TCGETS2, &current) != 0)
        return 0;
    serialdev::LineSettings settings;
    settings.BaudRate = baud;
    settings.ByteSize = 8;
    serialdev::TermiosSetup setup;
    if (const int error = serialdev::BuildTermios(settings, current, setup))
        return error;
    setup.tio.c_cc[VMIN] = 1;
    return ::ioctl(fd, TCSETS2, &setup.tio) == 0 ? 0 : errno;
}
