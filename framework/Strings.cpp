// TStrings: lines, and the whole text with its CR LF ends.
#include "framework/Strings.h"

#include "framework/Exception.h"

TStrings::TStrings(QObject* parent) : TPersistent(parent) {}

TStrings::TStrings(const QStringList& lines, QObject* parent) : TPersistent(parent), lines_(lines) {}

const QString& TStrings::Strings(qsizetype index) const
{
    if (index < 0 || index >= lines_.size())
        throw Exception("List index out of bounds (" + std::to_string(index) + ")");
    return lines_[index];
}

void TStrings::SetStrings(qsizetype index, const QString& line)
{
    if (index < 0 || index >= lines_.size())
        throw Exception("List index out of bounds (" + std::to_string(index) + ")");
    lines_[index] = line;
    emit Changed();
}

void TStrings::Add(const QString& line)
{
    lines_.append(line);
    emit Changed();
}

void TStrings::Clear()
{
    lines_.clear();
    emit Changed();
}

QString TStrings::TextOf(const QStringList& lines)
{
    QString text;
    for (const QString& line : lines) {
        text += line;
        text += QStringLiteral("\r\n");
    }
    return text;
}

void TStrings::SetText(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype length = text.size();
    qsizetype i = 0;
    while (i < length) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            lines.append(text.mid(start, i - start));
            // CR LF is one line end.
            i += (c == u'\r' && i + 1 < length && text[i + 1] == u'\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    // A final line end closes the last line rather than opening an empty one.
    if (start < length)
        lines.append(text.mid(start));
    lines_ = std::move(lines);
    emit Changed();
}

void TStrings::Assign(const TPersistent& source)
{
    if (const auto* other = qobject_cast<const TStrings*>(&source)) {
        lines_ = other->lines_;
        emit Changed();
        return;
    }
    TPersistent::Assign(source);
}
