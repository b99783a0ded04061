// The component walk and its class and object skip rules.
#include "i18n/ComponentTranslation.h"

#include "i18n/AsciiCase.h"
#include "i18n/gnugettext.h"

#include "framework/Collection.h"
#include "framework/ErrorDisplay.h"
#include "framework/Exception.h"
#include "framework/Persistent.h"
#include "framework/Strings.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QMetaProperty>
#include <QObject>
#include <QPointer>
#include <QVariant>
#include <QTextDocument>
#include <QTextEdit>
#include <QWidget>

#include <deque>
#include <optional>
#include <utility>

namespace {

struct WalkState {
    std::set<std::string> skipNames;
    std::vector<TClassMode> classRules;
};

// Lives beside the translator: set up by the engine's start-up step, gone
// after its shutdown step, and made on first use by a program that walks
// without starting the engine (its lookups then change nothing).
std::optional<WalkState> walkState;

std::string AsciiUpperCased(std::string text)
{
    for (char& c : text)
        c = AsciiUpper(c);
    return text;
}

std::string Utf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString FromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void AddClassRule(WalkState& state, const QMetaObject& ruleClass, const std::string& propertyName)
{
    std::string name = AsciiUpperCased(propertyName);
    for (TClassMode& rule : state.classRules) {
        if (rule.RuleClass == &ruleClass) {
            rule.SkippedProperties.insert(std::move(name));
            return;
        }
    }
    // Before the first rule for an ancestor, so that rules run from the
    // most derived class to the most general one.
    auto at = state.classRules.begin();
    while (at != state.classRules.end() && !ruleClass.inherits(at->RuleClass))
        ++at;
    state.classRules.insert(at, TClassMode{&ruleClass, {std::move(name)}});
}

void SetUpBuiltInRules(WalkState& state)
{
    // A component's name and the name of the property holding a collection
    // identify things; they are never texts for a reader.
    AddClassRule(state, QObject::staticMetaObject, "objectName");
    AddClassRule(state, TCollection::staticMetaObject, "PropName");

    // Text properties of Qt's widgets that are not interface texts: code for
    // the style engine, names by which assistive and test tools find a
    // control (with none set they read the translated caption), a file path,
    // format codes that the widget parses, the combo box's current text
    // (writing it chooses an item) and a text edit's document in notations
    // other than its plain text, which would be translated twice over.
    for (const char* property : {"styleSheet", "accessibleName", "accessibleDescription", "windowFilePath"})
        AddClassRule(state, QWidget::staticMetaObject, property);
    AddClassRule(state, QLineEdit::staticMetaObject, "inputMask");
    AddClassRule(state, QDateTimeEdit::staticMetaObject, "displayFormat");
    AddClassRule(state, QComboBox::staticMetaObject, "currentText");
    AddClassRule(state, QTextEdit::staticMetaObject, "html");
    AddClassRule(state, QTextEdit::staticMetaObject, "markdown");
    AddClassRule(state, QTextDocument::staticMetaObject, "defaultStyleSheet");
}

WalkState& State()
{
    if (!walkState) {
        walkState.emplace();
        SetUpBuiltInRules(*walkState);
    }
    return *walkState;
}

std::string ResolvedDomain(const std::string& domainName)
{
    if (!domainName.empty())
        return domainName;
    const TGnuGettextInstance* translator = DefaultTranslator();
    return translator != nullptr ? translator->ActiveDomain() : std::string("default");
}

bool IsComponent(const QObject* object)
{
    return qobject_cast<const TPersistent*>(object) == nullptr;
}

// Qt builds some widgets from helper children of its own ("qt_spinbox_lineedit",
// "qt_scrollarea_viewport"); they are parts of the widget, not components a
// form owns, and their texts belong to the widget.
bool IsQtInternalPart(const QObject* object)
{
    return object->objectName().startsWith(QLatin1String("qt_"));
}

using WorkQueue = std::deque<std::pair<QPointer<QObject>, std::string>>;

class Walk {
public:
    Walk(WalkState& state, std::string domain) : state_(state), domain_(std::move(domain)) {}

    void Run(QObject* root)
    {
        queue_.emplace_back(root, std::string());
        while (!queue_.empty()) {
            auto [object, name] = std::move(queue_.front());
            queue_.pop_front();
            if (object.isNull() || !visited_.insert(object.data()).second)
                continue;
            TranslateObject(*object, name);
        }
    }

private:
    void TranslateObject(QObject& object, const std::string& name)
    {
        const QMetaObject* meta = object.metaObject();
        std::set<std::string> skipped;
        for (const TClassMode& rule : state_.classRules) {
            if (meta->inherits(rule.RuleClass))
                skipped.insert(rule.SkippedProperties.begin(), rule.SkippedProperties.end());
        }

        for (int i = 0; i < meta->propertyCount(); ++i) {
            const QMetaProperty property = meta->property(i);
            const std::string upper = AsciiUpperCased(property.name());
            if (state_.skipNames.count(name + "." + upper) != 0 || skipped.count(upper) != 0)
                continue;
            try {
                TranslateProperty(object, property);
            } catch (...) {
                const std::string declared = property.name();
                throw Exception("Property cannot be translated.\r\nUse TP_GlobalIgnoreClassProperty("
                                + std::string(meta->className()) + "," + declared + ") or\r\nTP_Ignore (self,'."
                                + declared + "') to prevent this message.\r\nReason: "
                                + ExceptionMessage(std::current_exception()));
            }
        }

        if (auto* lines = qobject_cast<TStrings*>(&object))
            TranslateLines(*lines, domain_);

        if (IsComponent(&object)) {
            for (QObject* child : object.children()) {
                if (!IsComponent(child) || IsQtInternalPart(child))
                    continue;
                std::string childName = AsciiUpperCased(Utf8(child->objectName()));
                if (state_.skipNames.count(childName) == 0)
                    queue_.emplace_back(child, std::move(childName));
            }
        }
    }

    void TranslateProperty(QObject& object, const QMetaProperty& property)
    {
        const QMetaType type = property.metaType();
        if (type.id() == QMetaType::QString) {
            if (!property.isReadable() || !property.isWritable())
                return;
            const QString value = property.read(&object).toString();
            if (value.isEmpty())
                return;
            std::string translated = LookupTextInDomain(domain_, Utf8(value));
            // The engine ends lines with CR LF; Qt's texts end them with LF
            // alone, so a text that came without CRs goes back without them.
            if (!value.contains(u'\r'))
                translated = WithoutCrBeforeLf(std::move(translated));
            const QString result = FromUtf8(translated);
            if (result == value)
                return;
            const int index = object.metaObject()->indexOfProperty(property.name());
            if (index < 0)
                throw Exception("Property disappeared...");
            // Written through the object's own metacall rather than
            // QMetaProperty::write: a setter's exception then travels only
            // through moc's code and ours, never through Qt's library code.
            QString argument = result;
            QVariant variant(result);
            int status = -1;
            int flags = 0;
            void* arguments[] = {&argument, &variant, &status, &flags};
            if (object.qt_metacall(QMetaObject::WriteProperty, index, arguments) >= 0)
                throw Exception("Property disappeared...");
            return;
        }
        if (type.flags().testFlag(QMetaType::PointerToQObject)) {
            QObject* target = property.read(&object).value<QObject*>();
            if (target == nullptr)
                return;
            if (auto* lines = qobject_cast<TStrings*>(target)) {
                // Translated once, however many properties lead to it.
                if (visited_.insert(lines).second)
                    TranslateLines(*lines, domain_);
            } else if (auto* collection = qobject_cast<TCollection*>(target)) {
                for (qsizetype i = 0; i < collection->Count(); ++i)
                    queue_.emplace_back(collection->Items(i), std::string());
            }
            if (IsComponent(target))
                queue_.emplace_back(target, std::string());
        }
    }

    static std::string WithoutCrBeforeLf(std::string text)
    {
        std::string out;
        out.reserve(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                continue;
            out.push_back(text[i]);
        }
        return out;
    }

    WalkState& state_;
    const std::string domain_;
    WorkQueue queue_;
    std::set<const QObject*> visited_;
};

} // namespace

void TP_Ignore(QObject* /*root*/, const std::string& name)
{
    State().skipNames.insert(AsciiUpperCased(name));
}

void TranslateObjectTree(QObject* root, const std::string& domainName)
{
    WalkState& state = State();
    Walk walk(state, ResolvedDomain(domainName));
    walk.Run(root);
    state.skipNames.clear();
}

void TranslateLines(TStrings& lines, const std::string& domainName)
{
    const std::string domain = ResolvedDomain(domainName);
    QStringList copy = lines.Lines();
    for (QString& line : copy) {
        if (!line.isEmpty())
            line = FromUtf8(LookupTextInDomain(domain, Utf8(line)));
    }
    // Through the whole text: a translation with line breaks becomes lines.
    lines.SetText(TStrings::TextOf(copy));
}

void TP_GlobalIgnoreClassProperty(const QMetaObject& ruleClass, const std::string& propertyName)
{
    AddClassRule(State(), ruleClass, propertyName);
}

std::set<std::string> SkipNames()
{
    return State().skipNames;
}

std::vector<TClassMode> ClassRules()
{
    return State().classRules;
}

void ResetComponentTranslation()
{
    walkState.reset();
    State();
}

void DropComponentTranslation() noexcept
{
    walkState.reset();
}
