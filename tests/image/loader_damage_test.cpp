/*
** Damaged images the loader refuses with a report, never reading past a
** segment and never running a byte of them: string constants whose record
** does not hold together, and development files that are missing, empty,
** not regular files or longer than a segment may be.
*/
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "runtime/image/loaderX86.h"
#include "tests/support/test_support.h"

namespace quendal {
namespace {

using test::FailureCapture;
using test::RunProgram;
using test::RunResult;
using test::TempDir;

void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  if (out.size() < at + 4) out.resize(at + 4);
  std::memcpy(&out[at], &v, 4);
}

/* A string constant record as the image builder lays it out. */
std::vector<uint8_t> Record(const std::string& text) {
  std::vector<uint8_t> r;
  const uint32_t n = static_cast<uint32_t>(text.size());
  PutU32(r, 0, 1);
  PutU32(r, 4, 0);
  PutU32(r, 8, n + 5);
  PutU32(r, 12, n);
  PutU32(r, 16, 0x08000100);
  r.push_back(static_cast<uint8_t>(n > 255 ? 255 : n));
  r.insert(r.end(), text.begin(), text.end());
  r.resize(r.size() + 4, 0);
  r.resize((r.size() + 3) / 4 * 4, 0);
  return r;
}

/* An image whose code holds the data offset `at` at code offset 4 and whose
** only import record is the opcode 5 that fixes the constant there up. */
ImageSegments ImageWithConstant(std::vector<uint8_t> data, uint32_t at) {
  ImageSegments seg;
  seg.code = {0xC3, 0x90, 0x90, 0x90};
  PutU32(seg.code, 4, at);
  seg.imports = {5, 4, 0, 0, 0};
  seg.data = std::move(data);
  return seg;
}

TEST(LoaderDamage, EveryStringConstantIsCheckedBeforeItIsFixedUp) {
  {
    FailureCapture reports;
    ASSERT_TRUE(InstallImage(ImageWithConstant(Record("sound"), 0))) << reports.all();
    uint32_t dataWord;
    std::memcpy(&dataWord, ImageDataAddress() + 4, 4);
    EXPECT_EQ(dataWord, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ImageDataAddress() + 20)));
    UnloadImageForTesting();
  }
  struct Damage {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> apply;
    uint32_t at = 0;
  };
  const std::vector<Damage> damages = {
      {"count 0: the first release would free the image", [](auto& r) { PutU32(r, 0, 0); }},
      {"negative count", [](auto& r) { PutU32(r, 0, 0xFFFFFFFF); }},
      {"count about to overflow", [](auto& r) { PutU32(r, 0, 0x7FFFFFFF); }},
      {"length beyond the segment", [](auto& r) { PutU32(r, 12, 1000); PutU32(r, 8, 1005); }},
      {"length near 2^31", [](auto& r) { PutU32(r, 12, 0x7FFFFFF0); PutU32(r, 8, 0x7FFFFFF5); }},
      {"empty record", [](auto& r) { PutU32(r, 12, 0); PutU32(r, 8, 5); }},
      {"data segment cut short", [](auto& r) { r.resize(24); }},
      {"buffer size disagrees", [](auto& r) { PutU32(r, 8, 9); }},
      {"Pascal byte disagrees", [](auto& r) { r[20] = 7; }},
      {"no terminating zeros", [](auto& r) { r[26] = 'x'; }},
      {"data word points elsewhere", [](auto& r) { PutU32(r, 4, 0x1234); }},
      {"not aligned", [](auto& r) { r.insert(r.begin(), 2, 0); }, 2},
  };
  for (const Damage& d : damages) {
    std::vector<uint8_t> data = Record("sound");
    d.apply(data);
    FailureCapture reports;
    EXPECT_FALSE(InstallImage(ImageWithConstant(data, d.at))) << d.what;
    EXPECT_TRUE(reports.Contains("string constant")) << d.what << ": " << reports.all();
    UnloadImageForTesting();
  }
}

/* The hello image's development files in a fresh folder, changed by
** `damage`, run by the runtime (which must not wait on anything). */
RunResult RunDamagedFiles(const std::function<void(const TempDir&)>& damage) {
  TempDir dir;
  test::CopyDevelopmentFiles("hello", dir.path());
  damage(dir);
  return RunProgram({"/usr/bin/timeout", "20", test::BinPath("quendal")}, dir.path());
}

TEST(LoaderDamage, DevelopmentFilesThatMayNotBeReadRefuseTheImage) {
  const std::string hello = "Hello from a Quendal app image";
  struct Case {
    const char* what;
    std::function<void(const TempDir&)> damage;
    const char* report;
  };
  const std::vector<Case> cases = {
      {"missing import.dat", [](const TempDir& d) { std::filesystem::remove(d.File("import.dat")); },
       "The development file import.dat is missing or empty."},
      {"empty import.dat", [](const TempDir& d) { test::WriteFile(d.File("import.dat"), ""); },
       "The development file import.dat is missing or empty."},
      {"import.dat is a folder",
       [](const TempDir& d) {
         std::filesystem::remove(d.File("import.dat"));
         std::filesystem::create_directory(d.File("import.dat"));
       },
       "The development file import.dat cannot be opened."},
      {"code.dat is a FIFO",
       [](const TempDir& d) {
         std::filesystem::remove(d.File("code.dat"));
         ASSERT_EQ(mkfifo(d.File("code.dat").c_str(), 0600), 0);
       },
       "The development file code.dat is not a regular file."},
      {"a sparse 1 GiB symbols.dat",
       [](const TempDir& d) { ASSERT_EQ(truncate(d.File("symbols.dat").c_str(), off_t(1) << 30), 0); },
       "The development file symbols.dat is longer than an image segment may be (256 MiB)."},
  };
  for (const Case& c : cases) {
    RunResult r = RunDamagedFiles(c.damage);
    EXPECT_NE(r.exitCode, 124) << c.what << ": the runtime waited";
    EXPECT_NE(r.out.find(c.report), std::string::npos) << c.what << ": " << r.out;
    EXPECT_EQ(r.out.find(hello), std::string::npos) << c.what << ": the image ran";
  }
}

} // namespace
} // namespace quendal
