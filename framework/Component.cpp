// The component base: owners, removal notices, loading.
#include "framework/Component.h"

#include "framework/ErrorDisplay.h"

#include <algorithm>

namespace {

thread_local TFormLoading* currentLoading = nullptr;

template <class T>
void Erase(std::vector<T*>& list, T* item)
{
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

} // namespace

TFreeNotifyTarget::~TFreeNotifyTarget()
{
    ForgetWatched();
}

void TFreeNotifyTarget::Notification(TComponent*, TOperation) {}

void TFreeNotifyTarget::ForgetWatched()
{
    for (TComponent* watched : watching_)
        Erase(watched->watchers_, this);
    watching_.clear();
}

TComponent::TComponent(QObject* owner) : QObject(owner)
{
    if (TFormLoading* loading = currentLoading) {
        loading_ = true;
        loading->created_.emplace_back(this);
    }
}

TComponent::~TComponent()
{
    SendRemovalNotices();
}

void TComponent::FreeNotification(TFreeNotifyTarget* watcher)
{
    if (!watcher || watcher == static_cast<TFreeNotifyTarget*>(this))
        return;
    if (std::find(watchers_.begin(), watchers_.end(), watcher) == watchers_.end()) {
        watchers_.push_back(watcher);
        watcher->watching_.push_back(this);
    }
}

void TComponent::RemoveFreeNotification(TFreeNotifyTarget* watcher)
{
    if (!watcher)
        return;
    Erase(watchers_, watcher);
    Erase(watcher->watching_, this);
}

void TComponent::Loaded()
{
    loading_ = false;
}

void TComponent::SendRemovalNotices()
{
    if (removalSent_)
        return;
    removalSent_ = true;
    // A watcher may withdraw other requests from inside its notice, so work
    // on a copy and skip any that left the list meanwhile.
    const std::vector<TFreeNotifyTarget*> watchers = watchers_;
    for (TFreeNotifyTarget* watcher : watchers) {
        if (std::find(watchers_.begin(), watchers_.end(), watcher) == watchers_.end())
            continue;
        Erase(watcher->watching_, this);
        watcher->Notification(this, opRemove);
    }
    watchers_.clear();
    // Components this one watched must not notify it after it is gone.
    ForgetWatched();
}

TFormLoading::TFormLoading() : outer_(currentLoading)
{
    currentLoading = this;
}

TFormLoading::~TFormLoading()
{
    Finish();
}

TFormLoading* TFormLoading::Current()
{
    return currentLoading;
}

void TFormLoading::Finish()
{
    if (finished_)
        return;
    finished_ = true;
    currentLoading = outer_;
    for (const QPointer<TComponent>& component : created_) {
        if (!component)
            continue;
        GuardedCall([&] { component->Loaded(); });
        if (component)
            component->loading_ = false;
    }
    created_.clear();
}
