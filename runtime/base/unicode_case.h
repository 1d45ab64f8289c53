/*
** Unicode case mapping of single code points.
**
** The table holds the simple one-to-one (upper, lower) pairs of the Basic
** Multilingual Plane; it is a bijection between its two columns, generated
** by tools/gen_unicode_case.cpp into unicode_case_table.inc.  A code point
** outside the table (digits, punctuation, caseless scripts, letters whose
** case partner is not one-to-one, everything above U+FFFF) maps to itself.
**
** The table is constant data: the functions are safe from any thread.
*/
#ifndef QUENDAL_BASE_UNICODE_CASE_H
#define QUENDAL_BASE_UNICODE_CASE_H

#include <cstdint>

namespace quendal {

uint32_t UnicodeToUpper(uint32_t codePoint);
uint32_t UnicodeToLower(uint32_t codePoint);

/* Number of (upper, lower) pairs in the table. */
int32_t UnicodeCasePairCount();

} // namespace quendal

#endif
