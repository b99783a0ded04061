// Commands and compiled catalogues on Windows.
//
// The tests run there under wine, where a Windows program can start a Linux
// program such as msgfmt but learns neither its exit status nor its output.
// So a .po is compiled here by the tests' own writer, from the text that
// PoSource made: the same entries, sorted, in the byte order asked for,
// without the hash table msgfmt adds (the engine searches the sorted table
// alone). What msgfmt itself does with a catalogue is checked by the Linux
// run; on Windows the catalogues exercise files, paths and the engine.
#include "CatalogueFiles.h"

#include <cstdio>
#include <stdexcept>

namespace i18ntest {

std::string ShellQuoted(const std::string& text)
{
    // cmd takes a double-quoted word as it is; no test text holds a '"'.
    return "\"" + text + "\"";
}

CommandResult RunCommand(const std::string& command)
{
    CommandResult result;
    FILE* pipe = ::_popen(command.c_str(), "rb");
    if (pipe == nullptr)
        return result;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, got);
    result.status = ::_pclose(pipe);
    return result;
}

namespace {

// The text of one quoted .po string starting at `at` (the opening quote);
// `at` ends past the closing quote.
std::string Unquoted(const std::string& po, std::size_t& at)
{
    std::string text;
    for (++at; at < po.size() && po[at] != '"'; ++at) {
        char c = po[at];
        if (c == '\\' && at + 1 < po.size()) {
            switch (po[++at]) {
            case 'n': c = '\n'; break;
            case 'r': c = '\r'; break;
            case 't': c = '\t'; break;
            default: c = po[at];
            }
        }
        text += c;
    }
    ++at;
    return text;
}

// The strings after `keyword` (which starts a line at `at`): the first on
// its line and each on the lines that follow and begin with a quote.
std::string Field(const std::string& po, std::size_t& at, const std::string& keyword)
{
    if (po.compare(at, keyword.size(), keyword) != 0)
        throw std::runtime_error("CompileCatalogue: expected " + keyword + " at byte " + std::to_string(at));
    at = po.find('"', at);
    std::string text;
    while (at != std::string::npos && at < po.size() && po[at] == '"') {
        text += Unquoted(po, at);
        while (at < po.size() && po[at] == '\n')
            ++at;
    }
    return text;
}

} // namespace

void CompileCatalogue(const std::string& po, const std::string& moPath, const std::string& options)
{
    std::vector<std::pair<std::string, std::string>> entries;
    std::size_t at = 0;
    while (at < po.size()) {
        if (po[at] == '\n') {
            ++at;
            continue;
        }
        std::string id = Field(po, at, "msgid ");
        std::string str = Field(po, at, "msgstr ");
        // msgfmt leaves out entries without a translation.
        if (!str.empty())
            entries.emplace_back(std::move(id), std::move(str));
    }
    const bool bigEndian = options.find("--endianness=big") != std::string::npos;
    WriteBytes(moPath, BuildCatalogue(std::move(entries), bigEndian));
}

} // namespace i18ntest
