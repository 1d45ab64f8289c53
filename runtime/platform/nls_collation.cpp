/*
** Collation: CompareStringW and CompareStringA over ICU's root collator
** (nls.h states the order and how each flag configures the collator).
**
** One collator per combination of the three weight flags is opened on
** first use, configured, and from then on only read: ICU allows shared
** read-only use of a collator from several threads.  They are closed when
** the process ends.
**
** Invariant: CSTR_EQUAL means the texts are the same once folded as the
** flags allow (FoldedText); the collator's order is refined, never
** contradicted.
*/
#include <unicode/ucol.h>
#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <climits>
#include <mutex>
#include <string>

#include "runtime/platform/errors.h"
#include "runtime/platform/nls.h"
#include "runtime/platform/nls_internal.h"

namespace quendal::platform {

namespace {

constexpr DWORD kWeightFlags = NORM_IGNORECASE | NORM_IGNORENONSPACE | NORM_IGNORESYMBOLS;
constexpr DWORD kAcceptedFlags = kWeightFlags | SORT_STRINGSORT;

class CollatorCache {
 public:
  ~CollatorCache() {
    for (UCollator* c : collators_) {
      if (c != nullptr) ucol_close(c);
    }
  }

  /* The configured collator for the weight flags, or null. */
  const UCollator* Get(DWORD weightFlags) {
    std::lock_guard<std::mutex> lock(mutex_);
    UCollator*& slot = collators_[weightFlags];
    if (slot == nullptr) slot = Open(weightFlags);
    return slot;
  }

 private:
  static UCollator* Open(DWORD flags) {
    UErrorCode status = U_ZERO_ERROR;
    UCollator* c = ucol_open("", &status);
    if (U_FAILURE(status)) return nullptr;
    const bool ignoreCase = (flags & NORM_IGNORECASE) != 0;
    const bool ignoreAccents = (flags & NORM_IGNORENONSPACE) != 0;
    ucol_setAttribute(c, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    if (ignoreAccents) {
      ucol_setStrength(c, UCOL_PRIMARY);
      /* Accents go, case stays unless it is ignored too. */
      if (!ignoreCase) ucol_setAttribute(c, UCOL_CASE_LEVEL, UCOL_ON, &status);
    } else {
      ucol_setStrength(c, ignoreCase ? UCOL_SECONDARY : UCOL_TERTIARY);
    }
    if ((flags & NORM_IGNORESYMBOLS) != 0) {
      ucol_setAttribute(c, UCOL_ALTERNATE_HANDLING, UCOL_SHIFTED, &status);
      ucol_setMaxVariable(c, UCOL_REORDER_CODE_CURRENCY, &status);
    }
    if (U_FAILURE(status)) {
      ucol_close(c);
      return nullptr;
    }
    return c;
  }

  std::mutex mutex_;
  UCollator* collators_[kWeightFlags + 1] = {};
};

CollatorCache gCollators;

int FailWith(DWORD error) {
  SetLastError(error);
  return 0;
}

size_t TerminatedUnits(const WCHAR* s) {
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

/* The text as the flags let it be seen: case folded (NORM_IGNORECASE),
** in canonical decomposition, without nonspacing marks
** (NORM_IGNORENONSPACE) and without white space, punctuation and symbols
** (NORM_IGNORESYMBOLS).  False when ICU fails. */
bool FoldedText(DWORD flags, const char16_t* s, int32_t n, std::u16string& out) {
  UErrorCode status = U_ZERO_ERROR;
  std::u16string folded(s, static_cast<size_t>(n));
  if ((flags & NORM_IGNORECASE) != 0) {
    const int32_t need = u_strFoldCase(nullptr, 0, s, n, U_FOLD_CASE_DEFAULT, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return false;
    status = U_ZERO_ERROR;
    folded.resize(static_cast<size_t>(need));
    u_strFoldCase(folded.data(), need, s, n, U_FOLD_CASE_DEFAULT, &status);
    if (U_FAILURE(status)) return false;
  }
  const UNormalizer2* nfd = unorm2_getNFDInstance(&status);
  if (U_FAILURE(status)) return false;
  const int32_t length = static_cast<int32_t>(folded.size());
  const int32_t need = unorm2_normalize(nfd, folded.data(), length, nullptr, 0, &status);
  if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return false;
  status = U_ZERO_ERROR;
  std::u16string decomposed(static_cast<size_t>(need), u'\0');
  unorm2_normalize(nfd, folded.data(), length, decomposed.data(), need, &status);
  if (U_FAILURE(status)) return false;

  out.clear();
  for (int32_t i = 0; i < need;) {
    const int32_t start = i;
    UChar32 c;
    U16_NEXT(decomposed.data(), i, need, c);
    const int8_t category = u_charType(c);
    const bool mark = category == U_NON_SPACING_MARK;
    const bool symbol = (U_GET_GC_MASK(c) & (U_GC_P_MASK | U_GC_S_MASK | U_GC_Z_MASK)) != 0 ||
                        (c >= 0x09 && c <= 0x0D) || c == 0x85;
    if ((mark && (flags & NORM_IGNORENONSPACE) != 0) ||
        (symbol && (flags & NORM_IGNORESYMBOLS) != 0)) {
      continue;
    }
    out.append(decomposed, static_cast<size_t>(start), static_cast<size_t>(i - start));
  }
  return true;
}

} // namespace

namespace nls {

/* The collator decides first.  When it finds no difference, the texts are
** compared as the flags let them be seen, code point by code point: two
** texts are equal only when they differ in nothing but what the flags
** ignore.  (Win32's collation, like ICU's, also ignores characters without
** weight, such as controls: "\x81" and "\x8D" would compare equal.) */
int CompareUnits(DWORD flags, const char16_t* a, size_t aLen, const char16_t* b, size_t bLen) {
  if ((flags & ~kAcceptedFlags) != 0) return FailWith(ERROR_INVALID_FLAGS);
  if (aLen > INT32_MAX || bLen > INT32_MAX) return FailWith(ERROR_INVALID_PARAMETER);
  if (aLen == bLen && std::char_traits<char16_t>::compare(a, b, aLen) == 0) return CSTR_EQUAL;
  const UCollator* collator = gCollators.Get(flags & kWeightFlags);
  if (collator == nullptr) return FailWith(ERROR_NOT_ENOUGH_MEMORY);
  const int32_t an = static_cast<int32_t>(aLen);
  const int32_t bn = static_cast<int32_t>(bLen);
  switch (ucol_strcoll(collator, a, an, b, bn)) {
    case UCOL_LESS: return CSTR_LESS_THAN;
    case UCOL_GREATER: return CSTR_GREATER_THAN;
    case UCOL_EQUAL: break;
  }
  std::u16string fa;
  std::u16string fb;
  if (!FoldedText(flags, a, an, fa) || !FoldedText(flags, b, bn, fb)) {
    return FailWith(ERROR_NOT_ENOUGH_MEMORY);
  }
  const int32_t order = u_strCompare(fa.data(), static_cast<int32_t>(fa.size()), fb.data(),
                                     static_cast<int32_t>(fb.size()), true);
  return order < 0 ? CSTR_LESS_THAN : order > 0 ? CSTR_GREATER_THAN : CSTR_EQUAL;
}

} // namespace nls

int CompareStringW(LCID, DWORD flags, const WCHAR* a, int aLen, const WCHAR* b, int bLen) {
  if (a == nullptr || b == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
  const size_t an = aLen < 0 ? TerminatedUnits(a) : static_cast<size_t>(aLen);
  const size_t bn = bLen < 0 ? TerminatedUnits(b) : static_cast<size_t>(bLen);
  return nls::CompareUnits(flags, a, an, b, bn);
}

int CompareStringInCodePageA(UINT codePage, DWORD flags, const char* a, int aLen, const char* b,
                             int bLen) {
  if (a == nullptr || b == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
  const nls::CodePage* cp = nls::FindServedCodePage(codePage);
  if (cp == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
  /* Without the terminator: it is no part of the text compared. */
  const size_t unit = nls::TerminatorSize(*cp);
  const size_t an = aLen < 0 ? nls::TerminatedLength(a, unit) - unit : static_cast<size_t>(aLen);
  const size_t bn = bLen < 0 ? nls::TerminatedLength(b, unit) - unit : static_cast<size_t>(bLen);
  std::u16string wa;
  std::u16string wb;
  if (nls::DecodeBytes(*cp, reinterpret_cast<const uint8_t*>(a), an, nls::BadText::kEscape, wa) !=
          nls::Converted::kOk ||
      nls::DecodeBytes(*cp, reinterpret_cast<const uint8_t*>(b), bn, nls::BadText::kEscape, wb) !=
          nls::Converted::kOk) {
    return FailWith(ERROR_NOT_ENOUGH_MEMORY);
  }
  return nls::CompareUnits(flags, wa.data(), wa.size(), wb.data(), wb.size());
}

int CompareStringA(LCID, DWORD flags, const char* a, int aLen, const char* b, int bLen) {
  return CompareStringInCodePageA(GetACP(), flags, a, aLen, b, bLen);
}

} // namespace quendal::platform
