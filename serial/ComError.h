// The serial component's one exception class and its message table.
#pragma once

#include "framework/Exception.h"

#include <cstdint>
#include <string>
#include <vector>

// Message numbers (1 to 23).
enum TComErrorCode : std::int32_t {
    CError_OpenFailed = 1,
    CError_WriteFailed,
    CError_ReadFailed,
    CError_InvalidAsync,
    CError_PurgeFailed,
    CError_AsyncCheck,
    CError_SetStateFailed,
    CError_TimeoutsFailed,
    CError_SetupComFailed,
    CError_ClearComFailed,
    CError_ModemStatFailed,
    CError_EscapeComFailed,
    CError_TransmitFailed,
    CError_ConnChangeProp,
    CError_EnumPortsFailed,
    CError_StoreFailed,
    CError_LoadFailed,
    CError_RegFailed,
    CError_LedStateFailed,
    CError_ThreadCreated,
    CError_WaitFailed,
    CError_HasLink,
    CError_RegError
};

class EComPort : public Exception {
public:
    // An error without an operating-system code: the message is the text
    // of `code` alone and OsCode() is -1.
    explicit EComPort(std::int32_t code);
    // An error with the operating system's code: the text of `code`
    // followed by " (win error code: <osCode>)".
    EComPort(std::int32_t code, std::int32_t osCode);
    // The same, about the device at `devicePath` (the path the port tried;
    // empty when its name gives none). The message does not change.
    EComPort(std::int32_t code, std::int32_t osCode, std::string devicePath);
    // The same, with what the far end gave as its reason: a serial
    // server's own refusal text ("" for none).
    EComPort(std::int32_t code, std::int32_t osCode, std::string devicePath, std::string peerText);

    std::int32_t Code() const noexcept { return code_; }
    std::int32_t OsCode() const noexcept { return osCode_; }
    const std::string& DevicePath() const noexcept { return devicePath_; }
    const std::string& PeerText() const noexcept { return peerText_; }

    // ComErrorDetails(*this).
    std::vector<std::string> Details() const override;

private:
    std::int32_t code_;
    std::int32_t osCode_;
    std::string devicePath_;
    std::string peerText_;
};

// What an operator reads under the message: the system's description of
// the OS code in the user's language with the device path, then, as far as
// the system tells, the remedy: for a refused device, its group and the
// command that adds the user to it; for a busy one, the process holding
// it; for a missing one, that it is not there. For a port on a serial
// server: the host that was not found, the connection refused and where
// the server should be, the time-out, or the server's own refusal.
// None without an OS code.
// Looks at the device and the running processes as they are now.
// The system's own description of one of its error codes (an errno value
// on Linux, a Windows error code on Windows), in the user's language.
std::string SystemErrorDescription(int code);

std::vector<std::string> ComErrorDetails(const EComPort& error);

// The untranslated text of a message number ("" outside 1 to 23).
const char* ComErrorOriginalText(std::int32_t code);

// The text the port uses for a message number: its translation when the
// module's start-up step has run, else the original.
std::string ComErrorText(std::int32_t code);

// The serial module's start-up and shutdown steps: register the "cport"
// text domain and look the 23 texts up once; then forget them again.
void InitComPortModule();
void DoneComPortModule();
