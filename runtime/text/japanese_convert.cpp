/*
** Japanese converters between Shift_JIS, EUC-JP and ISO-2022-JP, and the
** encoding guess.  See japanese_convert.h for the repertoire and for what
** becomes '?'.
**
** JIS X 0208 code (j1, j2), both 0x21-0x7E, and Shift_JIS (s1, s2):
**   s1 = (j1 + 1) / 2 + (j1 <= 0x5E ? 0x70 : 0xB0)
**   s2 = odd j1:  j2 + (j2 >= 0x60 ? 0x20 : 0x1F)     (0x40-0x7E, 0x80-0x9E)
**        even j1: j2 + 0x7E                            (0x9F-0xFC)
** and back.  EUC-JP is the JIS code with the top bit set on both bytes.
*/
#include "runtime/text/japanese_convert.h"

#include <cassert>
#include <cstdint>

namespace quendal {

namespace {

constexpr char kUnmappable = '?';
constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kShiftOut = 0x0E;
constexpr uint8_t kShiftIn = 0x0F;

struct JisPair {
  uint8_t j1;
  uint8_t j2;
};

bool IsSjisLead(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool IsSjisTrail(uint8_t b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }
bool IsHalfWidthKana(uint8_t b) { return b >= 0xA1 && b <= 0xDF; }
bool IsEucByte(uint8_t b) { return b >= 0xA1 && b <= 0xFE; }
bool IsJisByte(uint8_t b) { return b >= 0x21 && b <= 0x7E; }
/* Shift_JIS lead bytes whose characters lie in JIS X 0208. */
bool IsJis0208Lead(uint8_t b) { return b <= 0xEF; }

uint8_t At(std::string_view s, size_t i) { return static_cast<uint8_t>(s[i]); }

JisPair SjisToJis(uint8_t s1, uint8_t s2) {
  assert(IsSjisLead(s1) && IsJis0208Lead(s1) && IsSjisTrail(s2));
  int row = (s1 >= 0xE0 ? s1 - 0xC1 : s1 - 0x81) * 2;  /* 0-based pair of rows */
  if (s2 >= 0x9F) return {static_cast<uint8_t>(row + 0x22), static_cast<uint8_t>(s2 - 0x7E)};
  return {static_cast<uint8_t>(row + 0x21), static_cast<uint8_t>(s2 - (s2 >= 0x80 ? 0x20 : 0x1F))};
}

void AppendJisAsSjis(uint8_t j1, uint8_t j2, std::string& out) {
  assert(IsJisByte(j1) && IsJisByte(j2));
  uint8_t s1 = static_cast<uint8_t>((j1 + 1) / 2 + (j1 <= 0x5E ? 0x70 : 0xB0));
  uint8_t s2;
  if (j1 & 1) {
    s2 = static_cast<uint8_t>(j2 + (j2 >= 0x60 ? 0x20 : 0x1F));
  } else {
    s2 = static_cast<uint8_t>(j2 + 0x7E);
  }
  out.push_back(static_cast<char>(s1));
  out.push_back(static_cast<char>(s2));
}

/* One Shift_JIS character: what it is and how many bytes it takes. */
enum class SjisKind { kSingle, kKana, kJis0208, kOutside0208, kBad };

struct SjisChar {
  SjisKind kind;
  size_t length;
};

SjisChar ReadSjis(std::string_view in, size_t i) {
  uint8_t b = At(in, i);
  if (b < 0x80) return {SjisKind::kSingle, 1};
  if (IsHalfWidthKana(b)) return {SjisKind::kKana, 1};
  if (IsSjisLead(b) && i + 1 < in.size() && IsSjisTrail(At(in, i + 1))) {
    return {IsJis0208Lead(b) ? SjisKind::kJis0208 : SjisKind::kOutside0208, 2};
  }
  return {SjisKind::kBad, 1};
}

/* One EUC-JP character. */
enum class EucKind { kSingle, kKana, kJis0208, kJis0212, kBad };

struct EucChar {
  EucKind kind;
  size_t length;
};

EucChar ReadEuc(std::string_view in, size_t i) {
  uint8_t b = At(in, i);
  size_t left = in.size() - i;
  if (b < 0x80) return {EucKind::kSingle, 1};
  if (b == 0x8E) {
    if (left >= 2 && IsHalfWidthKana(At(in, i + 1))) return {EucKind::kKana, 2};
    return {EucKind::kBad, 1};
  }
  if (b == 0x8F) {
    if (left >= 3 && IsEucByte(At(in, i + 1)) && IsEucByte(At(in, i + 2))) return {EucKind::kJis0212, 3};
    return {EucKind::kBad, 1};
  }
  if (IsEucByte(b) && left >= 2 && IsEucByte(At(in, i + 1))) return {EucKind::kJis0208, 2};
  return {EucKind::kBad, 1};
}

/* ---- ISO-2022-JP reading ---------------------------------------------------- */

enum class JisMode { kASCII, kJis0208, kJis0212, kKana };

/* The escape sequence at in[i] (in[i] is ESC): its length and the mode it
** selects; length 0 when it is none we know.  An announcer changes
** nothing: it selects the mode we are in. */
size_t ReadEscape(std::string_view in, size_t i, JisMode current, JisMode* mode) {
  std::string_view rest = in.substr(i + 1);
  struct Sequence {
    std::string_view tail;
    JisMode mode;
  };
  static const Sequence kSequences[] = {
      {"(B", JisMode::kASCII},   {"(J", JisMode::kASCII},    {"(I", JisMode::kKana},
      {"$@", JisMode::kJis0208}, {"$B", JisMode::kJis0208},  {"$(B", JisMode::kJis0208},
      {"$(D", JisMode::kJis0212},
  };
  for (const Sequence& s : kSequences) {
    if (rest.substr(0, s.tail.size()) == s.tail) {
      *mode = s.mode;
      return 1 + s.tail.size();
    }
  }
  if (rest.substr(0, 2) == "&@") {
    *mode = current;
    return 3;
  }
  return 0;
}

bool IsJisEscapeStart(std::string_view in, size_t i) {
  JisMode ignored;
  return ReadEscape(in, i, JisMode::kASCII, &ignored) != 0 && in.substr(i + 1, 2) != "&@";
}

/* ---- ISO-2022-JP writing ------------------------------------------------------ */

class JisWriter {
 public:
  explicit JisWriter(std::string& out) : out_(out) {}

  void Switch(JisMode mode) {
    if (mode == mode_) return;
    switch (mode) {
      case JisMode::kASCII: out_ += "\x1B(B"; break;
      case JisMode::kJis0208: out_ += "\x1B$B"; break;
      case JisMode::kKana: out_ += "\x1B(I"; break;
      case JisMode::kJis0212: assert(false && "never written"); break;
    }
    mode_ = mode;
  }
  void Put(uint8_t b) { out_.push_back(static_cast<char>(b)); }
  void PutASCII(uint8_t b) {
    Switch(JisMode::kASCII);
    Put(b);
  }

 private:
  std::string& out_;
  JisMode mode_ = JisMode::kASCII;
};

/* ---- guessing -------------------------------------------------------------- */

struct Tally {
  int bad = 0;
  int score = 0;
};

bool BetterThan(const Tally& a, const Tally& b) {
  if (a.bad != b.bad) return a.bad < b.bad;
  return a.score > b.score;
}

Tally TallyShiftJIS(std::string_view in) {
  Tally t;
  for (size_t i = 0; i < in.size();) {
    SjisChar c = ReadSjis(in, i);
    if (c.kind == SjisKind::kBad) {
      ++t.bad;
    } else if (c.length == 2) {
      uint8_t lead = At(in, i);
      t.score += (lead == 0x82 || lead == 0x83) ? 2 : 1;
    }
    i += c.length;
  }
  return t;
}

Tally TallyEucJP(std::string_view in) {
  Tally t;
  for (size_t i = 0; i < in.size();) {
    EucChar c = ReadEuc(in, i);
    if (c.kind == EucKind::kBad) {
      ++t.bad;
    } else if (c.kind == EucKind::kJis0208) {
      uint8_t lead = At(in, i);
      t.score += (lead == 0xA4 || lead == 0xA5) ? 2 : 1;
    } else if (c.kind == EucKind::kJis0212) {
      t.score += 1;
    }
    i += c.length;
  }
  return t;
}

} // namespace

void ShiftJISToEucJP(std::string_view in, std::string& out) {
  for (size_t i = 0; i < in.size();) {
    SjisChar c = ReadSjis(in, i);
    uint8_t b = At(in, i);
    switch (c.kind) {
      case SjisKind::kSingle:
        out.push_back(static_cast<char>(b));
        break;
      case SjisKind::kKana:
        out.push_back(static_cast<char>(0x8E));
        out.push_back(static_cast<char>(b));
        break;
      case SjisKind::kJis0208: {
        JisPair j = SjisToJis(b, At(in, i + 1));
        out.push_back(static_cast<char>(j.j1 | 0x80));
        out.push_back(static_cast<char>(j.j2 | 0x80));
        break;
      }
      case SjisKind::kOutside0208:
      case SjisKind::kBad:
        out.push_back(kUnmappable);
        break;
    }
    i += c.length;
  }
}

void EucJPToShiftJIS(std::string_view in, std::string& out) {
  for (size_t i = 0; i < in.size();) {
    EucChar c = ReadEuc(in, i);
    switch (c.kind) {
      case EucKind::kSingle:
        out.push_back(in[i]);
        break;
      case EucKind::kKana:
        out.push_back(in[i + 1]);
        break;
      case EucKind::kJis0208:
        AppendJisAsSjis(At(in, i) & 0x7F, At(in, i + 1) & 0x7F, out);
        break;
      case EucKind::kJis0212:
      case EucKind::kBad:
        out.push_back(kUnmappable);
        break;
    }
    i += c.length;
  }
}

void ISO2022JPToShiftJIS(std::string_view in, std::string& out) {
  JisMode mode = JisMode::kASCII;
  bool shifted = false; /* SO ... SI: katakana bytes whatever the mode */
  for (size_t i = 0; i < in.size();) {
    uint8_t b = At(in, i);
    if (b == kEsc) {
      size_t n = ReadEscape(in, i, mode, &mode);
      if (n != 0) {
        i += n;
        continue;
      }
    }
    if (b == kShiftOut || b == kShiftIn) {
      shifted = b == kShiftOut;
      ++i;
      continue;
    }
    if (b < 0x21 || b == 0x7F) { /* controls and space read the same in every mode */
      out.push_back(static_cast<char>(b));
      ++i;
      continue;
    }
    if (b >= 0x80) { /* eight-bit bytes have no place in this 7-bit form */
      out.push_back(kUnmappable);
      ++i;
      continue;
    }
    JisMode effective = shifted ? JisMode::kKana : mode;
    switch (effective) {
      case JisMode::kASCII:
        out.push_back(static_cast<char>(b));
        ++i;
        break;
      case JisMode::kKana:
        out.push_back(b <= 0x5F ? static_cast<char>(b | 0x80) : kUnmappable);
        ++i;
        break;
      case JisMode::kJis0208:
      case JisMode::kJis0212:
        if (i + 1 < in.size() && IsJisByte(At(in, i + 1))) {
          if (effective == JisMode::kJis0208) {
            AppendJisAsSjis(b, At(in, i + 1), out);
          } else {
            out.push_back(kUnmappable);
          }
          i += 2;
        } else {
          out.push_back(kUnmappable);
          ++i;
        }
        break;
    }
  }
}

void ShiftJISToISO2022JP(std::string_view in, std::string& out) {
  JisWriter w(out);
  for (size_t i = 0; i < in.size();) {
    SjisChar c = ReadSjis(in, i);
    uint8_t b = At(in, i);
    switch (c.kind) {
      case SjisKind::kSingle:
        w.PutASCII(b);
        break;
      case SjisKind::kKana:
        w.Switch(JisMode::kKana);
        w.Put(b & 0x7F);
        break;
      case SjisKind::kJis0208: {
        JisPair j = SjisToJis(b, At(in, i + 1));
        w.Switch(JisMode::kJis0208);
        w.Put(j.j1);
        w.Put(j.j2);
        break;
      }
      case SjisKind::kOutside0208:
      case SjisKind::kBad:
        w.PutASCII(kUnmappable);
        break;
    }
    i += c.length;
  }
  w.Switch(JisMode::kASCII);
}

JapaneseEncoding GuessJapaneseEncoding(std::string_view bytes) {
  bool highBytes = false;
  bool jisEscape = false;
  for (size_t i = 0; i < bytes.size(); ++i) {
    uint8_t b = At(bytes, i);
    if (b >= 0x80) highBytes = true;
    if (b == kEsc && IsJisEscapeStart(bytes, i)) jisEscape = true;
  }
  if (!highBytes) return jisEscape ? JapaneseEncoding::kISO2022JP : JapaneseEncoding::kShiftJIS;
  Tally sjis = TallyShiftJIS(bytes);
  Tally euc = TallyEucJP(bytes);
  return BetterThan(euc, sjis) ? JapaneseEncoding::kEucJP : JapaneseEncoding::kShiftJIS;
}

} // namespace quendal
