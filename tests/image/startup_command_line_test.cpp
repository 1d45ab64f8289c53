/*
** The Windows command line: joining arguments, splitting by the shell's
** rules, the round trip, and the Run argument array built from it.
*/
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "runtime/image/ConsoleApplication.h"
#include "runtime/image/RuntimeMain.h"
#include "runtime/objects/object_model.h"
#include "runtime/platform/command_line.h"
#include "runtime/platform/paths.h"
#include "runtime/text/string_core.h"
#include "tests/support/test_support.h"

namespace quendal {
namespace {

using Args = std::vector<std::u16string>;

Args Split(const std::u16string& line) {
  int count = -1;
  platform::WCHAR** argv = platform::CommandLineToArgvW(line.c_str(), &count);
  Args out;
  if (!argv) return out;
  for (int i = 0; i < count; i++) out.push_back(argv[i]);
  EXPECT_EQ(argv[count], nullptr);
  platform::LocalFree(argv);
  return out;
}

TEST(CommandLineSplit, BlanksQuotesAndBackslashes) {
  struct Case {
    std::u16string line;
    Args args;
  };
  const Case cases[] = {
      {u"prog a b", {u"prog", u"a", u"b"}},
      {u"prog \t a\t\tb  ", {u"prog", u"a", u"b"}},
      {uR"("C:\Program Files\app.exe" x)", {uR"(C:\Program Files\app.exe)", u"x"}},
      {uR"(C:\dir\app.exe a\b)", {uR"(C:\dir\app.exe)", uR"(a\b)"}},
      {uR"(prog "a b" c)", {u"prog", u"a b", u"c"}},
      {uR"(prog a"b c"d)", {u"prog", u"ab cd"}},
      {uR"(prog a\\b a\\\"b)", {u"prog", uR"(a\\b)", uR"(a\"b)"}},
      {uR"(prog "a\\" b)", {u"prog", uR"(a\)", u"b"}},
      {uR"(prog \\\\"x y")", {u"prog", uR"(\\x y)"}},
      {uR"(prog "" x)", {u"prog", u"", u"x"}},
      {uR"(prog "a""b" c)", {u"prog", uR"(a"b c)"}}, /* the "" left the quoted part, the next " opens one */
      {uR"(prog "a""b c)", {u"prog", uR"(a"b)", u"c"}},
      {uR"(prog """ x)", {u"prog", uR"(")", u"x"}},
      {uR"(prog "a"")", {u"prog", uR"(a")"}},
      {uR"("pro\g" "\")", {uR"(pro\g)", uR"(")"}},
      {u" a", {u"", u"a"}},
      {uR"("my prog"x y)", {u"my prog", u"x", u"y"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Split(c.line), c.args) << std::string(c.line.begin(), c.line.end());
  }
}

TEST(CommandLineSplit, EmptyLineGivesTheExecutableAndNullIsRefused) {
  Args args = Split(u"");
  ASSERT_EQ(args.size(), 1u);
  EXPECT_FALSE(args[0].empty());
  int count = 7;
  EXPECT_EQ(platform::CommandLineToArgvW(nullptr, &count), nullptr);
  EXPECT_EQ(count, 0);
}

TEST(CommandLineJoin, QuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(platform::WindowsCommandLineFromArguments({u"prog", u"plain", uR"(back\slash)"}),
            uR"(prog plain back\slash)");
  EXPECT_EQ(platform::WindowsCommandLineFromArguments({u"my prog", u"", u"a b", uR"(say "hi")"}),
            uR"("my prog" "" "a b" "say \"hi\"")");
  EXPECT_EQ(platform::WindowsCommandLineFromArguments({u"p", uR"(dir\ with\)", uR"(q\")"}),
            uR"(p "dir\ with\\" "q\\\"")");
  /* A program name cannot carry a quote: it is left out. */
  EXPECT_EQ(platform::WindowsCommandLineFromArguments({uR"(a"b)"}), u"ab");
}

TEST(CommandLineJoin, SplittingTheJoinedLineGivesTheArgumentsBack) {
  const Args samples[] = {
      {u"/usr/bin/quendal", u"1", u"/tmp/in file.db", u"", u"1"},
      {u"prog with space", uR"(\)", uR"(\\)", uR"(")", uR"(\")", uR"(""")", uR"(a\\"b\)"},
      {u"p", u"tab\there", u"line\nfeed", u"vt\vx", u"caf\u00e9 \U0001F600", uR"(C:\Program Files\)"},
      {u""},
  };
  for (const auto& args : samples) {
    EXPECT_EQ(Split(platform::WindowsCommandLineFromArguments(args)), args);
  }
}

TEST(CommandLineJoin, Utf8ArgumentsBecomeUtf16AndBadBytesReplacementCharacters) {
  EXPECT_EQ(platform::Utf16FromUtf8("caf\xc3\xa9"), u"caf\u00e9");
  EXPECT_EQ(platform::Utf16FromUtf8("\xf0\x9f\x98\x80"), u"\U0001F600");
  EXPECT_EQ(platform::Utf16FromUtf8("a\xff" "b"), u"a\uFFFD" "b");
}

/* This process's own arguments, from the kernel. */
std::vector<std::string> OwnArguments() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> out;
  size_t start = 0;
  while (start < raw.size()) {
    size_t end = raw.find('\0', start);
    out.push_back(raw.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

TEST(RunArguments, ComeFromTheUnicodeCommandLine) {
  std::vector<std::string> own = OwnArguments();
  Args split = Split(platform::GetCommandLineW());
  ASSERT_EQ(split.size(), own.size());
  ObjectRef holder(reinterpret_cast<ObjectHeader*>(BuildRunArguments()));
  auto* array = reinterpret_cast<ArrayObject*>(holder.get());
  ASSERT_EQ(ArrayUpperBound(array), static_cast<int32_t>(own.size()) - 1);
  for (size_t i = 0; i < own.size(); i++) {
    ORVAstring s = ArrayStringAt(array, static_cast<int32_t>(i));
    EXPECT_EQ(StringEncoding(s), kEncodingUTF16);
    EXPECT_EQ(StringWideText(s), platform::Utf16FromUtf8(own[i]));
  }
}

TEST(RunArguments, FallBackOnTheArgumentVectorWithAReport) {
  int savedCount = StartupArgumentCount();
  char** savedVector = StartupArgumentVector();
  char program[] = "prog";
  char word[] = "two words";
  char* vector[] = {program, word, nullptr};
  SetStartupArguments(2, vector);
  SetUnicodeCommandLineAvailableForTesting(false);
  test::FailureCapture failures;
  ObjectRef holder(reinterpret_cast<ObjectHeader*>(BuildRunArguments()));
  SetUnicodeCommandLineAvailableForTesting(true);
  SetStartupArguments(savedCount, savedVector);

  EXPECT_TRUE(failures.Contains("Failure Condition: hLib and hLib2")) << failures.all();
  auto* array = reinterpret_cast<ArrayObject*>(holder.get());
  ASSERT_EQ(ArrayUpperBound(array), 1);
  EXPECT_EQ(StringView(ArrayStringAt(array, 0)), "prog");
  EXPECT_EQ(StringView(ArrayStringAt(array, 1)), "two words");
  EXPECT_EQ(StringEncoding(ArrayStringAt(array, 1)), kEncodingASCII);
}

} // namespace
} // namespace quendal
