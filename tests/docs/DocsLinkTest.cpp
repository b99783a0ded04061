// The project's pages link to each other and to files of the tree by
// relative links: each must name a file that exists, and where it names a
// heading (page.md#heading), a heading of that page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The text with fenced code blocks and code spans blanked out (line ends
// kept, so that line numbers stay right): links there are examples.
std::string WithoutCode(const std::string& text)
{
    std::string out;
    std::istringstream lines(text);
    std::string line;
    bool fenced = false;
    while (std::getline(lines, line)) {
        if (line.rfind("```", 0) == 0) {
            fenced = !fenced;
            line.clear();
        } else if (fenced) {
            line.clear();
        }
        out += line + '\n';
    }
    return std::regex_replace(out, std::regex("`[^`]*`"), "``");
}

// The anchors a page's headings get: lower case, blanks as hyphens, and
// nothing but letters, digits, hyphens and underscores (bytes above 0x7F
// stay, being parts of letters).
std::set<std::string> HeadingAnchors(const fs::path& page)
{
    std::set<std::string> anchors;
    std::istringstream lines(WithoutCode(ReadFile(page)));
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t hashes = line.find_first_not_of('#');
        if (hashes == 0 || hashes == std::string::npos || line[hashes] != ' ')
            continue;
        std::string anchor;
        for (const char c : line.substr(hashes + 1)) {
            const auto u = static_cast<unsigned char>(c);
            if (std::isalnum(u) || c == '-' || c == '_' || u >= 0x80)
                anchor += static_cast<char>(std::tolower(u));
            else if (c == ' ')
                anchor += '-';
        }
        anchors.insert(anchor);
    }
    return anchors;
}

// "page.md:LINE: target: what is wrong" for each relative link of `page`
// that leads nowhere.
std::vector<std::string> BrokenLinks(const fs::path& page)
{
    const std::string text = WithoutCode(ReadFile(page));
    // Inline links and images, [text](target "title"), and reference
    // definitions, [name]: target.
    const std::regex link(R"(\]\(\s*([^)\s]+)(\s+"[^"]*")?\s*\)|^[ \t]*\[[^\]]+\]:[ \t]*(\S+))",
                          std::regex::multiline);
    std::vector<std::string> broken;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), link); it != std::sregex_iterator(); ++it) {
        const std::string target = (*it)[1].matched ? (*it)[1].str() : (*it)[3].str();
        if (std::regex_search(target, std::regex("^[A-Za-z][A-Za-z0-9+.-]*:")))
            continue; // a URL, not a file of the tree
        const std::size_t hash = target.find('#');
        const std::string file = target.substr(0, hash);
        const fs::path path = file.empty() ? page : page.parent_path() / file;
        const auto line = 1 + std::count(text.begin(), text.begin() + it->position(), '\n');
        const std::string where = page.filename().string() + ":" + std::to_string(line) + ": " + target + ": ";
        if (!fs::exists(path)) {
            broken.push_back(where + "no such file");
        } else if (hash != std::string::npos && path.extension() == ".md"
                   && !HeadingAnchors(path).count(target.substr(hash + 1))) {
            broken.push_back(where + "no such heading");
        }
    }
    return broken;
}

std::vector<fs::path> ProjectPages()
{
    std::vector<fs::path> pages{fs::path(SOURCE_FOLDER) / "README.md"};
    for (const auto& entry : fs::directory_iterator(fs::path(SOURCE_FOLDER) / "docs")) {
        if (entry.path().extension() == ".md")
            pages.push_back(entry.path());
    }
    return pages;
}

TEST(DocsLinkTest, EveryRelativeLinkOfTheReadmeAndTheDocsPagesLeadsToAFileAndHeading)
{
    const std::vector<fs::path> pages = ProjectPages();
    ASSERT_GE(pages.size(), 6u) << "the README and its five pages";
    for (const fs::path& page : pages) {
        for (const std::string& broken : BrokenLinks(page))
            ADD_FAILURE() << broken;
    }
}

// The check itself, on pages made for it: it finds what leads nowhere and
// passes over what is no link to a file of the tree.
TEST(DocsLinkTest, TheCheckFindsMissingFilesAndHeadingsAndPassesOverUrlsAndCode)
{
    const fs::path folder = fs::temp_directory_path() / ("docs-link-test-" + std::to_string(::getpid()));
    fs::create_directories(folder / "docs");
    std::ofstream(folder / "docs" / "guide.md") << "# Guide\n\n## The permission fix (on Linux)\n";
    std::ofstream(folder / "README.md")
        << "# Read me\n"
           "See [the guide](docs/guide.md), [its fix](docs/guide.md#the-permission-fix-on-linux),\n"
           "[a section here](#read-me), ![a picture\nover two lines](docs/none.png) and\n"
           "[the site](https://example.org/x.md). [gone](docs/gone.md)\n"
           "[wrong heading](docs/guide.md#the-fix)\n"
           "`[in code](docs/code.md)`\n"
           "```\n[in a block](docs/block.md)\n```\n"
           "[ref]: docs/ref.md\n";
    const std::vector<std::string> broken = BrokenLinks(folder / "README.md");
    fs::remove_all(folder);
    EXPECT_EQ(broken, (std::vector<std::string>{"README.md:4: docs/none.png: no such file",
                                                "README.md:5: docs/gone.md: no such file",
                                                "README.md:6: docs/guide.md#the-fix: no such heading",
                                                "README.md:11: docs/ref.md: no such file"}));
}

} // namespace
