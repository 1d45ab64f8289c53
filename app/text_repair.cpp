/*
** Text of the source as UTF-8 (text_repair.h).
*/
#include "app/text_repair.h"

#include <cctype>
#include <cstdlib>

#include "runtime/base/utf8.h"
#include "runtime/text/text_encoding_codepages.h"

namespace marlune {

namespace {

uint32_t CodePageTag(uint32_t codePage) { return quendal::kEncodingRawCodePage | codePage; }

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

/* The decimal number text is made of, or nullopt. */
std::optional<uint32_t> Number(std::string_view text) {
  if (text.empty() || text.size() > 6) return std::nullopt;
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + uint32_t(c - '0');
  }
  return value;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

} // namespace

bool IsValidUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  size_t n = bytes.size();
  for (size_t i = 0; i < n;) {
    if (p[i] < 0x80) {
      i++;
      continue;
    }
    quendal::Utf8Char c = quendal::Utf8Decode(p + i, n - i);
    if (!c.valid) return false;
    i += size_t(c.length);
  }
  return true;
}

std::optional<uint32_t> ParseCodePageName(std::string_view value) {
  std::string text = Lower(value);
  if (StartsWith(text, "windows-")) return Number(std::string_view(text).substr(8));
  if (StartsWith(text, "cp")) return Number(std::string_view(text).substr(2));
  if (StartsWith(text, "iso-8859-")) {
    std::optional<uint32_t> part = Number(std::string_view(text).substr(9));
    if (!part || *part < 1 || *part > 16) return std::nullopt;
    return 28590 + *part;
  }
  return Number(text);
}

std::optional<TextRepair> TextRepair::ForCodePage(uint32_t codePage) {
  /* UTF-8 and UTF-16 are no code pages to read bytes of unknown encoding in. */
  if (codePage == quendal::kCodePageUTF8 || codePage == quendal::kCodePageUTF16) return std::nullopt;
  if (quendal::EncodingCodePage(CodePageTag(codePage)) == 0) return std::nullopt;
  return TextRepair(codePage);
}

std::optional<TextRepair> TextRepair::FromEnvironment(std::string* error) {
  const char* value = std::getenv(kSourceEncodingVariable);
  if (!value || !*value) return ForCodePage(kDefaultSourceCodePage);
  std::optional<uint32_t> codePage = ParseCodePageName(value);
  std::optional<TextRepair> repair = codePage ? ForCodePage(*codePage) : std::nullopt;
  if (!repair && error) {
    *error = std::string(kSourceEncodingVariable) + " names no code page that can be read: " + value;
  }
  return repair;
}

std::optional<std::string> TextRepair::RepairBytes(std::string_view bytes, bool* converted) const {
  *converted = false;
  if (IsValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  if (!quendal::ConvertBetweenTags(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                   CodePageTag(codePage_), kEncodingUTF8, out)) {
    return std::nullopt;
  }
  *converted = true;
  return out;
}

std::optional<StringRef> TextRepair::Repair(ORVAstring s, bool* converted) const {
  std::string_view bytes = quendal::StringView(s);
  if (IsValidUtf8(bytes)) {
    *converted = false;
    if (!s || StringEncoding(s) == kEncodingUTF8) return StringRef::Borrow(s);
    return Text(bytes);
  }
  std::optional<std::string> repaired = RepairBytes(bytes, converted);
  if (!repaired) return std::nullopt;
  return Text(*repaired);
}

std::string TextRepair::name() const { return "code page " + std::to_string(codePage_); }

} // namespace marlune
