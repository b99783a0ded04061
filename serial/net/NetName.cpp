// Reading network port names.
#include "serial/net/NetName.h"

#include "serial/device/OsError.h"

#include <charconv>
#include <cmath>

namespace serialdev::net {

namespace {

constexpr std::string_view Rfc2217Scheme = "rfc2217://";
constexpr std::string_view SocketScheme = "socket://";

bool StartsWith(std::string_view text, std::string_view head)
{
    return text.substr(0, head.size()) == head;
}

// The longest time an option may ask for: a day is longer than anyone
// waits for a serial server.
constexpr double MaxTimeoutSeconds = 86400;

int ReadOptions(std::string_view query, NetName& result, NameProblem& problem)
{
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view option = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (option.empty())
            continue;
        const std::size_t eq = option.find('=');
        const std::string_view key = option.substr(0, eq);
        const std::string_view value = eq == std::string_view::npos ? std::string_view() : option.substr(eq + 1);
        if (key == "ign_set_control" && result.rfc2217 && eq == std::string_view::npos) {
            result.ignoreSetControl = true;
        } else if (key == "poll_modem" && result.rfc2217 && eq == std::string_view::npos) {
            // The modem lines are followed through the server's notices
            // and read at the modem-line pace anyway.
        } else if (key == "logging" && eq != std::string_view::npos && !value.empty()) {
            // Accepted for names shared with other tools; this program
            // keeps no protocol log.
        } else if (key == "timeout" && eq != std::string_view::npos) {
            double seconds = 0;
            const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
            if (error != std::errc() || end != value.data() + value.size() || !std::isfinite(seconds) ||
                seconds <= 0 || seconds > MaxTimeoutSeconds) {
                problem = {NameProblem::BadTimeout, std::string(value)};
                return OsErrorCode(OsErrorKind::InvalidArgument);
            }
            result.timeoutMs = static_cast<int>(std::ceil(seconds * 1000));
        } else {
            problem = {NameProblem::UnknownOption, std::string(option)};
            return OsErrorCode(OsErrorKind::InvalidArgument);
        }
    }
    return 0;
}

} // namespace

bool IsNetName(std::string_view name)
{
    return StartsWith(name, Rfc2217Scheme) || StartsWith(name, SocketScheme);
}

std::string HostAndPort(std::string_view name)
{
    if (StartsWith(name, Rfc2217Scheme))
        name.remove_prefix(Rfc2217Scheme.size());
    else if (StartsWith(name, SocketScheme))
        name.remove_prefix(SocketScheme.size());
    return std::string(name.substr(0, name.find('?')));
}

int ParseNetName(std::string_view name, NetName& result, NameProblem& problem)
{
    result = NetName{};
    if (StartsWith(name, Rfc2217Scheme)) {
        result.rfc2217 = true;
        name.remove_prefix(Rfc2217Scheme.size());
    } else if (StartsWith(name, SocketScheme)) {
        name.remove_prefix(SocketScheme.size());
    } else {
        problem = {NameProblem::BadHost, std::string(name)};
        return OsErrorCode(OsErrorKind::InvalidArgument);
    }
    const std::size_t question = name.find('?');
    std::string_view address = name.substr(0, question);
    if (question != std::string_view::npos) {
        if (const int error = ReadOptions(name.substr(question + 1), result, problem))
            return error;
    }
    std::string_view service;
    if (StartsWith(address, "[")) {
        const std::size_t close = address.find(']');
        if (close == std::string_view::npos || address.substr(close + 1, 1) != ":") {
            problem = {NameProblem::BadBrackets, std::string(address)};
            return OsErrorCode(OsErrorKind::InvalidArgument);
        }
        result.host = std::string(address.substr(1, close - 1));
        service = address.substr(close + 2);
    } else {
        const std::size_t colon = address.rfind(':');
        if (colon == std::string_view::npos) {
            problem = {NameProblem::NoPort, std::string(address)};
            return OsErrorCode(OsErrorKind::InvalidArgument);
        }
        result.host = std::string(address.substr(0, colon));
        service = address.substr(colon + 1);
    }
    if (result.host.empty() || result.host.find_first_of("/ \t[]") != std::string::npos) {
        problem = {NameProblem::BadHost, result.host};
        return OsErrorCode(OsErrorKind::InvalidArgument);
    }
    unsigned port = 0;
    const auto [end, error] = std::from_chars(service.data(), service.data() + service.size(), port);
    if (service.empty() || error != std::errc() || end != service.data() + service.size() || port == 0 ||
        port > 65535) {
        problem = {NameProblem::BadPort, std::string(service)};
        return OsErrorCode(OsErrorKind::InvalidArgument);
    }
    result.service = std::string(service);
    return 0;
}

} // namespace serialdev::net
