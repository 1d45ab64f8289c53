/*
** Path forms and the UTF-16 <-> UTF-8 conversion under the W services.
**
** Windows -> POSIX reads both "\" and "/" as separators and changes no
** other byte, so a name that holds neither converts to itself; a name
** with a backslash cannot be reached (it would read as two names).  The
** conversion is a pure function of its text: it never looks at the disk.
**
** The UTF conversions never fail: an unpaired surrogate (UTF-16) or a
** malformed sequence (UTF-8; each maximal invalid subpart) becomes U+FFFD.
*/
#include "runtime/platform/paths.h"

namespace quendal::platform {

static bool IsSeparator(char c) { return c == '\\' || c == '/'; }

static bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

/* Rest of a Windows path, after any drive, with "/" for every separator. */
static std::string WithPosixSeparators(const std::string& text, size_t from) {
  std::string out;
  out.reserve(text.size() - from);
  for (size_t i = from; i < text.size(); i++) out += IsSeparator(text[i]) ? '/' : text[i];
  return out;
}

std::optional<std::string> PosixPathFromWindows(const std::string& windowsPath) {
  if (windowsPath.find('\0') != std::string::npos) return std::nullopt;
  const std::string& p = windowsPath;
  /* "\\server\share", "\\?\...", "\\.\device": nothing on this host. */
  if (p.size() >= 2 && IsSeparator(p[0]) && IsSeparator(p[1])) return std::nullopt;
  if (p.size() >= 2 && p[1] == ':' && IsAsciiLetter(p[0])) {
    if (p[0] != 'z' && p[0] != 'Z') return std::nullopt;
    /* "Z:" alone and "Z:name" are relative to the current folder of drive
    ** Z:, which is the current folder of this process. */
    if (p.size() == 2) return std::string(".");
    return WithPosixSeparators(p, 2);
  }
  /* Rooted ("\a") and relative ("a\b") paths keep their shape. */
  return WithPosixSeparators(p, 0);
}

std::string WindowsPathFromPosix(const std::string& posixPath) {
  std::string out;
  out.reserve(posixPath.size() + 2);
  if (!posixPath.empty() && posixPath[0] == '/') out = "Z:";
  for (char c : posixPath) out += c == '/' ? '\\' : c;
  return out;
}

static void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

static bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
static bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

std::string Utf8FromUtf16(const WCHAR* text, size_t units) {
  std::string out;
  if (text == nullptr) return out;
  out.reserve(units);
  for (size_t i = 0; i < units; i++) {
    char16_t u = text[i];
    if (IsHighSurrogate(u) && i + 1 < units && IsLowSurrogate(text[i + 1])) {
      AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
      i++;
    } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
      AppendUtf8(out, 0xFFFD);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

/* Decodes one scalar value at text[i] and advances i past it; a malformed
** sequence yields U+FFFD and advances past its maximal valid prefix (at
** least one byte), so decoding resumes at the first byte that could start
** a sequence. */
static char32_t DecodeUtf8(const std::string& text, size_t& i) {
  unsigned char b = static_cast<unsigned char>(text[i++]);
  if (b < 0x80) return b;
  int more;
  char32_t cp;
  unsigned char lo = 0x80, hi = 0xBF; /* allowed range of the second byte */
  if (b >= 0xC2 && b <= 0xDF) {
    more = 1, cp = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    more = 2, cp = b & 0x0F;
    if (b == 0xE0) lo = 0xA0;          /* overlong */
    if (b == 0xED) hi = 0x9F;          /* surrogates */
  } else if (b >= 0xF0 && b <= 0xF4) {
    more = 3, cp = b & 0x07;
    if (b == 0xF0) lo = 0x90;          /* overlong */
    if (b == 0xF4) hi = 0x8F;          /* above U+10FFFF */
  } else {
    return 0xFFFD;
  }
  for (int k = 0; k < more; k++) {
    if (i >= text.size()) return 0xFFFD;
    unsigned char c = static_cast<unsigned char>(text[i]);
    unsigned char min = k == 0 ? lo : 0x80, max = k == 0 ? hi : 0xBF;
    if (c < min || c > max) return 0xFFFD;
    cp = (cp << 6) | (c & 0x3F);
    i++;
  }
  return cp;
}

std::u16string Utf16FromUtf8(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    char32_t cp = DecodeUtf8(text, i);
    if (cp >= 0x10000) {
      out += char16_t(0xD800 + ((cp - 0x10000) >> 10));
      out += char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += char16_t(cp);
    }
  }
  return out;
}

} // namespace quendal::platform
