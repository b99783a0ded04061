// The panel's question whether a serial server accepts connections again,
// asked on Windows under wine: its connect runs in the background on a
// Winsock socket whose connect event the event loop watches, and the
// answer comes from the event loop, once, as soon as the connect has
// ended (made or refused).
#include "serial/ComServerProbe.h"

#include "tests/serial/wine/BoardSide.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <winsock2.h>

#include <chrono>
#include <optional>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Asks about `name` and runs the event loop until the answer or `bound`.
// The answer, and how many came.
struct Asked {
    std::optional<bool> answer;
    int answers = 0;
    Clock::duration took{};
};
Asked Ask(TServerProbe& probe, const std::string& name, int boundMs = 5000)
{
    Asked asked;
    QEventLoop loop;
    probe.OnAnswer = [&](bool accepts) {
        asked.answer = accepts;
        ++asked.answers;
        loop.quit();
    };
    const auto started = Clock::now();
    probe.Ask(QString::fromStdString(name));
    QTimer::singleShot(boundMs, &loop, &QEventLoop::quit);
    loop.exec();
    asked.took = Clock::now() - started;
    // Another answer would come now, from events already posted.
    QCoreApplication::processEvents();
    return asked;
}

// A listening socket on 127.0.0.1 that never accepts: the system makes
// the connection in its backlog all the same.
class Listener {
public:
    Listener()
    {
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        ::bind(socket_, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(socket_, 4);
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~Listener() { ::closesocket(socket_); }
    std::string Name() const { return "rfc2217://127.0.0.1:" + std::to_string(port_) + "?timeout=2"; }

private:
    SOCKET socket_;
    int port_ = 0;
};

TEST(ServerProbeTest, AServerThatListensAcceptsAndOneThatDoesNotRefusesEachAnsweredOnce)
{
    WSADATA data;
    ASSERT_EQ(::WSAStartup(MAKEWORD(2, 2), &data), 0);
    TServerProbe probe;
    Listener listener;
    Asked asked = Ask(probe, listener.Name());
    EXPECT_EQ(asked.answer, std::optional<bool>(true));
    EXPECT_EQ(asked.answers, 1);
    EXPECT_FALSE(probe.Asking());

    const std::string refused = NetLineName("NET_LINE_REFUSED");
    ASSERT_FALSE(refused.empty()) << "run under ser2net-line";
    asked = Ask(probe, refused + "?timeout=2");
    EXPECT_EQ(asked.answer, std::optional<bool>(false));
    EXPECT_EQ(asked.answers, 1);
    EXPECT_LT(asked.took, 1s) << "told by the refusal, not by the time-out";

    // A name that is wrong is answered too, from the event loop.
    asked = Ask(probe, "rfc2217://127.0.0.1");
    EXPECT_EQ(asked.answer, std::optional<bool>(false));
}

TEST(ServerProbeTest, ACancelledQuestionIsNeverAnswered)
{
    TServerProbe probe;
    Listener listener;
    int answers = 0;
    probe.OnAnswer = [&](bool) { ++answers; };
    probe.Ask(QString::fromStdString(listener.Name()));
    EXPECT_TRUE(probe.Asking());
    probe.Cancel();
    EXPECT_FALSE(probe.Asking());
    QEventLoop loop;
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(answers, 0);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
