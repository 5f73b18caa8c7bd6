#include "base/Object.h"

#include <algorithm>
#include <cxxabi.h>
#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "base/Exceptions.h"
#include "base/SysUtils.h"

namespace tw {

std::string DemangledClassName(const std::type_info& ti) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> dem(abi::__cxa_demangle(ti.name(), nullptr, nullptr, &status), std::free);
    std::string name = (status == 0 && dem) ? std::string(dem.get()) : std::string(ti.name());
    // Drop namespaces but keep template arguments intact.
    size_t cut = std::string::npos;
    int depth = 0;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '<') ++depth;
        else if (name[i] == '>') --depth;
        else if (depth == 0 && name[i] == ':' && i + 1 < name.size() && name[i + 1] == ':') cut = i + 1;
    }
    return cut == std::string::npos ? name : name.substr(cut + 1);
}

std::string TObject::ClassName() const { return DemangledClassName(typeid(*this)); }

// Not inlined: the return address is then the raising code's.
[[gnu::noinline]] Exception::Exception(std::string message)
    : message_(std::move(message)), address_(reinterpret_cast<uintptr_t>(__builtin_return_address(0))) {}

std::string Exception::ClassName() const { return DemangledClassName(typeid(*this)); }

std::string DescribeException(const std::exception& e) {
    if (auto* ex = dynamic_cast<const Exception*>(&e)) return ex->Describe();
    return std::string("Exception: ") + e.what();
}

uintptr_t ExceptionAddress(const std::exception& e) {
    if (auto* ex = dynamic_cast<const Exception*>(&e)) return ex->Address();
    return 0;
}

std::string DescribeExceptionWithAddress(const std::exception& e) {
    const int64_t address = static_cast<int64_t>(ExceptionAddress(e) & 0xFFFFFFFFu);
    return DescribeException(e) + " @ (Address $" + IntToHex(address, 8) + ")";
}

TComponent::TComponent(TComponent* owner) {
    if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
    state_ |= csDestroying;
    DestroyComponents();
    if (owner_) owner_->RemoveComponent(this);
}

void TComponent::DestroyComponents() {
    while (!components_.empty()) {
        TComponent* c = components_.back();
        components_.pop_back();
        c->owner_ = nullptr; // it must not unlink itself again
        // The ones that stay drop what they hold of it while it is whole.
        Notification(c, opRemove);
        delete c;
    }
}

void TComponent::InsertComponent(TComponent* c) {
    c->owner_ = this;
    components_.push_back(c);
}

void TComponent::RemoveComponent(TComponent* c) {
    auto it = std::find(components_.begin(), components_.end(), c);
    if (it != components_.end()) components_.erase(it);
    c->owner_ = nullptr;
}

void TComponent::Notification(TComponent* component, TOperation operation) {
    // Copy: a receiver may free components of its own.
    std::vector<TComponent*> snapshot = components_;
    for (TComponent* c : snapshot) {
        if (c != component && std::find(components_.begin(), components_.end(), c) != components_.end())
            c->Notification(component, operation);
    }
}

void TComponent::NotifyOwner(TOperation operation) {
    if (owner_) owner_->Notification(this, operation);
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    for (TComponent* c : components_)
        if (c->name_ == name) return c;
    return nullptr;
}

void TComponent::BeginLoading() {
    state_ |= csLoading;
    for (TComponent* c : components_) c->BeginLoading();
}

void TComponent::SetDesigning(bool designing) {
    if (designing)
        state_ |= csDesigning;
    else
        state_ &= ~csDesigning;
    for (TComponent* c : components_) c->SetDesigning(designing);
}

void TComponent::Loaded() { state_ &= ~csLoading; }

void TComponent::LoadTree() {
    BeginLoading();
    // Copy: a Loaded handler may create components.
    std::vector<TComponent*> snapshot = components_;
    for (TComponent* c : snapshot) {
        if (!c->components_.empty()) c->LoadTree();
        else c->Loaded();
    }
    Loaded();
}

} // namespace tw
