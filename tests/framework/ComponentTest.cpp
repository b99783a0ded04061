// Tests of owners, removal notices and the end-of-loading step.
#include "framework/Component.h"
#include "framework/ErrorDisplay.h"
#include "framework/Exception.h"
#include "framework/Persistent.h"
#include "tests/support/Capture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<std::string> journal;

// Records removal notices and loading steps in the shared journal.
class Recorder : public TComponent {
public:
    Recorder(std::string name, QObject* owner = nullptr) : TComponent(owner), name_(std::move(name)) {}
    ~Recorder() override
    {
        SendRemovalNotices();
        journal.push_back("destroying " + name_);
    }
    void Loaded() override
    {
        TComponent::Loaded();
        journal.push_back("loaded " + name_);
        if (failOnLoad)
            throw Exception("load of " + name_ + " failed");
    }
    bool failOnLoad = false;
    TComponent* watched = nullptr;

protected:
    void Notification(TComponent* component, TOperation operation) override
    {
        if (operation == opRemove && component == watched) {
            journal.push_back(name_ + " forgets " + static_cast<Recorder*>(component)->name_);
            watched = nullptr;
        }
    }

private:
    std::string name_;
};

class ComponentTest : public ::testing::Test {
protected:
    void SetUp() override { journal.clear(); }
};

TEST_F(ComponentTest, RemovalNoticeArrivesBeforeTheWatchedComponentIsTornDown)
{
    auto port = std::make_unique<Recorder>("port");
    Recorder led("led");
    led.watched = port.get();
    port->FreeNotification(&led);
    port->FreeNotification(&led); // asking twice sends one notice

    port.reset();
    EXPECT_EQ(journal, (std::vector<std::string>{"led forgets port", "destroying port"}));
    EXPECT_EQ(led.watched, nullptr);
}

TEST_F(ComponentTest, WithdrawnRequestAndDestroyedWatcherGetNoNotice)
{
    auto port = std::make_unique<Recorder>("port");
    auto led = std::make_unique<Recorder>("led");
    Recorder selector("selector");
    led->watched = port.get();
    selector.watched = port.get();
    port->FreeNotification(led.get());
    port->FreeNotification(&selector);

    port->RemoveFreeNotification(&selector);
    led.reset(); // a destroyed watcher must not be called later
    journal.clear();
    port.reset();
    EXPECT_EQ(journal, (std::vector<std::string>{"destroying port"}));
}

// A watcher that is not a component (as a widget is): same notices, and it
// leaves the lists of what it watched when it goes first.
class PlainWatcher : public TFreeNotifyTarget {
public:
    TComponent* watched = nullptr;
    int notices = 0;

protected:
    void Notification(TComponent* component, TOperation operation) override
    {
        if (operation == opRemove && component == watched) {
            ++notices;
            journal.push_back("plain watcher forgets its component");
            watched = nullptr;
        }
    }
};

TEST_F(ComponentTest, ObjectsThatAreNotComponentsWatchTheSameWay)
{
    auto port = std::make_unique<Recorder>("port");
    PlainWatcher kept;
    auto gone = std::make_unique<PlainWatcher>();
    kept.watched = port.get();
    gone->watched = port.get();
    port->FreeNotification(&kept);
    port->FreeNotification(gone.get());
    port->FreeNotification(&kept);
    gone.reset(); // must not be called once destroyed

    port.reset();
    EXPECT_EQ(journal, (std::vector<std::string>{"plain watcher forgets its component", "destroying port"}));
    EXPECT_EQ(kept.notices, 1);
    EXPECT_EQ(kept.watched, nullptr);
}

TEST_F(ComponentTest, WatcherWithdrawingItsRequestIsNotCalled)
{
    auto port = std::make_unique<Recorder>("port");
    PlainWatcher watcher;
    watcher.watched = port.get();
    port->FreeNotification(&watcher);
    port->RemoveFreeNotification(&watcher);
    port.reset();
    EXPECT_EQ(watcher.notices, 0);
}

TEST_F(ComponentTest, OwnerDestroysOwnedComponents)
{
    auto window = std::make_unique<Recorder>("window");
    new Recorder("button", window.get());
    window.reset();
    EXPECT_EQ(journal, (std::vector<std::string>{"destroying window", "destroying button"}));
}

TEST_F(ComponentTest, FormLoadingMarksComponentsAndRunsLoadedInCreationOrder)
{
    ErrorCapture errors;
    Recorder outside("outside");
    Recorder* a;
    Recorder* b;
    Recorder* c;
    auto form = std::make_unique<Recorder>("form");
    {
        TFormLoading loading;
        a = new Recorder("a", form.get());
        b = new Recorder("b", form.get());
        c = new Recorder("c", form.get());
        b->failOnLoad = true;
        EXPECT_TRUE(a->IsLoading());
        EXPECT_TRUE(c->IsLoading());
        EXPECT_FALSE(outside.IsLoading());
        loading.Finish();
        EXPECT_FALSE(a->IsLoading());
        EXPECT_FALSE(b->IsLoading()); // a failing Loaded still ends loading
    }
    EXPECT_EQ(journal, (std::vector<std::string>{"loaded a", "loaded b", "loaded c"}));
    EXPECT_EQ(errors.Messages(), (std::vector<std::string>{"load of b failed"}));
    EXPECT_EQ(TFormLoading::Current(), nullptr);
    Recorder after("after");
    EXPECT_FALSE(after.IsLoading());
}

TEST_F(ComponentTest, GuardedCallHandsAnyExceptionToTheDisplay)
{
    ErrorCapture errors;
    GuardedCall([] { throw Exception("first"); });
    GuardedCall([] { throw 42; });
    GuardedCall([] {});
    EXPECT_EQ(errors.Messages(), (std::vector<std::string>{"first", "Unknown exception"}));
}

class Alpha : public TPersistent {
    Q_OBJECT
};
class Beta : public TPersistent {
    Q_OBJECT
};

TEST_F(ComponentTest, AssignBetweenUnrelatedClassesFailsNamingBoth)
{
    Alpha a;
    Beta b;
    const EConvertError error = CatchError([&] { a.Assign(b); }, EConvertError(""));
    EXPECT_STREQ(error.what(), "Cannot assign a Beta to a Alpha");
}

} // namespace

#include "ComponentTest.moc"
