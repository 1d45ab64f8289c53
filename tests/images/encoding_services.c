/* Calls the encoding services through the link table and prints what
** they give, bytes in hexadecimal, one result a line. */
#include "image_print.h"

typedef struct TextEncoding TextEncoding;
typedef struct TextConverter TextConverter;

extern TextEncoding* GetEncodingObjectFromCode(uint32_t tag);
extern TextEncoding* EncodingsGetFromCode(uint32_t tag);
extern TextEncoding* EncodingsGetFromIndex(int32_t index);
extern int32_t EncodingsCount(void);
extern TextEncoding* StringGetEncoding(ORVAstring s);
extern ORVAstring StringConvertEncoding(ORVAstring s, TextEncoding* encoding);
extern ORVAstring TextEncodingChr(TextEncoding* encoding, int32_t codePoint);
extern ORVAstring textEncodingInternetName(TextEncoding* encoding);
extern int32_t textEncodingBaseGetter(TextEncoding* encoding);
extern TextConverter* getTextConverter(TextEncoding* from, TextEncoding* to);
extern ORVAstring textConverterConvert(TextConverter* converter, ORVAstring s);
extern TextEncoding* guessJapaneseEncoding(ORVAstring s);
extern uint32_t ORVAGetStringEncoding(ORVAstring s);
extern ORVAstring ORVASetStringEncoding(ORVAstring s, uint32_t tag);
extern ORVAstring ORVAConvertString(ORVAstring s, uint32_t tag);
extern void* RuntimeUnlockObject(void* object);

/* The string record is a stored format: length at offset 12, the bytes
** from offset 21. */
static int32_t Length(ORVAstring s) { return s ? ((const int32_t*)s)[3] : 0; }
static const uint8_t* Content(ORVAstring s) { return (const uint8_t*)s + 21; }

static char HexDigit(int v) { return (char)(v < 10 ? '0' + v : 'A' + v - 10); }

/* Prints label followed by the bytes of s as "C3 A9"; releases s. */
static void PrintHex(ORVAstring label, ORVAstring s) {
  char text[3 * 32 + 1];
  int32_t n = Length(s);
  int32_t at = 0;
  for (int32_t i = 0; i < n && i < 32; i++) {
    if (i > 0) text[at++] = ' ';
    text[at++] = HexDigit(Content(s)[i] >> 4);
    text[at++] = HexDigit(Content(s)[i] & 15);
  }
  text[at] = 0;
  ORVAstring hex = StringFromCString(text);
  ORVAstring line = RuntimeAddString(label, hex);
  RuntimeConsolePrint(line);
  RuntimeUnlockString(line);
  RuntimeUnlockString(hex);
  RuntimeUnlockString(s);
}

uint32_t main(void) {
  TextEncoding* latin = GetEncodingObjectFromCode(0x500);
  TextEncoding* utf8 = EncodingsGetFromCode(0x08000100);
  ORVAstring e = StringConvertEncoding(S("\xC3\xA9"), latin);
  PrintHex(S("to utf8: "), StringConvertEncoding(e, utf8));
  PrintHex(S("to latin1: "), e);

  PrintHex(S("utf16: "), ORVAConvertString(S("A"), 0x100));
  PrintHex(S("chr: "), TextEncodingChr(utf8, 0x20AC));
  PrintNumber(S("count: "), (uint32_t)EncodingsCount());

  TextEncoding* first = EncodingsGetFromIndex(0);
  ORVAstring name = textEncodingInternetName(first);
  ORVAstring line = RuntimeAddString(S("first: "), name);
  RuntimeConsolePrint(line);
  RuntimeUnlockString(line);
  RuntimeUnlockString(name);
  PrintNumber(S("first base: "), (uint32_t)textEncodingBaseGetter(first));

  TextEncoding* sjis = GetEncodingObjectFromCode(0xA01);
  TextEncoding* euc = GetEncodingObjectFromCode(0x920);
  TextConverter* converter = getTextConverter(sjis, euc);
  ORVAstring kanji = ORVASetStringEncoding(S("\xE6\x97\xA5\xE6\x9C\xAC"), 0x08000100);
  ORVAstring sjisKanji = ORVAConvertString(kanji, 0xA01);
  PrintHex(S("sjis: "), textConverterConvert(converter, sjisKanji));
  TextEncoding* guessed = guessJapaneseEncoding(sjisKanji);
  PrintNumber(S("guess: "), (uint32_t)textEncodingBaseGetter(guessed));
  PrintNumber(S("tag: "), ORVAGetStringEncoding(sjisKanji));

  ORVAstring unknown = ORVASetStringEncoding(S("x"), 0xFFFF);
  TextEncoding* none = StringGetEncoding(unknown);
  PrintNumber(S("unknown is nil: "), none == 0);
  RuntimeUnlockString(unknown);

  RuntimeConsolePrint(S("caf\xC3\xA9"));

  RuntimeUnlockString(sjisKanji);
  RuntimeUnlockString(kanji);
  RuntimeUnlockObject(guessed);
  RuntimeUnlockObject(converter);
  RuntimeUnlockObject(euc);
  RuntimeUnlockObject(sjis);
  RuntimeUnlockObject(first);
  RuntimeUnlockObject(utf8);
  RuntimeUnlockObject(latin);
  return 0;
}
