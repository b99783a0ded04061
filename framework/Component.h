// Component base: owner and owned components on QObject, removal notices,
// the loading state and the end-of-loading step.
#pragma once

#include <QObject>
#include <QPointer>

#include <vector>

class TComponent;

// Anything that follows components it does not own: it asks a component for
// a removal notice (TComponent::FreeNotification) and forgets the component
// when the notice comes. Kept apart from TComponent so that widgets, which
// cannot also be components, can watch a port the same way components do.
class TFreeNotifyTarget {
public:
    enum TOperation { opInsert, opRemove };

    TFreeNotifyTarget() = default;
    TFreeNotifyTarget(const TFreeNotifyTarget&) = delete;
    TFreeNotifyTarget& operator=(const TFreeNotifyTarget&) = delete;
    // A watcher that goes first leaves the lists of the components it
    // watched, so none of them notifies a destroyed object.
    virtual ~TFreeNotifyTarget();

protected:
    // Receives removal notices of watched components. The component is
    // still whole when this runs: its destruction has only begun.
    virtual void Notification(TComponent* component, TOperation operation);

private:
    friend class TComponent;
    void ForgetWatched();
    std::vector<TComponent*> watching_;  // whose lists hold this one
};

class TComponent : public QObject, public TFreeNotifyTarget {
    Q_OBJECT

public:
    // The owner becomes the QObject parent and so destroys this component.
    explicit TComponent(QObject* owner = nullptr);
    ~TComponent() override;

    QObject* Owner() const { return parent(); }

    // True while the component is being built from a stored form
    // description (see TFormLoading).
    bool IsLoading() const { return loading_; }

    // Asks for a removal notice: `watcher` gets Notification(this, opRemove)
    // at the start of this component's destruction. Asking twice is harmless.
    void FreeNotification(TFreeNotifyTarget* watcher);
    // Withdraws the request.
    void RemoveFreeNotification(TFreeNotifyTarget* watcher);

    // End-of-loading step, run once for each component a form created,
    // in creation order. Overrides must call the base first.
    virtual void Loaded();

protected:
    // Sends the removal notices. A class whose destructor tears down state
    // that watchers may still reach calls this as its first statement; the
    // base destructor calls it otherwise. Only the first call sends.
    void SendRemovalNotices();

private:
    friend class TFormLoading;
    friend class TFreeNotifyTarget;

    bool loading_ = false;
    bool removalSent_ = false;
    std::vector<TFreeNotifyTarget*> watchers_;  // told when this one goes
};

// Marks the span in which a form's components are created (a uic setupUi
// call, say). Every TComponent constructed on this thread while the object
// lives is in the loading state; Finish() (or the destructor) clears that
// state and runs each component's Loaded() in creation order. An exception
// from Loaded() goes to the standard error display and the rest still load.
class TFormLoading {
public:
    TFormLoading();
    ~TFormLoading();
    TFormLoading(const TFormLoading&) = delete;
    TFormLoading& operator=(const TFormLoading&) = delete;

    void Finish();

    // The loading span active on this thread, if any.
    static TFormLoading* Current();

private:
    friend class TComponent;
    std::vector<QPointer<TComponent>> created_;
    TFormLoading* outer_ = nullptr;
    bool finished_ = false;
};
