/*
** Per-encoding character tables: building and looking up the blocks
** described in char_tables.h.
*/
#include "runtime/text/char_tables.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "runtime/platform/nls.h"
#include "runtime/text/string_record.h"
#include "runtime/text/text_encoding_codepages.h"

namespace quendal {

namespace {

uint32_t TableKey(uint32_t tag) { return tag == kEncodingUnknown ? SystemEncodingTag() : tag; }

void FillAsciiTables(CharTables& t) {
  for (int b = 0; b < 256; ++b) {
    t.upper[b] = static_cast<uint8_t>(b >= 'a' && b <= 'z' ? b - 0x20 : b);
    t.lower[b] = static_cast<uint8_t>(b >= 'A' && b <= 'Z' ? b + 0x20 : b);
    t.collation[b] = static_cast<uint8_t>(b);
    t.collationRank[b] = static_cast<uint8_t>(b);
    t.space[b] = (b == ' ' || (b >= 0x09 && b <= 0x0D)) ? 1 : 0;
  }
}

void FillCaseAndSpace(CharTables& t, uint32_t codePage) {
  for (int b = 0; b < 256; ++b) {
    char c = static_cast<char>(b);
    platform::CharUpperBuffA(&c, 1, codePage);
    t.upper[b] = static_cast<uint8_t>(c);
    c = static_cast<char>(b);
    platform::CharLowerBuffA(&c, 1, codePage);
    t.lower[b] = static_cast<uint8_t>(c);
    c = static_cast<char>(b);
    platform::WORD type = 0;
    if (!platform::GetStringTypeInCodePageA(codePage, platform::CT_CTYPE1, &c, 1, &type)) type = 0;
    t.space[b] = (type & (platform::C1_SPACE | platform::C1_BLANK)) ? 1 : 0;
  }
}

void FillCollation(CharTables& t, uint32_t codePage) {
  uint8_t order[256];
  for (int b = 0; b < 256; ++b) order[b] = static_cast<uint8_t>(b);
  std::stable_sort(order, order + 256, [codePage](uint8_t a, uint8_t b) {
    char ca = static_cast<char>(a);
    char cb = static_cast<char>(b);
    return platform::CompareStringInCodePageA(codePage, 0, &ca, 1, &cb, 1) == platform::CSTR_LESS_THAN;
  });
  for (int i = 0; i < 256; ++i) {
    t.collation[i] = order[i];
    t.collationRank[order[i]] = static_cast<uint8_t>(i);
  }
}

std::unique_ptr<CharTables> BuildTables(uint32_t tag) {
  auto t = std::make_unique<CharTables>();
  *t = CharTables{};
  uint32_t codePage = CharTablesCodePage(tag);
  if (codePage == 0 || codePage == kCodePageEucJP || codePage == kCodePageISO2022JP) {
    /* No platform code page to ask (the Japanese pseudo code pages are the
    ** runtime's own): their single bytes are read as ASCII. */
    FillAsciiTables(*t);
    return t;
  }
  for (int b = 0; b < 256; ++b) {
    if (platform::IsDBCSLeadByteEx(codePage, static_cast<platform::BYTE>(b))) {
      t->leadByte[b] = 1;
      t->hasLeadBytes = 1;
    }
  }
  if (t->hasLeadBytes) return t;
  FillCaseAndSpace(*t, codePage);
  FillCollation(*t, codePage);
  return t;
}

struct TableMap {
  std::mutex mutex;
  std::unordered_map<uint32_t, std::unique_ptr<CharTables>> blocks;
};

TableMap& Tables() {
  static TableMap map;
  return map;
}

struct CurrentTables {
  uint32_t key = 0;
  const CharTables* tables = nullptr;
};
thread_local CurrentTables tCurrent;

} // namespace

uint32_t CharTablesCodePage(uint32_t tag) { return EncodingCodePage(TableKey(tag)); }

const CharTables& CharTablesFor(uint32_t tag) {
  uint32_t key = TableKey(tag);
  if (tCurrent.tables != nullptr && tCurrent.key == key) return *tCurrent.tables;
  TableMap& map = Tables();
  const CharTables* tables;
  {
    std::lock_guard<std::mutex> lock(map.mutex);
    auto it = map.blocks.find(key);
    if (it == map.blocks.end()) it = map.blocks.emplace(key, BuildTables(key)).first;
    tables = it->second.get();
  }
  tCurrent = {key, tables};
  return *tables;
}

} // namespace quendal
