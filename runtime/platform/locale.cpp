/*
** The user's default language id from the POSIX locale environment.
**
** A locale name is "ll[_CC][.codeset][@modifier]" ("-" is accepted for
** "_").  A Win32 language id is MAKELANGID(primary, sub) = sub << 10 |
** primary.  Known language and country pairs map to their own ids; a
** known language with no or an unknown country maps to its primary id with
** SUBLANG_DEFAULT (1); anything else, "C" and "POSIX" included, is
** English (United States), 0x0409.
**
** Number separators come from ICU's number symbols for the locale named
** "ll_CC@numbers=latn" (the Latin digits' symbols, as Win32 gives them
** whatever the locale's native digits are).
*/
#include "runtime/platform/locale.h"

#include <unicode/unum.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "runtime/platform/errors.h"

namespace quendal::platform {

static constexpr LANGID kEnglishUnitedStates = 0x0409;
static constexpr LANGID kSublangDefault = 1 << 10;

struct PrimaryLanguage {
  const char* language;
  LANGID primary;
};

static const PrimaryLanguage kPrimaryLanguages[] = {
    {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06},
    {"de", 0x07}, {"el", 0x08}, {"en", 0x09}, {"es", 0x0A}, {"fi", 0x0B}, {"fr", 0x0C},
    {"he", 0x0D}, {"hu", 0x0E}, {"is", 0x0F}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12},
    {"nl", 0x13}, {"nb", 0x14}, {"no", 0x14}, {"pl", 0x15}, {"pt", 0x16}, {"ro", 0x18},
    {"ru", 0x19}, {"hr", 0x1A}, {"sk", 0x1B}, {"sv", 0x1D}, {"th", 0x1E}, {"tr", 0x1F},
    {"id", 0x21}, {"uk", 0x22}, {"sl", 0x24}, {"et", 0x25}, {"lv", 0x26}, {"lt", 0x27},
    {"vi", 0x2A}, {"hi", 0x39},
};

struct CountryLanguage {
  const char* locale; /* "ll_CC" */
  LANGID id;
};

/* Language and country pairs with their ids; a pair whose id is primary |
** SUBLANG_DEFAULT is listed too, so that this is the list of pairs known. */
static const CountryLanguage kCountryLanguages[] = {
    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009},
    {"en_NZ", 0x1409}, {"en_IE", 0x1809}, {"fr_FR", 0x040C}, {"fr_BE", 0x080C},
    {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C}, {"de_DE", 0x0407}, {"de_CH", 0x0807},
    {"de_AT", 0x0C07}, {"it_IT", 0x0410}, {"it_CH", 0x0810}, {"es_ES", 0x0C0A},
    {"es_MX", 0x080A}, {"ja_JP", 0x0411}, {"ko_KR", 0x0412}, {"zh_TW", 0x0404},
    {"zh_CN", 0x0804}, {"zh_HK", 0x0C04}, {"zh_SG", 0x1004}, {"zh_MO", 0x1404},
    {"ru_RU", 0x0419}, {"he_IL", 0x040D}, {"ar_SA", 0x0401}, {"ar_EG", 0x0C01},
    {"el_GR", 0x0408}, {"tr_TR", 0x041F}, {"th_TH", 0x041E}, {"pl_PL", 0x0415},
    {"cs_CZ", 0x0405}, {"nl_NL", 0x0413}, {"nl_BE", 0x0813}, {"pt_BR", 0x0416},
    {"pt_PT", 0x0816}, {"sv_SE", 0x041D}, {"sv_FI", 0x081D},
};

/* The first non-empty of LC_ALL, category and LANG, or "". */
static std::string LocaleFromEnvironment(const char* category = "LC_MESSAGES") {
  for (const char* variable : {"LC_ALL", category, "LANG"}) {
    const char* value = getenv(variable);
    if (value != nullptr && value[0] != '\0') return value;
  }
  return "";
}

static char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }
static char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

/* Language id of a locale name such as "zh_TW.UTF-8". */
static LANGID LangIdFromLocaleName(const std::string& name) {
  std::string base = name.substr(0, name.find_first_of(".@"));
  size_t separator = base.find_first_of("_-");
  std::string language = base.substr(0, separator);
  std::string country = separator == std::string::npos ? "" : base.substr(separator + 1);
  for (char& c : language) c = AsciiLower(c);
  for (char& c : country) c = AsciiUpper(c);

  const PrimaryLanguage* known = nullptr;
  for (const PrimaryLanguage& entry : kPrimaryLanguages) {
    if (language == entry.language) known = &entry;
  }
  if (known == nullptr) return kEnglishUnitedStates;
  std::string pair = language + "_" + country;
  for (const CountryLanguage& entry : kCountryLanguages) {
    if (pair == entry.locale) return entry.id;
  }
  return LANGID(kSublangDefault | known->primary);
}

LANGID GetUserDefaultLangID() { return LangIdFromLocaleName(LocaleFromEnvironment()); }

/* ---- locale information -------------------------------------------------- */

/* The ICU locale ("ll_CC") of a language id, or "" when the id is unknown. */
static std::string IcuLocaleOfLangId(LANGID id) {
  for (const CountryLanguage& entry : kCountryLanguages) {
    if (entry.id == id) return entry.locale;
  }
  for (const PrimaryLanguage& entry : kPrimaryLanguages) {
    if (LANGID(kSublangDefault | entry.primary) == id) return entry.language;
  }
  return "";
}

/* The ICU locale of an LCID, or "" when it names no locale served here. */
static std::string IcuLocaleOf(LCID locale) {
  if (locale == LOCALE_USER_DEFAULT || locale == LOCALE_SYSTEM_DEFAULT) {
    std::string name = LocaleFromEnvironment("LC_NUMERIC");
    std::string base = name.substr(0, name.find_first_of(".@"));
    for (char& c : base) c = c == '-' ? '_' : c;
    if (LangIdFromLocaleName(base) == kEnglishUnitedStates) return "en_US";
    return base;
  }
  if (locale == LOCALE_INVARIANT) return "en_US";
  if (locale > 0xFFFF) return ""; /* sort ids are not served */
  return IcuLocaleOfLangId(LANGID(locale));
}

static bool Fail(DWORD code) {
  SetLastError(code);
  return false;
}

/* ICU's symbol for an ICU locale name, or false.  Opening a number format
** is costly and the runtime asks for the separators on every CDbl, so the
** answers are kept, per locale and symbol, for the life of the process. */
static bool IcuSymbol(const std::string& name, UNumberFormatSymbol symbol, std::u16string& out) {
  static std::mutex mutex;
  static auto* known = new std::map<std::pair<std::string, int>, std::u16string>();
  std::lock_guard<std::mutex> lock(mutex);
  auto found = known->find({name, int(symbol)});
  if (found != known->end()) {
    out = found->second;
    return true;
  }
  UErrorCode status = U_ZERO_ERROR;
  UNumberFormat* format = unum_open(UNUM_DECIMAL, nullptr, 0, (name + "@numbers=latn").c_str(), nullptr, &status);
  if (U_FAILURE(status)) return false;
  UChar buffer[16];
  int32_t length = unum_getSymbol(format, symbol, buffer, 16, &status);
  unum_close(format);
  if (U_FAILURE(status)) return false;
  out.assign(reinterpret_cast<const char16_t*>(buffer), size_t(length));
  known->emplace(std::make_pair(name, int(symbol)), out);
  return true;
}

/* The symbol as UTF-16, or false with the last error set. */
static bool LocaleSymbol(LCID locale, LCTYPE type, std::u16string& out) {
  UNumberFormatSymbol symbol;
  if (type == LOCALE_SDECIMAL) symbol = UNUM_DECIMAL_SEPARATOR_SYMBOL;
  else if (type == LOCALE_STHOUSAND) symbol = UNUM_GROUPING_SEPARATOR_SYMBOL;
  else return Fail(ERROR_INVALID_FLAGS);
  std::string name = IcuLocaleOf(locale);
  if (name.empty() || !IcuSymbol(name, symbol, out)) return Fail(ERROR_INVALID_PARAMETER);
  return true;
}

/* Copies count units and a zero into data (size units) by the Win32 rule. */
template <typename Unit>
static int CopyWithTerminator(const Unit* text, int count, Unit* data, int size) {
  if (size < 0 || (size > 0 && data == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (size == 0) return count + 1;
  if (size < count + 1) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  for (int i = 0; i < count; i++) data[i] = text[i];
  data[count] = 0;
  return count + 1;
}

int GetLocaleInfoW(LCID locale, LCTYPE type, WCHAR* data, int size) {
  std::u16string symbol;
  if (!LocaleSymbol(locale, type, symbol)) return 0;
  return CopyWithTerminator(symbol.data(), int(symbol.size()), data, size);
}

int GetLocaleInfoA(LCID locale, LCTYPE type, char* data, int size) {
  std::u16string symbol;
  if (!LocaleSymbol(locale, type, symbol)) return 0;
  std::string bytes;
  if (!symbol.empty()) {
    int n = WideCharToMultiByte(CP_ACP, 0, symbol.data(), int(symbol.size()), nullptr, 0, nullptr, nullptr);
    bytes.resize(size_t(n));
    WideCharToMultiByte(CP_ACP, 0, symbol.data(), int(symbol.size()), bytes.data(), n, nullptr, nullptr);
  }
  return CopyWithTerminator(bytes.data(), int(bytes.size()), data, size);
}

} // namespace quendal::platform
