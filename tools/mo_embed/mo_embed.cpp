// mo_embed: appends GNU gettext catalogues to an executable that links the
// catalogue engine, and points the executable's embedded-catalogue marker
// at the appended directory. The engine then finds each catalogue under its
// name as if it were a file of that path beside the executable, and prefers
// it to such a file.
//
//   mo_embed [-o OUTPUT] EXECUTABLE NAME=FILE...
//
// NAME is the catalogue's path relative to the executable's folder, such as
// locale/de/LC_MESSAGES/default.mo ("\" is taken for "/"); a bare FILE is
// embedded under its own (relative) path. Without -o the executable is
// rewritten in place (through a temporary file and a rename).

#include "i18n/AsciiCase.h"
#include "i18n/AssemblyAnalyzer.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Catalogue {
    std::string name;
    std::string file;
    std::vector<unsigned char> bytes;
};

[[noreturn]] void Fail(const std::string& message)
{
    throw std::runtime_error(message);
}

std::vector<unsigned char> ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        Fail("cannot read " + path + ": " + std::strerror(errno));
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void PutLittleEndian64(std::vector<unsigned char>& out, std::size_t at, std::uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
}

void AppendLittleEndian64(std::vector<unsigned char>& out, std::uint64_t value)
{
    out.resize(out.size() + 8);
    PutLittleEndian64(out, out.size() - 8, value);
}

std::string Trimmed(std::string name)
{
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    name.erase(name.begin(), std::find_if_not(name.begin(), name.end(), blank));
    name.erase(std::find_if_not(name.rbegin(), name.rend(), blank).base(), name.end());
    return name;
}

bool IsCatalogue(const std::vector<unsigned char>& bytes)
{
    if (bytes.size() < 20)
        return false;
    const std::uint32_t magic = std::uint32_t(bytes[0]) | (std::uint32_t(bytes[1]) << 8)
        | (std::uint32_t(bytes[2]) << 16) | (std::uint32_t(bytes[3]) << 24);
    return magic == 0x950412DE || magic == 0xDE120495;
}

Catalogue ParseArgument(const std::string& argument)
{
    Catalogue catalogue;
    const std::size_t equals = argument.find('=');
    catalogue.name = equals == std::string::npos ? argument : argument.substr(0, equals);
    catalogue.file = equals == std::string::npos ? argument : argument.substr(equals + 1);
    std::replace(catalogue.name.begin(), catalogue.name.end(), '\\', '/');
    catalogue.name = Trimmed(catalogue.name);
    if (catalogue.name.empty())
        Fail("empty catalogue name in '" + argument + "'");
    if (catalogue.name.front() == '/')
        Fail("catalogue name must be relative to the executable's folder: " + catalogue.name);
    catalogue.bytes = ReadWholeFile(catalogue.file);
    if (!IsCatalogue(catalogue.bytes))
        Fail(catalogue.file + " is not a GNU gettext mo file");
    return catalogue;
}

// The position of the marker's 8-byte directory position in `image`.
std::size_t FindMarker(const std::vector<unsigned char>& image)
{
    unsigned char id[EmbeddedCatalogueMarkerIdSize];
    for (std::size_t i = 0; i < EmbeddedCatalogueMarkerIdSize; ++i)
        id[i] = EmbeddedCatalogueMarker[i];
    std::vector<std::size_t> found;
    auto from = image.begin();
    for (;;) {
        const auto at = std::search(from, image.end(), std::begin(id), std::end(id));
        if (at == image.end())
            break;
        const auto position = static_cast<std::size_t>(at - image.begin());
        if (image.size() - position >= EmbeddedCatalogueMarkerSize)
            found.push_back(position + EmbeddedCatalogueMarkerIdSize);
        from = at + 1;
    }
    if (found.empty())
        Fail("no embedded-catalogue marker: the program does not link the catalogue engine");
    if (found.size() > 1)
        Fail("the embedded-catalogue marker occurs " + std::to_string(found.size()) + " times");
    return found.front();
}

void WriteFileReplacing(const std::string& path, const std::vector<unsigned char>& bytes, mode_t mode)
{
    const std::string temporary = path + ".mo_embed.tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            Fail("cannot write " + temporary);
        }
    }
    ::chmod(temporary.c_str(), mode);
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        std::remove(temporary.c_str());
        Fail("cannot replace " + path + ": " + std::strerror(error));
    }
}

int Run(int argc, char** argv)
{
    std::string output;
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-o" && i + 1 < argc)
            output = argv[++i];
        else
            arguments.push_back(argument);
    }
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: mo_embed [-o OUTPUT] EXECUTABLE NAME=FILE...\n");
        return 2;
    }
    const std::string executable = arguments.front();
    if (output.empty())
        output = executable;

    std::vector<Catalogue> catalogues;
    std::set<std::string, AsciiLessIgnoringCase> names;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        catalogues.push_back(ParseArgument(arguments[i]));
        // The engine compares names without regard to case and stops at a
        // repeated one; refusing here keeps every catalogue reachable.
        if (!names.insert(catalogues.back().name).second)
            Fail("catalogue name given twice: " + catalogues.back().name);
    }

    struct stat info {};
    if (::stat(executable.c_str(), &info) != 0)
        Fail("cannot read " + executable + ": " + std::strerror(errno));
    std::vector<unsigned char> image = ReadWholeFile(executable);
    const std::size_t marker = FindMarker(image);
    for (int i = 0; i < 8; ++i) {
        if (image[marker + static_cast<std::size_t>(i)] != 0)
            Fail(executable + " carries catalogues already; embed into a freshly built program");
    }

    std::vector<std::uint64_t> offsets;
    for (const Catalogue& catalogue : catalogues) {
        offsets.push_back(image.size());
        image.insert(image.end(), catalogue.bytes.begin(), catalogue.bytes.end());
    }
    const std::uint64_t directory = image.size();
    for (std::size_t i = 0; i < catalogues.size(); ++i) {
        const std::uint64_t here = image.size();
        const std::string& name = catalogues[i].name;
        AppendLittleEndian64(image, here + 24 + name.size());
        AppendLittleEndian64(image, offsets[i]);
        AppendLittleEndian64(image, catalogues[i].bytes.size());
        image.insert(image.end(), name.begin(), name.end());
    }
    AppendLittleEndian64(image, 0);
    PutLittleEndian64(image, marker, directory);

    WriteFileReplacing(output, image, info.st_mode & 07777);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "mo_embed: %s\n", error.what());
        return 1;
    }
}
