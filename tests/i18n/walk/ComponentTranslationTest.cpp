// The component walk over real widget trees, from a Designer form and built
// in code, with catalogues made by msgfmt.
#include "ItemsCombo.h"
#include "WalkParts.h"
#include "ui_SettingsForm.h"

#include "../EngineFixture.h"

#include "i18n/GnuGettextQt.h"

#include "framework/Exception.h"
#include "tests/support/Capture.h"

#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTextDocument>
#include <QTextEdit>

#include <gmock/gmock.h>


namespace i18ntest {
namespace {

using ::testing::ElementsAre;

QStringList ComboItems(const QComboBox& combo)
{
    QStringList items;
    for (int i = 0; i < combo.count(); ++i)
        items.append(combo.itemText(i));
    return items;
}

class I18nWalkTest : public I18nEngineTest {
protected:
    void SetUp() override { ResetComponentTranslation(); }
    void TearDown() override
    {
        DropComponentTranslation();
        I18nEngineTest::TearDown();
    }

    // A "cport" and a "default" catalogue for German, then the engine.
    void Start(const std::vector<std::pair<std::string, std::string>>& cport,
               const std::vector<std::pair<std::string, std::string>>& standard = {})
    {
        CompileCatalogue(PoSource(cport), CataloguePath("de", "cport"));
        if (!standard.empty())
            CompileCatalogue(PoSource(standard), CataloguePath("de", "default"));
        StartEngine("de_DE.UTF-8");
    }
};

const std::vector<std::pair<std::string, std::string>> kDialogTexts = {
    {"Setup", "Einrichtung"},     {" Settings ", " Einstellungen "}, {"Port", "Anschluss"},
    {"Baud rate", "Baudrate"},    {"Data bits", "Datenbits"},        {"Stop bits", "Stoppbits"},
    {"Parity", "Parit\xC3\xA4t"}, {"Flow control", "Flusssteuerung"}, {"OK", "Gut"},
    {"Cancel", "Abbrechen"},      {"None", "Keine"},                 {"Odd", "Ungerade"},
    {"Hardware", "Hardware-Handshake"},
};

// ---- A form from a .ui file ---------------------------------------------------

TEST_F(I18nWalkTest, DialogCaptionsAreTranslatedAndIgnoredSelectorsKeepTheirItems)
{
    Start(kDialogTexts);
    QDialog dialog;
    Ui::SettingsForm form;
    form.setupUi(&dialog);
    form.Combo5->setCurrentIndex(1);

    for (const char* name : {"Combo1", "Combo2", "Combo3", "Combo4", "Combo5", "Combo6"})
        TP_Ignore(&dialog, name);
    TranslateObjectTree(&dialog, "cport");

    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Einrichtung"));
    EXPECT_EQ(form.GroupBox1->title(), QStringLiteral(" Einstellungen "));
    EXPECT_EQ(form.Label1->text(), QStringLiteral("Anschluss"));
    EXPECT_EQ(form.Label2->text(), QStringLiteral("Baudrate"));
    EXPECT_EQ(form.Label5->text(), QString::fromUtf8("Parit\xC3\xA4t"));
    EXPECT_EQ(form.Label6->text(), QStringLiteral("Flusssteuerung"));
    EXPECT_EQ(form.Button1->text(), QStringLiteral("Gut"));
    EXPECT_EQ(form.Button2->text(), QStringLiteral("Abbrechen"));
    EXPECT_EQ(ComboItems(*form.Combo5), (QStringList{"None", "Odd"}));
    EXPECT_EQ(form.Combo5->currentText(), QStringLiteral("Odd"));
    EXPECT_EQ(ComboItems(*form.Combo6), (QStringList{"None", "Hardware"}));
    // The component names stay as they are, whatever the catalogue holds.
    EXPECT_EQ(form.Combo5->objectName(), QStringLiteral("Combo5"));
    EXPECT_TRUE(SkipNames().empty());

    // The skip list lasted one walk: a second one reaches the selectors.
    TranslateObjectTree(&dialog, "cport");
    EXPECT_EQ(ComboItems(*form.Combo5), (QStringList{"Keine", "Ungerade"}));
    EXPECT_EQ(ComboItems(*form.Combo6), (QStringList{"Keine", "Hardware-Handshake"}));
    // Translated texts have no entries of their own: nothing changes twice.
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Einrichtung"));
}

TEST_F(I18nWalkTest, WithoutACatalogueEveryTextStaysAsStored)
{
    StartEngine("de_DE.UTF-8");
    QDialog dialog;
    Ui::SettingsForm form;
    form.setupUi(&dialog);
    TP_Ignore(&dialog, "Combo1");
    TranslateObjectTree(&dialog, "cport");
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Setup"));
    EXPECT_EQ(form.GroupBox1->title(), QStringLiteral(" Settings "));
    EXPECT_EQ(form.Label6->text(), QStringLiteral("Flow control"));
    EXPECT_EQ(ComboItems(*form.Combo5), (QStringList{"None", "Odd"}));
    EXPECT_TRUE(SkipNames().empty());
}

TEST_F(I18nWalkTest, EmptyDomainMeansTheActiveDomain)
{
    Start({}, {{"Setup", "Aufbau"}, {"OK", "Jawohl"}});
    QDialog dialog;
    Ui::SettingsForm form;
    form.setupUi(&dialog);
    TranslateObjectTree(&dialog);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Aufbau"));
    EXPECT_EQ(form.Button1->text(), QStringLiteral("Jawohl"));
}

// ---- Trees built in code ------------------------------------------------------

TEST_F(I18nWalkTest, ALineThatTranslatesToTwoLinesMakesOneLineMore)
{
    Start({{"Alpha", "Erstens"}, {"Beta", "Zweitens\nund drittens"}});
    TStrings lines(QStringList{"Alpha", "", "Beta", "Gamma"});
    TranslateLines(lines, "cport");
    EXPECT_EQ(lines.Count(), 5);
    EXPECT_EQ(lines.Lines(), (QStringList{"Erstens", "", "Zweitens", "und drittens", "Gamma"}));

    // The same through a walk, reached by an object property.
    TPanelPart part("Part");
    part.Lines()->SetText("Beta\r\nAlpha\r\n");
    TranslateObjectTree(&part, "cport");
    EXPECT_EQ(part.Lines()->Lines(), (QStringList{"Zweitens", "und drittens", "Erstens"}));
}

TEST_F(I18nWalkTest, AnObjectReachableTwiceIsTranslatedOnce)
{
    // Were "Open" translated twice, its translation would be looked up again.
    Start({{"Open", "\xC3\x96" "ffnen"}, {"\xC3\x96" "ffnen", "zweimal"}, {"Close", "Schlie\xC3\x9F" "en"}});
    TPanelPart root("Root");
    auto* owned = new TPanelPart("Owned", &root);
    auto* other = new TPanelPart("Other", &root);
    owned->SetCaption("Open");
    owned->captionWrites = 0;
    // Owned and referenced from the root and from a sibling.
    root.SetPartner(owned);
    other->SetPartner(owned);
    other->SetCaption("Close");
    // A list of lines reached through two properties is one list too.
    auto* shared = new TPanelPart("Shared", &root);
    shared->SetPartner(root.Lines());
    root.Lines()->SetText("Open");

    TranslateObjectTree(&root, "cport");
    EXPECT_EQ(owned->Caption(), QString::fromUtf8("\xC3\x96" "ffnen"));
    EXPECT_EQ(owned->captionWrites, 1);
    EXPECT_EQ(other->Caption(), QString::fromUtf8("Schlie\xC3\x9F" "en"));
    EXPECT_EQ(root.Lines()->Lines(), QStringList{QString::fromUtf8("\xC3\x96" "ffnen")});
}

TEST_F(I18nWalkTest, EmptyAndReadOnlyTextsAreNeverLookedUp)
{
    // A lookup of the empty text would give the catalogue's header; one of
    // "Broken" would raise, its translation not being UTF-8.
    CompileCatalogue(PoSource({{"Broken", "kaputt \xA1"}, {"Open", "Auf"}}, "ISO-8859-1"),
                     CataloguePath("de", "cport"));
    StartEngine("de_DE.UTF-8");
    TPanelPart part("Part");
    part.SetFixedText("Broken");
    part.captionWrites = 0;
    QWidget window;
    auto* label = new QLabel(&window);
    window.setWindowTitle("Open");
    part.Lines()->SetText("\r\nOpen\r\n\r\n");
    part.SetPartner(&window);

    TranslateObjectTree(&part, "cport");
    EXPECT_EQ(part.Caption(), QString());
    EXPECT_EQ(part.captionWrites, 0);
    EXPECT_EQ(part.Fixed(), QStringLiteral("Broken"));
    EXPECT_EQ(label->text(), QString());
    EXPECT_EQ(label->toolTip(), QString());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Auf"));
    EXPECT_EQ(part.Lines()->Lines(), (QStringList{"", "Auf", ""}));
    EXPECT_TRUE(SkipNames().empty());
}

TEST_F(I18nWalkTest, AnUnchangedTextIsNotWrittenBack)
{
    Start({{"Same", "Same"}});
    TPanelPart part("Part");
    part.SetCaption("Same");
    part.captionWrites = 0;
    TranslateObjectTree(&part, "cport");
    EXPECT_EQ(part.captionWrites, 0);
}

TEST_F(I18nWalkTest, TheThreeFormsOfIgnore)
{
    Start({{"Open", "Auf"}, {"Hint", "Hinweis"}, {"Deep", "Tief"}});
    const auto build = [](TPanelPart& root) {
        root.SetCaption("Open");
        root.SetHint("Hint");
        auto* child = new TPanelPart("Child", &root);
        child->SetCaption("Open");
        child->SetHint("Hint");
        auto* grandchild = new TPanelPart("Grandchild", child);
        grandchild->SetCaption("Deep");
        auto* loose = new TPanelPart("", &root);
        loose->SetHint("Hint");
        auto* referenced = new TPanelPart("Referenced");
        referenced->SetHint("Hint");
        referenced->SetCaption("Open");
        root.SetPartner(referenced);
        return std::tuple{child, grandchild, loose, referenced};
    };

    {   // A component name: that component and everything it owns.
        TPanelPart root("Root");
        auto [child, grandchild, loose, referenced] = build(root);
        TP_Ignore(&root, "child");
        TranslateObjectTree(&root, "cport");
        EXPECT_EQ(root.Caption(), QStringLiteral("Auf"));
        EXPECT_EQ(child->Caption(), QStringLiteral("Open"));
        EXPECT_EQ(child->Hint(), QStringLiteral("Hint"));
        EXPECT_EQ(grandchild->Caption(), QStringLiteral("Deep"));
        EXPECT_EQ(referenced->Caption(), QStringLiteral("Auf"));
        delete referenced;
    }
    {   // Name.Property: that property of that component only.
        TPanelPart root("Root");
        auto [child, grandchild, loose, referenced] = build(root);
        TP_Ignore(&root, "Child.Hint");
        TranslateObjectTree(&root, "cport");
        EXPECT_EQ(child->Hint(), QStringLiteral("Hint"));
        EXPECT_EQ(child->Caption(), QStringLiteral("Auf"));
        EXPECT_EQ(grandchild->Caption(), QStringLiteral("Tief"));
        EXPECT_EQ(root.Hint(), QStringLiteral("Hinweis"));
        EXPECT_EQ(referenced->Hint(), QStringLiteral("Hinweis"));
        delete referenced;
    }
    {   // .Property: on the root and on whatever has no name in the walk,
        // which is everything reached through a property; named owned
        // components keep it.
        TPanelPart root("Root");
        auto [child, grandchild, loose, referenced] = build(root);
        TP_Ignore(&root, ".HINT");
        TranslateObjectTree(&root, "cport");
        EXPECT_EQ(root.Hint(), QStringLiteral("Hint"));
        EXPECT_EQ(root.Caption(), QStringLiteral("Auf"));
        EXPECT_EQ(referenced->Hint(), QStringLiteral("Hint"));
        EXPECT_EQ(referenced->Caption(), QStringLiteral("Auf"));
        EXPECT_EQ(loose->Hint(), QStringLiteral("Hint"));
        EXPECT_EQ(child->Hint(), QStringLiteral("Hinweis"));
        delete referenced;
    }
    EXPECT_TRUE(SkipNames().empty());
}

TEST_F(I18nWalkTest, IgnoredNamesAreUpperCasedSortedAndKeptUntilAWalkCompletes)
{
    Start({{"Open", "Auf"}});
    TPanelPart root("Root");
    TP_Ignore(&root, "combo2");
    TP_Ignore(&root, "Combo1");
    TP_Ignore(&root, "COMBO1");
    TP_Ignore(&root, ".caption");
    EXPECT_THAT(SkipNames(), ElementsAre(".CAPTION", "COMBO1", "COMBO2"));
    TranslateObjectTree(&root, "cport");
    EXPECT_TRUE(SkipNames().empty());
}

TEST_F(I18nWalkTest, AWriteThatFailsStopsTheWalkWithTheFullMessage)
{
    Start({{"First", "Erstens"}, {"Refused", "Abgelehnt"}, {"Last", "Zuletzt"}});
    TPanelPart root("Root");
    root.SetCaption("First");
    auto* refusing = new TRefusingPart("Port", &root);
    refusing->caption_ = "Refused";
    auto* after = new TPanelPart("After", &root);
    after->SetCaption("Last");
    TP_Ignore(&root, "Unrelated");

    const std::string message = RaisedMessage([&] { TranslateObjectTree(&root, "cport"); });
    EXPECT_EQ(message,
              "Property cannot be translated.\r\n"
              "Use TP_GlobalIgnoreClassProperty(TRefusingPart,Caption) or\r\n"
              "TP_Ignore (self,'.Caption') to prevent this message.\r\n"
              "Reason: Cannot set property while connected");
    // What was translated before stays; nothing after it is touched.
    EXPECT_EQ(root.Caption(), QStringLiteral("Erstens"));
    EXPECT_EQ(after->Caption(), QStringLiteral("Last"));
    EXPECT_THAT(SkipNames(), ElementsAre("UNRELATED"));

    // As the message says: a class rule lets the walk through.
    TP_GlobalIgnoreClassProperty(TRefusingPart::staticMetaObject, "Caption");
    TranslateObjectTree(&root, "cport");
    EXPECT_EQ(after->Caption(), QStringLiteral("Zuletzt"));
    EXPECT_TRUE(SkipNames().empty());
}

TEST_F(I18nWalkTest, ALookupErrorIsWrappedAlike)
{
    CompileCatalogue(PoSource({{"Broken", "kaputt \xA1"}}, "ISO-8859-1"), CataloguePath("de", "cport"));
    StartEngine("de_DE.UTF-8");
    QLabel label("Broken");
    const std::string message = RaisedMessage([&] { TranslateObjectTree(&label, "cport"); });
    EXPECT_EQ(message,
              "Property cannot be translated.\r\n"
              "Use TP_GlobalIgnoreClassProperty(QLabel,text) or\r\n"
              "TP_Ignore (self,'.text') to prevent this message.\r\n"
              "Reason: Error: Could not translate Broken. Probably because the mo file doesn't contain utf-8 "
              "encoded translations.");
}

TEST_F(I18nWalkTest, CollectionItemsAreTranslatedButNotTheCollectionsPropertyName)
{
    Start({{"Name", "Bezeichnung"}, {"Value", "Wert"}, {"Columns", "Spalten"}, {"Root", "Wurzel"}});
    TPanelPart root("Root");
    root.Columns()->Add(std::make_unique<TColumn>())->SetTitle("Name");
    root.Columns()->Add(std::make_unique<TColumn>())->SetTitle("Value");
    root.Columns()->Add(std::make_unique<TColumn>());
    TranslateObjectTree(&root, "cport");
    EXPECT_EQ(static_cast<TColumn*>(root.Columns()->Items(0))->Title(), QStringLiteral("Bezeichnung"));
    EXPECT_EQ(static_cast<TColumn*>(root.Columns()->Items(1))->Title(), QStringLiteral("Wert"));
    EXPECT_EQ(static_cast<TColumn*>(root.Columns()->Items(2))->Title(), QString());
    EXPECT_EQ(root.Columns()->PropName(), QStringLiteral("Columns"));
    EXPECT_EQ(root.objectName(), QStringLiteral("Root"));
}

TEST_F(I18nWalkTest, QtTextsThatAreNoInterfaceTextsStayAsTheyAre)
{
    Start({{"color: red", "Farbe: rot"},
           {"Port", "Anschluss"},
           {"Pick a port", "Anschluss w\xC3\xA4hlen"},
           {"999.999.999.999", "000"},
           {"yyyy-MM-dd", "tt.MM.jjjj"},
           {"0", "null"},
           {"Line one\nLine two", "Zeile eins\nZeile zwei"}});
    QWidget window;
    auto* label = new QLabel("Port", &window);
    label->setStyleSheet("color: red");
    label->setAccessibleName("Port");
    label->setToolTip("Pick a port");
    auto* address = new QLineEdit(&window);
    address->setInputMask("999.999.999.999");
    const QString mask = address->inputMask();
    auto* count = new QSpinBox(&window);
    auto* editor = count->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText("0");
    auto* lines = new QLabel("Line one\nLine two", &window);

    TranslateObjectTree(&window, "cport");
    EXPECT_EQ(label->text(), QStringLiteral("Anschluss"));
    EXPECT_EQ(label->toolTip(), QString::fromUtf8("Anschluss w\xC3\xA4hlen"));
    EXPECT_EQ(label->styleSheet(), QStringLiteral("color: red"));
    EXPECT_EQ(label->accessibleName(), QStringLiteral("Port"));
    EXPECT_EQ(address->inputMask(), mask);
    // The spin box's own editor is part of it, not a component of the form.
    EXPECT_EQ(editor->text(), QStringLiteral("0"));
    // Qt's line ends stay LF.
    EXPECT_EQ(lines->text(), QStringLiteral("Zeile eins\nZeile zwei"));
}

TEST_F(I18nWalkTest, ClassRulesRunFromTheMostDerivedClassAndMerge)
{
    const auto classes = [] {
        std::vector<std::string> names;
        for (const TClassMode& rule : ClassRules())
            names.push_back(rule.RuleClass->className());
        return names;
    };
    // The built-in rules: the collection before the component class it
    // derives from, each widget class before QWidget.
    const std::vector<std::string> builtIn = classes();
    ASSERT_FALSE(builtIn.empty());
    EXPECT_EQ(builtIn.front(), "TCollection");
    EXPECT_EQ(builtIn.back(), "QObject");
    EXPECT_EQ(ClassRules().back().SkippedProperties, std::set<std::string>{"OBJECTNAME"});
    EXPECT_EQ(ClassRules().front().SkippedProperties, std::set<std::string>{"PROPNAME"});

    TP_GlobalIgnoreClassProperty(QLabel::staticMetaObject, "toolTip");
    TP_GlobalIgnoreClassProperty(QFrame::staticMetaObject, "statusTip");
    TP_GlobalIgnoreClassProperty(QLabel::staticMetaObject, "WhatsThis");
    const std::vector<std::string> now = classes();
    ASSERT_EQ(now.size(), builtIn.size() + 2);
    const auto at = [&](const char* name) { return std::find(now.begin(), now.end(), name) - now.begin(); };
    EXPECT_LT(at("QLabel"), at("QFrame"));
    EXPECT_LT(at("QFrame"), at("QWidget"));
    EXPECT_LT(at("QWidget"), at("QObject"));
    EXPECT_EQ(ClassRules()[static_cast<std::size_t>(at("QLabel"))].SkippedProperties,
              (std::set<std::string>{"TOOLTIP", "WHATSTHIS"}));

    // A rule applies to derived classes: a label skips both; a push button
    // (not a frame) neither.
    Start({{"Tip", "Tipp"}, {"Status", "Zustand"}});
    QWidget window;
    auto* label = new QLabel(&window);
    label->setToolTip("Tip");
    label->setStatusTip("Status");
    auto* button = new QPushButton(&window);
    button->setToolTip("Tip");
    button->setStatusTip("Status");
    TranslateObjectTree(&window, "cport");
    EXPECT_EQ(label->toolTip(), QStringLiteral("Tip"));
    EXPECT_EQ(label->statusTip(), QStringLiteral("Status"));
    EXPECT_EQ(button->toolTip(), QStringLiteral("Tipp"));
    EXPECT_EQ(button->statusTip(), QStringLiteral("Zustand"));

    // The start-up step sets the rules up afresh.
    ResetComponentTranslation();
    EXPECT_EQ(classes(), builtIn);
}

} // namespace
} // namespace i18ntest
