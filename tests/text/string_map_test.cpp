/*
** String map: case-insensitive keys, growth, insertion order, erasure and
** string keys of every tag.
*/
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/text/string_core.h"
#include "runtime/text/string_map.h"

using namespace quendal;

namespace {

void* Value(intptr_t v) { return reinterpret_cast<void*>(v); }

std::vector<std::string> Keys(const StringMap& map) {
  std::vector<std::string> keys;
  for (const StringMap::Entry& e : map) keys.push_back(e.key);
  return keys;
}

} // namespace

TEST(StringMap, HashFoldsASCIILettersOnly) {
  EXPECT_EQ(StringMap::Hash(""), 0u);
  EXPECT_EQ(StringMap::Hash("A"), 65u);
  EXPECT_EQ(StringMap::Hash("ab"), 65u * 31 + 66);
  EXPECT_EQ(StringMap::Hash("RuntimeRun"), StringMap::Hash("runtimerun"));
  EXPECT_NE(StringMap::Hash("\xC3\xA9"), StringMap::Hash("\xC3\x89"));
}

TEST(StringMap, InsertReplacesAndFindIgnoresCase) {
  StringMap map;
  EXPECT_TRUE(map.Insert("RuntimeLockString", Value(1)));
  EXPECT_TRUE(map.Insert("cursorMoveNext", Value(2)));
  EXPECT_FALSE(map.Insert("RUNTIMELOCKSTRING", Value(3)));
  EXPECT_EQ(map.Count(), 2u);
  EXPECT_EQ(map.Find("runtimelockstring"), Value(3));
  EXPECT_EQ(map.FindEntry("runtimelockstring")->key, "RuntimeLockString") << "first spelling kept";
  EXPECT_EQ(map.Find("CURSORMOVENEXT"), Value(2));
  EXPECT_EQ(map.Find("cursorMoveNex"), nullptr);
  EXPECT_EQ(map.Find("cursorMoveNextt"), nullptr);
  EXPECT_EQ(map.FindEntry("missing"), nullptr);

  EXPECT_TRUE(map.Insert("null value", nullptr));
  ASSERT_NE(map.FindEntry("NULL VALUE"), nullptr);
  EXPECT_EQ(map.FindEntry("NULL VALUE")->value, nullptr);
}

TEST(StringMap, NonASCIIBytesMatchExactly) {
  StringMap map;
  map.Insert("caf\xC3\xA9", Value(1));
  EXPECT_EQ(map.Find("CAF\xC3\xA9"), Value(1));
  EXPECT_EQ(map.Find("CAF\xC3\x89"), nullptr);
}

TEST(StringMap, GrowsPastThreeQuartersAndKeepsOrder) {
  StringMap map;
  EXPECT_EQ(map.BucketCount(), 256u);
  std::vector<std::string> expected;
  for (int i = 0; i < 192; ++i) {
    expected.push_back("Key" + std::to_string(i));
    map.Insert(expected.back(), Value(i));
  }
  EXPECT_EQ(map.BucketCount(), 256u) << "192 entries are exactly three quarters";
  expected.push_back("Key192");
  map.Insert(expected.back(), Value(192));
  EXPECT_EQ(map.BucketCount(), 512u);
  for (int i = 193; i < 1000; ++i) {
    expected.push_back("Key" + std::to_string(i));
    map.Insert(expected.back(), Value(i));
  }
  EXPECT_EQ(map.BucketCount(), 2048u);
  EXPECT_EQ(map.Count(), 1000u);
  for (int i = 0; i < 1000; ++i) {
    EXPECT_EQ(map.Find("KEY" + std::to_string(i)), Value(i)) << i;
  }
  EXPECT_EQ(Keys(map), expected);
}

TEST(StringMap, EraseUnlinksFromBothOrders) {
  StringMap map;
  for (const char* k : {"a", "b", "c", "d"}) map.Insert(k, Value(1));
  EXPECT_TRUE(map.Erase("A"));
  EXPECT_TRUE(map.Erase("c"));
  EXPECT_FALSE(map.Erase("c"));
  EXPECT_TRUE(map.Erase("D"));
  EXPECT_EQ(Keys(map), std::vector<std::string>{"b"});
  EXPECT_EQ(map.Count(), 1u);
  EXPECT_EQ(map.Find("a"), nullptr);
  map.Insert("e", Value(2));
  map.Insert("a", Value(3));
  EXPECT_EQ(Keys(map), (std::vector<std::string>{"b", "e", "a"}));
}

TEST(StringMap, StringKeysAreConvertedToUTF8) {
  StringMap map;
  StringRef ascii(StringFromCString("Window"));
  StringRef wide(StringCreateUTF16(u"WINDOW", 6));
  StringRef accented(StringCreateUTF16(u"\u00e9t\u00e9", 3));
  EXPECT_TRUE(map.Insert(ascii.get(), Value(1)));
  EXPECT_FALSE(map.Insert(wide.get(), Value(2)));
  EXPECT_TRUE(map.Insert(accented.get(), Value(3)));
  EXPECT_EQ(map.Find("window"), Value(2));
  EXPECT_EQ(map.Find("\xC3\xA9T\xC3\xA9"), Value(3));
  EXPECT_EQ(map.Find(wide.get()), Value(2));
  EXPECT_TRUE(map.Erase(wide.get()));
  EXPECT_EQ(map.Find(ascii.get()), nullptr);
  EXPECT_TRUE(map.Insert(static_cast<ORVAstring>(nullptr), Value(4)));
  EXPECT_EQ(map.Find(""), Value(4)) << "the empty string is a key like any other";
}
