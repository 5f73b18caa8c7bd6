// Root classes of the run-time: TObject with its class name, TComponent with
// owner-managed lifetime, and the event types shared by every unit.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tw {

class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject() = default;

    // The dynamic class name without namespace ("TTSPacketReader").
    std::string ClassName() const;
};

// Unqualified, demangled name of a type_info (shared with Exception).
std::string DemangledClassName(const std::type_info& ti);

using TNotifyEvent = std::function<void(TObject* sender)>;

enum TComponentStateFlag : unsigned {
    csLoading = 1u << 0,
    csDestroying = 1u << 1,
    csDesigning = 1u << 2,
};

// What a Notification reports of a component: it arrived or it is going.
enum TOperation { opInsert, opRemove };

// A component is destroyed by its owner: when the owner goes, it deletes the
// components it owns, the last created first. A component deleted by hand
// removes itself from its owner first.
class TComponent : public TObject {
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;

    TComponent* Owner() const { return owner_; }
    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    std::intptr_t Tag() const { return tag_; }
    void SetTag(std::intptr_t tag) { tag_ = tag; }

    unsigned ComponentState() const { return state_; }
    bool IsLoading() const { return (state_ & csLoading) != 0; }
    bool IsDestroying() const { return (state_ & csDestroying) != 0; }

    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int index) const { return components_.at(static_cast<size_t>(index)); }
    TComponent* FindComponent(const std::string& name) const;

    // Marks this component (and what it owns) as being read from a layout.
    void BeginLoading();
    // Called after the component's properties are set; consumers register
    // with their producers here. Clears the loading flag.
    virtual void Loaded();
    // BeginLoading on the tree, then Loaded on every owned component
    // (in creation order) and finally on this one.
    void LoadTree();

    // Marks the component and what it owns as edited by a designer (or not).
    // The program itself never designs; the skin's designer paths are
    // checked with it.
    void SetDesigning(bool designing);

    // Marks the component as going away before its destructor chain runs.
    void Destroying() { state_ |= csDestroying; }

    // Told that a component arrived under this one's owner or is going
    // away; by default every owned component is told in turn, so whatever
    // sits on a form hears of its siblings.
    virtual void Notification(TComponent* component, TOperation operation);
    // Tells the owner (and through it the owner's components) of this
    // component. A C++ object has its final class only once its own
    // constructor has run, so the component whose siblings must know its
    // class calls this at the end of its constructor (opInsert) and at the
    // start of its destructor (opRemove); nothing happens without an owner.
    void NotifyOwner(TOperation operation);

protected:
    void InsertComponent(TComponent* c);
    void RemoveComponent(TComponent* c);
    // Deletes the owned components now (reverse creation order), telling
    // the remaining ones of each before it goes (Notification); derived
    // classes whose members are used by their children call this first
    // in their own destructor.
    void DestroyComponents();

private:
    TComponent* owner_ = nullptr;
    std::string name_;
    std::intptr_t tag_ = 0;
    unsigned state_ = 0;
    std::vector<TComponent*> components_;
};

// Deletes the object and clears the pointer that held it.
template <class T> void FreeAndNil(T*& p) {
    T* tmp = p;
    p = nullptr;
    delete tmp;
}

} // namespace tw
