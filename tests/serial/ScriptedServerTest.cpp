// The scripted server the network device's tests stand on, checked with a
// plain client socket.
#include "tests/support/ScriptedServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Connects to the server; returns the descriptor, or -errno.
int Connect(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    const int error = errno;
    ::close(fd);
    return -error;
}

// Reads until `count` bytes, the end of the stream or an error, each read
// bounded to 2 s; appends "|end" at the end of the stream, "|error N" on
// an error.
std::string Read(int fd, std::size_t count)
{
    std::string got;
    while (got.size() < count) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) != 1)
            return got + "|timed out";
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, count - got.size()));
        if (n == 0)
            return got + "|end";
        if (n < 0)
            return got + "|error " + std::to_string(errno);
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

} // namespace

TEST(ScriptedServer, BytesBothWaysThenClose)
{
    ScriptedServer server;
    const int client = Connect(server.Port());
    ASSERT_GE(client, 0);
    ASSERT_TRUE(server.WaitForConnection());
    ASSERT_EQ(::write(client, "hello", 5), 5);
    EXPECT_EQ(server.Receive(5), "hello");
    const std::string bytes("\xFF\x00world", 7);
    server.Send(bytes);
    server.Send(bytes);
    EXPECT_TRUE(server.Close());
    EXPECT_EQ(Read(client, 100), bytes + bytes + "|end");
    ::close(client);
}

TEST(ScriptedServer, ResetRefuseAndListenAgain)
{
    ScriptedServer server;
    const std::uint16_t port = server.Port();
    int client = Connect(port);
    ASSERT_TRUE(server.WaitForConnection());
    server.Close(true);
    EXPECT_EQ(Read(client, 1), "|error " + std::to_string(ECONNRESET));
    ::close(client);

    server.StopListening();
    EXPECT_EQ(Connect(port), -ECONNREFUSED);
    server.Listen();
    EXPECT_EQ(server.Port(), port);
    client = Connect(port);
    ASSERT_GE(client, 0);
    EXPECT_TRUE(server.WaitForConnection());
    EXPECT_EQ(server.Connections(), 2);
    ::close(client);
}

TEST(ScriptedServer, NextClientWaitsForTheCurrentOne)
{
    ScriptedServer server;
    const int first = Connect(server.Port());
    ASSERT_TRUE(server.WaitForConnection());
    const int second = Connect(server.Port()); // accepted by the kernel, held in the backlog
    ASSERT_GE(second, 0);
    ASSERT_EQ(::write(second, "2", 1), 1);
    EXPECT_EQ(server.Receive(1, std::chrono::milliseconds(100)), "");
    ::close(first);
    EXPECT_TRUE(server.WaitForHangUp(1));
    EXPECT_EQ(server.Receive(1), "2");
    EXPECT_EQ(server.Connections(), 2);
    ::close(second);
}
