// Shell commands and catalogues compiled by GNU msgfmt, on Linux.
#include "CatalogueFiles.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <sys/wait.h>
#include <unistd.h>

namespace i18ntest {

std::string ShellQuoted(const std::string& text)
{
    std::string out = "'";
    for (const char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

CommandResult RunCommand(const std::string& command)
{
    CommandResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, got);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

void CompileCatalogue(const std::string& po, const std::string& moPath, const std::string& options)
{
    const std::string poPath = moPath + ".po";
    WriteBytes(poPath, po);
    const CommandResult run = RunCommand(std::string(MSGFMT_PROGRAM) + " " + options + " -o "
                                         + ShellQuoted(moPath) + " " + ShellQuoted(poPath) + " 2>&1");
    std::filesystem::remove(poPath);
    if (run.status != 0)
        throw std::runtime_error("msgfmt failed: " + run.output);
}

} // namespace i18ntest
