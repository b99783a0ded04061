// The board's side of the served line, asked over the loopback.
#include "tests/serial/wine/BoardSide.h"

#include "framework/win32/Windows.h"
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <sstream>

namespace {

// Longer than any request waits on the other side (a ser2net start).
constexpr DWORD AnswerMs = 15000;

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char c : bytes) {
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text;
}

std::string Unhex(const std::string& text)
{
    std::string bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        bytes += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
    return bytes;
}

} // namespace

std::string NetLineName(const char* variable)
{
    const char* value = std::getenv(variable);
    return value ? value : "";
}

BoardSide::BoardSide() : socket_(INVALID_SOCKET)
{
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return;
    const std::string address = NetLineName("NET_LINE_CONTROL");
    const std::size_t colon = address.rfind(':');
    if (colon == std::string::npos)
        return;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(address.substr(0, colon).c_str(), address.substr(colon + 1).c_str(), &hints, &found) != 0)
        return;
    const SOCKET s = ::socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    const bool connected = s != INVALID_SOCKET && ::connect(s, found->ai_addr, int(found->ai_addrlen)) == 0;
    ::freeaddrinfo(found);
    if (!connected) {
        if (s != INVALID_SOCKET)
            ::closesocket(s);
        return;
    }
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&AnswerMs), sizeof AnswerMs);
    socket_ = s;
    ok_ = true;
}

BoardSide::~BoardSide()
{
    if (socket_ != INVALID_SOCKET)
        ::closesocket(static_cast<SOCKET>(socket_));
}

std::string BoardSide::Ask(const std::string& request)
{
    if (!ok_)
        return {};
    const std::string line = request + "\n";
    if (::send(static_cast<SOCKET>(socket_), line.data(), int(line.size()), 0) != int(line.size()))
        return {};
    for (;;) {
        const std::size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string answer = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return answer;
        }
        char buffer[4096];
        const int n = ::recv(static_cast<SOCKET>(socket_), buffer, sizeof buffer, 0);
        if (n <= 0)
            return {}; // its end, or no answer within the bound
        pending_.append(buffer, std::size_t(n));
    }
}

bool BoardSide::Write(const std::string& bytes)
{
    return Ask("write " + Hex(bytes)) == "ok";
}

std::string BoardSide::Read(std::size_t count, int ms)
{
    const std::string answer = Ask("read " + std::to_string(count) + " " + std::to_string(ms));
    return answer.rfind("data ", 0) == 0 ? Unhex(answer.substr(5)) : std::string();
}

std::map<std::string, std::string> BoardSide::Line()
{
    std::map<std::string, std::string> fields;
    std::istringstream words(Ask("line"));
    std::string word;
    while (words >> word) {
        const std::size_t equals = word.find('=');
        if (equals != std::string::npos)
            fields[word.substr(0, equals)] = word.substr(equals + 1);
    }
    return fields;
}
