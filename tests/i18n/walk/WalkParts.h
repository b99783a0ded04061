// Components built in code for the walk's tests and its fuzzer: text
// properties that can and cannot be written, a number, a list of lines, a
// collection, a reference to another component (which may lead back to
// where the walk began), and a property whose setter refuses.
#pragma once

#include "framework/Collection.h"
#include "framework/Exception.h"
#include "framework/Strings.h"

#include <QObject>
#include <QPointer>
#include <QString>

class TColumn : public TCollectionItem {
    Q_OBJECT
    Q_PROPERTY(QString Title READ Title WRITE SetTitle)

public:
    QString Title() const { return title_; }
    void SetTitle(const QString& title) { title_ = title; }

private:
    QString title_;
};

class TPanelPart : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(QString Fixed READ Fixed)
    Q_PROPERTY(int Width READ Width WRITE SetWidth)
    Q_PROPERTY(TStrings* Lines READ Lines)
    Q_PROPERTY(TCollection* Columns READ Columns)
    Q_PROPERTY(QObject* Partner READ Partner WRITE SetPartner)

public:
    explicit TPanelPart(const QString& name, QObject* owner = nullptr)
        : QObject(owner), lines_(new TStrings(this)), columns_(new TCollection(this))
    {
        setObjectName(name);
        columns_->SetPropName(QStringLiteral("Columns"));
    }

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption)
    {
        caption_ = caption;
        ++captionWrites;
    }
    QString Hint() const { return hint_; }
    void SetHint(const QString& hint) { hint_ = hint; }
    QString Fixed() const { return fixed_; }
    void SetFixedText(const QString& text) { fixed_ = text; }
    int Width() const { return width_; }
    void SetWidth(int width) { width_ = width; }
    TStrings* Lines() const { return lines_; }
    TCollection* Columns() const { return columns_; }
    QObject* Partner() const { return partner_; }
    void SetPartner(QObject* partner) { partner_ = partner; }

    int captionWrites = 0;

private:
    QString caption_, hint_, fixed_;
    int width_ = 0;
    TStrings* lines_;
    TCollection* columns_;
    QPointer<QObject> partner_;
};

// Stands for a component whose property cannot take a new value now (an
// open port refusing a new device name, say).
class TRefusingPart : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)

public:
    explicit TRefusingPart(const QString& name, QObject* owner = nullptr) : QObject(owner)
    {
        setObjectName(name);
    }
    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption)
    {
        if (caption != caption_)
            throw Exception("Cannot set property while connected");
    }
    QString caption_;
};
