// TStrings: a list of lines, as the components that show several lines (a
// memo's lines, a list's items) publish them. Its whole text is the lines
// each followed by CR LF; setting the whole text splits it again at CR LF,
// a lone CR or a lone LF.
#pragma once

#include "framework/Persistent.h"

#include <QString>
#include <QStringList>

class TStrings : public TPersistent {
    Q_OBJECT

public:
    explicit TStrings(QObject* parent = nullptr);
    explicit TStrings(const QStringList& lines, QObject* parent = nullptr);

    qsizetype Count() const { return lines_.size(); }
    const QString& Strings(qsizetype index) const;
    void SetStrings(qsizetype index, const QString& line);
    const QStringList& Lines() const { return lines_; }

    void Add(const QString& line);
    void Clear();

    QString Text() const { return TextOf(lines_); }
    void SetText(const QString& text);
    // The whole text that `lines` make: each followed by CR LF.
    static QString TextOf(const QStringList& lines);

    // Copies the lines of another TStrings; anything else fails as for
    // every persistent object.
    void Assign(const TPersistent& source) override;

signals:
    // After every change of the lines.
    void Changed();

private:
    QStringList lines_;
};
