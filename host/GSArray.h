#pragma once
// GS::Array: the host's growable array. Indexing outside the array throws
// GS::IndexOutOfBoundsException.

#include <algorithm>
#include <initializer_list>
#include <utility>
#include <vector>

#include "GSException.h"
#include "GSTypes.h"

namespace GS {

template <class T>
class Array {
public:
    Array() = default;
    Array(std::initializer_list<T> items) : items_(items) {}

    void Push(const T& item) { items_.push_back(item); }
    void Push(T&& item) { items_.push_back(std::move(item)); }
    void Insert(USize index, const T& item) {
        check(index, GetSize() + 1);
        items_.insert(items_.begin() + index, item);
    }
    void Delete(USize index) {
        check(index, GetSize());
        items_.erase(items_.begin() + index);
    }
    void Clear() { items_.clear(); }

    USize GetSize() const { return static_cast<USize>(items_.size()); }
    bool IsEmpty() const { return items_.empty(); }
    bool Contains(const T& item) const {
        return std::find(items_.begin(), items_.end(), item) != items_.end();
    }

    T& operator[](USize index) {
        check(index, GetSize());
        return items_[index];
    }
    const T& operator[](USize index) const {
        check(index, GetSize());
        return items_[index];
    }
    const T& GetLast() const { return (*this)[GetSize() - 1]; }

    auto begin() { return items_.begin(); }
    auto end() { return items_.end(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

    friend bool operator==(const Array& a, const Array& b) { return a.items_ == b.items_; }

private:
    static void check(USize index, USize size) {
        if (index >= size)
            throw IndexOutOfBoundsException();
    }

    std::vector<T> items_;
};

}  // namespace GS
