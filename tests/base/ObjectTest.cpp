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
