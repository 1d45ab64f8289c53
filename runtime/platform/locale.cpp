/*
** The user's default language id from the POSIX locale environment, and
** the locale names behind language ids for the date and time formats.
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
#include "runtime/platform/locale_internal.h"

#include <unicode/unum.h>

#include <cstdlib>
#include <initializer_list>
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

/* The first non-empty of the variables, or "". */
static std::string LocaleFromEnvironment(std::initializer_list<const char*> variables) {
  for (const char* variable : variables) {
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

LANGID GetUserDefaultLangID() {
  return LangIdFromLocaleName(LocaleFromEnvironment({"LC_ALL", "LC_MESSAGES", "LANG"}));
}

std::string TimeLocaleName() {
  std::string name = LocaleFromEnvironment({"LC_ALL", "LC_TIME", "LANG"});
  std::string base = name.substr(0, name.find_first_of(".@"));
  if (base.empty() || base == "C" || base == "POSIX") return "en_US";
  for (char& c : base) {
    if (c == '-') c = '_';
  }
  return base;
}

bool LocaleNameForLcid(LCID locale, std::string* name) {
  if (locale == LOCALE_USER_DEFAULT || locale == LOCALE_SYSTEM_DEFAULT) {
    *name = TimeLocaleName();
    return true;
  }
  if (locale == LOCALE_INVARIANT) {
    *name = "en_US";
    return true;
  }
  LANGID id = LANGID(locale & 0xFFFF);
  for (const CountryLanguage& entry : kCountryLanguages) {
    if (entry.id == id) {
      *name = entry.locale;
      return true;
    }
  }
  for (const PrimaryLanguage& entry : kPrimaryLanguages) {
    if (LANGID(kSublangDefault | entry.primary) == id) {
      *name = entry.language;
      return true;
    }
  }
  return false;
}

/* ---- number separators ------------------------------------------------------ */

/* The locale whose number symbols an LCID stands for, or "" when it names
** no locale served here (sort ids included). */
static std::string NumberLocaleName(LCID locale) {
  if (locale == LOCALE_USER_DEFAULT || locale == LOCALE_SYSTEM_DEFAULT) {
    std::string name = LocaleFromEnvironment({"LC_ALL", "LC_NUMERIC", "LANG"});
    std::string base = name.substr(0, name.find_first_of(".@"));
    for (char& c : base) c = c == '-' ? '_' : c;
    if (LangIdFromLocaleName(base) == kEnglishUnitedStates) return "en_US";
    return base;
  }
  std::string name;
  if (locale > 0xFFFF || !LocaleNameForLcid(locale, &name)) return "";
  return name;
}

/* ICU's symbol for a locale name, or false.  Opening a number format is
** costly and the runtime asks for the separators on every CDbl, so the
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

bool NumberSymbolText(LCID locale, LCTYPE type, std::u16string* text) {
  UNumberFormatSymbol symbol;
  if (type == LOCALE_SDECIMAL) {
    symbol = UNUM_DECIMAL_SEPARATOR_SYMBOL;
  } else if (type == LOCALE_STHOUSAND) {
    symbol = UNUM_GROUPING_SEPARATOR_SYMBOL;
  } else {
    SetLastError(ERROR_INVALID_FLAGS);
    return false;
  }
  std::string name = NumberLocaleName(locale);
  if (name.empty() || !IcuSymbol(name, symbol, *text)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

} // namespace quendal::platform
