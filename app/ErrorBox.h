// The application's standard error display: a modal message box with the
// stop icon and one OK button, titled with the application's title.
#pragma once

#include "framework/ErrorDisplay.h"

#include <QString>

#include <string>
#include <vector>

// The application's title from the executable's path: the file name
// without its folder, cut before its first ".", every letter after the
// first in lower case ("/opt/bin/PANEL.EXE" gives "Panel").
QString ApplicationTitle(const QString& executablePath);

// The text shown for an error message: a "." is appended when the message
// is not empty and its last byte sorts after "." (so "...failed" gets a
// full stop, "(win error code: 2)" and "done." stay as they are).
std::string MessageWithFullStop(const std::string& message);

// Shows `message` in the standard error display and waits for OK; the
// explaining lines go under it, one a line.
void ShowErrorBox(const std::string& message, const std::vector<std::string>& details = {});

// Makes ShowErrorBox the display of framework/ErrorDisplay.h; the returned
// object puts the previous display back when destroyed.
class TErrorDisplayInstallation {
public:
    TErrorDisplayInstallation();
    ~TErrorDisplayInstallation();
    TErrorDisplayInstallation(const TErrorDisplayInstallation&) = delete;
    TErrorDisplayInstallation& operator=(const TErrorDisplayInstallation&) = delete;

private:
    ErrorDisplayFunction previous_;
};
