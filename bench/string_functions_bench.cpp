/*
** String functions on large text: the byte-exact search against the C
** library's memmem, the case-insensitive search against two baselines (a
** lower-cased copy searched with memmem, and strcasestr), ReplaceAll
** throughput, and NthField on a line of 100 000 fields for fields spread
** over the line.
**
** The text is 10 MB of lower-case pseudo-words separated by spaces, the
** same on every run (fixed seed).  Run a Release build and compare CPU
** times within one run.
*/
#include <benchmark/benchmark.h>
#include <string.h> /* memmem, strcasestr */

#include <algorithm>
#include <cctype>
#include <cstring>
#include <random>
#include <string>

#include "runtime/text/string_core.h"
#include "runtime/text/string_functions.h"

using namespace quendal;

namespace {

constexpr size_t kTextBytes = 10 * 1000 * 1000;
constexpr int32_t kFieldCount = 100000;

const std::string& Text() {
  static const std::string text = [] {
    std::mt19937 random(2024);
    std::string t;
    t.reserve(kTextBytes + 16);
    while (t.size() < kTextBytes) {
      size_t length = 2 + random() % 8;
      for (size_t i = 0; i < length; ++i) t += static_cast<char>('a' + random() % 26);
      t += ' ';
    }
    t.resize(kTextBytes);
    return t;
  }();
  return text;
}

/* A pattern that does not occur in either case (its middle byte is no
** letter), so that every search reads the whole text. */
std::string AbsentPattern(size_t length) {
  std::string p;
  for (size_t i = 0; i < length; ++i) p += static_cast<char>('a' + (i * 7) % 26);
  p[length / 2] = '#';
  return p;
}

void SetTextProcessed(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kTextBytes));
}

/* ---- byte-exact search ---------------------------------------------------- */

void BM_InStrB(benchmark::State& state) {
  StringRef text(StringCreate(Text(), kEncodingUTF8));
  StringRef find(StringCreate(AbsentPattern(static_cast<size_t>(state.range(0))), kEncodingUTF8));
  for (auto _ : state) benchmark::DoNotOptimize(StringInStrB(1, text.get(), find.get()));
  SetTextProcessed(state);
}
BENCHMARK(BM_InStrB)->Arg(8)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);

void BM_Memmem(benchmark::State& state) {
  const std::string& text = Text();
  const std::string find = AbsentPattern(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(memmem(text.data(), text.size(), find.data(), find.size()));
  SetTextProcessed(state);
}
BENCHMARK(BM_Memmem)->Arg(8)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);

/* ---- case-insensitive search ---------------------------------------------- */

/* StringInStr on UTF-8 text with an ASCII pattern: bytes compared with
** ASCII letters folded (Boyer-Moore for these pattern lengths). */
void BM_InStr(benchmark::State& state) {
  StringRef text(StringCreate(Text(), kEncodingUTF8));
  std::string pattern = AbsentPattern(static_cast<size_t>(state.range(0)));
  std::transform(pattern.begin(), pattern.end(), pattern.begin(), [](char c) { return std::toupper(c); });
  StringRef find(StringCreate(pattern, kEncodingUTF8));
  for (auto _ : state) benchmark::DoNotOptimize(StringInStr(1, text.get(), find.get()));
  SetTextProcessed(state);
}
BENCHMARK(BM_InStr)->Arg(8)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);

/* Baseline: what a caller without a folding search would do, a lower-cased
** copy of the text searched with memmem. */
void BM_LowerCopyMemmem(benchmark::State& state) {
  const std::string& text = Text();
  const std::string find = AbsentPattern(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    benchmark::DoNotOptimize(memmem(lower.data(), lower.size(), find.data(), find.size()));
  }
  SetTextProcessed(state);
}
BENCHMARK(BM_LowerCopyMemmem)->Arg(8)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);

/* Baseline: the C library's case-insensitive search of a C string. */
void BM_Strcasestr(benchmark::State& state) {
  const std::string& text = Text();
  std::string find = AbsentPattern(static_cast<size_t>(state.range(0)));
  std::transform(find.begin(), find.end(), find.begin(), [](char c) { return std::toupper(c); });
  for (auto _ : state) benchmark::DoNotOptimize(strcasestr(text.c_str(), find.c_str()));
  SetTextProcessed(state);
}
BENCHMARK(BM_Strcasestr)->Arg(8)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);

/* ---- replacing and fields ------------------------------------------------- */

/* Case-insensitive ReplaceAll of a frequent short word (about one match in
** 700 bytes) and of a single letter (about one in 30). */
void BM_ReplaceAll(benchmark::State& state, const char* find, const char* with, bool byteExact) {
  StringRef text(StringCreate(Text(), kEncodingUTF8));
  StringRef f(StringCreate(find, static_cast<int32_t>(std::strlen(find)), kEncodingUTF8));
  StringRef w(StringCreate(with, static_cast<int32_t>(std::strlen(with)), kEncodingUTF8));
  for (auto _ : state) {
    StringRef r(byteExact ? StringReplaceAllB(text.get(), f.get(), w.get())
                          : StringReplaceAll(text.get(), f.get(), w.get()));
    benchmark::DoNotOptimize(r.get());
  }
  SetTextProcessed(state);
}
BENCHMARK_CAPTURE(BM_ReplaceAll, word_ignore_case, "ab", "XYZ", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReplaceAll, letter_ignore_case, "Q", "--", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReplaceAll, long_word_ignore_case, "abcdefgh", "X", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReplaceAll, word_bytes, "ab", "XYZ", true)->Unit(benchmark::kMillisecond);

const std::string& FieldLine() {
  static const std::string line = [] {
    std::string l;
    for (int32_t i = 1; i <= kFieldCount; ++i) {
      if (i > 1) l += ',';
      l += "field" + std::to_string(i);
    }
    return l;
  }();
  return line;
}

/* One call picks field n; the complexity fit over n tells whether the
** cost of a call grows linearly with the field's position. */
void BM_NthField(benchmark::State& state) {
  StringRef line(StringCreate(FieldLine(), kEncodingUTF8));
  StringRef comma(StringCreate(",", 1, kEncodingUTF8));
  const auto n = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    StringRef field(StringNthField(line.get(), comma.get(), n));
    benchmark::DoNotOptimize(field.get());
  }
  state.SetComplexityN(n);
}
BENCHMARK(BM_NthField)
    ->Arg(1)->Arg(1000)->Arg(10000)->Arg(25000)->Arg(50000)->Arg(75000)->Arg(100000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
