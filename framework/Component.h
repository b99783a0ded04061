// Component base: owner and owned components on QObject, removal notices,
// the loading state and the end-of-loading step.
#pragma once

#include <QObject>
#include <QPointer>

#include <vector>

class TComponent : public QObject {
    Q_OBJECT

public:
    enum TOperation { opInsert, opRemove };

    // The owner becomes the QObject parent and so destroys this component.
    explicit TComponent(QObject* owner = nullptr);
    ~TComponent() override;

    QObject* Owner() const { return parent(); }

    // True while the component is being built from a stored form
    // description (see TFormLoading).
    bool IsLoading() const { return loading_; }

    // Asks for a removal notice: `watcher` gets Notification(this, opRemove)
    // at the start of this component's destruction. Asking twice is harmless.
    void FreeNotification(TComponent* watcher);
    // Withdraws the request.
    void RemoveFreeNotification(TComponent* watcher);

    // End-of-loading step, run once for each component a form created,
    // in creation order. Overrides must call the base first.
    virtual void Loaded();

protected:
    // Receives removal notices of watched components.
    virtual void Notification(TComponent* component, TOperation operation);

    // Sends the removal notices. A class whose destructor tears down state
    // that watchers may still reach calls this as its first statement; the
    // base destructor calls it otherwise. Only the first call sends.
    void SendRemovalNotices();

private:
    friend class TFormLoading;

    bool loading_ = false;
    bool removalSent_ = false;
    std::vector<TComponent*> watchers_;  // told when this one goes
    std::vector<TComponent*> watching_;  // whose lists hold this one
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
