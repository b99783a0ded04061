// The component walk with catalogue texts from outside: a small tree of
// widgets and components, as a form builds it, translated through a
// catalogue whose header and translations the input gives (any bytes: bad
// UTF-8, NULs, line breaks of every kind, very long texts). The catalogue
// itself is well formed; its reader has a fuzzer of its own.
#include "tests/i18n/walk/WalkParts.h"

#include "i18n/ComponentTranslation.h"
#include "i18n/gnugettext.h"

#include "framework/Exception.h"
#include "tests/support/FuzzInput.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

// The source texts of the tree below, each a key of the catalogue.
const char* const kKeys[] = {"Setup", "Port", "OK", "Opens the port", "Line", "Parity check",
                             "Name of the port", "Caption", "first line", "second line", "Column",
                             "Partner", "Fixed text"};

std::filesystem::path scratch;

void Word(std::string& out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>(value >> (8 * i)));
}

// A little-endian catalogue with its keys sorted, as msgfmt writes it.
std::string Catalogue(const std::map<std::string, std::string>& entries)
{
    const auto n = static_cast<std::uint32_t>(entries.size());
    const std::uint32_t originals = 28, translations = originals + 8 * n;
    std::string tables, strings;
    std::uint32_t at = translations + 8 * n;
    std::string originalTable, translationTable;
    for (const auto& [key, value] : entries) {
        Word(originalTable, static_cast<std::uint32_t>(key.size()));
        Word(originalTable, at);
        strings += key + '\0';
        at += static_cast<std::uint32_t>(key.size() + 1);
    }
    for (const auto& [key, value] : entries) {
        Word(translationTable, static_cast<std::uint32_t>(value.size()));
        Word(translationTable, at);
        strings += value + '\0';
        at += static_cast<std::uint32_t>(value.size() + 1);
    }
    std::string out;
    for (std::uint32_t word : {0x950412deu, 0u, n, originals, translations, 0u, 0u})
        Word(out, word);
    return out + originalTable + translationTable + strings;
}

void Write(const std::filesystem::path& path, const std::string& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    REQUIRE(file != nullptr);
    REQUIRE(bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
    std::fclose(file);
}

// What the walk must write into a property that held `source`.
QString Expected(const QString& source)
{
    std::string translated = LookupTextInDomain("default", source.toStdString());
    if (!source.contains(u'\r')) {
        std::string lf;
        for (std::size_t i = 0; i < translated.size(); ++i)
            if (!(translated[i] == '\r' && i + 1 < translated.size() && translated[i + 1] == '\n'))
                lf.push_back(translated[i]);
        translated = lf;
    }
    return QString::fromUtf8(translated.data(), static_cast<qsizetype>(translated.size()));
}

// The engine started on this input's catalogue, and stopped after it.
struct EngineRun {
    EngineRun()
    {
        StartCatalogueEngine(scratch / "bin/panel");
        ResetComponentTranslation();
    }
    ~EngineRun()
    {
        DropComponentTranslation();
        StopCatalogueEngine();
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication application(*argc, *argv);
    char pattern[] = "/tmp/i18n-walk-fuzz-XXXXXX";
    REQUIRE(mkdtemp(pattern) != nullptr);
    scratch = pattern;
    std::filesystem::create_directories(scratch / "bin/locale/xx/LC_MESSAGES");
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(scratch, ignored);
    });
    setenv("LANG", "xx", 1);
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    std::map<std::string, std::string> entries;
    entries[""] = "Content-Type: text/plain; charset=" + input.ConsumeRandomLengthString(32) + "\n"
        + input.ConsumeRandomLengthString(64);
    for (const char* key : kKeys) {
        if (input.remaining_bytes() == 0)
            break;
        entries[key] = input.ConsumeRandomLengthString(512);
    }
    const std::size_t ignored = input.ConsumeIntegralInRange<std::size_t>(0, 8);
    Write(scratch / "bin/locale/xx/LC_MESSAGES/default.mo", Catalogue(entries));

    const EngineRun engine;
    {
        QWidget root;
        root.setObjectName("Root");
        root.setWindowTitle("Setup");
        auto* label = new QLabel("Port", &root);
        label->setObjectName("PortLabel");
        auto* button = new QPushButton("OK", &root);
        button->setObjectName("OkButton");
        button->setToolTip("Opens the port");
        auto* group = new QGroupBox("Line", &root);
        group->setObjectName("LineGroup");
        auto* check = new QCheckBox("Parity check", group);
        check->setObjectName("ParityCheck");
        auto* edit = new QLineEdit(group);
        edit->setObjectName("PortEdit");
        edit->setPlaceholderText("Name of the port");
        auto* part = new TPanelPart("Part", &root);
        part->SetCaption("Caption");
        part->SetFixedText("Fixed text");
        part->SetWidth(7);
        part->Lines()->Add("first line");
        part->Lines()->Add("");
        part->Lines()->Add("second line");
        part->Columns()->Add(std::make_unique<TColumn>())->SetTitle("Column");
        auto* partner = new TPanelPart("Partner", part);
        partner->SetCaption("Partner");
        partner->SetPartner(&root); // leads back: each object is walked once
        part->SetPartner(partner);

        const QString objectNames[] = {"Root", "PortLabel", "OkButton", "LineGroup", "ParityCheck", "PortEdit",
                                       "Part", "Partner"};
        const QObject* objects[] = {&root, label, button, group, check, edit, part, partner};
        if (ignored < std::size(objectNames))
            TP_Ignore(&root, objectNames[ignored].toStdString());

        // The engine refuses a translation that is not UTF-8; the walk
        // must then stop with the property's error, and only then.
        bool refused = false;
        for (const char* key : kKeys) {
            try {
                Expected(key);
            } catch (const Exception&) {
                refused = true;
            }
        }
        try {
            TranslateObjectTree(&root, "default");
        } catch (const Exception& error) {
            REQUIRE(refused);
            REQUIRE(error.Message().rfind("Property cannot be translated.\r\n", 0) == 0);
            return 0;
        }
        for (std::size_t i = 0; i < std::size(objects); ++i)
            REQUIRE(objects[i]->objectName() == objectNames[i]);
        REQUIRE(part->Fixed() == "Fixed text" && part->Width() == 7);
        if (refused)
            return 0;
        REQUIRE(root.windowTitle() == Expected("Setup"));
        if (ignored != 6) {
            REQUIRE(part->Caption() == Expected("Caption"));
            REQUIRE(static_cast<TColumn*>(part->Columns()->Items(0))->Title() == Expected("Column"));
        } else {
            REQUIRE(part->Caption() == "Caption");
        }
        REQUIRE(SkipNames().empty());
        // What a form does next with its texts: lay them out.
        root.adjustSize();
    }
    return 0;
}
