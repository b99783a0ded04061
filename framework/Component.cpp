#include "framework/Component.h"

#include "framework/ErrorDisplay.h"

#include <algorithm>

namespace {

thread_local TFormLoading* currentLoading = nullptr;

void Erase(std::vector<TComponent*>& list, TComponent* item)
{
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

} // namespace

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

void TComponent::FreeNotification(TComponent* watcher)
{
    if (!watcher || watcher == this)
        return;
    if (std::find(watchers_.begin(), watchers_.end(), watcher) == watchers_.end()) {
        watchers_.push_back(watcher);
        watcher->watching_.push_back(this);
    }
}

void TComponent::RemoveFreeNotification(TComponent* watcher)
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

void TComponent::Notification(TComponent*, TOperation) {}

void TComponent::SendRemovalNotices()
{
    if (removalSent_)
        return;
    removalSent_ = true;
    // A watcher may withdraw other requests from inside its notice, so work
    // on a copy and skip any that left the list meanwhile.
    const std::vector<TComponent*> watchers = watchers_;
    for (TComponent* watcher : watchers) {
        if (std::find(watchers_.begin(), watchers_.end(), watcher) == watchers_.end())
            continue;
        Erase(watcher->watching_, this);
        watcher->Notification(this, opRemove);
    }
    watchers_.clear();
    // Components this one watched must not notify it after it is gone.
    for (TComponent* watched : watching_)
        Erase(watched->watchers_, this);
    watching_.clear();
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
