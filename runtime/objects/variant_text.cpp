/*
** Number text of variants: see variant_text.h.
*/
#include "runtime/objects/variant_text.h"

#include <string>

#include "runtime/objects/exceptions.h"
#include "runtime/objects/variant.h"
#include "runtime/text/number_text.h"

namespace quendal {

namespace {

ORVAstring RadixOfVariant(ObjectHeader* value, int bitsPerDigit) {
  return NumberTextString(RadixDigits(uint64_t(VariantToInt64(value)), bitsPerDigit));
}

/* Str's text of a real with the locale's decimal separator. */
ORVAstring LocalizedRealText(double x) {
  std::string text = FormatGeneralNumber(x, 7);
  std::string decimal = UserNumberSeparators().decimal;
  size_t point = text.find('.');
  if (point != std::string::npos) text.replace(point, 1, decimal);
  return NumberTextString(text);
}

} // namespace

} // namespace quendal

using namespace quendal;

QUENDAL_SERVICE ORVAstring StringStrVariant(ObjectHeader* value) {
  QUENDAL_SERVICE_BEGIN
  return VariantToString(value);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ORVAstring runCStr(ObjectHeader* value) {
  QUENDAL_SERVICE_BEGIN
  int32_t type = VarType(value);
  if (type == kTypeSingle || type == kTypeDouble) return LocalizedRealText(VariantToDouble(value));
  return VariantToString(value);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ORVAstring RuntimeHexVariant(ObjectHeader* value) {
  QUENDAL_SERVICE_BEGIN
  return RadixOfVariant(value, 4);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ORVAstring RuntimeOctVariant(ObjectHeader* value) {
  QUENDAL_SERVICE_BEGIN
  return RadixOfVariant(value, 3);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ORVAstring RuntimeBinVariant(ObjectHeader* value) {
  QUENDAL_SERVICE_BEGIN
  return RadixOfVariant(value, 1);
  QUENDAL_SERVICE_END(nullptr)
}
