// Property selectors on real widgets: item lists, what a bound port selects
// and stores, the operator's choice with and without AutoApply, Text writes,
// a destroyed port, and the port list with its letter-case rule.
#include "framework/FormReadError.h"
#include "serial/CPort.h"
#include "serial_ui/CPortCtl.h"
#include "tests/serial/CatchComError.h"
#include "tests/serial_ui/UiTestHelpers.h"
#include "tests/support/Capture.h"
#include "tests/support/PtyPair.h"
#include "tests/support/ScratchFolder.h"
#include "tests/support/ScopedEnvironment.h"

#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

QStringList Items(const QComboBox& box)
{
    QStringList items;
    for (int i = 0; i < box.count(); ++i)
        items.append(box.itemText(i));
    return items;
}

// Selectors in a shown window, so that the operator can reach them.
class ComSelectTest : public ::testing::Test {
protected:
    TComComboBox* Add(TComProperty property)
    {
        auto* box = new TComComboBox(&window);
        layout->addWidget(box);
        box->setComProperty(property);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        return box;
    }

    QWidget window;
    QVBoxLayout* layout = new QVBoxLayout(&window);
};

TEST_F(ComSelectTest, EachPropertyListsTheTextFormsOfItsValuesInValueOrder)
{
    QStringList baud;
    for (int v = brCustom; v <= br256000; ++v)
        baud << BaudRateText(static_cast<TBaudRate>(v));
    QStringList data, stop, parity, flow;
    for (int v = dbFive; v <= dbEight; ++v)
        data << DataBitsText(static_cast<TDataBits>(v));
    for (int v = sbOneStopBit; v <= sbTwoStopBits; ++v)
        stop << StopBitsText(static_cast<TStopBits>(v));
    for (int v = prNone; v <= prSpace; ++v)
        parity << ParityText(static_cast<TParityBits>(v));
    for (int v = fcHardware; v <= fcCustom; ++v)
        flow << FlowControlText(static_cast<TFlowControl>(v));

    ASSERT_EQ(baud.size(), 16);
    EXPECT_EQ(baud.first(), "Custom");
    EXPECT_EQ(baud.last(), "256000");
    EXPECT_EQ(Items(*Add(cpBaudRate)), baud);
    EXPECT_EQ(Items(*Add(cpDataBits)), data);
    EXPECT_EQ(Items(*Add(cpStopBits)), stop);
    EXPECT_EQ(Items(*Add(cpParity)), parity);
    EXPECT_EQ(Items(*Add(cpFlowControl)), flow);
    EXPECT_EQ(data.size(), 4);
    EXPECT_EQ(stop.size(), 3);
    EXPECT_EQ(parity.size(), 5);
    EXPECT_EQ(flow.size(), 4);

    TComComboBox* box = Add(cpParity);
    box->setComProperty(cpNone);
    EXPECT_EQ(box->count(), 0);
    EXPECT_EQ(box->Text(), "");
}

TEST_F(ComSelectTest, UnboundBaudRateSelectsCustomAndABoundPortSelectsItsRate)
{
    TComComboBox* box = Add(cpBaudRate);
    EXPECT_EQ(box->currentIndex(), 0);
    EXPECT_EQ(box->Text(), "Custom");

    TComPort port;
    ASSERT_EQ(port.BaudRate(), br9600);
    box->setComPort(&port);
    EXPECT_EQ(box->ComPort(), &port);
    EXPECT_EQ(box->currentIndex(), 7);
    EXPECT_EQ(box->Text(), "9600");
    EXPECT_EQ(box->Select().ChosenBaudRate, br9600);

    // Rebuilding the list with a port bound selects the port's value.
    port.SetBaudRate(br57600);
    box->setComProperty(cpBaudRate);
    EXPECT_EQ(box->Text(), "57600");
    EXPECT_EQ(box->Select().ChosenBaudRate, br57600);
    box->setComPort(nullptr);
}

TEST_F(ComSelectTest, EveryPropertyShowsAndStoresThePortsPresentValue)
{
    TComPort port;
    port.SetDataBits(dbSeven);
    port.SetStopBits(sbTwoStopBits);
    port.Parity()->SetBits(prMark);
    port.FlowControl()->SetFlowControl(fcSoftware);

    TComComboBox* data = Add(cpDataBits);
    TComComboBox* stop = Add(cpStopBits);
    TComComboBox* parity = Add(cpParity);
    TComComboBox* flow = Add(cpFlowControl);
    for (TComComboBox* box : {data, stop, parity, flow})
        box->setComPort(&port);

    EXPECT_EQ(data->Text(), DataBitsText(dbSeven));
    EXPECT_EQ(stop->Text(), StopBitsText(sbTwoStopBits));
    EXPECT_EQ(parity->Text(), ParityText(prMark));
    EXPECT_EQ(flow->Text(), FlowControlText(fcSoftware));
    EXPECT_EQ(data->Select().ChosenDataBits, dbSeven);
    EXPECT_EQ(stop->Select().ChosenStopBits, sbTwoStopBits);
    EXPECT_EQ(parity->Select().ChosenParity, prMark);
    EXPECT_EQ(flow->Select().ChosenFlowControl, fcSoftware);
    for (TComComboBox* box : {data, stop, parity, flow})
        box->setComPort(nullptr);
}

TEST_F(ComSelectTest, FlowFieldsMatchingNoPresetShowCustomAndCommittingKeepsThem)
{
    TComPort port;
    port.FlowControl()->SetFlowControl(fcNone);
    port.FlowControl()->SetXonXoffOut(true); // software out only: no preset
    port.FlowControl()->SetControlDTR(dtrEnable);
    ASSERT_EQ(port.FlowControl()->FlowControl(), fcCustom);

    TComComboBox* box = Add(cpFlowControl);
    box->setComPort(&port);
    EXPECT_EQ(box->Text(), "Custom");
    EXPECT_EQ(box->Select().ChosenFlowControl, fcCustom);

    box->CommitToPort();
    EXPECT_TRUE(port.FlowControl()->XonXoffOut());
    EXPECT_FALSE(port.FlowControl()->XonXoffIn());
    EXPECT_FALSE(port.FlowControl()->OutCTSFlow());
    EXPECT_EQ(port.FlowControl()->ControlRTS(), rtsDisable);
    EXPECT_EQ(port.FlowControl()->ControlDTR(), dtrEnable);
    box->setComPort(nullptr);
}

TEST_F(ComSelectTest, WithoutAutoApplyAChoiceReachesThePortOnlyOnCommit)
{
    TComPort port;
    TComComboBox* box = Add(cpBaudRate);
    box->setComPort(&port);
    int changes = 0;
    box->OnChange = [&](QObject* sender) {
        EXPECT_EQ(sender, box);
        EXPECT_EQ(box->Select().ChosenBaudRate, br115200) << "OnChange comes after the choice is stored";
        ++changes;
    };

    ChooseItem(box, "115200");
    EXPECT_EQ(box->Text(), "115200");
    EXPECT_EQ(box->Select().ChosenBaudRate, br115200);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(port.BaudRate(), br9600);

    box->CommitToPort();
    EXPECT_EQ(port.BaudRate(), br115200);
    box->setComPort(nullptr);
}

TEST_F(ComSelectTest, WithAutoApplyAChoiceReachesThePortAtOnce)
{
    TComPort port;
    TComComboBox* box = Add(cpParity);
    box->setComPort(&port);
    box->setAutoApply(true);
    EXPECT_TRUE(box->AutoApply());
    TParityBits atChange = prNone;
    box->OnChange = [&](QObject*) { atChange = port.Parity()->Bits(); };

    ChooseItem(box, ParityText(prEven));
    EXPECT_EQ(port.Parity()->Bits(), prEven);
    EXPECT_EQ(atChange, prEven) << "the port was written before OnChange";
    box->setComPort(nullptr);
}

TEST_F(ComSelectTest, ProgramSelectionsAreNotChoices)
{
    TComPort port;
    TComComboBox* box = Add(cpBaudRate);
    box->setComPort(&port);
    box->setAutoApply(true);
    int changes = 0;
    box->OnChange = [&](QObject*) { ++changes; };

    box->setText("300");
    box->setCurrentIndex(3);
    box->LoadFromPort();
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(port.BaudRate(), br9600);
    box->setComPort(nullptr);
}

TEST_F(ComSelectTest, TextWriteMovesTheSelectionOnly)
{
    TComComboBox* box = Add(cpBaudRate);
    ASSERT_EQ(box->Select().ChosenBaudRate, brCustom);

    box->setText("9600");
    EXPECT_EQ(box->currentIndex(), 7);
    EXPECT_EQ(box->Text(), "9600");
    EXPECT_EQ(box->Select().ChosenBaudRate, brCustom) << "the stored choice stays";

    box->setText("12345");
    EXPECT_EQ(box->currentIndex(), 7) << "a text not in the list changes nothing";

    box->setText("cUSTOM");
    EXPECT_EQ(box->currentIndex(), 0) << "letter case is ignored";
    EXPECT_EQ(box->Text(), "Custom");

    box->setCurrentIndex(-1);
    EXPECT_EQ(box->Text(), "") << "nothing selected reads as the empty text";
}

TEST_F(ComSelectTest, ADestroyedBoundPortIsForgottenAndItemZeroSelected)
{
    auto port = std::make_unique<TComPort>();
    TComComboBox* box = Add(cpStopBits);
    TComComboBox* other = Add(cpBaudRate);
    port->SetStopBits(sbTwoStopBits);
    box->setComPort(port.get());
    other->setComPort(port.get());
    ASSERT_EQ(box->currentIndex(), 2);
    ASSERT_EQ(other->currentIndex(), 7);

    port.reset();
    EXPECT_EQ(box->ComPort(), nullptr);
    EXPECT_EQ(other->ComPort(), nullptr);
    EXPECT_EQ(box->currentIndex(), 0);
    EXPECT_EQ(other->currentIndex(), 0);
    // Nothing may reach the destroyed port any more.
    box->CommitToPort();
    box->LoadFromPort();
    ChooseItem(box, StopBitsText(sbOne5StopBits));
    EXPECT_EQ(box->Select().ChosenStopBits, sbOne5StopBits);
}

TEST_F(ComSelectTest, UnbindingKeepsListAndSelectionAndRebindingWatchesOnlyTheNewPort)
{
    TComPort first;
    first.SetBaudRate(br2400);
    TComComboBox* box = Add(cpBaudRate);
    box->setComPort(&first);
    box->setComPort(nullptr);
    EXPECT_EQ(box->count(), 16);
    EXPECT_EQ(box->Text(), "2400");

    auto second = std::make_unique<TComPort>();
    second->SetBaudRate(br600);
    box->setComPort(&first);
    box->setComPort(second.get());
    EXPECT_EQ(box->Text(), "600");
    second.reset();
    EXPECT_EQ(box->ComPort(), nullptr);
}

TEST_F(ComSelectTest, PortListIsSortedByTextAndEmptyListSelectsNothing)
{
    {
        FedPortList ports({"COM2", "COM10", "COM1"});
        TComComboBox* box = Add(cpPort);
        EXPECT_EQ(Items(*box), (QStringList{"COM1", "COM10", "COM2"}));
        EXPECT_EQ(box->currentIndex(), 0);
    }
    FedPortList none({});
    TComComboBox* box = Add(cpPort);
    EXPECT_EQ(box->count(), 0);
    EXPECT_EQ(box->currentIndex(), -1);
    EXPECT_EQ(box->Text(), "");
}

TEST_F(ComSelectTest, PortListIsReadOnlyWhenThePropertyIsSet)
{
    auto names = std::make_shared<std::vector<std::string>>(std::vector<std::string>{"ttyUSB0"});
    int reads = 0;
    TPortNameSource previous = SetPortNameSource([&reads, names](std::vector<std::string>& out) {
        ++reads;
        out = *names;
        return 0;
    });
    TComComboBox* box = Add(cpPort);
    TComPort port;
    box->setComPort(&port);
    box->LoadFromPort();
    *names = {"ttyUSB0", "ttyUSB1"};
    box->CommitToPort();
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(box->count(), 1);
    box->setComProperty(cpPort);
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(box->count(), 2);
    box->setComPort(nullptr);
    SetPortNameSource(std::move(previous));
}

TEST_F(ComSelectTest, ANameInAnotherLetterCaseTakesTheRegisteredSpelling)
{
    FedPortList ports({"COM2", "COM3", "COM1"});
    TComPort port;
    port.SetPort("com3");
    TComComboBox* box = Add(cpPort);
    box->setComPort(&port);
    EXPECT_EQ(box->Text(), "COM3");
    EXPECT_EQ(box->Select().ChosenPort, "COM3");
    box->CommitToPort();
    EXPECT_EQ(port.Port(), "COM3");
    box->setComPort(nullptr);
}

TEST_F(ComSelectTest, ANameNotInTheListSelectsNothingAndKeepsTheStoredChoice)
{
    FedPortList ports({"ttyUSB0", "ttyUSB1"});
    TComPort port;
    port.SetPort("ttyUSB1");
    TComComboBox* box = Add(cpPort);
    box->setComPort(&port);
    ASSERT_EQ(box->Select().ChosenPort, "ttyUSB1");

    port.SetPort("/dev/ttyS0");
    box->LoadFromPort();
    EXPECT_EQ(box->currentIndex(), -1);
    EXPECT_EQ(box->Select().ChosenPort, "ttyUSB1");
    EXPECT_EQ(box->Select().LoadFromPort(), std::optional<int>(-1));
    box->setComPort(nullptr);
    EXPECT_EQ(box->Select().LoadFromPort(), std::nullopt) << "unbound: nothing to find";
}

TEST_F(ComSelectTest, AnUnreadablePortListRaisesRegistryErrorAndLeavesTheListEmpty)
{
    TComComboBox* box = Add(cpBaudRate);
    FedPortList broken({"COM1"}, EACCES);
    const EComPort error = CatchComError([&] { box->setComProperty(cpPort); });
    EXPECT_EQ(error.Code(), CError_RegError);
    EXPECT_EQ(error.OsCode(), EACCES);
    EXPECT_EQ(box->ComProperty(), cpPort);
    EXPECT_EQ(box->count(), 0);
}

TEST_F(ComSelectTest, WhileAFormIsBuiltTheErrorNamesComponentAndProperty)
{
    FedPortList broken({}, ENOENT);
    auto* box = new TComComboBox(&window);
    box->setObjectName("Combo1");
    TFormLoading loading;
    const EReadError error = CatchError([&] { box->setComProperty(cpPort); }, EReadError(""));
    EXPECT_EQ(std::string(error.what()), "Error reading Combo1.ComProperty: Registry error (win error code: " +
                                             std::to_string(ENOENT) + ")");
}

TEST_F(ComSelectTest, PortItemsAreNamesShownWithWhatEachPortIs)
{
    const QString byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    FedPortInfos ports({{"ttyUSB0", "FTDI FT232R USB UART (A50285BI)", byId},
                        {"ttyS0", "serial", ""},
                        {"/tmp/board.tty", "", ""}});
    TComPort port;
    port.SetPort("ttyusb0");
    TComComboBox* box = Add(cpPort);
    box->setComPort(&port);
    EXPECT_EQ(Items(*box), (QStringList{"/tmp/board.tty", "ttyS0", "ttyUSB0"}));
    EXPECT_EQ(box->Text(), "ttyUSB0");
    EXPECT_EQ(box->Select().ChosenPort, "ttyUSB0");
    EXPECT_EQ(box->toolTip(), "FTDI FT232R USB UART (A50285BI)\n" + byId);

    // Open, the drop-down has room for every name and its description.
    box->setFocus();
    QTest::keyClick(box, Qt::Key_F4);
    QAbstractItemView* view = box->view();
    ASSERT_TRUE(view->isVisible());
    const QFontMetrics metrics(view->font());
    EXPECT_GT(view->width(), box->width());
    EXPECT_GE(view->viewport()->width(),
              metrics.horizontalAdvance("/tmp/board.tty") + metrics.horizontalAdvance("FTDI FT232R USB UART (A50285BI)"));
    if (const char* png = std::getenv("RVD3318_SELECTOR_PNG"))
        view->window()->grab().save(png);
    QTest::keyClick(view, Qt::Key_Escape);

    ChooseItem(box, "ttyS0");
    EXPECT_EQ(box->Select().ChosenPort, "ttyS0");
    EXPECT_EQ(box->toolTip(), "serial");
    ChooseItem(box, "/tmp/board.tty");
    EXPECT_EQ(box->toolTip(), "");
    box->setComPort(nullptr);
}

TEST_F(ComSelectTest, PortsComingAndGoingWhileTheListIsShownKeepTheSelection)
{
    ScratchFolder scratch("selector");
    const std::string dir = scratch.Path().string();
    const std::string board = dir + "/board.tty", second = dir + "/second.tty";
    PtyPair pty;
    std::filesystem::create_symlink(pty.SlavePath(), board);
    ScopedEnvironment extra("CPORT_EXTRA_PORTS", board + ":" + second);
    TComComboBox* box = Add(cpPort);
    auto listed = [&](const std::string& path) { return box->findText(QString::fromStdString(path)) >= 0; };
    ASSERT_TRUE(listed(board));
    ASSERT_FALSE(listed(second));
    ChooseItem(box, QString::fromStdString(board));
    EXPECT_EQ(box->toolTip(), "pty_slave");

    std::filesystem::create_symlink(pty.SlavePath(), second);
    EXPECT_TRUE(QTest::qWaitFor([&] { return listed(second); }, 5000)) << "a new port appears";
    EXPECT_EQ(box->Text().toStdString(), board);
    std::filesystem::remove(second);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !listed(second); }, 5000)) << "a port that went disappears";
    EXPECT_EQ(box->Text().toStdString(), board);

    // The chosen port goes: nothing is selected, the choice stays; back, it
    // is selected again.
    std::filesystem::remove(board);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !listed(board); }, 5000));
    EXPECT_EQ(box->currentIndex(), -1);
    EXPECT_EQ(box->Select().ChosenPort.toStdString(), board);
    std::filesystem::create_symlink(pty.SlavePath(), board);
    EXPECT_TRUE(QTest::qWaitFor([&] { return listed(board); }, 5000));
    EXPECT_EQ(box->Text().toStdString(), board);
    std::filesystem::remove_all(dir);
}

// A port on a pty, so that property writes reach a real device.
class OpenPortSelectTest : public ComSelectTest {
protected:
    void SetUp() override
    {
        port.SetPort(QString::fromStdString(pty.SlavePath()));
        port.OpenPort();
        ASSERT_TRUE(port.Connected());
    }
    PtyPair pty;
    TComPort port;
};

TEST_F(OpenPortSelectTest, AutoApplyErrorPassesOutOfTheChoiceBeforeOnChange)
{
    FedPortList ports({pty.SlavePath(), "/dev/no-such-port-here"});
    TComComboBox* box = Add(cpPort);
    box->setComPort(&port);
    ASSERT_EQ(box->Text().toStdString(), pty.SlavePath());
    box->setAutoApply(true);
    int changes = 0;
    box->OnChange = [&](QObject*) { ++changes; };

    ErrorCapture errors;
    ChooseItem(box, "/dev/no-such-port-here");
    ASSERT_EQ(errors.Messages().size(), 1u);
    EXPECT_EQ(errors.Messages()[0], "Unable to open com port (win error code: " + std::to_string(ENOENT) + ")");
    EXPECT_EQ(changes, 0) << "OnChange is not raised after a failed write";
    EXPECT_EQ(box->Select().ChosenPort, "/dev/no-such-port-here") << "the choice was stored first";
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Port(), "/dev/no-such-port-here");
    box->setComPort(nullptr);
}

TEST_F(OpenPortSelectTest, CommitWritesThroughThePortsOrdinaryPropertyWrite)
{
    PtyPair second;
    FedPortList ports({pty.SlavePath(), second.SlavePath()});
    TComComboBox* box = Add(cpPort);
    box->setComPort(&port);
    ChooseItem(box, QString::fromStdString(second.SlavePath()));
    EXPECT_EQ(port.Port().toStdString(), pty.SlavePath());
    box->CommitToPort();
    EXPECT_TRUE(port.Connected()) << "an open port reopens under the new name";
    EXPECT_EQ(port.Port().toStdString(), second.SlavePath());
    box->setComPort(nullptr);
}

} // namespace
