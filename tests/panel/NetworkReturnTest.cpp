// A port on a serial server that goes away and comes back, as the window
// meets it: the same closing and waiting as for an unplugged adapter, the
// server asked again in the background until it accepts, then the port
// opened with nothing sent.
#include "panel/PortNotice.h"
#include "panel/PortReturn.h"
#include "tests/panel/WindowFixture.h"
#include "tests/support/Capture.h"
#include "tests/support/Pump.h"
#include "tests/support/PtyPair.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/Ser2net.h"

#include <memory>

using namespace std::chrono_literals;

namespace {

class NetworkReturnTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        server = std::make_unique<ScriptedServer>();
        form->ComPort1->SetPort(QString::fromStdString("socket://" + server->Address()));
        form->OpenRS2321->trigger();
        ASSERT_TRUE(form->ComPort1->Connected());
        ASSERT_TRUE(server->WaitForConnection());
    }

    // The server goes and takes no new connections; the window has noticed
    // once the port is closed.
    void ServerGoes(bool reset)
    {
        server->StopListening();
        server->Close(reset);
        ASSERT_TRUE(PumpUntil([&] { return !form->ComPort1->Connected(); }));
        EXPECT_EQ(form->ComLed1->State(), lsOff);
        EXPECT_TRUE(form->PortReturn().Waiting());
        ASSERT_NE(form->PortReturn().LostNotice(), nullptr);
        EXPECT_NE(form->PortReturn().LostNotice()->Text().indexOf("the connection to its server was lost"), -1)
            << form->PortReturn().LostNotice()->Text().toStdString();
    }

    std::unique_ptr<ScriptedServer> server;
};

TEST_F(NetworkReturnTest, AServerThatWentIsAskedAgainAndThePortOpensOnceItAcceptsSendingNothing)
{
    for (const bool reset : {false, true}) {
        SCOPED_TRACE(reset ? "reset" : "closed");
        ServerGoes(reset);
        // Refused for a while: the attempts fail and nothing opens.
        PumpFor(500ms);
        EXPECT_FALSE(form->ComPort1->Connected());
        server->Listen();
        // The pauses have grown to 0.8 s at most by now.
        ASSERT_TRUE(PumpUntil([&] { return form->ComPort1->Connected(); }, 5s));
        EXPECT_EQ(form->ComLed1->State(), lsOn);
        EXPECT_FALSE(form->PortReturn().Waiting());
        ASSERT_TRUE(server->WaitForConnection());
        EXPECT_EQ(server->Receive(1, 200ms), "");
    }
}

TEST_F(NetworkReturnTest, TheOperatorsToggleEndsTheWaitingForAServer)
{
    ServerGoes(true);
    ErrorCapture errors;
    QTest::mouseClick(form->OPEN_PORT, Qt::LeftButton);
    ASSERT_EQ(errors.Messages().size(), 1u);
    EXPECT_EQ(errors.Messages()[0].rfind("Unable to open com port (win error code: 111)", 0), 0u)
        << errors.Messages()[0];
    EXPECT_FALSE(form->PortReturn().Waiting());
    server->Listen();
    PumpFor(500ms);
    EXPECT_FALSE(form->ComPort1->Connected());
}

// The same with ser2net in front of the board's line: the LED goes out
// when ser2net stops and lights again once it is back, and a slider's
// command then reaches the board.
TEST(NetworkReturnSer2netTest, StoppingSer2netPutsTheLedOutAndStartingItAgainLightsIt)
{
    PtyPair board;
    Ser2net server(board.SlavePath());
    server.Start();
    TZARIDOForm1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.ComPort1->SetPort(QString::fromStdString(server.PortName()));
    form.OpenRS2321->trigger();
    ASSERT_TRUE(form.ComPort1->Connected());
    EXPECT_EQ(form.ComLed1->State(), lsOn);

    server.Stop();
    ASSERT_TRUE(PumpUntil([&] { return !form.ComPort1->Connected(); }));
    EXPECT_EQ(form.ComLed1->State(), lsOff);
    server.Start();
    ASSERT_TRUE(PumpUntil([&] { return form.ComPort1->Connected(); }, 8s)) << server.Log();
    EXPECT_EQ(form.ComLed1->State(), lsOn);

    board.Drain();
    form.REDTrack->setFocus();
    QTest::keyClick(form.REDTrack, Qt::Key_Right);
    const std::string sent = board.Receive(4);
    EXPECT_EQ(sent, "0141"); // LED-1 at step 1
    form.ComPort1->ClosePort();
}

} // namespace
