// The error display every test program runs with: whatever reaches the
// standard error display (an exception that GuardedCall caught in a slot,
// a timer, an event or a destructor, or a message shown on any thread)
// fails the running test with its message. A test that expects an error
// says so by holding an ErrorCapture (Capture.h), which takes the display
// over while it lives.
#pragma once

void InstallFailingErrorDisplay();
