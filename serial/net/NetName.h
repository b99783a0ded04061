// Port names that lead over the network: "rfc2217://HOST:PORT" (Telnet
// with the COM-port control of RFC 2217, as a serial server shares a
// port) and "socket://HOST:PORT" (the bytes alone), with the options the
// serial tools of a lab put after "?": "ign_set_control", "poll_modem",
// "timeout=SECONDS" and "logging=LEVEL". HOST may be a name, an IPv4
// address or an IPv6 address in brackets.
#pragma once

#include <string>
#include <string_view>

namespace serialdev::net {

struct NetName {
    bool rfc2217 = false;
    std::string host;     // without brackets
    std::string service;  // the port number, as written
    // How long a connection, the negotiation and each request's answer
    // are waited for.
    int timeoutMs = 3000;
    // Requests that switch the server's control lines are sent but their
    // answers are not waited for.
    bool ignoreSetControl = false;
};

// What is wrong with a network port's name; `value` is the part at fault.
struct NameProblem {
    enum Kind { None, UnknownOption, BadTimeout, NoPort, BadPort, BadHost, BadBrackets };
    Kind kind = None;
    std::string value;
};

// Whether `name` is a network port's name (it need not be a valid one).
bool IsNetName(std::string_view name);

// Reads a network port's name. Returns 0, or the InvalidArgument code with `problem` saying
// what is wrong.
int ParseNetName(std::string_view name, NetName& result, NameProblem& problem);

// HOST:PORT as the name gives it, brackets kept: what messages show.
std::string HostAndPort(std::string_view name);

} // namespace serialdev::net
