// Scratch catalogues and folders for the catalogue tests (what is the same
// on every platform; running programs and compiling a .po are in CatalogueFilesPosix.cpp and CatalogueFilesWin32.cpp).
#include "CatalogueFiles.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace i18ntest {

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

namespace {

std::string PoQuoted(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        default: out += c;
        }
    }
    return out + "\"";
}

} // namespace

std::string PoSource(const std::vector<std::pair<std::string, std::string>>& entries, const std::string& charset)
{
    std::string po = "msgid \"\"\nmsgstr \"\"\n\"MIME-Version: 1.0\\n\"\n\"Content-Type: text/plain; charset="
        + charset + "\\n\"\n\"Content-Transfer-Encoding: 8bit\\n\"\n\n";
    for (const auto& [id, str] : entries)
        po += "msgid " + PoQuoted(id) + "\nmsgstr " + PoQuoted(str) + "\n\n";
    return po;
}

void PutWord(std::string& bytes, std::size_t at, std::uint32_t value, bool bigEndian)
{
    for (int i = 0; i < 4; ++i) {
        const int shift = bigEndian ? 8 * (3 - i) : 8 * i;
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> shift) & 0xFF);
    }
}

std::string BuildCatalogue(std::vector<std::pair<std::string, std::string>> entries, bool bigEndian)
{
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return std::lexicographical_compare(a.first.begin(), a.first.end(), b.first.begin(), b.first.end(),
                                            [](char x, char y) {
                                                return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
                                            });
    });
    const auto n = static_cast<std::uint32_t>(entries.size());
    const std::uint32_t sourceTable = 28;
    const std::uint32_t translationsTable = sourceTable + 8 * n;
    std::string bytes(translationsTable + 8 * n, '\0');
    PutWord(bytes, 0, 0x950412DE, bigEndian);
    PutWord(bytes, 8, n, bigEndian);
    PutWord(bytes, 12, sourceTable, bigEndian);
    PutWord(bytes, 16, translationsTable, bigEndian);
    for (int column = 0; column < 2; ++column) {
        const std::uint32_t table = column == 0 ? sourceTable : translationsTable;
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::string& text = column == 0 ? entries[i].first : entries[i].second;
            PutWord(bytes, table + 8 * i, static_cast<std::uint32_t>(text.size()), bigEndian);
            PutWord(bytes, table + 8 * i + 4, static_cast<std::uint32_t>(bytes.size()), bigEndian);
            bytes += text;
            bytes += '\0';
        }
    }
    return bytes;
}

} // namespace i18ntest
