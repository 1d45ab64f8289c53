/*
** What start-up connects between the object layer and the layers above:
** BinaryStream over a real MemoryBlock (the files layer's view of a
** block), and the run loop's idle pass and sleeps working with the
** cooperative threads.
*/
#include <gtest/gtest.h>

#include <cstring>

#include "runtime/files/streams.h"
#include "runtime/image/runtimemainloop.h"
#include "runtime/objects/memory_block.h"
#include "runtime/platform/clock.h"
#include "tests/objects/object_test_support.h"
#include "tests/objects/thread_test_support.h"

namespace quendal {
namespace {

using test::RaisedClass;

TEST(InstalledMemoryBlocks, ABinaryStreamReadsAndWritesTheBlockInItsByteOrder) {
  ObjectRef block(&newMemoryBlock(8)->header);
  auto* b = reinterpret_cast<MemoryBlockObject*>(block.get());
  b->littleEndian = 0;
  ObjectRef streamRef(CreateInstance(&kBinaryStreamDefinition));
  auto* stream = reinterpret_cast<BinaryStreamObject*>(streamRef.get());
  BinaryStringMemoryBlockCtor(stream, block.get());
  EXPECT_FALSE(stream->littleEndian) << "the stream takes the block's byte order";
  BinaryStreamWriteLong(stream, 0x01020304);
  EXPECT_EQ(std::memcmp(b->data, "\x01\x02\x03\x04", 4), 0);
  EXPECT_EQ(BinaryStreamGetLength(stream), 8);
  memoryBlockSetSize(b, 12); /* the stream sees the block as it is now */
  EXPECT_EQ(BinaryStreamGetLength(stream), 12);
  BinaryStreamSetPosition(stream, 0);
  EXPECT_EQ(BinaryStreamReadLong(stream), 0x01020304);
  BinaryStreamClose(stream);

  uint8_t foreign[4] = {1, 2, 3, 4};
  ObjectRef wrapping(&PtrToMemoryBlock(foreign)->header);
  BinaryStringMemoryBlockCtor(stream, wrapping.get());
  EXPECT_EQ(BinaryStreamGetLength(stream), 0) << "a block of unknown size reads as empty";
  BinaryStreamClose(stream);
  EXPECT_EQ(RaisedClass([&] { BinaryStringMemoryBlockCtor(stream, streamRef.get()); }), "IllegalCastException");
}

using InstalledThreads = test::ThreadsTest;

TEST_F(InstalledThreads, TheIdlePassGivesTurnsWithoutWaitingForSleepers) {
  int turns = 0;
  bool stop = false;
  Start([&] { ThreadSleep(test::Self(), 10000, false); });
  Start([&] {
    while (!stop) {
      turns++;
      RuntimeDoEvents(nullptr, -1); /* on a thread: a yield */
    }
  });
  int before = turns;
  uint32_t start = platform::GetTickCount();
  for (int pass = 0; pass < kMainThreadTickets + 1; pass++) RuntimeDoEvents(nullptr, -1);
  EXPECT_GT(turns, before) << "a runnable thread had its turns";
  EXPECT_LT(platform::GetTickCount() - start, 1000u) << "nobody waited for the sleeper";
  stop = true;
  for (ThreadObject* t : threads_) ThreadKill(t);
}

TEST_F(InstalledThreads, AThreadKilledInsideDoEventsEnds) {
  bool after = false;
  ThreadObject* t = Start([&] {
    RuntimeDoEvents(nullptr, 10000);
    after = true;
  });
  EXPECT_EQ(ThreadGetState(t), kThreadSleeping);
  ThreadKill(t);
  EXPECT_FALSE(after);
  EXPECT_EQ(ThreadGetState(t), kThreadNotRunning);
}

} // namespace
} // namespace quendal
