#pragma once
// The properties of a feature: texts by name, each name once, in ascending order of the names'
// bytes (compared as unsigned). The entries stand sorted in one block of exactly their number,
// so a feature's few properties take about 60% of the room of a tree's nodes; a lookup is a
// binary search. Values change through operator[] and insert_or_assign only: iteration is
// read-only, so that no name can leave its place. Adding a name moves the whole block once, which
// suits the few properties of a feature; a long list is built at once from its entries instead.

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class PropertyMap {
public:
    using key_type = std::string;
    using mapped_type = std::string;
    using value_type = std::pair<std::string, std::string>;
    using size_type = std::size_t;
    using const_iterator = std::vector<value_type>::const_iterator;
    using iterator = const_iterator;

    PropertyMap() = default;
    // The entries as if set one after another: of two with the same name, the later one stays.
    explicit PropertyMap(std::vector<value_type> entries);
    PropertyMap(std::initializer_list<value_type> entries);

    // The value of the name; a new empty value when the map has none, put in its place.
    std::string& operator[](std::string_view name);
    // Sets the value of the name, in its place; true when the name was new.
    std::pair<const_iterator, bool> insert_or_assign(std::string name, std::string value);

    // The value of the name; throws std::out_of_range when the map has none.
    const std::string& at(std::string_view name) const;
    // The entry of the name; end() when the map has none.
    const_iterator find(std::string_view name) const;
    // 1 when the map holds the name, else 0.
    size_type count(std::string_view name) const;

    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }
    size_type size() const { return entries_.size(); }

    bool operator==(const PropertyMap&) const = default;

private:
    // The index of the first entry whose name is not before the given one.
    std::size_t placeOf(std::string_view name) const;
    bool holdsAt(std::size_t index, std::string_view name) const;
    // Puts the entry before the index, in a block grown by exactly one.
    std::string& insertAt(std::size_t index, std::string name, std::string value);

    std::vector<value_type> entries_;
};
