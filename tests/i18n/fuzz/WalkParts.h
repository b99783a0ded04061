// A component of the kind forms hold: text properties (one read-only), a
// number, a list of lines, a collection, and a reference to another
// component, which may lead back to where the walk began.
#pragma once

#include "framework/Collection.h"
#include "framework/Strings.h"

#include <QObject>
#include <QPointer>
#include <QString>

class TFuzzColumn : public TCollectionItem {
    Q_OBJECT
    Q_PROPERTY(QString Title READ Title WRITE SetTitle)

public:
    QString Title() const { return title_; }
    void SetTitle(const QString& title) { title_ = title; }

private:
    QString title_;
};

class TFuzzPart : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(QString Fixed READ Fixed)
    Q_PROPERTY(int Width READ Width WRITE SetWidth)
    Q_PROPERTY(TStrings* Lines READ Lines)
    Q_PROPERTY(TCollection* Columns READ Columns)
    Q_PROPERTY(QObject* Partner READ Partner WRITE SetPartner)

public:
    explicit TFuzzPart(const QString& name, QObject* owner = nullptr)
        : QObject(owner), lines_(new TStrings(this)), columns_(new TCollection(this))
    {
        setObjectName(name);
        columns_->SetPropName(QStringLiteral("Columns"));
    }

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption) { caption_ = caption; }
    QString Fixed() const { return fixed_; }
    void SetFixedText(const QString& text) { fixed_ = text; }
    int Width() const { return width_; }
    void SetWidth(int width) { width_ = width; }
    TStrings* Lines() const { return lines_; }
    TCollection* Columns() const { return columns_; }
    QObject* Partner() const { return partner_; }
    void SetPartner(QObject* partner) { partner_ = partner; }

private:
    QString caption_, fixed_;
    int width_ = 0;
    TStrings* lines_;
    TCollection* columns_;
    QPointer<QObject> partner_;
};
