/*
** The picture format: the section is read into a list of tokens, the
** number is printed once with the decimals the tokens ask for, and its
** digits are then laid into the tokens.  See number_format.h for the rules.
*/
#include "runtime/text/number_format.h"

#include <cmath>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/text/number_text.h"
#include "runtime/text/string_compare.h"

namespace quendal {

namespace {

enum class TokenKind { kDigitZero, kDigitHash, kPoint, kPercent, kPlus, kMinus, kExponent, kLiteral };

struct Token {
  TokenKind kind;
  std::string literal;       /* kLiteral: the text to print */
  bool inFraction = false;   /* digit placeholder after the point */
  char mark = 0;             /* kExponent: 'e' or 'E' */
  char signMode = 0;         /* kExponent: '+', '-' or 0 */
  int minDigits = 0;         /* kExponent: "0"s after the mark */
};

struct Section {
  std::vector<Token> tokens;
  bool grouping = false;
  bool percent = false;
  bool exponent = false;
  bool hasSign = false;      /* "+", "-" or "(" */
  int integerPlaces = 0;
  int fractionPlaces = 0;
};

/* Bytes of the UTF-8 character that starts at i (1 for a stray byte). */
size_t CharacterLength(std::string_view s, size_t i) {
  size_t n = 1;
  while (i + n < s.size() && (uint8_t(s[i + n]) & 0xC0) == 0x80) n++;
  return n;
}

/* Splits at ";" not escaped by "\"; at most three sections. */
std::vector<std::string> SplitSections(std::string_view picture) {
  std::vector<std::string> sections(1);
  for (size_t i = 0; i < picture.size(); i++) {
    if (picture[i] == '\\' && i + 1 < picture.size()) {
      sections.back() += picture.substr(i, 1 + CharacterLength(picture, i + 1));
      i += CharacterLength(picture, i + 1);
    } else if (picture[i] == ';') {
      if (sections.size() == 3) break;
      sections.emplace_back();
    } else {
      sections.back() += picture[i];
    }
  }
  return sections;
}

void AddLiteral(Section& s, std::string_view text) {
  if (!s.tokens.empty() && s.tokens.back().kind == TokenKind::kLiteral) {
    s.tokens.back().literal += text;
  } else {
    s.tokens.push_back(Token{TokenKind::kLiteral, std::string(text)});
  }
}

/* An "e" or "E" marks the exponent only after a digit placeholder and
** before a sign or an exponent digit; elsewhere ("zero", "# items") it is
** a letter. */
bool StartsExponent(const Section& s, std::string_view text, size_t i) {
  if (s.exponent || s.integerPlaces + s.fractionPlaces == 0 || i + 1 >= text.size()) return false;
  char next = text[i + 1];
  return next == '+' || next == '-' || next == '0' || next == '#';
}

/* Reads the exponent that starts with the mark at i; returns the index of
** its last character. */
size_t ReadExponent(Section& s, std::string_view text, size_t i) {
  Token t{TokenKind::kExponent, {}};
  t.mark = text[i];
  size_t j = i + 1;
  if (j < text.size() && (text[j] == '+' || text[j] == '-')) t.signMode = text[j++];
  for (; j < text.size() && (text[j] == '0' || text[j] == '#'); j++) {
    if (text[j] == '0') t.minDigits++;
  }
  s.tokens.push_back(t);
  s.exponent = true;
  return j - 1;
}

Section ParseSection(std::string_view text) {
  Section s;
  bool afterPoint = false;
  for (size_t i = 0; i < text.size(); i++) {
    char c = text[i];
    switch (c) {
      case '#':
      case '0': {
        Token t{c == '0' ? TokenKind::kDigitZero : TokenKind::kDigitHash, {}};
        t.inFraction = afterPoint;
        (afterPoint ? s.fractionPlaces : s.integerPlaces)++;
        s.tokens.push_back(t);
        break;
      }
      case '.':
        if (afterPoint || s.exponent) {
          AddLiteral(s, ".");
        } else {
          afterPoint = true;
          s.tokens.push_back(Token{TokenKind::kPoint, {}});
        }
        break;
      case ',':
        if (!afterPoint) s.grouping = true;
        break;
      case '%':
        s.percent = true;
        s.tokens.push_back(Token{TokenKind::kPercent, {}});
        break;
      case '+':
      case '-':
        s.hasSign = true;
        s.tokens.push_back(Token{c == '+' ? TokenKind::kPlus : TokenKind::kMinus, {}});
        break;
      case '(':
        s.hasSign = true;
        AddLiteral(s, "(");
        break;
      case 'e':
      case 'E':
        if (StartsExponent(s, text, i)) i = ReadExponent(s, text, i);
        else AddLiteral(s, text.substr(i, 1));
        break;
      case '\\':
        if (i + 1 < text.size()) {
          size_t n = CharacterLength(text, i + 1);
          AddLiteral(s, text.substr(i + 1, n));
          i += n;
        }
        break;
      default: {
        size_t n = CharacterLength(text, i);
        AddLiteral(s, text.substr(i, n));
        i += n - 1;
      }
    }
  }
  return s;
}

/* A section with no integer placeholder prints the integer digits where a
** "#" before its point (or before its first fraction digit or exponent)
** would print them.  A section of literals only prints no number. */
void AddImplicitIntegerPlace(Section& s) {
  for (size_t i = 0; i < s.tokens.size(); i++) {
    TokenKind k = s.tokens[i].kind;
    if (k == TokenKind::kPoint || k == TokenKind::kExponent || k == TokenKind::kDigitZero ||
        k == TokenKind::kDigitHash) {
      s.tokens.insert(s.tokens.begin() + ptrdiff_t(i), Token{TokenKind::kDigitHash, {}});
      s.integerPlaces = 1;
      return;
    }
  }
}

/* The number split into its digit groups. */
struct Digits {
  std::string integer;   /* "" when the fixed value is below 1 */
  std::string fraction;  /* exactly fractionPlaces digits */
  int exponent = 0;
};

Digits PrintDigits(double magnitude, const Section& s) {
  Digits d;
  std::string text = s.exponent ? ExponentNotation(magnitude, s.fractionPlaces)
                                : FixedNotation(magnitude, s.fractionPlaces);
  size_t e = text.find('e');
  std::string mantissa = text.substr(0, e);
  if (e != std::string::npos) d.exponent = std::stoi(text.substr(e + 1));
  size_t point = mantissa.find('.');
  d.integer = mantissa.substr(0, point);
  if (point != std::string::npos) d.fraction = mantissa.substr(point + 1);
  if (!s.exponent && d.integer == "0") d.integer.clear();
  return d;
}

/* Lays the digits into the tokens. */
class Layout {
 public:
  Layout(const Section& s, const Digits& d, bool negative, NumberSeparators separators)
      : s_(s), d_(d), negative_(negative), separators_(std::move(separators)) {}

  std::string Run() {
    CountIntegerDigits();
    FindFractionEnd();
    int integerPlace = 0;
    int fractionPlace = 0;
    for (const Token& t : s_.tokens) {
      switch (t.kind) {
        case TokenKind::kDigitZero:
        case TokenKind::kDigitHash:
          if (t.inFraction) EmitFractionPlace(fractionPlace++);
          else EmitIntegerPlace(integerPlace++, t.kind == TokenKind::kDigitZero);
          break;
        case TokenKind::kPoint:
          if (fractionEnd_ > 0) out_ += separators_.decimal;
          break;
        case TokenKind::kPercent: out_ += '%'; break;
        case TokenKind::kPlus: out_ += negative_ ? '-' : '+'; break;
        case TokenKind::kMinus:
          if (negative_) out_ += '-';
          break;
        case TokenKind::kExponent: EmitExponent(t); break;
        case TokenKind::kLiteral: out_ += t.literal; break;
      }
    }
    return out_;
  }

  bool PrintedNonZeroDigit() const { return nonZero_; }

 private:
  /* Digits the integer places print in all, zero padding included. */
  void CountIntegerDigits() {
    const int count = int(d_.integer.size());
    int place = 0;
    total_ = 0;
    for (const Token& t : s_.tokens) {
      if ((t.kind != TokenKind::kDigitZero && t.kind != TokenKind::kDigitHash) || t.inFraction) continue;
      int pad = s_.integerPlaces - count;
      if (place < pad) total_ += t.kind == TokenKind::kDigitZero ? 1 : 0;
      else total_ += place == 0 ? count - s_.integerPlaces + 1 : 1;
      place++;
    }
  }

  /* Fraction digits printed: trailing zeros under "#" are dropped. */
  void FindFractionEnd() {
    std::vector<bool> hash;
    for (const Token& t : s_.tokens) {
      if ((t.kind == TokenKind::kDigitZero || t.kind == TokenKind::kDigitHash) && t.inFraction) {
        hash.push_back(t.kind == TokenKind::kDigitHash);
      }
    }
    fractionEnd_ = int(d_.fraction.size());
    while (fractionEnd_ > 0 && d_.fraction[size_t(fractionEnd_ - 1)] == '0' && hash[size_t(fractionEnd_ - 1)]) {
      fractionEnd_--;
    }
  }

  void EmitDigit(char digit) {
    out_ += digit;
    if (digit != '0') nonZero_ = true;
    emitted_++;
    int remaining = total_ - emitted_;
    if (s_.grouping && remaining > 0 && remaining % 3 == 0) out_ += separators_.thousands;
  }

  void EmitIntegerPlace(int place, bool zero) {
    const int count = int(d_.integer.size());
    const int pad = s_.integerPlaces - count;
    if (place < pad) {
      if (zero) EmitDigit('0');
      return;
    }
    /* the leftmost place also takes the digits that have no place */
    int first = place == 0 ? 0 : place - pad;
    int last = place - pad;
    for (int i = first; i <= last && i < count; i++) EmitDigit(d_.integer[size_t(i)]);
  }

  void EmitFractionPlace(int place) {
    if (place >= fractionEnd_) return;
    char digit = d_.fraction[size_t(place)];
    out_ += digit;
    if (digit != '0') nonZero_ = true;
  }

  void EmitExponent(const Token& t) {
    out_ += t.mark;
    if (d_.exponent < 0) out_ += '-';
    else if (t.signMode == '+') out_ += '+';
    std::string digits = std::to_string(d_.exponent < 0 ? -d_.exponent : d_.exponent);
    int width = t.minDigits > 1 ? t.minDigits : 1;
    if (int(digits.size()) < width) digits.insert(0, size_t(width) - digits.size(), '0');
    out_ += digits;
  }

  const Section& s_;
  const Digits& d_;
  const bool negative_;
  const NumberSeparators separators_;
  std::string out_;
  int total_ = 0;
  int emitted_ = 0;
  int fractionEnd_ = 0;
  bool nonZero_ = false;
};

bool IsScientificName(std::string_view picture) {
  return CompareRawBytes(picture, "Scientific", true) == 0;
}

std::string FormatWithPicture(double value, std::string picture) {
  if (std::isnan(value) || std::isinf(value) || picture.empty()) return FormatGeneralNumber(value, 7);
  if (IsScientificName(picture)) picture = "-#.000000E+";
  std::vector<std::string> sections = SplitSections(picture);
  size_t chosen = 0;
  if (value < 0 && sections.size() >= 2 && !sections[1].empty()) chosen = 1;
  if (value == 0 && sections.size() >= 3 && !sections[2].empty()) chosen = 2;
  Section s = ParseSection(sections[chosen]);

  const bool negative = value < 0;
  double magnitude = std::fabs(value);
  if (s.percent) magnitude *= 100.0;
  Digits digits = PrintDigits(magnitude, s);
  if (s.integerPlaces == 0 && (!digits.integer.empty() || s.exponent)) AddImplicitIntegerPlace(s);

  Layout layout(s, digits, negative, UserNumberSeparators());
  std::string text = layout.Run();
  if (negative && chosen == 0 && !s.hasSign && layout.PrintedNonZeroDigit()) text.insert(0, "-");
  return text;
}

} // namespace

} // namespace quendal

using namespace quendal;

ORVAstring StringFormat(double value, ORVAstring picture) {
  return NumberTextString(FormatWithPicture(value, NumberTextBytes(picture)));
}
