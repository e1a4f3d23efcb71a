// The host runtime types: texts, identifiers, references, arrays.

#include <gtest/gtest.h>

#include "APIdefs.h"
#include "GSRoot.h"

namespace {

TEST(UniString, Utf8RoundTripsThroughUtf16) {
    const std::string text = "Łódź ł \xF0\x9F\x97\xBA end";  // a character beyond U+FFFF
    const GS::UniString s(text);
    EXPECT_EQ(s.ToUtf8(), text);
    EXPECT_STREQ(s.ToCStr(CC_UTF8).Get(), text.c_str());
    EXPECT_EQ(s.GetLength(), 13u);  // the map character takes two UTF-16 units
    EXPECT_EQ(GS::UniString("a") + GS::UniString("b"), GS::UniString("ab"));
    EXPECT_TRUE(GS::UniString(static_cast<const char*>(nullptr)).IsEmpty());
}

TEST(UniString, IllFormedInputBecomesReplacementCharacters) {
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(GS::UniString("a\xC3").ToUtf8(), "a" + replacement);             // cut sequence
    EXPECT_EQ(GS::UniString("\xC0\xAF").ToUtf8(), replacement + replacement);  // overlong '/'
    EXPECT_EQ(GS::UniString("\xED\xA0\x80").ToUtf8(), replacement + replacement + replacement);
    EXPECT_EQ(GS::UniString("\xFF"
                            "b")
                  .ToUtf8(),
              replacement + "b");
    EXPECT_EQ(GS::UniString::FromUtf16(u"\xD800x").ToUtf8(), replacement + "x");  // lone surrogate
}

TEST(Guid, ParsesPrintsAndKeepsTheBinaryLayout) {
    const GS::Guid g("{6B1C0A7E-92D4-4F7B-B1A9-3C58D2E4F016}");
    ASSERT_FALSE(g.IsNull());
    EXPECT_EQ(g.ToUniString().ToUtf8(), "6B1C0A7E-92D4-4F7B-B1A9-3C58D2E4F016");
    EXPECT_EQ(GS::Guid("6b1c0a7e-92d4-4f7b-b1a9-3c58d2e4f016"), g);
    const auto& b = g.GetBytes();
    EXPECT_EQ(b[0], 0x7E);  // first field little-endian
    EXPECT_EQ(b[3], 0x6B);
    EXPECT_EQ(b[4], 0xD4);
    EXPECT_EQ(b[8], 0xB1);  // the last eight bytes as written
    EXPECT_EQ(b[15], 0x16);
    const API_Guid api = GSGuid2APIGuid(g);
    EXPECT_EQ(api.time_low, 0x6B1C0A7Eu);
    EXPECT_EQ(APIGuid2GSGuid(api), g);
    EXPECT_EQ(APIGuidToString(api).ToUtf8(), "{6B1C0A7E-92D4-4F7B-B1A9-3C58D2E4F016}");
    for (const char* bad :
         {"", "{6B1C0A7E-92D4-4F7B-B1A9-3C58D2E4F01}", "6B1C0A7E 92D4-4F7B-B1A9-3C58D2E4F016",
          "{6B1C0A7E-92D4-4F7B-B1A9-3C58D2E4F01G}"}) {
        EXPECT_TRUE(GS::Guid(bad).IsNull()) << bad;
    }
    EXPECT_NE(GS::Guid::Generate(), GS::Guid::Generate());
}

struct Animal {
    virtual ~Animal() = default;
};
struct Cat : Animal {};

TEST(Ref, EmptyReferencesThrowTheHostsNullReference) {
    GS::Ref<Animal> empty;
    try {
        (void)*empty;
        FAIL() << "no exception";
    } catch (const GS::NullReferenceException& e) {
        EXPECT_EQ(e.GetMessage(), "Null reference.");
    }
    const GS::Ref<Animal> cat = GS::NewRef<Cat>();
    EXPECT_NE(GS::DynamicCast<Cat>(cat), nullptr);
    EXPECT_EQ(GS::DynamicCast<Cat>(GS::Ref<Animal>(GS::NewRef<Animal>())), nullptr);
    EXPECT_EQ(GS::ClassCastException().GetMessage(), "Bad cast.");
}

TEST(Array, IndexingOutsideThrows) {
    GS::Array<int> a{1, 2};
    a.Push(3);
    EXPECT_EQ(a.GetSize(), 3u);
    EXPECT_EQ(a.GetLast(), 3);
    EXPECT_THROW(a[3], GS::IndexOutOfBoundsException);
    EXPECT_THROW(GS::Array<int>().GetLast(), GS::IndexOutOfBoundsException);
    a.Delete(0);
    EXPECT_EQ(a, (GS::Array<int>{2, 3}));
}

}  // namespace
