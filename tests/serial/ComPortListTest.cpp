// The port component's port list: order, duplicates, replacing the target,
// the error when the list cannot be read, and the system's own source.
#include "serial/ComError.h"
#include "serial/ComPortList.h"
#include "tests/serial/CatchComError.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Feeds ListSerialPorts from a fixed list (or an error) for one test.
class ComPortListTest : public ::testing::Test {
protected:
    void Feed(std::vector<std::string> names, int error = 0)
    {
        SetPortNameSource([names, error](std::vector<std::string>& out) {
            out = names;
            return error;
        });
    }
    void TearDown() override { SetPortNameSource({}); }
};

TEST_F(ComPortListTest, SortsByTextIgnoringLetterCaseNotByPortNumber)
{
    Feed({"COM2", "COM10", "COM1"});
    QStringList list;
    ListSerialPorts(list);
    EXPECT_EQ(list, (QStringList{"COM1", "COM10", "COM2"}));

    Feed({"ttyUSB1", "com3", "COM2", "/dev/pts/4", "Com1"});
    ListSerialPorts(list);
    EXPECT_EQ(list, (QStringList{"/dev/pts/4", "Com1", "COM2", "com3", "ttyUSB1"}));
}

TEST_F(ComPortListTest, KeepsEveryDuplicate)
{
    Feed({"COM3", "COM1", "COM3", "com1"});
    QStringList list;
    ListSerialPorts(list);
    ASSERT_EQ(list.size(), 4);
    EXPECT_EQ(list.mid(0, 2).join(',').toUpper(), "COM1,COM1");
    EXPECT_EQ(list.mid(2), (QStringList{"COM3", "COM3"}));
}

TEST_F(ComPortListTest, ReplacesTheWholeTarget)
{
    Feed({"ttyUSB0"});
    QStringList list{"old1", "old2", "old3"};
    ListSerialPorts(list);
    EXPECT_EQ(list, QStringList{"ttyUSB0"});
}

TEST_F(ComPortListTest, NoPortAtAllIsAnEmptyListNotAnError)
{
    Feed({});
    QStringList list{"stale"};
    EXPECT_NO_THROW(ListSerialPorts(list));
    EXPECT_TRUE(list.isEmpty());
}

TEST_F(ComPortListTest, UnreadableListRaisesRegistryErrorWithErrnoAndKeepsTheTarget)
{
    Feed({"COM1"}, EACCES);
    QStringList list{"kept"};
    const EComPort error = CatchComError([&] { ListSerialPorts(list); });
    EXPECT_EQ(error.Code(), CError_RegError);
    EXPECT_EQ(error.OsCode(), EACCES);
    EXPECT_EQ(std::string(error.what()), "Registry error (win error code: " + std::to_string(EACCES) + ")");
    EXPECT_EQ(list, QStringList{"kept"});
}

TEST_F(ComPortListTest, SystemSourceListsThePathsOfCportExtraPorts)
{
    SetPortNameSource({});
    ScratchFolder scratch("extra-ports");
    const std::string folder = scratch.Path().string();
    const std::string boardA = std::string(folder) + "/board-a.tty", boardB = std::string(folder) + "/board-b.tty";
    std::ofstream(boardA).put('\n');
    std::ofstream(boardB).put('\n');
    QStringList list;
    {
        ScopedEnvironment extra("CPORT_EXTRA_PORTS", boardB + ":" + boardA + ":" + folder + "/absent.tty");
        ListSerialPorts(list);
    }
    std::filesystem::remove_all(folder);

    EXPECT_EQ(list.indexOf(QString::fromStdString(folder) + "/absent.tty"), -1) << "a path that does not exist is no port";
    const qsizetype a = list.indexOf(QString::fromStdString(boardA));
    const qsizetype b = list.indexOf(QString::fromStdString(boardB));
    ASSERT_GE(a, 0) << list.join(' ').toStdString();
    ASSERT_GE(b, 0);
    EXPECT_LT(a, b) << "the extra paths are sorted with the rest";
}

} // namespace

TEST_F(ComPortListTest, UnsortedNamesKeepTheSourcesOrderAndSurviveAnError)
{
    Feed({"ttyS1", "ttyS0", "/tmp/b", "/tmp/a"});
    QStringList names{"old"};
    EXPECT_EQ(ListPortNames(names), 0);
    EXPECT_EQ(names, (QStringList{"ttyS1", "ttyS0", "/tmp/b", "/tmp/a"}));

    // The system's list unreadable: the extra paths found are still there.
    Feed({"/tmp/b"}, EACCES);
    EXPECT_EQ(ListPortNames(names), EACCES);
    EXPECT_EQ(names, QStringList{"/tmp/b"});
}
