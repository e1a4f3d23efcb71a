// The property store of features: lookups, the order of names, repeated names, equality, values
// of any length and byte, and name lists shared between maps.

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "geodata/PropertyMap.h"

namespace {

std::vector<std::string> namesOf(const PropertyMap& props) {
    std::vector<std::string> names;
    for (const auto& [name, value] : props)
        names.push_back(name);
    return names;
}

TEST(PropertyMap, AbsentNamesAreFoundNowhereAndAddedInTheirPlace) {
    PropertyMap props = {{"b", "2"}, {"d", "4"}};
    for (const char* absent : {"", "a", "c", "e", "bb", "B"}) {
        SCOPED_TRACE(absent);
        EXPECT_EQ(props.find(absent), props.end());
        EXPECT_EQ(props.count(absent), 0u);
        EXPECT_THROW(static_cast<void>(props.at(absent)), std::out_of_range);
    }
    EXPECT_EQ(PropertyMap().find("a"), PropertyMap().end());

    EXPECT_TRUE(props.insert_or_assign("c", "").second) << "an empty value is a value";
    props.insert_or_assign("a", "1");
    const auto [entry, added] = props.insert_or_assign("e", "5");
    EXPECT_TRUE(added);
    EXPECT_EQ(entry->second, "5");
    EXPECT_EQ(namesOf(props), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(props.at("a"), "1");
    EXPECT_EQ(props.find("d")->second, "4");
}

TEST(PropertyMap, NamesComeInByteOrderWhateverOrderTheyWereSetIn) {
    // Upper case before '_' before lower case, a prefix before its longer names, and a name
    // starting with a byte above 0x7f (a Polish z) last, as unsigned bytes compare.
    const std::string polish =
        "\xC5\xBAr\xC3\xB3"
        "dlo";
    std::vector<PropertyMap::value_type> entries = {
        {"ID", "1"}, {"_typ", "2"}, {"a", "3"}, {"ab", "4"}, {polish, "5"}};
    const std::vector<std::string> ordered = namesOf(PropertyMap(entries));
    EXPECT_EQ(ordered, (std::vector<std::string>{"ID", "_typ", "a", "ab", polish}));
    const PropertyMap reference(entries);
    do {
        PropertyMap setOneByOne;
        for (const auto& [name, value] : entries)
            setOneByOne.insert_or_assign(name, value);
        EXPECT_EQ(PropertyMap(entries), reference);
        EXPECT_EQ(setOneByOne, reference);
        EXPECT_EQ(namesOf(setOneByOne), ordered);
    } while (std::next_permutation(entries.begin(), entries.end()));
}

TEST(PropertyMap, ALaterValueOfANameReplacesTheEarlier) {
    const PropertyMap listed = {{"x", "1"}, {"y", "2"}, {"x", "3"}, {"x", "4"}, {"y", "5"}};
    EXPECT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed.at("x"), "4");
    EXPECT_EQ(listed.at("y"), "5");
    // Enough entries for a sort that does not keep equal names in order to mix them up.
    std::vector<PropertyMap::value_type> many;
    for (int i = 0; i < 100; ++i)
        many.emplace_back(std::string(1, static_cast<char>('a' + i % 3)), std::to_string(i));
    EXPECT_EQ(PropertyMap(many), (PropertyMap{{"a", "99"}, {"b", "97"}, {"c", "98"}}));

    PropertyMap set = {{"x", "1"}, {"y", "2"}};
    set.insert_or_assign("x", "4");
    const auto [entry, added] = set.insert_or_assign("y", "5");
    EXPECT_FALSE(added);
    EXPECT_EQ(entry->first, "y");
    EXPECT_EQ(set, listed);
    EXPECT_NE(set, (PropertyMap{{"x", "4"}, {"y", "2"}})) << "values count in equality";
    EXPECT_NE(set, (PropertyMap{{"x", "4"}})) << "so do names";
}

TEST(PropertyMap, ValuesOfAnyLengthAndByteAreKeptExactly) {
    // Past 64 KiB a value's end no longer fits 16 bits; bytes after a zero byte count.
    const std::string longText(70000, 'x');
    const std::vector<PropertyMap::value_type> entries = {
        {"e", ""}, {"l", longText}, {"s", "abc"}, {"z", std::string("a\0b", 3)}};
    PropertyMap oneByOne;
    for (const auto& [name, value] : entries)
        oneByOne.insert_or_assign(name, value);
    for (const PropertyMap& props : {PropertyMap(entries), oneByOne}) {
        ASSERT_EQ(props.size(), entries.size());
        auto entry = props.begin();
        for (const auto& [name, value] : entries) {
            EXPECT_EQ(props.at(name), value) << name;
            EXPECT_EQ(entry->first, name);
            EXPECT_EQ((entry++)->second, value);
        }
        EXPECT_EQ(entry, props.end());
    }

    // A value taken from the map itself is read before the map changes.
    oneByOne.insert_or_assign("a", oneByOne.at("l"));
    oneByOne.insert_or_assign("s", oneByOne.at("s").substr(1));
    oneByOne.insert_or_assign("l", "");
    EXPECT_EQ(oneByOne.at("a"), longText);
    EXPECT_EQ(oneByOne.at("s"), "bc");
    EXPECT_EQ(oneByOne.at("l"), "");
    EXPECT_EQ(oneByOne.at("z"), std::string("a\0b", 3));
}

std::vector<PropertyMap::EntryView> viewsOf(const std::vector<PropertyMap::value_type>& entries) {
    return {entries.begin(), entries.end()};
}

TEST(PropertyMapSharing, MapsBuiltTogetherReadAsIfBuiltAloneAndChangeAlone) {
    // Features of one answer: most carry the same names, some leave one out or give one twice,
    // and ten kinds in turn outnumber the lists kept for sharing.
    std::vector<std::vector<PropertyMap::value_type>> expected = {
        {{"id", "1"}, {"nr", "10"}, {"_typ", "d"}},
        {{"id", "2"}, {"_typ", "d"}},
        {{"nr", "30"}, {"id", "3"}, {"_typ", "d"}},
        {{"id", "4"}, {"nr", "40"}, {"nr", "41"}, {"_typ", "d"}},
        {},
    };
    for (int i = 0; i < 20; ++i)
        expected.push_back({{"kind" + std::to_string(i % 10), std::to_string(i)}});
    // The views' texts are overwritten once the maps are built, as the reader reuses its
    // document's buffer.
    auto texts = expected;
    PropertyMap::NameSharing sharing;
    std::vector<PropertyMap> built;
    for (const auto& entries : texts) {
        auto views = viewsOf(entries);
        built.push_back(sharing.build(views));
    }
    for (auto& entries : texts) {
        for (auto& [name, value] : entries)
            name = value = "overwritten";
    }
    for (std::size_t i = 0; i < built.size(); ++i)
        EXPECT_EQ(built[i], PropertyMap(expected[i])) << "map " << i;
    EXPECT_EQ(built[3].at("nr"), "41");
    EXPECT_EQ(built[4].size(), 0u);

    // A copy that gains a name and changes a value leaves the maps that share its names alone.
    PropertyMap changed = built[0];
    changed.insert_or_assign("kw", "x");
    changed.insert_or_assign("id", "9");
    EXPECT_EQ(namesOf(changed), (std::vector<std::string>{"_typ", "id", "kw", "nr"}));
    for (const PropertyMap& other : {built[0], built[2]}) {
        EXPECT_EQ(namesOf(other), (std::vector<std::string>{"_typ", "id", "nr"}));
        EXPECT_EQ(other.count("kw"), 0u);
    }
    EXPECT_EQ(built[0].at("id"), "1");
}

}  // namespace
