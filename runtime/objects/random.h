/*
** The runtime's random generator (the language's `rnd`).
**
** One process-wide xorshift64* generator.  It is seeded on first use from
** the real-time clock (nanoseconds, mixed through splitmix64 so that close
** start times still give unrelated sequences) and yields doubles in [0, 1)
** with 53 random bits.  Like the rest of the runtime it is touched only by
** the running cooperative thread, so it takes no lock.
*/
#ifndef QUENDAL_OBJECTS_RANDOM_H
#define QUENDAL_OBJECTS_RANDOM_H

#include <cstdint>

namespace quendal {

/* Next value in [0, 1). */
double RuntimeRandomValue();

/* Test seam: restart the sequence from a fixed seed. */
void SeedRuntimeRandomForTesting(uint64_t seed);

} // namespace quendal

extern "C" {
/* The language's Rnd: RuntimeRandomValue. */
double rnd();
}

#endif
