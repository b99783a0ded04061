// What Linux can tell about a tty that failed: who owns the node and how
// to be let in, who holds it, or that it is not there.
#include "serial/ComErrorLines.h"

#include "i18n/gnugettext.h"
#include "serial/posix/DeviceDiagnosis.h"

#include <cerrno>

namespace {

constexpr const char* notThereText = MarkForTranslation("The device is not there: is it plugged in?");
constexpr const char* notSerialText = MarkForTranslation("It is not a serial device.");
// xgettext: c-format
constexpr const char* heldByText = MarkForTranslation("It is in use by process %d (%s).");
constexpr const char* inUseText = MarkForTranslation("It is in use by another program.");
// xgettext: c-format
constexpr const char* joinGroupText =
    MarkForTranslation("The device belongs to the group %s, which you are not in. To join it, run:");
constexpr const char* newLoginText =
    MarkForTranslation("Then log out and in again: a new group counts from the next login on.");
// xgettext: c-format
constexpr const char* olderLoginText =
    MarkForTranslation("You are in the group %s, but this login began before you joined it: log out and in again.");
// xgettext: c-format
constexpr const char* ownershipText = MarkForTranslation("The device belongs to user %s and group %s, permissions %s.");

void AddAccessLines(const std::string& path, std::vector<std::string>& lines)
{
    const serialdev::AccessFacts facts = serialdev::DeviceAccess(path);
    if (!facts.Known)
        return;
    if (facts.GroupMayOpen && !facts.ProcessInGroup) {
        if (facts.UserInGroup) {
            lines.push_back(FillText(LookupText(olderLoginText), {facts.GroupName}));
        } else {
            lines.push_back(FillText(LookupText(joinGroupText), {facts.GroupName}));
            lines.push_back("sudo usermod -aG " + facts.GroupName + " " + facts.UserName);
            lines.push_back(LookupText(newLoginText));
        }
        return;
    }
    // Joining the group would not help (or this login has it already):
    // what the node says is all there is to tell.
    lines.push_back(FillText(LookupText(ownershipText), {facts.OwnerName, facts.GroupName, facts.Permissions}));
}

void AddHolderLines(const std::string& path, std::vector<std::string>& lines)
{
    const std::vector<serialdev::DeviceHolder> holders = serialdev::DeviceHolders(path);
    if (holders.empty())
        lines.push_back(LookupText(inUseText));
    for (const serialdev::DeviceHolder& holder : holders)
        lines.push_back(FillText(LookupText(heldByText), {std::to_string(holder.Pid), holder.Name}));
}

} // namespace

void AddDeviceLines(const EComPort& error, std::vector<std::string>& lines)
{
    const std::string& path = error.DevicePath();
    switch (error.OsCode()) {
    case EACCES:
    case EPERM:
        AddAccessLines(path, lines);
        break;
    case EBUSY:
        AddHolderLines(path, lines);
        break;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        lines.push_back(LookupText(notThereText));
        break;
    case ENOTTY:
        lines.push_back(LookupText(notSerialText));
        break;
    default:
        break;
    }
}
