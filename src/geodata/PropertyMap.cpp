#include "geodata/PropertyMap.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>

namespace {

// Where a packed value ends: the values of one map take at most 4 GiB together.
using Offset = std::uint32_t;

// Sorts entries by name, stably, and keeps the last of each run of one name: the value set last.
template <typename Entry>
void sortKeepingLast(std::vector<Entry>& entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.first < b.first; });
    // Walked from the end, std::unique keeps the last of each run.
    const auto kept =
        std::unique(entries.rbegin(), entries.rend(),
                    [](const Entry& a, const Entry& b) { return a.first == b.first; });
    entries.erase(entries.begin(), kept.base());
}

// The names of the sorted entries as a list of exactly their number. Here and below the entries
// are walked with loops and projections, not range views, which clang 14 cannot compile over
// libstdc++ 12.
template <typename Entries>
std::vector<std::string> namesIn(const Entries& entries) {
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (const auto& entry : entries)
        names.emplace_back(entry.first);
    return names;
}

template <typename Entries>
bool namesAre(const std::vector<std::string>& names, const Entries& entries) {
    return std::ranges::equal(names, entries, {}, {}, &Entries::value_type::first);
}

// The texts (each item's projected) packed as a map keeps its values: the end of each, then the
// texts, in one string of exactly their size.
template <typename Items, typename Text = std::identity>
std::string packed(const Items& items, Text textOf = {}) {
    std::size_t count = 0;
    std::size_t bytes = 0;
    for (const auto& item : items) {
        ++count;
        bytes += std::string_view(std::invoke(textOf, item)).size();
    }
    if (bytes > std::numeric_limits<Offset>::max())
        throw std::length_error("PropertyMap: values longer than 4 GiB together");
    std::string out(count * sizeof(Offset) + bytes, '\0');
    char* ends = out.data();
    char* const start = ends + count * sizeof(Offset);
    Offset end = 0;
    for (const auto& item : items) {
        const std::string_view text = std::invoke(textOf, item);
        std::memcpy(start + end, text.data(), text.size());
        end += static_cast<Offset>(text.size());
        std::memcpy(ends, &end, sizeof end);
        ends += sizeof end;
    }
    return out;
}

}  // namespace

PropertyMap::PropertyMap(std::vector<value_type> entries) {
    sortKeepingLast(entries);
    if (entries.empty())
        return;
    names_ = std::make_shared<const Names>(namesIn(entries));
    values_ = packed(entries, &value_type::second);
}

PropertyMap::PropertyMap(std::initializer_list<value_type> entries)
    : PropertyMap(std::vector<value_type>(entries)) {}

PropertyMap::PropertyMap(std::shared_ptr<const Names> names, std::string values)
    : names_(std::move(names)), values_(std::move(values)) {}

std::pair<PropertyMap::const_iterator, bool> PropertyMap::insert_or_assign(std::string_view name,
                                                                           std::string_view value) {
    const std::size_t index = placeOf(name);
    const bool added = !holdsAt(index, name);
    // The new texts are made before the old ones go: name and value may view them.
    std::vector<std::string_view> values;
    values.reserve(size() + 1);
    for (std::size_t i = 0; i < size(); ++i)
        values.push_back(valueAt(i));
    const auto at = static_cast<std::ptrdiff_t>(index);
    if (added) {
        values.insert(values.begin() + at, value);
        Names grown;
        grown.reserve(size() + 1);
        grown.insert(grown.end(), names().begin(), names().end());
        grown.insert(grown.begin() + at, std::string(name));
        names_ = std::make_shared<const Names>(std::move(grown));
    } else {
        values[index] = value;
    }
    values_ = packed(values);
    return {const_iterator(this, index), added};
}

std::string_view PropertyMap::at(std::string_view name) const {
    const std::size_t index = placeOf(name);
    if (!holdsAt(index, name))
        throw std::out_of_range("PropertyMap::at: no property " + std::string(name));
    return valueAt(index);
}

PropertyMap::const_iterator PropertyMap::find(std::string_view name) const {
    const std::size_t index = placeOf(name);
    return holdsAt(index, name) ? const_iterator(this, index) : end();
}

PropertyMap::size_type PropertyMap::count(std::string_view name) const {
    return holdsAt(placeOf(name), name) ? 1 : 0;
}

PropertyMap::const_iterator PropertyMap::begin() const {
    return {this, 0};
}

PropertyMap::const_iterator PropertyMap::end() const {
    return {this, size()};
}

bool PropertyMap::operator==(const PropertyMap& other) const {
    return values_ == other.values_ && (names_ == other.names_ || names() == other.names());
}

const PropertyMap::Names& PropertyMap::names() const {
    static const Names kNone;
    return names_ ? *names_ : kNone;
}

std::size_t PropertyMap::endOf(std::size_t index) const {
    Offset end = 0;
    std::memcpy(&end, values_.data() + index * sizeof(Offset), sizeof end);
    return end;
}

std::string_view PropertyMap::valueAt(std::size_t index) const {
    const std::size_t start = index > 0 ? endOf(index - 1) : 0;
    const char* const texts = values_.data() + size() * sizeof(Offset);
    return {texts + start, endOf(index) - start};
}

std::size_t PropertyMap::placeOf(std::string_view name) const {
    const Names& sorted = names();
    const auto place = std::lower_bound(sorted.begin(), sorted.end(), name);
    return static_cast<std::size_t>(place - sorted.begin());
}

bool PropertyMap::holdsAt(std::size_t index, std::string_view name) const {
    return index < size() && names()[index] == name;
}

PropertyMap PropertyMap::NameSharing::build(std::vector<EntryView>& entries) {
    sortKeepingLast(entries);
    if (entries.empty())
        return {};
    return {namesOf(entries), packed(entries, &EntryView::second)};
}

std::shared_ptr<const PropertyMap::Names> PropertyMap::NameSharing::namesOf(
    const std::vector<EntryView>& entries) {
    const auto same = std::find_if(recent_.begin(), recent_.end(),
                                   [&](const auto& names) { return namesAre(*names, entries); });
    if (same != recent_.end()) {
        std::rotate(recent_.begin(), same, same + 1);
        return recent_.front();
    }
    if (recent_.size() == kRecent)
        recent_.pop_back();
    recent_.insert(recent_.begin(), std::make_shared<const Names>(namesIn(entries)));
    return recent_.front();
}
