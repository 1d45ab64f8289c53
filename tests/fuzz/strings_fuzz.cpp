/*
** Fuzz target: the string functions on any tag and any bytes.
**
** The input gives three strings (text, needle, replacement), each with a
** tag (one of the tags the runtime treats specially, or any 32-bit value)
** and arbitrary bytes, and a start position.  Beyond the sanitizers, the
** target checks that search, count, split and replace agree on where the
** needle occurs, for the language's case-insensitive forms and for the
** byte forms alike:
**   - CountFields = the number of Split elements, element k = NthField(k+1);
**   - the elements joined = ReplaceAll with nothing; joined with the
**     replacement = ReplaceAll with it (when it needs no conversion);
**   - Replace = first element + replacement + the rest of the text, which
**     begins with the second element;
**   - InStr from 1 finds the needle exactly where the first element ends
**     (positions in the text's units), and nothing when there is one field;
**     InStrB, stepped past each match, finds every separator in order;
**   - in text of 2- or 4-byte units the case-insensitive forms only cut
**     whole units.
** A violated property aborts with a message.
*/
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/objects/array_object.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/string_arrays.h"
#include "runtime/text/string_core.h"
#include "runtime/text/string_functions.h"
#include "runtime/text/string_functions_internal.h"
#include "runtime/text/text_encoding_codepages.h"

namespace {

using quendal::StringRef;

constexpr uint32_t kTags[] = {
    kEncodingUnknown, kEncodingASCII, kEncodingUTF8, kEncodingUTF16,
    0xFFFF04B0 /* UTF-16LE code page */, 0xFFFF04B1 /* UTF-16BE */, 0xFFFF2EE0 /* UTF-32LE */,
    0xFFFF04E4 /* 1252 */, 0xFFFF03A4 /* 932 */, 0xFFFFFDE9 /* 65001 */, 0x0101, 0x0103, 0x0102,
    0x0500 /* Windows Latin 1 */, 0x0201 /* ISO Latin 1 */, 0x0A01 /* Shift_JIS */, 0x0920 /* EUC-JP */,
    0x0820 /* ISO-2022-JP */, 0x0000 /* Mac Roman */, 0x14000100, 0x0C000100,
};

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "strings_fuzz: %s\n", what);
  std::abort();
}

void Expect(bool holds, const char* what) {
  if (!holds) Fail(what);
}

uint32_t ConsumeTag(FuzzedDataProvider& in) {
  if (in.ConsumeBool()) return in.ConsumeIntegral<uint32_t>();
  return kTags[in.ConsumeIntegralInRange<size_t>(0, std::size(kTags) - 1)];
}

StringRef ConsumeString(FuzzedDataProvider& in, size_t maxLength) {
  uint32_t tag = ConsumeTag(in);
  std::string bytes = in.ConsumeRandomLengthString(maxLength);
  return StringRef(quendal::StringCreate(bytes, tag));
}

std::string Bytes(ORVAstring s) { return std::string(quendal::StringView(s)); }

struct Forms {
  bool byteExact;
  int32_t (*inStr)(int32_t, ORVAstring, ORVAstring);
  int32_t (*count)(ORVAstring, ORVAstring);
  ORVAstring (*nth)(ORVAstring, ORVAstring, int32_t);
  ArrayObject* (*split)(ORVAstring, ORVAstring);
  ORVAstring (*replace)(ORVAstring, ORVAstring, ORVAstring);
  ORVAstring (*replaceAll)(ORVAstring, ORVAstring, ORVAstring);
};

const Forms kLanguageForms = {false, StringInStr, StringCountFields, StringNthField, StringSplit,
                              StringReplace, StringReplaceAll};
const Forms kByteForms = {true, StringInStrB, StringCountFieldsB, StringNthFieldB, StringSplitB,
                          StringReplaceB, StringReplaceAllB};

/* The elements of a split, as bytes; the array is released. */
std::vector<std::string> SplitElements(ArrayObject* array, uint32_t tag, bool byteExact) {
  std::vector<std::string> out;
  if (!array) Fail("split gave no array");
  for (int32_t i = 0; i <= quendal::ArrayUpperBound(array); ++i) {
    ORVAstring e = quendal::ArrayStringAt(array, i);
    if (e && !byteExact && e->encoding != tag) Fail("a split element lost the text's tag");
    out.push_back(Bytes(e));
  }
  RuntimeUnlockObject(&array->header);
  return out;
}

void CheckAgreement(const Forms& forms, ORVAstring s, ORVAstring f, ORVAstring r) {
  const int32_t count = forms.count(s, f);
  std::vector<std::string> fields = SplitElements(forms.split(s, f), s->encoding, forms.byteExact);
  Expect(count == static_cast<int32_t>(fields.size()), "CountFields and Split disagree");
  for (int32_t k = 0; k < count; ++k) {
    StringRef nth(forms.nth(s, f, k + 1));
    Expect(Bytes(nth.get()) == fields[size_t(k)], "NthField and Split disagree");
  }
  StringRef beyond(forms.nth(s, f, count + 1));
  Expect(beyond.empty(), "NthField beyond the last field is not empty");

  std::string joined;
  for (const std::string& field : fields) joined += field;
  StringRef removed(forms.replaceAll(s, f, nullptr));
  Expect(Bytes(removed.get()) == joined, "ReplaceAll with nothing and Split disagree");

  const bool plainReplacement = !r || r->encoding == s->encoding;
  if (plainReplacement) {
    std::string with;
    for (size_t k = 0; k < fields.size(); ++k) with += (k ? Bytes(r) : std::string()) + fields[k];
    StringRef all(forms.replaceAll(s, f, r));
    Expect(Bytes(all.get()) == with, "ReplaceAll and Split disagree");
    StringRef first(forms.replace(s, f, r));
    const std::string text = Bytes(s), once = Bytes(first.get());
    if (count == 1) {
      Expect(once == text, "Replace changed a text without the needle");
    } else {
      const std::string head = fields[0] + Bytes(r);
      Expect(once.compare(0, head.size(), head) == 0, "Replace does not start with the first field");
      const size_t tail = once.size() - head.size();
      Expect(tail < text.size() - fields[0].size(), "Replace removed nothing");
      Expect(text.compare(text.size() - tail, tail, once, head.size(), tail) == 0, "Replace changed the rest");
      Expect(once.compare(head.size(), fields[1].size(), fields[1]) == 0, "Replace and the second field disagree");
    }
  }

  const int32_t first = forms.inStr(1, s, f);
  Expect((first == 0) == (count == 1), "InStr and CountFields disagree");
  if (forms.byteExact) {
    int32_t from = 1, at = 0;
    for (size_t k = 1; k < fields.size(); ++k) {
      at += static_cast<int32_t>(fields[k - 1].size());
      Expect(StringInStrB(from, s, f) == at + 1, "InStrB misses a separator");
      at += f->length;
      from = at + 1;
    }
    Expect(StringInStrB(from, s, f) == 0, "InStrB finds a separator after the last");
  } else if (count > 1 && (f->encoding == s->encoding || f->encoding == kEncodingUnknown)) {
    StringRef head(quendal::StringCreate(fields[0], s->encoding));
    quendal::CharUnit unit = quendal::CharUnitOf(s->encoding);
    const bool byCharacters = unit == quendal::CharUnit::UTF8 || unit == quendal::CharUnit::UTF16;
    const int32_t expected = 1 + (byCharacters ? StringDBCSLen(head.get()) : head.length());
    Expect(first == expected, "InStr and the first field disagree");
  }

  const int32_t width = quendal::CharUnitOf(s->encoding) == quendal::CharUnit::UTF16
                            ? 2
                            : quendal::CodeUnitWidth(s->encoding);
  if (!forms.byteExact && s->length % width == 0) {
    for (const std::string& field : fields) Expect(field.size() % size_t(width) == 0, "a field cuts a code unit");
  }
}

/* Functions whose results the checks above do not relate: they must only
** run cleanly. */
void RunTheRest(ORVAstring s, ORVAstring f, int32_t start) {
  ORVAstring results[] = {
      StringUCase(s), StringLCase(s), StringTitleCase(s), runTrim(s), runLTrim(s), runRTrim(s),
      StringDBCSLeft(s, start), StringDBCSRight(s, start), StringDBCSMid2(s, start), StringDBCSMid3(s, start, 3),
  };
  for (ORVAstring result : results) RuntimeUnlockString(result);
  (void)StringDBCSLen(s);
  (void)StringDBCSAsc(s);
  const int32_t p = StringInStr(start, s, f);
  Expect(p == 0 || !f || p >= start, "InStr found the needle before its start");
  (void)StringDBCSInStr(start, s, f);
  ArrayObject* characters = StringSplit(s, nullptr);
  std::vector<std::string> pieces = SplitElements(characters, s->encoding, false);
  std::string whole;
  for (const std::string& piece : pieces) whole += piece;
  Expect(whole == Bytes(s), "Split by characters lost bytes");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    quendal::InstallServiceBoundary();
    return true;
  }();
  (void)ready;
  FuzzedDataProvider in(data, size);
  StringRef s = ConsumeString(in, 512);
  StringRef f = ConsumeString(in, 16);
  StringRef r = ConsumeString(in, 16);
  const int32_t start = in.ConsumeIntegralInRange<int32_t>(-2, 600);
  if (s.empty()) return 0;
  if (!f.empty()) {
    CheckAgreement(kLanguageForms, s.get(), f.get(), r.get());
    CheckAgreement(kByteForms, s.get(), f.get(), r.get());
  }
  RunTheRest(s.get(), f.get(), start);
  return 0;
}
