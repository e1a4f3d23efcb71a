#pragma once
// GS::Ref: a counted reference. Dereferencing an empty one throws GS::NullReferenceException.

#include <cstddef>
#include <memory>
#include <utility>

#include "GSException.h"

namespace GS {

template <class T>
class Ref {
public:
    Ref() = default;
    Ref(std::nullptr_t) {}  // NOLINT: an empty reference converts implicitly, as nullptr does
    explicit Ref(std::shared_ptr<T> object) : object_(std::move(object)) {}
    template <class U>
    Ref(const Ref<U>& other) : object_(other.object_) {}  // NOLINT: upcast like a pointer

    T& operator*() const { return *checked(); }
    T* operator->() const { return checked(); }

    bool IsNull() const { return object_ == nullptr; }
    explicit operator bool() const { return object_ != nullptr; }

    friend bool operator==(const Ref& a, const Ref& b) { return a.object_ == b.object_; }
    friend bool operator==(const Ref& a, std::nullptr_t) { return a.object_ == nullptr; }

    // Number of references to the object (0 for an empty reference).
    long GetRefCount() const { return object_.use_count(); }

private:
    template <class U>
    friend class Ref;
    template <class To, class From>
    friend Ref<To> DynamicCast(const Ref<From>& from);

    T* checked() const {
        if (object_ == nullptr)
            throw NullReferenceException();
        return object_.get();
    }

    std::shared_ptr<T> object_;
};

template <class T, class... Args>
Ref<T> NewRef(Args&&... args) {
    return Ref<T>(std::make_shared<T>(std::forward<Args>(args)...));
}

// The same object seen as To, or an empty reference when it is not one.
template <class To, class From>
Ref<To> DynamicCast(const Ref<From>& from) {
    return Ref<To>(std::dynamic_pointer_cast<To>(from.object_));
}

}  // namespace GS
