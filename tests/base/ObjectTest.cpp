#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "base/Object.h"

using namespace tw;

namespace {

std::vector<std::string> g_log;

class TProbe : public TComponent {
public:
    TProbe(TComponent* owner, std::string id) : TComponent(owner), id_(std::move(id)) { SetName(id_); }
    ~TProbe() override {
        DestroyComponents();
        g_log.push_back("~" + id_ + (Owner() ? " owned" : " free"));
    }
    void Loaded() override {
        loadingSeen = IsLoading();
        TComponent::Loaded();
        g_log.push_back("loaded " + id_);
    }
    bool loadingSeen = false;

private:
    std::string id_;
};

} // namespace

TEST(Component, OwnerDestroysItsComponentsLastCreatedFirst) {
    g_log.clear();
    auto* root = new TProbe(nullptr, "root");
    auto* a = new TProbe(root, "a");
    new TProbe(a, "a1");
    new TProbe(root, "b");
    new TProbe(root, "c");
    EXPECT_EQ(root->ComponentCount(), 3);
    EXPECT_EQ(root->FindComponent("b")->Name(), "b");
    delete root;
    // Children go in reverse order of creation; a's own child goes with a.
    std::vector<std::string> want = {"~c free", "~b free", "~a1 free", "~a free", "~root free"};
    EXPECT_EQ(g_log, want);
}

TEST(Component, DeletingAnOwnedComponentUnlinksIt) {
    g_log.clear();
    auto* root = new TProbe(nullptr, "root");
    auto* a = new TProbe(root, "a");
    new TProbe(root, "b");
    FreeAndNil(a);
    EXPECT_EQ(a, nullptr);
    EXPECT_EQ(root->ComponentCount(), 1);
    delete root; // must not delete "a" a second time
    std::vector<std::string> want = {"~a owned", "~b free", "~root free"};
    EXPECT_EQ(g_log, want);
}

TEST(Component, LoadTreeCallsLoadedWhileLoadingThenClearsIt) {
    g_log.clear();
    TProbe root(nullptr, "root");
    auto* a = new TProbe(&root, "a");
    new TProbe(a, "a1");
    root.LoadTree();
    std::vector<std::string> want = {"loaded a1", "loaded a", "loaded root"};
    EXPECT_EQ(g_log, want);
    EXPECT_TRUE(a->loadingSeen);
    EXPECT_FALSE(a->IsLoading());
    EXPECT_FALSE(root.IsLoading());
}

TEST(Exceptions, KnowTheirClassName) {
    try {
        throw EFOpenError("Cannot open file \"x\"");
    } catch (const Exception& e) {
        EXPECT_EQ(e.ClassName(), "EFOpenError");
        EXPECT_EQ(e.Describe(), "EFOpenError: Cannot open file \"x\"");
    }
    TProbe p(nullptr, "p");
    EXPECT_EQ(p.ClassName(), "TProbe");
    EXPECT_EQ(DescribeException(std::runtime_error("boom")), "Exception: boom");
}

namespace {

// Records every notice it hears as "<op> <name>".
class TListener : public TComponent {
public:
    TListener(TComponent* owner, std::string id) : TComponent(owner) { SetName(std::move(id)); }
    void Notification(TComponent* component, TOperation operation) override {
        TComponent::Notification(component, operation);
        heard.push_back(Name() + (operation == opInsert ? " +" : " -") + component->Name());
        if (Victim && operation == opInsert) FreeAndNil(Victim);
    }
    static inline std::vector<std::string> heard;
    TComponent* Victim = nullptr;
};

} // namespace

TEST(Component, NoticesReachTheOwnersOtherComponentsAndTheirOwn) {
    TListener::heard.clear();
    TComponent root(nullptr);
    auto* a = new TListener(&root, "a");
    new TListener(a, "a1");
    new TListener(&root, "b");
    auto* arriving = new TListener(&root, "new");
    arriving->NotifyOwner(opInsert);
    // Everyone on the owner hears of it, what they own too; not the newcomer.
    std::vector<std::string> want = {"a1 +new", "a +new", "b +new"};
    EXPECT_EQ(TListener::heard, want);
    TListener::heard.clear();
    arriving->NotifyOwner(opRemove);
    want = {"a1 -new", "a -new", "b -new"};
    EXPECT_EQ(TListener::heard, want);
    // Without an owner nobody hears anything.
    TListener::heard.clear();
    TListener lone(nullptr, "lone");
    lone.NotifyOwner(opInsert);
    EXPECT_TRUE(TListener::heard.empty());
}

TEST(Component, AnOwnerGoingAwayTellsTheRestOfEachOneThatGoes) {
    TListener::heard.clear();
    auto* root = new TComponent(nullptr);
    new TListener(root, "first");
    new TListener(root, "second");
    new TListener(root, "third");
    delete root;
    // The last made goes first; the ones still there hear of it.
    std::vector<std::string> want = {"first -third", "second -third", "first -second"};
    EXPECT_EQ(TListener::heard, want);
}

TEST(Component, ANoticeSurvivesAListenerThatFreesAnotherComponent) {
    TListener::heard.clear();
    TComponent root(nullptr);
    auto* a = new TListener(&root, "a");
    auto* b = new TListener(&root, "b");
    auto* c = new TListener(&root, "c");
    a->Victim = b; // freed while the notice is on its way
    c->NotifyOwner(opInsert);
    std::vector<std::string> want = {"a +c"};
    EXPECT_EQ(TListener::heard, want);
    EXPECT_EQ(root.ComponentCount(), 2);
}

TEST(Component, DesigningMarksTheWholeTree) {
    TComponent root(nullptr);
    auto* a = new TComponent(&root);
    auto* a1 = new TComponent(a);
    root.SetDesigning(true);
    EXPECT_TRUE(a1->ComponentState() & csDesigning);
    root.SetDesigning(false);
    EXPECT_FALSE(a->ComponentState() & csDesigning);
}
