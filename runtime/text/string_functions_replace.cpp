/*
** The replace family.
**
** Every result carries the source's encoding tag, whatever the tags of the
** find and replacement texts.  One worker serves all four: it collects the
** byte ranges of the matches (the first only, or all of them left to right
** without overlap, each search starting where the previous match ended),
** then allocates the result once and copies the pieces.  The ranges are those the searcher
** reports, which in case-insensitive UTF-8 text need not be as long as the
** pattern.
*/
#include <cstring>
#include <utility>
#include <vector>

#include "runtime/text/string_functions.h"
#include "runtime/base/service_boundary.h"
#include "runtime/text/encoding_tags.h"
#include "runtime/text/text_encoding_codepages.h"
#include "runtime/text/string_functions_internal.h"

namespace quendal {

namespace {

ORVAstring Shared(ORVAstring s) {
  StringRetain(s);
  return s;
}

/* The bytes to insert into s; the result keeps s's tag.  The character
** forms use the replacement as it is where the two tags combine without a
** conversion (ASCII-tagged text is taken as valid in every 8-bit encoding
** and in UTF-8, so nothing of the replacement is lost to a conversion into
** ASCII), and convert it to s's encoding otherwise (characters that
** encoding cannot hold become '?', as every conversion makes them; a
** replacement is never dropped).  The byte forms insert the bytes as they
** are. */
StringRef PrepareReplacement(ORVAstring s, ORVAstring replacement, bool characterForm) {
  if (!characterForm || !replacement) return StringRef::Borrow(replacement);
  const uint32_t textTag = s->encoding;
  const uint32_t tag = replacement->encoding;
  if (tag == textTag || textTag == kEncodingUnknown || tag == kEncodingUnknown ||
      CombineEncodingTags(textTag, tag, false) != kEncodingUnknown || EncodingCodePage(textTag) == 0 ||
      EncodingCodePage(tag) == 0) {
    return StringRef::Borrow(replacement);
  }
  return StringRef(StringConvertedOrKept(replacement, textTag));
}

ORVAstring ReplaceMatches(ORVAstring s, ORVAstring find, ORVAstring replacement, SearchMode mode, bool all) {
  if (!s || !find) return Shared(s);
  const bool ignoreCase = mode == SearchMode::IgnoreCase;
  PreparedPattern pattern =
      ignoreCase ? PreparePattern(s, find) : PreparedPattern{StringRef::Borrow(find), s->encoding, SearchMode::Exact};
  StringRef insert = PrepareReplacement(s, replacement, ignoreCase);
  std::string_view text = StringView(s);
  std::string_view with = StringView(insert.get());

  TextSearcher searcher(text, StringView(pattern.pattern.get()), pattern.searchTag, pattern.mode);
  std::vector<TextMatch> matches;
  int64_t total = static_cast<int64_t>(text.size());
  for (int32_t from = 0;;) {
    TextMatch m = searcher.Next(from);
    if (!m.found()) break;
    matches.push_back(m);
    total += static_cast<int64_t>(with.size()) - (m.end - m.begin);
    from = m.end;
    if (!all) break;
  }
  if (matches.empty()) return Shared(s);

  ORVAstring out = AllocateText(total);
  if (!out) return nullptr; /* nothing left, or too long (reported) */
  char* p = StringBytes(out);
  int32_t copied = 0; /* bytes of s consumed so far */
  for (const TextMatch& m : matches) {
    std::memcpy(p, text.data() + copied, static_cast<size_t>(m.begin - copied));
    p += m.begin - copied;
    if (!with.empty()) std::memcpy(p, with.data(), with.size());
    p += with.size();
    copied = m.end;
  }
  std::memcpy(p, text.data() + copied, text.size() - static_cast<size_t>(copied));
  out->encoding = s->encoding;
  return out;
}

} // namespace

} // namespace quendal

using namespace quendal;

QUENDAL_SERVICE ORVAstring StringReplace(ORVAstring s, ORVAstring find, ORVAstring replacement) {
  QUENDAL_SERVICE_BEGIN
  return ReplaceMatches(s, find, replacement, SearchMode::IgnoreCase, false);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ORVAstring StringReplaceAll(ORVAstring s, ORVAstring find, ORVAstring replacement) {
  QUENDAL_SERVICE_BEGIN
  return ReplaceMatches(s, find, replacement, SearchMode::IgnoreCase, true);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ORVAstring StringReplaceB(ORVAstring s, ORVAstring find, ORVAstring replacement) {
  QUENDAL_SERVICE_BEGIN
  return ReplaceMatches(s, find, replacement, SearchMode::Exact, false);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ORVAstring StringReplaceAllB(ORVAstring s, ORVAstring find, ORVAstring replacement) {
  QUENDAL_SERVICE_BEGIN
  return ReplaceMatches(s, find, replacement, SearchMode::Exact, true);
  QUENDAL_SERVICE_END(nullptr)
}
