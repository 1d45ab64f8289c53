/*
** xorshift64* (Vigna): state never 0, output = state * 0x2545F4914F6CDD1D.
** The top 53 bits of the output scaled by 2^-53 give a double in [0, 1).
*/
#include "runtime/objects/random.h"

#include <chrono>

namespace quendal {

namespace {

uint64_t gState = 0; /* 0 = not seeded yet */

uint64_t SplitMix64(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

void Seed(uint64_t seed) {
  gState = SplitMix64(seed);
  if (gState == 0) gState = 0x9E3779B97F4A7C15ull; /* xorshift never leaves 0 */
}

} // namespace

double RuntimeRandomValue() {
  if (gState == 0) {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    Seed(static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
  }
  gState ^= gState >> 12;
  gState ^= gState << 25;
  gState ^= gState >> 27;
  uint64_t out = gState * 0x2545F4914F6CDD1Dull;
  return static_cast<double>(out >> 11) * 0x1.0p-53;
}

void SeedRuntimeRandomForTesting(uint64_t seed) { Seed(seed); }

} // namespace quendal

extern "C" double rnd() { return quendal::RuntimeRandomValue(); }
