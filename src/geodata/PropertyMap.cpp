#include "geodata/PropertyMap.h"

#include <algorithm>
#include <stdexcept>

namespace {

using Entry = PropertyMap::value_type;

bool nameBefore(const Entry& a, const Entry& b) {
    return a.first < b.first;
}

bool sameName(const Entry& a, const Entry& b) {
    return a.first == b.first;
}

}  // namespace

PropertyMap::PropertyMap(std::vector<value_type> entries) : entries_(std::move(entries)) {
    // Stable, so equal names keep the order in which they were set; walked from the end,
    // std::unique keeps the last of each run.
    std::stable_sort(entries_.begin(), entries_.end(), nameBefore);
    const auto kept = std::unique(entries_.rbegin(), entries_.rend(), sameName);
    entries_.erase(entries_.begin(), kept.base());
    entries_.shrink_to_fit();
}

PropertyMap::PropertyMap(std::initializer_list<value_type> entries)
    : PropertyMap(std::vector<value_type>(entries)) {}

std::string& PropertyMap::operator[](std::string_view name) {
    const std::size_t index = placeOf(name);
    return holdsAt(index, name) ? entries_[index].second : insertAt(index, std::string(name), {});
}

std::pair<PropertyMap::const_iterator, bool> PropertyMap::insert_or_assign(std::string name,
                                                                           std::string value) {
    const std::size_t index = placeOf(name);
    const bool added = !holdsAt(index, name);
    if (added)
        insertAt(index, std::move(name), std::move(value));
    else
        entries_[index].second = std::move(value);
    return {begin() + static_cast<std::ptrdiff_t>(index), added};
}

const std::string& PropertyMap::at(std::string_view name) const {
    const const_iterator entry = find(name);
    if (entry == end())
        throw std::out_of_range("PropertyMap::at: no property " + std::string(name));
    return entry->second;
}

PropertyMap::const_iterator PropertyMap::find(std::string_view name) const {
    const std::size_t index = placeOf(name);
    return holdsAt(index, name) ? begin() + static_cast<std::ptrdiff_t>(index) : end();
}

PropertyMap::size_type PropertyMap::count(std::string_view name) const {
    return find(name) != end() ? 1 : 0;
}

std::size_t PropertyMap::placeOf(std::string_view name) const {
    const auto place = std::lower_bound(
        entries_.begin(), entries_.end(), name,
        [](const value_type& entry, std::string_view wanted) { return entry.first < wanted; });
    return static_cast<std::size_t>(place - entries_.begin());
}

bool PropertyMap::holdsAt(std::size_t index, std::string_view name) const {
    return index < entries_.size() && entries_[index].first == name;
}

std::string& PropertyMap::insertAt(std::size_t index, std::string name, std::string value) {
    entries_.reserve(entries_.size() + 1);
    const auto entry = entries_.emplace(entries_.begin() + static_cast<std::ptrdiff_t>(index),
                                        std::move(name), std::move(value));
    return entry->second;
}
