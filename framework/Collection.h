// TCollection: an ordered list of items of one item class, owned by the
// collection. Components publish collections (a status bar's panels, a
// list view's columns) through object properties; the items carry their
// own published properties.
#pragma once

#include "framework/Persistent.h"

#include <QString>

#include <memory>
#include <vector>

class TCollection;

class TCollectionItem : public TPersistent {
    Q_OBJECT

public:
    // An item joins a collection through TCollection::Add.
    TCollectionItem();
    ~TCollectionItem() override;

    TCollection* Collection() const { return collection_; }
    // Position in the collection, -1 outside one.
    qsizetype Index() const;

private:
    friend class TCollection;
    TCollection* collection_ = nullptr;
};

class TCollection : public TPersistent {
    Q_OBJECT
    // The name of the owner's property that holds the collection (not a
    // text for a reader).
    Q_PROPERTY(QString PropName READ PropName WRITE SetPropName)

public:
    explicit TCollection(QObject* parent = nullptr);
    ~TCollection() override;

    qsizetype Count() const { return static_cast<qsizetype>(items_.size()); }
    TCollectionItem* Items(qsizetype index) const;

    // Takes ownership of `item`, appended at the end; returns it.
    template <class Item>
    Item* Add(std::unique_ptr<Item> item)
    {
        Item* added = item.get();
        Insert(std::move(item));
        return added;
    }
    // Removes and destroys the item at `index`.
    void Delete(qsizetype index);
    void Clear();

    QString PropName() const { return propName_; }
    void SetPropName(const QString& name) { propName_ = name; }

private:
    friend class TCollectionItem;
    void Insert(std::unique_ptr<TCollectionItem> item);
    void Forget(TCollectionItem* item) noexcept;

    std::vector<TCollectionItem*> items_;
    QString propName_;
};
