#pragma once
// Values the page's script and the program exchange through the browser control's script
// objects: a registered JS::Object holds JS::Function items that the page can call with one
// argument; each call returns a value to the page.

#include <functional>

#include "GSRoot.h"

namespace JS {

class Base {
public:
    Base() = default;
    Base(const Base&) = default;
    Base& operator=(const Base&) = default;
    virtual ~Base() = default;
};

class Value : public Base {
public:
    enum ValueType { UNDEFINED, BOOL, INTEGER, DOUBLE, STRING };

    Value() = default;
    explicit Value(bool value) : type_(BOOL), bool_(value) {}
    explicit Value(Int32 value) : type_(INTEGER), integer_(value) {}
    explicit Value(double value) : type_(DOUBLE), double_(value) {}
    explicit Value(const GS::UniString& value) : type_(STRING), string_(value) {}
    explicit Value(const char* value) : type_(STRING), string_(value) {}

    ValueType GetType() const { return type_; }
    bool GetBool() const { return bool_; }
    Int32 GetInteger() const { return integer_; }
    double GetDouble() const { return double_; }
    const GS::UniString& GetString() const { return string_; }

private:
    ValueType type_ = UNDEFINED;
    bool bool_ = false;
    Int32 integer_ = 0;
    double double_ = 0.0;
    GS::UniString string_;
};

class Array : public Base {
public:
    void AddItem(GS::Ref<Base> item) { items_.Push(std::move(item)); }
    const GS::Array<GS::Ref<Base>>& GetItemArray() const { return items_; }

private:
    GS::Array<GS::Ref<Base>> items_;
};

class Function : public Base {
public:
    // The callback receives the page's argument (empty when there is none) and returns the value
    // handed back to the page.
    using Callback = std::function<GS::Ref<Base>(GS::Ref<Base>)>;

    Function(const GS::UniString& name, Callback callback)
        : name_(name), callback_(std::move(callback)) {}

    const GS::UniString& GetName() const { return name_; }
    GS::Ref<Base> Call(GS::Ref<Base> argument) const { return callback_(std::move(argument)); }

private:
    GS::UniString name_;
    Callback callback_;
};

class Object : public Base {
public:
    explicit Object(const GS::UniString& name) : name_(name) {}

    void AddItem(GS::Ref<Function> function) { functions_.Push(std::move(function)); }
    const GS::UniString& GetName() const { return name_; }
    const GS::Array<GS::Ref<Function>>& GetItemArray() const { return functions_; }
    // The function of that name, or an empty reference.
    GS::Ref<Function> FindFunction(const GS::UniString& name) const {
        for (const auto& f : functions_) {
            if (f->GetName() == name)
                return f;
        }
        return nullptr;
    }

private:
    GS::UniString name_;
    GS::Array<GS::Ref<Function>> functions_;
};

}  // namespace JS
