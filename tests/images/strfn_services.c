/* Calls the string functions through the link table (search, replace,
** fields, split and join, title case, trimming) and prints what they
** give, one result a line. */
#include "image_print.h"

typedef struct ArrayObject ArrayObject;

extern int32_t StringInStr(int32_t start, ORVAstring s, ORVAstring find);
extern int32_t StringInStrB(int32_t start, ORVAstring s, ORVAstring find);
extern int32_t StringLen(ORVAstring s);
extern int32_t StringDBCSLen(ORVAstring s);
extern ORVAstring StringReplace(ORVAstring s, ORVAstring find, ORVAstring replacement);
extern ORVAstring StringReplaceAll(ORVAstring s, ORVAstring find, ORVAstring replacement);
extern ORVAstring StringReplaceAllB(ORVAstring s, ORVAstring find, ORVAstring replacement);
extern int32_t StringCountFields(ORVAstring s, ORVAstring separator);
extern ORVAstring StringNthField(ORVAstring s, ORVAstring separator, int32_t n);
extern ORVAstring StringNthFieldB(ORVAstring s, ORVAstring separator, int32_t n);
extern ArrayObject* StringSplit(ORVAstring s, ORVAstring separator);
extern ORVAstring StringJoin(ArrayObject* array, ORVAstring separator);
extern ORVAstring StringTitleCase(ORVAstring s);
extern ORVAstring runTrim(ORVAstring s);
extern void* RuntimeUnlockObject(void* object);

/* Prints label, then the elements of the split of s joined by "|". */
static void PrintSplit(ORVAstring label, ORVAstring s, ORVAstring separator) {
  ArrayObject* parts = StringSplit(s, separator);
  PrintString(label, StringJoin(parts, S("|")));
  RuntimeUnlockObject(parts);
}

uint32_t main(void) {
  ORVAstring unicode = S("\xc3\x9cn\xc3\xaf" "code");
  PrintNumber(S("instr="), StringInStr(1, S("Hello"), S("LL")));
  PrintNumber(S("instrb="), StringInStrB(1, S("Hello"), S("LL")));
  PrintNumber(S("unicode instr="), StringInStr(1, unicode, S("CODE")));
  PrintNumber(S("unicode len="), StringLen(unicode));
  PrintNumber(S("unicode chars="), StringDBCSLen(unicode));
  PrintString(S("replaceall="), StringReplaceAll(S("aaaa"), S("aa"), S("b")));
  PrintString(S("replace="), StringReplace(S("Abc abc"), S("ABC"), S("x")));
  PrintString(S("replaceallb="), StringReplaceAllB(S("Abc abc"), S("abc"), S("x")));
  PrintNumber(S("fields="), StringCountFields(S("a,,b"), S(",")));
  PrintString(S("nth2="), StringNthField(S("a,,b"), S(","), 2));
  PrintString(S("nth3="), StringNthField(S("a,,b"), S(","), 3));
  PrintString(S("nthb="), StringNthFieldB(S("1x2X3"), S("X"), 2));
  PrintSplit(S("split="), S("a,b,,c"), S(","));
  PrintSplit(S("chars="), S("a,\xc3\xa9"), S(""));
  PrintString(S("title="), StringTitleCase(S("jean-luc picard")));
  PrintString(S("trim="), runTrim(S("\xe3\x80\x80 x y \xe3\x80\x80")));
  return 0;
}
