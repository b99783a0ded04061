// TCollection and its items.
#include "framework/Collection.h"

#include "framework/Exception.h"

#include <algorithm>

TCollectionItem::TCollectionItem() : TPersistent(nullptr) {}

TCollectionItem::~TCollectionItem()
{
    if (collection_ != nullptr)
        collection_->Forget(this);
}

qsizetype TCollectionItem::Index() const
{
    if (collection_ == nullptr)
        return -1;
    const auto& items = collection_->items_;
    return std::find(items.begin(), items.end(), this) - items.begin();
}

TCollection::TCollection(QObject* parent) : TPersistent(parent) {}

TCollection::~TCollection()
{
    Clear();
}

TCollectionItem* TCollection::Items(qsizetype index) const
{
    if (index < 0 || index >= Count())
        throw Exception("List index out of bounds (" + std::to_string(index) + ")");
    return items_[static_cast<std::size_t>(index)];
}

void TCollection::Insert(std::unique_ptr<TCollectionItem> item)
{
    if (!item || item->collection_ == this)
        return (void)item.release();
    // An item moves from its old collection rather than living in two.
    if (item->collection_ != nullptr)
        item->collection_->Forget(item.get());
    items_.push_back(item.get());
    item->collection_ = this;
    // Items are QObject children, so that they go with the collection even
    // when it is destroyed through QObject alone.
    item.release()->setParent(this);
}

void TCollection::Forget(TCollectionItem* item) noexcept
{
    items_.erase(std::remove(items_.begin(), items_.end(), item), items_.end());
    item->collection_ = nullptr;
}

void TCollection::Delete(qsizetype index)
{
    delete Items(index);
}

void TCollection::Clear()
{
    while (!items_.empty())
        delete items_.back();
}
