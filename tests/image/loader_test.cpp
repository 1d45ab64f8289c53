/*
** The loader's binding and relocation, the link table and the symbol
** look-up, driven in-process with hand-assembled segments.
*/
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "runtime/base/link_table.h"
#include "runtime/image/loaderX86.h"
#include "runtime/image/resource_table.h"
#include "runtime/platform/modules.h"
#include "tests/support/test_support.h"

extern "C" void RuntimeConsolePrint(ORVAstring);
extern "C" void RuntimeLockString(ORVAstring);

namespace quendal {
namespace {

using test::FailureCapture;
using test::SourceAtReport;

/* Builds an import segment record by record. */
struct Imports {
  std::vector<uint8_t> bytes;
  Imports& U8(uint8_t v) { bytes.push_back(v); return *this; }
  Imports& U32(uint32_t v) {
    for (int i = 0; i < 4; i++) bytes.push_back(uint8_t(v >> (8 * i)));
    return *this;
  }
  Imports& Name(const std::string& n) {
    U8(uint8_t(n.size()));
    bytes.insert(bytes.end(), n.begin(), n.end());
    return U8(0);
  }
  Imports& Bind(uint8_t mode, uint32_t head, const std::string& name) { return U8(1).U8(mode).U32(head).Name(name); }
  Imports& Library(uint32_t head, const std::string& proc, const std::string& lib) {
    return U8(4).U32(head).Name(proc).Name(lib);
  }
};

uint32_t U32At(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

/* Follows a rel32 operand at code offset s, and a thunk if it lands in one. */
void* CallTarget(uint32_t s) {
  uint8_t* code = ImageCodeAddress();
  uint8_t* target = code + s + 4 + int32_t(U32At(code + s));
  if (target[0] == 0xFF && target[1] == 0x25 && U32At(target + 2) == 0) {
    void* real;
    std::memcpy(&real, target + 6, 8);
    return real;
  }
  return target;
}

void* AbsoluteTarget(uint32_t s) {
  uint8_t* target = reinterpret_cast<uint8_t*>(uintptr_t(U32At(ImageCodeAddress() + s)));
  if (target[0] == 0xFF && target[1] == 0x25) {
    void* real;
    std::memcpy(&real, target + 6, 8);
    return real;
  }
  return target;
}

/* A code segment: ret at 0, then call sites E8 xx xx xx xx. */
std::vector<uint8_t> CodeWithCalls(int calls) {
  std::vector<uint8_t> code = {0xC3};
  for (int i = 0; i < calls; i++) {
    code.push_back(0xE8);
    for (int k = 0; k < 4; k++) code.push_back(0);
  }
  return code;
}
uint32_t Site(int i) { return 2 + 5 * uint32_t(i); }
void Link(std::vector<uint8_t>& code, uint32_t site, uint32_t next) { std::memcpy(&code[site], &next, 4); }

TEST(LoaderBinding, NamesBindWithoutRegardToCaseThroughAChain) {
  ImageSegments seg;
  seg.code = CodeWithCalls(3);
  Link(seg.code, Site(0), Site(2));
  Link(seg.code, Site(2), 0);
  Link(seg.code, Site(1), 0);
  seg.imports = Imports().Bind(1, Site(0), "runtimeconsoleprint").Bind(1, Site(1), "RUNTIMELOCKSTRING").bytes;
  FailureCapture reports;
  ASSERT_TRUE(InstallImage(seg));
  EXPECT_TRUE(reports.reports().empty()) << reports.all();
  EXPECT_EQ(CallTarget(Site(0)), reinterpret_cast<void*>(&RuntimeConsolePrint));
  EXPECT_EQ(CallTarget(Site(2)), reinterpret_cast<void*>(&RuntimeConsolePrint));
  EXPECT_EQ(CallTarget(Site(1)), reinterpret_cast<void*>(&RuntimeLockString));
}

TEST(LoaderBinding, HeadZeroBindsNothingAndOtherModesWriteAbsoluteAddresses) {
  ImageSegments seg;
  seg.code = CodeWithCalls(1);
  seg.code[1] = 0xB8;  /* mov eax, imm32: an absolute slot */
  Link(seg.code, Site(0), 0);
  seg.imports = Imports().Bind(1, 0, "RuntimeConsolePrint").Bind(0, Site(0), "RuntimeConsolePrint").bytes;
  FailureCapture reports;
  ASSERT_TRUE(InstallImage(seg));
  EXPECT_TRUE(reports.reports().empty());
  EXPECT_LT(U32At(ImageCodeAddress() + Site(0)), 0x80000000u);
  EXPECT_EQ(AbsoluteTarget(Site(0)), reinterpret_cast<void*>(&RuntimeConsolePrint));
}

TEST(LoaderBinding, MissingNameIsReportedAndItsChainIsNeverLeftRunnable) {
  ImageSegments seg;
  seg.code = CodeWithCalls(1);
  seg.imports = Imports().Bind(1, Site(0), "NetIdle").bytes;
  FailureCapture reports;
  ASSERT_TRUE(InstallImage(seg));
  ASSERT_EQ(reports.reports().size(), 1u);
  const std::string& text = reports.reports()[0];
  const std::string head =
      "Runtime Error 4:Failed Assertion\n\nPlease report what caused this error\n"
      "along with the information below.\n\nloaderX86.cpp: ";
  const std::string tail = "\nFailure Condition: foundFunction\nFunction 'NetIdle' was not exported\n\n";
  EXPECT_EQ(text.substr(0, head.size()), head);
  ASSERT_GT(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  EXPECT_NE(SourceAtReport(text).find("\"foundFunction\""), std::string::npos) << "the line of the check";
  /* The site now leads to the unbound-import thunk: calling it reports the
  ** function instead of running a chain link. */
  uint8_t* code = ImageCodeAddress();
  uint8_t* thunk = code + Site(0) + 4 + int32_t(U32At(code + Site(0)));
  EXPECT_EQ(thunk[0], 0x48);
  EXPECT_EQ(thunk[1], 0xBF);
}

TEST(LoaderBinding, EveryImportedAndCallbackNameHasARow) {
  std::ifstream in(std::string(QUENDAL_SOURCE_DIR) + "/tests/data/bound_names.txt");
  Imports imports;
  std::string name;
  int count = 0;
  while (std::getline(in, name)) {
    if (name.empty()) continue;
    imports.Bind(1, 0, name);
    count++;
  }
  ASSERT_EQ(count, 661);  /* 499 image imports and 166 plugin callbacks, 4 in both */
  ImageSegments seg;
  seg.code = {0xC3};
  seg.imports = imports.bytes;
  FailureCapture reports;
  ASSERT_TRUE(InstallImage(seg));
  EXPECT_FALSE(reports.Contains("was not exported")) << reports.all();
}

TEST(LoaderBinding, StringConstantsAreFixedOnceAndUnknownOpcodesSkipped) {
  ImageSegments seg;
  seg.code = {0xC3, 0xB8, 0, 0, 0, 0, 0xB8, 0, 0, 0, 0, 0xB8, 4, 0, 0, 0, 0xB8, 0, 0, 0, 0};
  /* data: 4 bytes of globals-to-be, then one string record "hi" at offset 4 */
  seg.data.assign(4 + 28, 0);
  uint8_t record[] = {1, 0, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0, 2, 0, 0, 0, 0x00, 0x01, 0x00, 0x08, 2, 'h', 'i'};
  std::memcpy(&seg.data[4], record, sizeof record);
  seg.code[2] = 4;   /* site 2 names the record */
  seg.code[7] = 4;   /* site 7 names it again */
  seg.code[17] = 1;  /* site 17: code offset 1 */
  seg.imports = Imports().U8(5).U32(2).U8(0).U8(9).U8(5).U32(7).U8(3).U32(17).U8(2).U32(12).U8(200).bytes;
  FailureCapture reports;
  ASSERT_TRUE(InstallImage(seg));
  EXPECT_TRUE(reports.reports().empty()) << reports.all();
  uint8_t* code = ImageCodeAddress();
  uint8_t* data = ImageDataAddress();
  uint32_t recordAddress = uint32_t(uintptr_t(data + 4));
  EXPECT_EQ(U32At(code + 2), recordAddress);
  EXPECT_EQ(U32At(code + 7), recordAddress);
  EXPECT_EQ(U32At(data + 4 + 4), recordAddress + 20);
  EXPECT_EQ(U32At(code + 12), uint32_t(uintptr_t(data)) + 4);
  EXPECT_EQ(U32At(code + 17), uint32_t(uintptr_t(code)) + 1);
  ORVAstring literal = reinterpret_cast<ORVAstring>(data + 4);
  EXPECT_STREQ(StringBytes(literal), "hi");
}

TEST(LoaderBinding, OneLibraryNamedInTwoCasesLoadsOnce) {
  ClearLibraryCacheForTesting();
  ImageSegments seg;
  seg.code = CodeWithCalls(2);
  seg.imports = Imports().Library(Site(0), "strlen", "libc.so.6").Library(Site(1), "abs", "LIBC.SO.6").bytes;
  FailureCapture reports;
  ASSERT_TRUE(InstallImage(seg));
  EXPECT_TRUE(reports.reports().empty()) << reports.all();
  EXPECT_EQ(LibraryCacheSizeForTesting(), 1u);
  /* Compare with the library's own export (a sanitizer may stand in for
  ** the program's strlen). */
  void* expected = reinterpret_cast<void*>(
      platform::GetProcAddress(platform::LoadLibraryA("libc.so.6"), "strlen"));
  EXPECT_EQ(CallTarget(Site(0)), expected);
}

TEST(LoaderBinding, MissingLibraryFunctionIsReported) {
  ImageSegments seg;
  seg.code = CodeWithCalls(1);
  seg.imports = Imports().Library(Site(0), "no_such_function_here", "libc.so.6").bytes;
  FailureCapture reports;
  ASSERT_TRUE(InstallImage(seg));
  EXPECT_TRUE(reports.Contains("Failure Condition: functionEntry\n"
                               "Could not resolve function 'no_such_function_here' in libc.so.6\n"));
}

TEST(LoaderBinding, DamagedImportsAreRefused) {
  FailureCapture reports;
  ImageSegments seg;
  seg.code = CodeWithCalls(1);
  seg.imports = Imports().Bind(1, 4000, "RuntimeConsolePrint").bytes;  /* chain outside the code */
  EXPECT_FALSE(InstallImage(seg));
  Link(seg.code, Site(0), Site(0));  /* a chain that loops */
  seg.imports = Imports().Bind(1, Site(0), "RuntimeConsolePrint").bytes;
  EXPECT_FALSE(InstallImage(seg));
  seg.imports = Imports().U8(1).U8(1).U32(0).U8(40).bytes;  /* name cut short */
  EXPECT_FALSE(InstallImage(seg));
  seg.imports = Imports().U8(2).U32(uint32_t(seg.code.size()) - 2).bytes;
  EXPECT_FALSE(InstallImage(seg));
  EXPECT_EQ(reports.reports().size(), 4u);
}

TEST(LoaderSymbols, LookUpNamesTheRoutineHoldingAnAddress) {
  ImageSegments seg;
  seg.code.assign(100, 0xC3);
  /* two routines: "first" at 10, "second" at 50 */
  std::string names = std::string("first") + '\0' + "second" + '\0';
  uint32_t table[] = {2, 10, 0, 50, 6};
  seg.symbols.resize(sizeof table);
  std::memcpy(seg.symbols.data(), table, sizeof table);
  seg.symbols.insert(seg.symbols.end(), names.begin(), names.end());
  ASSERT_TRUE(InstallImage(seg));
  uintptr_t code = reinterpret_cast<uintptr_t>(ImageCodeAddress());
  ImageSymbol s = ImageSymbolLookup(code + 60);
  EXPECT_TRUE(s.found);
  EXPECT_EQ(s.name, "second");
  EXPECT_EQ(s.offset, 10);
  s = ImageSymbolLookup(code + 49);
  EXPECT_EQ(s.name, "first");
  EXPECT_EQ(s.offset, 39);
  s = ImageSymbolLookup(code + 3);  /* before the first routine */
  EXPECT_TRUE(s.found);
  EXPECT_EQ(s.name, "");
  EXPECT_EQ(s.offset, 100);
  EXPECT_FALSE(ImageSymbolLookup(code + 100).found);

  seg.symbols.clear();
  ASSERT_TRUE(InstallImage(seg));
  EXPECT_FALSE(ImageSymbolLookup(reinterpret_cast<uintptr_t>(ImageCodeAddress()) + 1).found);
}

TEST(LoaderResources, RecordsGoToTheResourceTableAndOptionsAreKept) {
  ResourceTableClearForTesting();
  ImageSegments seg;
  seg.code = {0xC3};
  /* 'QDPx' id 7 with 3 bytes, then an empty record */
  seg.resources = {'x', 'P', 'D', 'Q', 7, 0, 0, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 'c',
                   'A', 'B', 'C', 'D', 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  seg.resourceFileOffset = 1000;
  seg.options = {0, 2, 0, 0, 0, 'o', 'k', 0x00, 0x01, 0x00, 0x08, 7};
  FailureCapture reports;
  ASSERT_TRUE(InstallImage(seg));
  ASSERT_EQ(ResourceCount(), 2u);
  EXPECT_EQ(ResourceAt(0)->type, 0x51445078u);  /* 'QDPx' */
  EXPECT_EQ(ResourceAt(0)->id, 7);
  EXPECT_EQ(ResourceAt(0)->length, 3u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(ResourceAt(0)->data), 3), "abc");
  EXPECT_EQ(ResourceAt(0)->fileOffset, 1014u);
  EXPECT_EQ(ResourceAt(1)->length, 0u);
  ASSERT_NE(ImageOptionString(), nullptr);
  EXPECT_STREQ(StringBytes(ImageOptionString()), "ok");
  EXPECT_EQ(ImageOptionString()->encoding, kEncodingUTF8);
  /* the stray option opcode 7 was reported and skipped */
  EXPECT_EQ(reports.reports().size(), 1u);
  EXPECT_TRUE(reports.Contains("loaderX86.cpp"));
}

TEST(LinkTable, RegistrationKeepsTheFirstEntryOfAName) {
  LinkResetForTesting();
  static int a, b;
  FailureCapture reports;
  size_t before = LinkRowCount();
  LinkRegister("QuendalTestService", &a);
  EXPECT_EQ(LinkRowCount(), before + 1);
  EXPECT_EQ(LinkLookup("quendaltestservice"), &a);
  LinkRegister("QUENDALTESTSERVICE", &a);  /* same entry: silent */
  EXPECT_TRUE(reports.reports().empty());
  LinkRegister("QuendalTestService", &b);  /* another entry: reported, ignored */
  EXPECT_TRUE(reports.Contains("relocentry.cpp"));
  EXPECT_NE(SourceAtReport(reports.all()).find("\"functionPtr == oldEntry->code\""), std::string::npos);
  EXPECT_EQ(LinkLookup("QuendalTestService"), &a);
  LinkRegister("RuntimeConsolePrint", reinterpret_cast<void*>(&RuntimeConsolePrint));  /* known static row */
  EXPECT_EQ(LinkRowCount(), before + 1);
  LinkRegister("Nothing", nullptr);
  EXPECT_EQ(LinkRowCount(), before + 1);
  LinkResetForTesting();
}

TEST(LinkTable, DuplicateRowsShareOneEntryAndBindToTheFirst) {
  const LinkRow* first = LinkFindFirstRow("swapwstringlocks");
  ASSERT_NE(first, nullptr);
  int rows = 0;
  for (size_t i = 0; i < LinkStaticRowCount(); i++) {
    const LinkRow* row = LinkRowAt(i);
    if (strcasecmp(row->name, "SwapWStringLocks") == 0) {
      rows++;
      EXPECT_EQ(row->entry, first->entry);
      if (rows == 1) {
        EXPECT_EQ(row, first);
      }
    }
  }
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(LinkLookup("CreateInstance"), LinkLookup("RuntimeNewObject"));
  EXPECT_EQ(LinkLookup("NetIdle"), nullptr);
}

} // namespace
} // namespace quendal
