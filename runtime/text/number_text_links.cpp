/*
** Link provisions of the number text module (number_text_links.h).
*/
#include "runtime/text/number_text_links.h"

#include "runtime/text/backslash_escapes.h"
#include "runtime/text/number_format.h"
#include "runtime/text/number_text.h"

namespace quendal {

namespace {

const LinkProvision kNumberTextProvisions[] = {
    QUENDAL_PROVIDE(DecodeBackslashEscape),
    QUENDAL_PROVIDE(DecodeBackslashEscapeString),
    QUENDAL_PROVIDE(EncodeBackslashEscape),
    QUENDAL_PROVIDE(EncodeBackslashEscapeString),
    QUENDAL_PROVIDE(runCDbl),
    QUENDAL_PROVIDE(runCLong),
    QUENDAL_PROVIDE(RuntimeBin),
    QUENDAL_PROVIDE(RuntimeBinDouble),
    QUENDAL_PROVIDE(RuntimeBinInt16),
    QUENDAL_PROVIDE(RuntimeBinInt64),
    QUENDAL_PROVIDE(RuntimeBinInt8),
    QUENDAL_PROVIDE(RuntimeBinSingle),
    QUENDAL_PROVIDE(RuntimeBinUInt16),
    QUENDAL_PROVIDE(RuntimeBinUInt32),
    QUENDAL_PROVIDE(RuntimeBinUInt64),
    QUENDAL_PROVIDE(RuntimeBinUInt8),
    QUENDAL_PROVIDE(RuntimeHex),
    QUENDAL_PROVIDE(RuntimeHexDouble),
    QUENDAL_PROVIDE(RuntimeHexInt16),
    QUENDAL_PROVIDE(RuntimeHexInt64),
    QUENDAL_PROVIDE(RuntimeHexInt8),
    QUENDAL_PROVIDE(RuntimeHexSingle),
    QUENDAL_PROVIDE(RuntimeHexUInt16),
    QUENDAL_PROVIDE(RuntimeHexUInt32),
    QUENDAL_PROVIDE(RuntimeHexUInt64),
    QUENDAL_PROVIDE(RuntimeHexUInt8),
    QUENDAL_PROVIDE(RuntimeOct),
    QUENDAL_PROVIDE(RuntimeOctDouble),
    QUENDAL_PROVIDE(RuntimeOctInt16),
    QUENDAL_PROVIDE(RuntimeOctInt64),
    QUENDAL_PROVIDE(RuntimeOctInt8),
    QUENDAL_PROVIDE(RuntimeOctSingle),
    QUENDAL_PROVIDE(RuntimeOctUInt16),
    QUENDAL_PROVIDE(RuntimeOctUInt32),
    QUENDAL_PROVIDE(RuntimeOctUInt64),
    QUENDAL_PROVIDE(RuntimeOctUInt8),
    QUENDAL_PROVIDE(StringFormat),
    QUENDAL_PROVIDE(StringStrCurrency),
    QUENDAL_PROVIDE(StringStrDouble),
    QUENDAL_PROVIDE(StringStrInt16),
    QUENDAL_PROVIDE(StringStrInt32),
    QUENDAL_PROVIDE(StringStrInt64),
    QUENDAL_PROVIDE(StringStrInt8),
    QUENDAL_PROVIDE(StringStrSingle),
    QUENDAL_PROVIDE(StringStrUInt16),
    QUENDAL_PROVIDE(StringStrUInt32),
    QUENDAL_PROVIDE(StringStrUInt64),
    QUENDAL_PROVIDE(StringStrUInt8),
    QUENDAL_PROVIDE(StringVal),
};

} // namespace

LinkProvisions NumberTextLinkProvisions() { return kNumberTextProvisions; }

} // namespace quendal
