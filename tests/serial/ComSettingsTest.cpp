// Tests of the port's settings, their defaults and their published names.
#include "framework/Exception.h"
#include "serial/ComPort.h"
#include "tests/support/Capture.h"

#include <QVariant>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Counts which apply operation each write reaches, and what the base
// implementation (which checks the port's state) is given.
class CountingPort : public TComPort {
public:
    using TComPort::TComPort;
    void ApplyLineSettings() override
    {
        applied.push_back("line");
        TComPort::ApplyLineSettings();
    }
    void ApplyTimeoutSettings() override
    {
        applied.push_back("timeouts");
        TComPort::ApplyTimeoutSettings();
    }
    void ApplyQueueSizes() override
    {
        applied.push_back("queues");
        TComPort::ApplyQueueSizes();
    }
    std::vector<std::string> Take()
    {
        auto result = applied;
        applied.clear();
        return result;
    }
    std::vector<std::string> applied;
};

using Applied = std::vector<std::string>;

TEST(ComPortSettingsTest, DefaultsAfterConstruction)
{
    TComPort port;
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.BaudRate(), br9600);
    EXPECT_EQ(port.CustomBaudRate(), 9600);
    EXPECT_EQ(port.Port(), "COM1");
    EXPECT_EQ(port.StopBits(), sbOneStopBit);
    EXPECT_EQ(port.DataBits(), dbEight);
    EXPECT_FALSE(port.DiscardNull());
    EXPECT_EQ(port.EventChar(), 0);
    EXPECT_EQ(port.Events(), AllComEvents);
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
    EXPECT_TRUE(port.ReportRxChar());
    EXPECT_EQ(port.EventWaiterPriority(), QThread::NormalPriority);

    EXPECT_EQ(port.Parity()->Bits(), prNone);
    EXPECT_FALSE(port.Parity()->Check());
    EXPECT_FALSE(port.Parity()->Replace());
    EXPECT_EQ(port.Parity()->ReplaceChar(), 0);
    EXPECT_EQ(port.Buffer()->InputSize(), 1024);
    EXPECT_EQ(port.Buffer()->OutputSize(), 1024);
    const TComTimeouts* t = port.Timeouts();
    EXPECT_EQ(t->ReadInterval(), -1);
    EXPECT_EQ(t->ReadTotalMultiplier(), 0);
    EXPECT_EQ(t->ReadTotalConstant(), 0);
    EXPECT_EQ(t->WriteTotalMultiplier(), 100);
    EXPECT_EQ(t->WriteTotalConstant(), 1000);
    const TComFlowControl* f = port.FlowControl();
    EXPECT_EQ(f->ControlDTR(), dtrDisable);
    EXPECT_EQ(f->ControlRTS(), rtsDisable);
    EXPECT_EQ(f->XonChar(), 17);
    EXPECT_EQ(f->XoffChar(), 19);
    EXPECT_EQ(f->FlowControl(), fcNone);

    // Each settings object points back at its port.
    EXPECT_EQ(port.Parity()->ComPort(), &port);
    EXPECT_EQ(port.Buffer()->ComPort(), &port);
    EXPECT_EQ(port.Timeouts()->ComPort(), &port);
    EXPECT_EQ(port.FlowControl()->ComPort(), &port);
}

TEST(ComPortSettingsTest, PublishedPropertiesAreReachableByName)
{
    TComPort port;
    EXPECT_TRUE(port.setProperty("Port", QStringLiteral("ttyUSB0")));
    EXPECT_EQ(port.Port(), "ttyUSB0");
    EXPECT_TRUE(port.setProperty("BaudRate", QVariant::fromValue(br115200)));
    EXPECT_EQ(port.BaudRate(), br115200);
    EXPECT_EQ(port.property("Parity").value<TComParity*>(), port.Parity());
    const QMetaObject* meta = port.metaObject();
    for (const char* name : {"Connected", "BaudRate", "Port", "Parity", "StopBits", "DataBits",
                             "DiscardNull", "EventChar", "Events", "Buffer", "FlowControl",
                             "Timeouts", "SyncMethod"})
        EXPECT_GE(meta->indexOfProperty(name), 0) << name;
}

TEST(ComPortSettingsTest, EachFieldWriteReachesItsOwnApplyOnceAndEqualWritesNone)
{
    CountingPort port;
    port.Timeouts()->SetReadTotalConstant(50);
    EXPECT_EQ(port.Take(), (Applied{"timeouts"}));
    port.Timeouts()->SetReadTotalConstant(50);
    EXPECT_EQ(port.Take(), Applied{});

    port.FlowControl()->SetOutDSRFlow(true);
    port.FlowControl()->SetXoffChar(20);
    port.Parity()->SetBits(prEven);
    port.Parity()->SetReplaceChar('?');
    EXPECT_EQ(port.Take(), (Applied{"line", "line", "line", "line"}));
    port.Parity()->SetBits(prEven);
    port.FlowControl()->SetOutDSRFlow(true);
    EXPECT_EQ(port.Take(), Applied{});

    port.Buffer()->SetOutputSize(4096);
    EXPECT_EQ(port.Take(), (Applied{"queues"}));

    port.SetBaudRate(br19200);
    port.SetCustomBaudRate(31250);
    port.SetDataBits(dbSeven);
    port.SetStopBits(sbTwoStopBits);
    port.SetDiscardNull(true);
    port.SetEventChar('\n');
    EXPECT_EQ(port.Take(), (Applied{"line", "line", "line", "line", "line", "line"}));
    port.SetBaudRate(br19200);
    port.SetEventChar('\n');
    EXPECT_EQ(port.Take(), Applied{});

    // Events and the delivery method are only stored.
    port.SetEvents({evRxChar});
    port.SetSyncMethod(smNone);
    EXPECT_EQ(port.Take(), Applied{});
    EXPECT_EQ(port.SyncMethod(), smNone);
}

TEST(ComPortSettingsTest, FlowControlPresetWriteRules)
{
    CountingPort port;
    TComFlowControl* f = port.FlowControl();
    f->SetControlDTR(dtrHandshake);
    f->SetOutDSRFlow(true);
    f->SetDSRSensitivity(true);
    port.Take();

    f->SetFlowControl(fcHardware);
    EXPECT_EQ(f->ControlRTS(), rtsHandshake);
    EXPECT_TRUE(f->OutCTSFlow());
    EXPECT_EQ(f->FlowControl(), fcHardware);
    EXPECT_EQ(port.Take(), (Applied{"line"}));

    f->SetFlowControl(fcSoftware);
    EXPECT_EQ(f->ControlRTS(), rtsDisable);
    EXPECT_FALSE(f->OutCTSFlow());
    EXPECT_TRUE(f->XonXoffIn());
    EXPECT_TRUE(f->XonXoffOut());
    EXPECT_EQ(f->FlowControl(), fcSoftware);

    // The preset already holds: the line settings are still re-applied.
    port.Take();
    f->SetFlowControl(fcSoftware);
    EXPECT_EQ(port.Take(), (Applied{"line"}));

    f->SetFlowControl(fcNone);
    EXPECT_FALSE(f->XonXoffIn());
    EXPECT_FALSE(f->XonXoffOut());
    EXPECT_EQ(f->FlowControl(), fcNone); // even with DTR handshaking

    // A preset never touches DTR, DSR or the XON/XOFF characters.
    EXPECT_EQ(f->ControlDTR(), dtrHandshake);
    EXPECT_TRUE(f->OutDSRFlow());
    EXPECT_TRUE(f->DSRSensitivity());
    EXPECT_EQ(f->XonChar(), 17);

    f->SetControlRTS(rtsToggle);
    EXPECT_EQ(f->FlowControl(), fcCustom);
    port.Take();
    f->SetFlowControl(fcCustom); // changes nothing, applies anyway
    EXPECT_EQ(f->ControlRTS(), rtsToggle);
    EXPECT_EQ(port.Take(), (Applied{"line"}));

    f->SetControlRTS(rtsHandshake);
    f->SetOutCTSFlow(true);
    f->SetXonXoffIn(true); // hardware plus software is no preset
    EXPECT_EQ(f->FlowControl(), fcCustom);
}

TEST(ComPortSettingsTest, QueueSizesAreKeptEven)
{
    CountingPort port;
    port.Buffer()->SetInputSize(1025);
    EXPECT_EQ(port.Buffer()->InputSize(), 1024);
    EXPECT_EQ(port.Take(), (Applied{"queues"}));
    port.Buffer()->SetInputSize(1024);
    EXPECT_EQ(port.Take(), Applied{});
    port.Buffer()->SetOutputSize(1);
    EXPECT_EQ(port.Buffer()->OutputSize(), 0);
    port.Buffer()->SetOutputSize(-3); // only positive odd sizes are evened
    EXPECT_EQ(port.Buffer()->OutputSize(), -3);
    port.Buffer()->SetInputSize(2048);
    EXPECT_EQ(port.Buffer()->InputSize(), 2048);
}

TEST(ComPortSettingsTest, AssignmentCopiesWithoutApplyingAndRejectsOtherClasses)
{
    CountingPort port;
    TComBuffer odd;
    odd.SetInputSize(3); // a free object has no port to apply
    TComBuffer source;
    source.Assign(odd);
    EXPECT_EQ(source.InputSize(), 2);

    // Copying bypasses the even-size rule and applies nothing.
    TComBuffer raw(nullptr);
    raw.Assign(source);
    port.Buffer()->Assign(raw);
    EXPECT_EQ(port.Buffer()->InputSize(), 2);
    EXPECT_EQ(port.Take(), Applied{});

    TComFlowControl flow;
    flow.SetFlowControl(fcHardware);
    flow.SetXonChar('A');
    port.FlowControl()->Assign(flow);
    EXPECT_EQ(port.FlowControl()->FlowControl(), fcHardware);
    EXPECT_EQ(port.FlowControl()->XonChar(), 'A');
    EXPECT_EQ(port.Take(), Applied{});

    TComTimeouts timeouts;
    timeouts.SetReadInterval(5);
    timeouts.SetWriteTotalConstant(0);
    port.Timeouts()->Assign(timeouts);
    EXPECT_EQ(port.Timeouts()->ReadInterval(), 5);
    EXPECT_EQ(port.Timeouts()->WriteTotalConstant(), 0);

    TComParity parity;
    parity.SetBits(prMark);
    parity.SetCheck(true);
    port.Parity()->Assign(parity);
    EXPECT_EQ(port.Parity()->Bits(), prMark);
    EXPECT_TRUE(port.Parity()->Check());
    EXPECT_EQ(port.Take(), Applied{});

    const EConvertError error = CatchError([&] { port.Parity()->Assign(timeouts); }, EConvertError(""));
    EXPECT_STREQ(error.what(), "Cannot assign a TComTimeouts to a TComParity");
    EXPECT_EQ(port.Parity()->Bits(), prMark);
}

TEST(ComPortSettingsTest, ObjectPropertyWritesCopyThenApplyTheGroupOnce)
{
    CountingPort port;
    TComParity parity;
    parity.SetBits(prOdd);
    port.SetParity(&parity);
    EXPECT_EQ(port.Parity()->Bits(), prOdd);
    EXPECT_NE(port.Parity(), &parity); // the port keeps its own object
    EXPECT_EQ(port.Take(), (Applied{"line"}));

    // Unlike single values, the same object again still applies.
    port.SetParity(&parity);
    EXPECT_EQ(port.Take(), (Applied{"line"}));

    TComFlowControl flow;
    port.SetFlowControl(&flow);
    TComTimeouts timeouts;
    port.SetTimeouts(&timeouts);
    TComBuffer buffer;
    port.SetBuffer(&buffer);
    EXPECT_EQ(port.Take(), (Applied{"line", "timeouts", "queues"}));

    EXPECT_THROW(port.SetBuffer(nullptr), EConvertError);
    EXPECT_THROW(port.setProperty("Timeouts", QVariant::fromValue(static_cast<TComTimeouts*>(nullptr))),
                 EConvertError);
}

TEST(ComPortSettingsTest, BatchesNestAndApplyAllOnceInOrder)
{
    CountingPort port;
    port.BeginSettingsUpdate();
    port.BeginSettingsUpdate();
    port.EndSettingsUpdate();
    EXPECT_EQ(port.Take(), Applied{});
    port.EndSettingsUpdate();
    EXPECT_EQ(port.Take(), (Applied{"queues", "line", "timeouts"}));
    port.EndSettingsUpdate(); // no batch open: nothing
    EXPECT_EQ(port.Take(), Applied{});
}

} // namespace
