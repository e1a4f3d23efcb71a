// The property store of features: lookups, the order of names, repeated names and equality.

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

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

    EXPECT_EQ(props["c"], "") << "an absent name reads as an empty value";
    props["a"] = "1";
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
            setOneByOne[name] = value;
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
    set["x"] = "4";
    const auto [entry, added] = set.insert_or_assign("y", "5");
    EXPECT_FALSE(added);
    EXPECT_EQ(entry->first, "y");
    EXPECT_EQ(set, listed);
    EXPECT_NE(set, (PropertyMap{{"x", "4"}, {"y", "2"}})) << "values count in equality";
    EXPECT_NE(set, (PropertyMap{{"x", "4"}})) << "so do names";
}

}  // namespace
