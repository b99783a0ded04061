// Why a port would not open, in the lines an operator reads under the
// message: a refused device (opened by a real unprivileged process), a held
// one, a missing one.
#include "serial/CPort.h"
#include "serial/posix/DeviceDiagnosis.h"
#include "tests/serial/CatchComError.h"
#include "tests/support/PtyPair.h"
#include "tests/support/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Lines = std::vector<std::string>;

// The message, then the lines under it, of an open of `path`.
Lines OpenFailure(const std::string& path)
{
    TComPort port;
    port.SetPort(QString::fromStdString(path));
    const EComPort error = CatchComError([&] { port.OpenPort(); });
    Lines lines{error.what()};
    for (const std::string& line : ComErrorDetails(error))
        lines.push_back(line);
    return lines;
}

std::string Joined(const Lines& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

// OpenFailure(path) as seen by a process of the user nobody, whose only
// group is `gid`: root opens anything, so the refusal needs another user.
std::string OpenFailureAsNobody(const std::string& path, gid_t gid)
{
    int out[2];
    if (::pipe(out) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        std::string text = "could not become nobody\n";
        if (::setgroups(0, nullptr) == 0 && ::setgid(gid) == 0 && ::setuid(65534) == 0)
            text = Joined(OpenFailure(path));
        const ssize_t written = ::write(out[1], text.data(), text.size());
        ::_exit(written == static_cast<ssize_t>(text.size()) ? 0 : 1);
    }
    ::close(out[1]);
    std::string text;
    char buffer[512];
    ssize_t got;
    while ((got = ::read(out[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(got));
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return text;
}

// A process named `name` that keeps `path` open, locked when `lock`, until
// destroyed.
class Holder {
public:
    Holder(const std::string& path, const char* name, bool lock)
    {
        int ready[2];
        if (::pipe(ready) != 0 || ::pipe(release_) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(release_[1]);
            ::prctl(PR_SET_NAME, name);
            const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
            const bool held = fd >= 0 && (!lock || ::flock(fd, LOCK_EX | LOCK_NB) == 0);
            (void)!::write(ready[1], held ? "y" : "n", 1);
            char byte;
            (void)!::read(release_[0], &byte, 1); // ends when the test closes its end
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release_[0]);
        char answer = 'n';
        held_ = ::read(ready[0], &answer, 1) == 1 && answer == 'y';
        ::close(ready[0]);
    }
    ~Holder()
    {
        ::close(release_[1]);
        if (pid_ > 0)
            ::waitpid(pid_, nullptr, 0);
    }
    bool Held() const { return held_; }
    pid_t Pid() const { return pid_; }

private:
    int release_[2] = {-1, -1};
    pid_t pid_ = -1;
    bool held_ = false;
};

class ComErrorDetailsTest : public ::testing::Test {
protected:
    ScopedEnvironment lang_{"LANG", "C"};
    ScopedEnvironment all_{"LC_ALL", std::nullopt};
    ScopedEnvironment messages_{"LC_MESSAGES", std::nullopt};
};

TEST_F(ComErrorDetailsTest, ARefusedDeviceNamesItsGroupTheCommandAndTheNewLogin)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "becoming another user needs root";
    const group* dialout = ::getgrnam("dialout");
    const passwd* nobody = ::getpwuid(65534);
    const group* nogroup = ::getgrgid(65534);
    ASSERT_TRUE(dialout != nullptr && nobody != nullptr && nogroup != nullptr);
    const std::string user = nobody->pw_name, nogroupName = nogroup->gr_name;
    const gid_t dialoutGid = dialout->gr_gid;
    PtyPair pty;
    const std::string path = pty.SlavePath();
    const std::string refused = "Unable to open com port (win error code: 13)\n" + path + ": Permission denied\n";

    ASSERT_EQ(::chown(path.c_str(), 0, dialoutGid), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0660), 0);
    EXPECT_EQ(OpenFailureAsNobody(path, 65534),
              refused + "The device belongs to the group dialout, which you are not in. To join it, run:\n"
                        "sudo usermod -aG dialout " + user + "\n"
                        "Then log out and in again: a new group counts from the next login on.\n");

    // The group database gives nobody its own group, which this process
    // was started without: a login older than the membership.
    ASSERT_EQ(::chown(path.c_str(), 0, 65534), 0);
    EXPECT_EQ(OpenFailureAsNobody(path, 54321),
              refused + "You are in the group " + nogroupName +
                  ", but this login began before you joined it: log out and in again.\n");

    // No group may open it: joining one would not help.
    ASSERT_EQ(::chown(path.c_str(), 0, dialoutGid), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    EXPECT_EQ(OpenFailureAsNobody(path, 65534),
              refused + "The device belongs to user root and group dialout, permissions rw-------.\n");
}

TEST_F(ComErrorDetailsTest, AHeldPortNamesTheProcessThatHoldsIt)
{
    PtyPair pty;
    const std::string path = pty.SlavePath();
    {
        Holder locker(path, "port-holder", true);
        ASSERT_TRUE(locker.Held());
        EXPECT_EQ(OpenFailure(path), (Lines{"Unable to open com port (win error code: 16)",
                                            path + ": Device or resource busy",
                                            "It is in use by process " + std::to_string(locker.Pid()) +
                                                " (port-holder)."}));
    }
    // Without a lock (a program that only sets exclusive mode), the
    // processes that have the device open.
    Holder reader(path, "tty-reader", false);
    ASSERT_TRUE(reader.Held());
    const auto holders = serialdev::DeviceHolders(path);
    ASSERT_EQ(holders.size(), 1u);
    EXPECT_EQ(holders[0].Pid, reader.Pid());
    EXPECT_EQ(holders[0].Name, "tty-reader");
    EXPECT_EQ(ComErrorDetails(EComPort(CError_OpenFailed, EBUSY, "/dev/rvd3318-no-such-port")),
              (Lines{"/dev/rvd3318-no-such-port: Device or resource busy", "It is in use by another program."}));
}

TEST_F(ComErrorDetailsTest, AMissingDeviceIsNotThereAndOtherCodesSayWhatTheSystemSays)
{
    EXPECT_EQ(OpenFailure("rvd3318-no-such-port"),
              (Lines{"Unable to open com port (win error code: 2)",
                     "/dev/rvd3318-no-such-port: No such file or directory",
                     "The device is not there: is it plugged in?"}));
    EXPECT_EQ(OpenFailure("/dev/null"), (Lines{"Unable to open com port (win error code: 25)",
                                               "/dev/null: Inappropriate ioctl for device",
                                               "It is not a serial device."}));
    EXPECT_EQ(OpenFailure(""), (Lines{"Unable to open com port (win error code: 2)", "No such file or directory",
                                      "No port is chosen."}));
    // Without a device, the system's description alone; without an OS
    // code, nothing.
    EXPECT_EQ(EComPort(CError_WriteFailed, EIO).Details(), Lines{"Input/output error"});
    EXPECT_TRUE(ComErrorDetails(EComPort(CError_ConnChangeProp)).empty());
}

} // namespace
