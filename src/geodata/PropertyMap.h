#pragma once
// The properties of a feature: texts by name, each name once, in ascending order of the names'
// bytes (compared as unsigned). The names stand sorted in one list; the values stand packed in
// one text beside them, each found by where it ends, so a feature's many short values take little
// more than their bytes. A lookup is a binary search over the names. A name list never changes
// once made, so maps with the same names may share one: maps built through one NameSharing do,
// and the many features of one answer, which mostly carry the same names, then hold a single copy
// of them. Values change through insert_or_assign only; adding a name gives the map a list of its
// own. Iteration yields pairs of a name and a view of its value; the views stay valid until the
// map changes or goes.

#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class PropertyMap {
public:
    using key_type = std::string;
    using mapped_type = std::string;
    // An entry as the constructors take it.
    using value_type = std::pair<std::string, std::string>;
    // An entry as NameSharing takes it, viewing texts that outlive the building of the map.
    using EntryView = std::pair<std::string_view, std::string_view>;
    using size_type = std::size_t;
    class const_iterator;
    using iterator = const_iterator;
    class NameSharing;

    PropertyMap() = default;
    // The entries as if set one after another: of two with the same name, the later one stays.
    // Throws std::length_error when the values take more than 4 GiB together.
    explicit PropertyMap(std::vector<value_type> entries);
    PropertyMap(std::initializer_list<value_type> entries);

    // Sets the value of the name, in its place; true when the name was new.
    std::pair<const_iterator, bool> insert_or_assign(std::string_view name, std::string_view value);

    // The value of the name; throws std::out_of_range when the map has none.
    std::string_view at(std::string_view name) const;
    // The entry of the name; end() when the map has none.
    const_iterator find(std::string_view name) const;
    // 1 when the map holds the name, else 0.
    size_type count(std::string_view name) const;

    const_iterator begin() const;
    const_iterator end() const;
    size_type size() const { return names().size(); }

    // Equal names with equal values, whether or not the name lists are shared.
    bool operator==(const PropertyMap& other) const;

private:
    using Names = std::vector<std::string>;

    PropertyMap(std::shared_ptr<const Names> names, std::string values);

    const Names& names() const;
    std::string_view valueAt(std::size_t index) const;
    std::size_t endOf(std::size_t index) const;
    // The index of the first entry whose name is not before the given one.
    std::size_t placeOf(std::string_view name) const;
    bool holdsAt(std::size_t index, std::string_view name) const;

    std::shared_ptr<const Names> names_;  // null while the map is empty
    // The end of each value (32 bits, counted from the first value's start), then the values one
    // after another.
    std::string values_;
};

// An iterator of one map; iterators of different maps do not compare.
class PropertyMap::const_iterator {
public:
    using iterator_concept = std::forward_iterator_tag;
    using iterator_category = std::input_iterator_tag;  // its entries are made on the fly
    using value_type = std::pair<const std::string&, std::string_view>;
    using reference = value_type;
    using difference_type = std::ptrdiff_t;

    // What operator-> points into: the entry, held for the expression that asked for it.
    struct Arrow {
        value_type entry;
        const value_type* operator->() const { return &entry; }
    };
    using pointer = Arrow;

    const_iterator() = default;

    reference operator*() const { return {map_->names()[index_], map_->valueAt(index_)}; }
    Arrow operator->() const { return {**this}; }
    const_iterator& operator++() {
        ++index_;
        return *this;
    }
    const_iterator operator++(int) {
        const const_iterator before = *this;
        ++index_;
        return before;
    }
    bool operator==(const const_iterator& other) const { return index_ == other.index_; }

private:
    friend class PropertyMap;
    const_iterator(const PropertyMap* map, std::size_t index) : map_(map), index_(index) {}

    const PropertyMap* map_ = nullptr;
    std::size_t index_ = 0;
};

// Builds maps whose name lists are shared with those of recent maps of the same names, as the
// features of one answer, read one after another, mostly carry the same names. Not for use by two
// threads at once; the maps it builds are as independent as any others.
class PropertyMap::NameSharing {
public:
    // The map of the entries as PropertyMap(entries) would be, its name list that of a recent
    // map with the same names when there is one. The entries are left sorted and without
    // repeated names.
    PropertyMap build(std::vector<EntryView>& entries);

private:
    // The name list of these sorted entries: a recent one, moved to the front, else a new one.
    std::shared_ptr<const Names> namesOf(const std::vector<EntryView>& entries);

    // A few lists, the one used last first: enough for the kinds of features of one answer and
    // for features that leave out one of their properties now and then.
    static constexpr std::size_t kRecent = 8;
    std::vector<std::shared_ptr<const Names>> recent_;
};
