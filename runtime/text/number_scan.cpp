/*
** Number scans: see number_scan.h for the two grammars.  The scanners
** only decide which bytes form the number; the digits they accept are
** then converted by strtod_l under the "C" locale, so the result is the
** correctly rounded value whatever the process locale says.
*/
#include "runtime/text/number_scan.h"

#include <cstdint>
#include <cstdlib>
#include <locale.h>
#include <string>

namespace quendal {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

/* Converts a validated decimal text ("-12.5e3") exactly. */
double DecimalValue(const std::string& text) {
  static locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(0));
  return strtod_l(text.c_str(), nullptr, cLocale);
}

/* Value of the digits after "&h", "&o" or "&b", up to the first byte that
** is not a digit of the base. */
double PrefixedValue(std::string_view digits, unsigned base) {
  uint64_t value = 0;
  for (char c : digits) {
    unsigned d;
    if (IsDigit(c)) d = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
    else break;
    if (d >= base) break;
    value = value * base + d;
  }
  return static_cast<double>(value);
}

size_t SkipDigits(std::string_view t, size_t i) {
  while (i < t.size() && IsDigit(t[i])) i++;
  return i;
}

} // namespace

double ScanNumberLenient(std::string_view t) {
  if (t.size() > 1 && t[0] == '&') {
    switch (t[1]) {
      case 'h': case 'H': return PrefixedValue(t.substr(2), 16);
      case 'o': case 'O': return PrefixedValue(t.substr(2), 8);
      case 'b': case 'B': return PrefixedValue(t.substr(2), 2);
      default: return 0;
    }
  }
  size_t i = 0;
  while (i < t.size() && (t[i] == ' ' || (t[i] >= '\t' && t[i] <= '\r'))) i++;
  size_t start = i;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) i++;
  size_t intStart = i;
  i = SkipDigits(t, i);
  bool digits = i > intStart;
  if (i < t.size() && t[i] == '.') {
    size_t fracStart = i + 1;
    size_t fracEnd = SkipDigits(t, fracStart);
    if (digits || fracEnd > fracStart) {
      digits = true;
      i = fracEnd;
    }
  }
  if (!digits) return 0;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    size_t e = i + 1;
    if (e < t.size() && (t[e] == '+' || t[e] == '-')) e++;
    size_t expEnd = SkipDigits(t, e);
    if (expEnd > e) i = expEnd;
  }
  return DecimalValue(std::string(t.substr(start, i - start)));
}

bool ScanNumberChecked(std::string_view t, double* value) {
  size_t i = 0;
  while (i < t.size() && (t[i] == ' ' || t[i] == '\t' || t[i] == '\n' || t[i] == '\r')) i++;
  std::string number;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) number += t[i++];
  bool intDigits = false, fracDigits = false;
  while (i < t.size() && (IsDigit(t[i]) || (t[i] == ',' && intDigits))) {
    if (t[i] != ',') {
      number += t[i];
      intDigits = true;
    }
    i++;
  }
  if (i < t.size() && t[i] == '.') {
    number += t[i++];
    while (i < t.size() && IsDigit(t[i])) {
      number += t[i++];
      fracDigits = true;
    }
  }
  if (!intDigits && !fracDigits) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E' || t[i] == 'd' || t[i] == 'D')) {
    if (!intDigits) return false;
    number += 'e';
    i++;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) number += t[i++];
    size_t expStart = i;
    while (i < t.size() && IsDigit(t[i])) number += t[i++];
    if (i == expStart) return false;
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t' || t[i] == '\n' || t[i] == '\r')) i++;
  }
  if (i != t.size()) return false;
  if (value) *value = DecimalValue(number);
  return true;
}

} // namespace quendal
