// Helpers for the catalogue tests: scratch folders, catalogues compiled by
// GNU msgfmt, hand-built catalogues for what msgfmt never writes (damaged
// or empty ones), and a scoped environment.
#pragma once

#include "tests/support/ScratchFolder.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace i18ntest {

// A fresh folder under the system's temporary folder, removed afterwards.
class ScratchFolder : public ::ScratchFolder {
public:
    ScratchFolder() : ::ScratchFolder("i18n-test") {}
};

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);

// A .po source: a UTF-8 header plus the given entries (texts are C escaped
// by the helper, so they may hold newlines).
std::string PoSource(const std::vector<std::pair<std::string, std::string>>& entries,
                     const std::string& charset = "UTF-8");

// Runs msgfmt on `po` and writes the catalogue to `moPath` (folders made as
// needed). `options` go to msgfmt as they are, e.g. "--endianness=big".
// (On Windows the .po, which PoSource wrote, is compiled by the tests' own
// writer instead: see CatalogueFilesWin32.cpp.)
void CompileCatalogue(const std::string& po, const std::string& moPath, const std::string& options = "");

// Raw catalogue writer: sorts the entries as the format requires, little-
// or big-endian. Tests patch the result to damage it on purpose.
std::string BuildCatalogue(std::vector<std::pair<std::string, std::string>> entries, bool bigEndian = false);

void PutWord(std::string& bytes, std::size_t at, std::uint32_t value, bool bigEndian = false);

// Output and exit status of a shell command (sh on Linux, cmd on Windows).
struct CommandResult {
    int status = -1;
    std::string output;
};
CommandResult RunCommand(const std::string& command);
std::string ShellQuoted(const std::string& text);

} // namespace i18ntest
