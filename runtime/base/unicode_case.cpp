/*
** Unicode case mapping: binary search in two sorted copies of the pair
** table, one ordered by the upper-case column (for lowering) and one by
** the lower-case column (for raising).  ASCII takes a short cut because
** nearly every lookup is ASCII.
*/
#include "runtime/base/unicode_case.h"

#include <algorithm>
#include <iterator>

namespace quendal {

namespace {

struct CasePair {
  uint16_t upper;
  uint16_t lower;
};

#include "runtime/base/unicode_case_table.inc"

static_assert(std::size(kCaseByUpper) == std::size(kCaseByLower),
              "both orderings hold the same pairs");

} // namespace

uint32_t UnicodeToUpper(uint32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 0x20 : c;
  if (c > 0xFFFF) return c;
  auto it = std::lower_bound(std::begin(kCaseByLower), std::end(kCaseByLower), c,
                             [](const CasePair& p, uint32_t v) { return p.lower < v; });
  return (it != std::end(kCaseByLower) && it->lower == c) ? it->upper : c;
}

uint32_t UnicodeToLower(uint32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
  if (c > 0xFFFF) return c;
  auto it = std::lower_bound(std::begin(kCaseByUpper), std::end(kCaseByUpper), c,
                             [](const CasePair& p, uint32_t v) { return p.upper < v; });
  return (it != std::end(kCaseByUpper) && it->upper == c) ? it->lower : c;
}

int32_t UnicodeCasePairCount() { return static_cast<int32_t>(std::size(kCaseByUpper)); }

} // namespace quendal
