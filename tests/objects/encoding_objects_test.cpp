/*
** TextEncoding objects, the Encodings list, internet names, TextEncodingChr,
** TextConverter, the string services and their plug-in forms.
*/
#include <gtest/gtest.h>

#include <string>

#include "runtime/base/link_table.h"
#include "runtime/objects/object_model.h"
#include "runtime/platform/nls.h"
#include "runtime/objects/encodings_list.h"
#include "runtime/text/string_core.h"
#include "runtime/objects/text_converter.h"
#include "runtime/objects/text_encoding.h"
#include "runtime/text/text_encoding_codepages.h"

using namespace quendal;

namespace {

/* Holder of a returned TextEncoding (or converter) reference. */
template <typename T>
class Held {
 public:
  explicit Held(T* owned) : ref_(owned ? &owned->header : nullptr) {}
  T* get() const { return reinterpret_cast<T*>(ref_.get()); }
  T* operator->() const { return get(); }

 private:
  ObjectRef ref_;
};
using Encoding = Held<TextEncodingObject>;
using Converter = Held<TextConverterObject>;

StringRef Make(std::string_view bytes, uint32_t tag) { return StringRef(StringCreate(bytes, tag)); }
std::string Bytes(const StringRef& s) { return std::string(StringView(s.get())); }

Encoding FromList(const char* name) {
  for (int32_t i = 1; i <= kEncodingsListSize; ++i) {
    if (std::string(EncodingsEntryName(i)) == name) return Encoding(EncodingsGetter(nullptr, i));
  }
  ADD_FAILURE() << "no entry " << name;
  return Encoding(nullptr);
}

std::string InternetName(TextEncodingObject* e) {
  StringRef name(textEncodingInternetName(e));
  return Bytes(name);
}

std::string Chr(TextEncodingObject* e, int32_t cp, uint32_t* tag = nullptr) {
  StringRef s(TextEncodingChr(e, cp));
  if (tag) *tag = s.encoding();
  return Bytes(s);
}

} // namespace

TEST(TextEncodingObjects, SharedObjectPerTag) {
  Encoding latin(GetEncodingObjectFromCode(0x500));
  ASSERT_NE(latin.get(), nullptr);
  Encoding again(GetEncodingObjectFromCode(0x500));
  EXPECT_EQ(latin.get(), again.get()) << "one object per tag for the life of the process";
  EXPECT_EQ(latin->base, 0x500);
  EXPECT_EQ(latin->variant, 0);
  EXPECT_EQ(latin->format, 0);
  EXPECT_EQ(latin->valid, 1);
  EXPECT_EQ(latin->code, 0x500u);
  EXPECT_EQ(latin->listIndex, 0);

  Encoding utf8(GetEncodingObjectFromCode(kEncodingUTF8));
  EXPECT_EQ(textEncodingBaseGetter(utf8.get()), 0x100);
  EXPECT_EQ(textEncodingFormatGetter(utf8.get()), 2);
  EXPECT_EQ(textEncodingVariantGetter(utf8.get()), 0);
  EXPECT_EQ(GetEncodingFromTEObject(utf8.get()), kEncodingUTF8);

  EXPECT_EQ(GetEncodingObjectFromCode(kEncodingUnknown), nullptr);
  EXPECT_EQ(GetEncodingFromTEObject(nullptr), kEncodingUnknown);
  EXPECT_EQ(LinkLookup("EncodingsGetFromCode"), LinkLookup("GetEncodingObjectFromCode"));
}

TEST(TextEncodingObjects, StringGetAndSetEncoding) {
  StringRef built(ORVABuildString("abc", 3));
  EXPECT_EQ(StringGetEncoding(built.get()), nullptr) << "ORVABuildString gives no encoding";

  Encoding ascii(StringGetEncoding(nullptr));
  ASSERT_NE(ascii.get(), nullptr);
  EXPECT_EQ(ascii->code, kEncodingASCII) << "the empty string is ASCII";
  Encoding asciiShared(GetEncodingObjectFromCode(kEncodingASCII));
  EXPECT_EQ(ascii.get(), asciiShared.get());

  StringRef latin = Make("\xE9", 0x500);
  Encoding latinEncoding(StringGetEncoding(latin.get()));
  Encoding utf8(GetEncodingObjectFromCode(kEncodingUTF8));
  StringRef same(StringSetEncoding(latin.get(), latinEncoding.get()));
  EXPECT_EQ(same.get(), latin.get()) << "already tagged so: the string itself";
  StringRef retagged(StringSetEncoding(latin.get(), utf8.get()));
  EXPECT_EQ(Bytes(retagged), "\xE9") << "the bytes are not touched";
  EXPECT_EQ(retagged.encoding(), kEncodingUTF8);
  EXPECT_EQ(latin.encoding(), 0x500u) << "the source keeps its tag";
  StringRef unknown(StringSetEncoding(latin.get(), nullptr));
  EXPECT_EQ(unknown.encoding(), kEncodingUnknown);
  EXPECT_EQ(StringSetEncoding(nullptr, utf8.get()), nullptr);
}

TEST(TextEncodingObjects, StringConvertEncoding) {
  StringRef latin = Make("\xE9", 0x500);
  Encoding utf8(GetEncodingObjectFromCode(kEncodingUTF8));
  Encoding latinEncoding(GetEncodingObjectFromCode(0x500));
  StringRef converted(StringConvertEncoding(latin.get(), utf8.get()));
  EXPECT_EQ(Bytes(converted), "\xC3\xA9");
  EXPECT_EQ(converted.encoding(), kEncodingUTF8);
  StringRef back(StringConvertEncoding(converted.get(), latinEncoding.get()));
  EXPECT_EQ(Bytes(back), "\xE9");
  StringRef same(StringConvertEncoding(latin.get(), latinEncoding.get()));
  EXPECT_EQ(same.get(), latin.get());

  Encoding symbol = FromList("MacSymbol");
  StringRef kept(StringConvertEncoding(latin.get(), symbol.get()));
  EXPECT_EQ(kept.get(), latin.get()) << "no code page for MacSymbol: the source is kept";
}

TEST(EncodingsList, CountIndexAndTelling) {
  EXPECT_EQ(EncodingsCount(), 91);
  Encoding first(EncodingsGetFromIndex(0));
  ASSERT_NE(first.get(), nullptr);
  EXPECT_EQ(first->code, kEncodingUTF8);
  EXPECT_EQ(first->listIndex, 1);
  Encoding last(EncodingsGetFromIndex(90));
  EXPECT_EQ(std::string(EncodingsEntryName(last->listIndex)), "MacRomanLatin1");
  EXPECT_EQ(EncodingsGetFromIndex(91), nullptr) << "SystemDefault is reachable by name only";
  EXPECT_EQ(EncodingsGetFromIndex(-1), nullptr);
  EXPECT_EQ(EncodingsGetter(nullptr, 0), nullptr);
  EXPECT_EQ(EncodingsGetter(nullptr, 93), nullptr);

  struct Row {
    int32_t index;
    const char* name;
    int32_t base;
    int32_t format;
    uint32_t code;
  } rows[] = {
      {1, "UTF8", 0x100, 2, kEncodingUTF8}, {2, "UTF16", 0x100, 0, 0x100}, {3, "UCS4", 0x100, 3, 0x100},
      {4, "MacRoman", 0, 0, 0},            {41, "MacCeltic", 39, 0, 39},  {42, "MacGaelic", 40, 0, 40},
      {43, "ISOLatin1", 0x201, 0, 0x201},  {77, "WindowsLatin1", 0x500, 0, 0x500},
      {78, "WindowsANSI", 0x500, 0, 0x500}, {88, "ASCII", 0x600, 0, 0x600},
      {89, "ShiftJIS", 0xA01, 0, 0xA01},   {90, "KOI8_R", 0xA02, 0, 0xA02},
      {91, "MacRomanLatin1", 0xA04, 0, 0xA04},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(std::string(EncodingsEntryName(r.index)), r.name);
    Encoding e(EncodingsGetter(nullptr, r.index));
    EXPECT_EQ(e->base, r.base);
    EXPECT_EQ(e->format, r.format);
    EXPECT_EQ(e->code, r.code);
    EXPECT_EQ(e->listIndex, r.index);
  }
  Encoding system(EncodingsGetter(nullptr, 92));
  EXPECT_EQ(std::string(EncodingsEntryName(92)), "SystemDefault");
  EXPECT_EQ(system->code, 0xFFFF0000 | platform::GetACP());
  Encoding font(getFontTextEncoding(nullptr));
  EXPECT_EQ(font->code, system->code) << "the encoding of the font \"System\"";
  EXPECT_EQ(ORVAGetFontEncoding(nullptr), system->code);

  Encoding shared(GetEncodingObjectFromCode(0x201));
  Encoding listed = FromList("ISOLatin1");
  EXPECT_NE(shared.get(), listed.get()) << "the list makes objects of its own";
  EXPECT_TRUE(TextEncodingEquals(shared.get(), listed.get()));
  Encoding again = FromList("ISOLatin1");
  EXPECT_EQ(listed.get(), again.get()) << "and keeps them";
}

TEST(EncodingsList, EncodingsObjectPublishesTheEntries) {
  Held<EncodingsObject> encodings(GetEncodingsObject());
  ASSERT_NE(encodings.get(), nullptr);
  Held<EncodingsObject> again(GetEncodingsObject());
  EXPECT_EQ(encodings.get(), again.get());
  ClassRecord* cls = encodings->header.classPtr;
  ASSERT_EQ(cls->propertyCount, 92);
  EXPECT_EQ(std::string(StringView(cls->properties[0].declaration)), "UTF8%o<TextEncoding>%");
  EXPECT_EQ(std::string(StringView(cls->properties[91].declaration)), "SystemDefault%o<TextEncoding>%");
  EXPECT_EQ(cls->properties[88].parameter, 89);
  using Getter = TextEncodingObject* (*)(EncodingsObject*, int32_t);
  Encoding shiftJis(reinterpret_cast<Getter>(cls->properties[88].getter)(encodings.get(), 89));
  EXPECT_EQ(shiftJis->code, 0xA01u);
}

TEST(EncodingsList, InternetNames) {
  EXPECT_EQ(InternetName(FromList("UTF8").get()), "UTF-8");
  EXPECT_EQ(InternetName(FromList("UTF16").get()), "UTF-16");
  EXPECT_EQ(InternetName(FromList("UCS4").get()), "UCS-4");
  EXPECT_EQ(InternetName(FromList("WindowsANSI").get()), "windows-1252");
  EXPECT_EQ(InternetName(FromList("ASCII").get()), "US-ASCII");
  EXPECT_EQ(InternetName(FromList("MacRoman").get()), "macintosh");
  EXPECT_EQ(InternetName(FromList("MacJapanese").get()), "X-MAC-JAPANESE");
  EXPECT_EQ(InternetName(FromList("ShiftJIS").get()), "Shift_JIS");
  EXPECT_EQ(InternetName(FromList("KOI8_R").get()), "KOI8_R");
  EXPECT_EQ(InternetName(FromList("ISOLatin9").get()), "ISO-8859-15");
  EXPECT_EQ(InternetName(FromList("WindowsCyrillic").get()), "windows-1251");
  EXPECT_EQ(InternetName(FromList("DOSLatinUS").get()), "IBM437");

  Encoding utf7(getTextEncoding(0x100, 0, 1));
  EXPECT_EQ(InternetName(utf7.get()), "UTF-7");
  Encoding sharedLatin1(GetEncodingObjectFromCode(0x201));
  EXPECT_EQ(InternetName(sharedLatin1.get()), "") << "not obtained through the list";
  Encoding sharedLatin(GetEncodingObjectFromCode(0x500));
  EXPECT_EQ(InternetName(sharedLatin.get()), "windows-1252");
  EXPECT_EQ(InternetName(nullptr), "");

  const std::string system = InternetName(FromList("SystemDefault").get());
  if (platform::GetACP() == 65001) {
    EXPECT_EQ(system, "UTF-8");
  } else {
    EXPECT_EQ(system, "windows-1252");
  }
}

TEST(TextEncodingObjects, MadeAndCompared) {
  Encoding made(getTextEncoding(0x100, 0, 2));
  Encoding shared(GetEncodingObjectFromCode(kEncodingUTF8));
  EXPECT_NE(made.get(), shared.get()) << "getTextEncoding makes a new object";
  EXPECT_EQ(made->code, kEncodingUTF8);
  EXPECT_TRUE(TextEncodingEquals(made.get(), shared.get()));
  Encoding other(getTextEncoding(0x500, 3, 0));
  EXPECT_EQ(other->variant, 3);
  EXPECT_EQ(other->code, 0x500u) << "the code is the base";
  EXPECT_FALSE(TextEncodingEquals(made.get(), other.get()));
  EXPECT_FALSE(TextEncodingEquals(made.get(), nullptr));
  EXPECT_TRUE(TextEncodingEquals(nullptr, nullptr));
  EXPECT_EQ(getInternetTextEncoding(nullptr), nullptr);
  EXPECT_EQ(textEncodingBaseGetter(nullptr), 0);
}

TEST(TextEncodingChr, EveryForm) {
  uint32_t tag = 0;
  EXPECT_EQ(Chr(FromList("UTF8").get(), 0x20AC, &tag), "\xE2\x82\xAC");
  EXPECT_EQ(tag, kEncodingUTF8);
  EXPECT_EQ(Chr(FromList("UTF8").get(), 0x1F600), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Chr(FromList("UTF8").get(), 0x200000), "") << "nothing above 0x1FFFFF";
  EXPECT_EQ(Chr(FromList("UTF16").get(), 0x20AC, &tag), "\xAC\x20");
  EXPECT_EQ(tag, kEncodingUTF16);
  EXPECT_EQ(Chr(FromList("UTF16").get(), 0x1F600), std::string("\x3D\xD8\x00\xDE", 4)) << "a surrogate pair";
  EXPECT_EQ(Chr(FromList("UTF16").get(), 0x110000), "");
  EXPECT_EQ(Chr(FromList("UCS4").get(), 0x20AC), std::string("\xAC\x20\0\0", 4));
  Encoding utf7(getTextEncoding(0x100, 0, 1));
  EXPECT_EQ(Chr(utf7.get(), 0xE9), "\xC3\xA9") << "format 1 writes UTF-8 bytes";

  EXPECT_EQ(Chr(FromList("WindowsLatin1").get(), 0x41, &tag), "A");
  EXPECT_EQ(tag, 0x500u);
  EXPECT_EQ(Chr(FromList("ShiftJIS").get(), 0x8140), "\x81\x40");
  EXPECT_EQ(Chr(FromList("ShiftJIS").get(), 0x123456), "\x12\x34\x56");
  EXPECT_EQ(Chr(FromList("ShiftJIS").get(), 0), std::string("\0", 1)) << "three zeros skipped at most";
  EXPECT_EQ(Chr(nullptr, 0x41), "");
}

TEST(TextConverter, AcrossEncodings) {
  Encoding latin = FromList("WindowsLatin1");
  Encoding utf8 = FromList("UTF8");
  Encoding utf16 = FromList("UTF16");
  Encoding sjis = FromList("ShiftJIS");
  Encoding euc(GetEncodingObjectFromCode(kEncodingEUCJP));

  Converter toUtf8(getTextConverter(latin.get(), utf8.get()));
  ASSERT_NE(toUtf8.get(), nullptr);
  EXPECT_EQ(toUtf8->sourceTag, 0x500u);
  EXPECT_EQ(toUtf8->destinationTag, kEncodingUTF8);
  StringRef e = Make("caf\xE9", kEncodingUnknown);
  StringRef converted(textConverterConvert(toUtf8.get(), e.get()));
  EXPECT_EQ(Bytes(converted), "caf\xC3\xA9") << "the string's own tag is ignored";
  EXPECT_EQ(converted.encoding(), kEncodingUTF8);

  Converter toWide(getTextConverter(utf8.get(), utf16.get()));
  StringRef plain = Make("A", kEncodingASCII);
  StringRef wide(textConverterConvert(toWide.get(), plain.get()));
  EXPECT_EQ(Bytes(wide), std::string("A\0", 2));

  Converter sjisToEuc(getTextConverter(sjis.get(), euc.get()));
  ASSERT_NE(sjisToEuc.get(), nullptr) << "Shift_JIS to EUC-JP is a converter";
  StringRef kanji = Make("\x93\xFA\x96\x7B", 0xA01); /* 日本 */
  StringRef eucKanji(textConverterConvert(sjisToEuc.get(), kanji.get()));
  EXPECT_EQ(Bytes(eucKanji), "\xC6\xFC\xCB\xDC");
  EXPECT_EQ(eucKanji.encoding(), kEncodingEUCJP) << "EUC-JP bytes carry the EUC-JP tag";

  Converter same(getTextConverter(latin.get(), latin.get()));
  StringRef latinText = Make("x\xE9", 0x500);
  StringRef unchanged(textConverterConvert(same.get(), latinText.get()));
  EXPECT_EQ(unchanged.get(), latinText.get());
  StringRef retagged(textConverterConvert(same.get(), e.get()));
  EXPECT_EQ(retagged.encoding(), 0x500u);
  EXPECT_EQ(Bytes(retagged), "caf\xE9");
  textConverterClear(same.get());
  EXPECT_EQ(textConverterConvert(same.get(), nullptr), nullptr);
  EXPECT_EQ(textConverterConvert(nullptr, e.get()), nullptr);

  Converter fromSystem(getTextConverter(nullptr, utf8.get()));
  ASSERT_NE(fromSystem.get(), nullptr) << "nil is the system code page";
  EXPECT_EQ(fromSystem->sourceTag, kEncodingUnknown);
}

TEST(TextConverter, RefusedWithoutCodePages) {
  Encoding symbol = FromList("MacSymbol");
  Encoding latin7 = FromList("ISOLatin7");
  Encoding utf8 = FromList("UTF8");
  EXPECT_EQ(getTextConverter(latin7.get(), utf8.get()), nullptr);
  EXPECT_EQ(getTextConverter(utf8.get(), symbol.get()), nullptr);
  Encoding ucs4 = FromList("UCS4");
  Converter fromUcs4(getTextConverter(ucs4.get(), utf8.get()));
  EXPECT_EQ(fromUcs4->sourceTag, 0x100u) << "the UCS4 entry's code is its base, the UTF-16 tag";
  Converter sameless(getTextConverter(symbol.get(), symbol.get()));
  EXPECT_NE(sameless.get(), nullptr) << "the same code page on both sides";
  Encoding dingbats = FromList("MacDingbats");
  Converter noPages(getTextConverter(symbol.get(), dingbats.get()));
  ASSERT_NE(noPages.get(), nullptr) << "neither has a code page: equal code pages";
  StringRef s = Make("\xA9", 0x21);
  StringRef kept(textConverterConvert(noPages.get(), s.get()));
  EXPECT_EQ(kept.get(), s.get()) << "an impossible conversion keeps the string";
}

TEST(TextEncodingObjects, GuessJapanese) {
  StringRef sjis = Make("\x82\xA0\x82\xA2\x8A\xBF\x8E\x9A", kEncodingUnknown); /* あい漢字 */
  StringRef euc = Make("\xA4\xA2\xA4\xA4\xB4\xC1\xBB\xFA", kEncodingUnknown);
  StringRef jis = Make("\x1B$B\x24\x22\x24\x24\x1B(B", kEncodingUnknown);
  Encoding a(guessJapaneseEncoding(sjis.get()));
  Encoding b(guessJapaneseEncoding(euc.get()));
  Encoding c(guessJapaneseEncoding(jis.get()));
  Encoding d(guessJapaneseEncoding(nullptr));
  EXPECT_EQ(a->code, 0xA01u);
  EXPECT_EQ(b->code, 0x920u);
  EXPECT_EQ(c->code, 0x820u);
  EXPECT_EQ(d->code, 0xA01u);
  Encoding shared(GetEncodingObjectFromCode(0x920));
  EXPECT_EQ(b.get(), shared.get());
}

TEST(TextEncodingObjects, PluginForms) {
  StringRef latin = Make("\xE9", 0x500);
  EXPECT_EQ(ORVAGetStringEncoding(latin.get()), 0x500u);
  EXPECT_EQ(ORVAGetStringEncoding(nullptr), kEncodingASCII);
  StringRef retagged(ORVASetStringEncoding(latin.get(), 0x201));
  EXPECT_EQ(retagged.encoding(), 0x201u);
  EXPECT_EQ(Bytes(retagged), "\xE9");
  StringRef same(ORVASetStringEncoding(latin.get(), 0x500));
  EXPECT_EQ(same.get(), latin.get());
  StringRef utf8(ORVAConvertString(latin.get(), kEncodingUTF8));
  EXPECT_EQ(Bytes(utf8), "\xC3\xA9");
  EXPECT_EQ(utf8.encoding(), kEncodingUTF8);
  StringRef kept(ORVAConvertString(latin.get(), 0x0100 | (3u << 26)));
  EXPECT_EQ(kept.get(), latin.get());
}

TEST(TextEncodingObjects, ObjectsStayAliveAfterCallersRelease) {
  TextEncodingObject* raw = GetEncodingObjectFromCode(0x502);
  int32_t count = raw->header.refCount;
  EXPECT_GE(count, 2) << "the table's reference and the caller's";
  RuntimeUnlockObject(&raw->header);
  Encoding again(GetEncodingObjectFromCode(0x502));
  EXPECT_EQ(again.get(), raw);
  EXPECT_EQ(again->header.refCount, count);
}
