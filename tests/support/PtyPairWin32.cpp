// Windows has no pseudo-terminals. Fixtures that hold a pair for the tests
// that open a port still make one here, so that their other tests run; a
// test that uses the pair fails at once, naming the list where such tests
// belong (tests/windows-left-out.txt).
#include "tests/support/PtyPair.h"

#include <stdexcept>

namespace {

[[noreturn]] void NoPseudoTerminals()
{
    throw std::runtime_error("PtyPair: Windows has no pseudo-terminals; a test that needs one is left out "
                             "on Windows by name (tests/windows-left-out.txt)");
}

} // namespace

PtyPair::PtyPair() = default;

PtyPair::~PtyPair() = default;

void PtyPair::Send(const std::string&)
{
    NoPseudoTerminals();
}

std::string PtyPair::Receive(std::size_t, std::chrono::milliseconds)
{
    NoPseudoTerminals();
}

std::string PtyPair::Drain()
{
    NoPseudoTerminals();
}

void PtyPair::HangUp()
{
    NoPseudoTerminals();
}

void PtyPair::FillLine()
{
    NoPseudoTerminals();
}

unsigned PtyPair::OutputSpeed() const
{
    NoPseudoTerminals();
}
