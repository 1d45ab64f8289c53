/*
** Damaged virtual volumes: bad magic, wrong block headers and lengths,
** truncated and doubled blocks, counts beyond the data, child ids that name
** nothing, cycles in the folder tree and a next-free-id counter that
** lags behind.  Each gives nil or false with LastErrorCode 11 or 1392 and a
** failure report from "VFSCore" or "VHFS"; none crashes, hangs or reads
** past what the file holds.
*/
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>

#include "runtime/files/folder_item_virtual.h"
#include "tests/files/volume_test_support.h"

namespace quendal::test {
namespace {

class VolumeCorruptTest : public VolumeTest {
 protected:
  /* A closed volume: /d holding a.txt (2000 bytes, three blocks) and b.txt. */
  void SetUp() override {
    {
      ObjectRef volume = Create("base.vol");
      ObjectRef root = Root(volume);
      ASSERT_TRUE(FolderItemCreateAsFolder(F(At(root, "d"))));
      ASSERT_TRUE(WriteAll(Imp(At(root, "d/a.txt")), std::string(2000, 'a')));
      ASSERT_TRUE(WriteAll(Imp(At(root, "d/b.txt")), "b"));
    }
    base_ = ReadFile(dir_.File("base.vol"));
  }

  /* Offset of the block of a file and sequence in the base volume. */
  size_t BlockAt(uint32_t fileId, uint32_t sequence) {
    for (const RawBlock& block : RawBlocks(base_)) {
      if (block.fileId == fileId && block.sequence == sequence) return block.offset;
    }
    ADD_FAILURE() << "no block " << fileId << "/" << sequence;
    return 0;
  }

  ObjectRef OpenDamaged(const std::function<void(std::string*)>& damage) {
    std::string bytes = base_;
    damage(&bytes);
    WriteFile(dir_.File("damaged.vol"), bytes);
    return Open("damaged.vol");
  }

  /* Writes raw bytes into an internal file of an open volume. */
  static void Poke(const ObjectRef& item, uint32_t fileId, int64_t position, uint32_t value) {
    uint8_t bytes[4];
    StoreU32(bytes, value, true);
    auto* inside = dynamic_cast<FolderItemImpVirtual*>(Imp(item));
    ASSERT_TRUE(inside->volume()->store().WriteAt(fileId, position, bytes, 4));
  }

  std::string base_;
};

TEST_F(VolumeCorruptTest, DamagedBlockStoresAreRefused) {
  struct Case {
    const char* what;
    std::function<void(std::string*)> damage;
    int32_t error;
  };
  size_t a1 = BlockAt(4, 1);
  const Case cases[] = {
      {"bad magic", [](std::string* b) { b->replace(0, 4, "VFSx"); }, 11},
      {"version 0", [](std::string* b) { PutBigU32(b, 4, 0); }, 11},
      {"first block of another file", [](std::string* b) { PutBigU32(b, 12, 7); }, 11},
      {"block without its magic", [&](std::string* b) { (*b)[a1] = 'X'; }, 1392},
      {"block length 0", [&](std::string* b) { b->replace(a1 + 12, 8, DoubleBytes(0, true)); }, 1392},
      {"block length 31", [&](std::string* b) { b->replace(a1 + 12, 8, DoubleBytes(31, true)); }, 1392},
      {"block length not a number",
       [&](std::string* b) { b->replace(a1 + 12, 8, DoubleBytes(std::numeric_limits<double>::quiet_NaN(), true)); },
       1392},
      {"block length beyond the file", [&](std::string* b) { b->replace(a1 + 12, 8, DoubleBytes(1e300, true)); },
       1392},
      {"block length of a half block", [&](std::string* b) { b->replace(a1 + 12, 8, DoubleBytes(1000.5, true)); },
       1392},
      {"trailer gone", [&](std::string* b) { (*b)[a1 + 1023] = 'X'; }, 1392},
      {"last block truncated", [](std::string* b) { b->resize(b->size() - 10); }, 1392},
      {"bytes after the last block", [](std::string* b) { b->append(20, '\0'); }, 1392},
      {"two blocks of one sequence", [&](std::string* b) { PutBigU32(b, BlockAt(4, 2) + 8, 1); }, 1392},
      {"a sequence left out", [&](std::string* b) { PutBigU32(b, a1 + 8, 5); }, 1392},
      {"owner beyond every id", [&](std::string* b) { PutBigU32(b, BlockAt(5, 0) + 4, 0xFFFFFFFF); }, 1392},
      {"no root", [&](std::string* b) { PutBigU32(b, BlockAt(2, 0) + 4, 0); }, 1392},
      {"root is a file", [&](std::string* b) { b->replace(BlockAt(2, 0) + 28 + 8, 4, "TEXT"); }, 1392},
  };
  for (const Case& c : cases) {
    FailureCapture reports;
    std::string bytes = base_;
    c.damage(&bytes);
    WriteFile(dir_.File("damaged.vol"), bytes);
    ObjectRef host = Host("damaged.vol");
    EXPECT_EQ(FolderItemOpenAsVirtualVolume(F(host)), nullptr) << c.what;
    EXPECT_EQ(FolderItemGetLastError(F(host)), c.error) << c.what;
    EXPECT_EQ(c.error == 1392, reports.Contains("VFSCore: ") || reports.Contains("VHFS: ")) << c.what;
  }
}

TEST_F(VolumeCorruptTest, DamagedBlockMapsAreRebuilt) {
  size_t map = DataAt(base_, 1, 8);
  for (uint32_t count : {0u, 3u, 0x7FFFFFFFu}) {
    ObjectRef volume = OpenDamaged([&](std::string* b) { PutBigU32(b, map + 4, count); });
    ASSERT_TRUE(volume) << count;
    EXPECT_EQ(ReadAll(Imp(At(Root(volume), "d/a.txt"))), std::string(2000, 'a'));
  }
  ObjectRef volume = OpenDamaged([&](std::string* b) { PutBigU32(b, DataAt(base_, 1, 4), 0xFFFFFFF0); });
  ASSERT_TRUE(volume) << "a map size beyond file 1";
  EXPECT_EQ(ReadAll(Imp(At(Root(volume), "d/b.txt"))), "b");
}

TEST_F(VolumeCorruptTest, LaggingIdCounterNeverHandsOutAnIdInUse) {
  {
    ObjectRef volume = OpenDamaged([&](std::string* b) { PutBigU32(b, DataAt(base_, 1, 0), 3); });
    ASSERT_TRUE(volume);
    ASSERT_TRUE(WriteAll(Imp(At(Root(volume), "new.txt")), "new"));
  }
  ObjectRef volume = Open("damaged.vol");
  ObjectRef root = Root(volume);
  EXPECT_EQ(ReadAll(Imp(At(root, "d/a.txt"))), std::string(2000, 'a'));
  EXPECT_EQ(ReadAll(Imp(At(root, "d/b.txt"))), "b");
  EXPECT_EQ(ReadAll(Imp(At(root, "new.txt"))), "new");
}

TEST_F(VolumeCorruptTest, DamagedCatalogFailsTheItemsItTouches) {
  size_t d = BlockAt(3, 0) + 28;
  {
    FailureCapture reports;
    ObjectRef volume = OpenDamaged([&](std::string* b) { PutBigU32(b, d + 256, 1000); });
    ObjectRef folder = At(Root(volume), "d");
    EXPECT_EQ(fileCountGetter(F(folder)), 0) << "a count beyond the data lists nothing";
    EXPECT_EQ(FolderItemTrueItem(F(folder), 1), nullptr);
    EXPECT_FALSE(FolderItemCreateAsFolder(F(At(folder, "x"))));
    EXPECT_TRUE(reports.Contains("VHFS: "));
  }
  for (uint32_t nothing : {99u, 1u}) { /* no file; the store's own file */
    FailureCapture reports;
    ObjectRef volume = OpenDamaged([&](std::string* b) { PutBigU32(b, d + 260, nothing); });
    ObjectRef folder = At(Root(volume), "d");
    EXPECT_EQ(fileCountGetter(F(folder)), 2);
    EXPECT_EQ(FolderItemTrueItem(F(folder), 1), nullptr) << "a child id that names no item";
    EXPECT_EQ(ReadAll(Imp(At(folder, "b.txt"))), "b");
    EXPECT_TRUE(reports.Contains("Failure Condition: a child id names an item"));
  }
  {
    FailureCapture reports;
    ObjectRef volume = OpenDamaged([&](std::string* b) { PutBigU32(b, d + 260, 2); });
    EXPECT_EQ(FolderItemTrueItem(F(At(Root(volume), "d")), 1), nullptr) << "the root listed as a child";
  }
  {
    FailureCapture reports;
    ObjectRef volume =
        OpenDamaged([&](std::string* b) { b->replace(BlockAt(4, 0) + 28, 8, DoubleBytes(1e6, true)); });
    ObjectRef a = At(Root(volume), "d/a.txt");
    EXPECT_FALSE(fileExistsGetter(F(a))) << "a data length beyond the blocks";
    EXPECT_EQ(ReadAll(Imp(a)), "<nil>");
    EXPECT_EQ(FolderItemGetLastError(F(a)), 1392);
  }
}

TEST_F(VolumeCorruptTest, CyclesInTheFolderTreeEndInAReport) {
  FailureCapture reports;
  ObjectRef volume = Open("base.vol");
  ObjectRef root = Root(volume);
  ObjectRef e = At(root, "d/e");
  ASSERT_TRUE(FolderItemCreateAsFolder(F(e)));
  ObjectRef inner = At(e, "f.txt");
  ASSERT_TRUE(WriteAll(Imp(inner), "f"));
  Poke(e, 3, 12, 6); /* d's parent becomes e: d -> e -> d -> ... */
  std::string path = Take(fileAbsolutePathGetter(F(inner)));
  EXPECT_NE(path.find("/e/f.txt"), std::string::npos) << path;
  EXPECT_TRUE(reports.Contains("Failure Condition: the folder tree has no cycle"));
  ObjectRef file = At(root, "top.txt");
  ASSERT_TRUE(WriteAll(Imp(file), "top"));
  FolderItemMoveFileTo(F(file), F(e));
  EXPECT_EQ(FolderItemGetLastError(F(file)), 1392) << "the move looked for e's ancestors";
  EXPECT_EQ(ReadAll(Imp(At(root, "top.txt"))), "top");
}

} // namespace
} // namespace quendal::test
