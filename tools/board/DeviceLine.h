// Setting a serial device's line for the board: raw, 8N1, no flow control,
// at a rate the device layer turns into termios. Kept apart from
// BoardLine.cpp because the kernel's termios2 record cannot share a
// translation unit with the C library's termios.
#pragma once

// Returns 0, or the errno of the failing step. A descriptor that is not a
// terminal (a FIFO, say) is left as it is: bytes are bytes.
int SetDeviceLine(int fd, unsigned baud);
