/*
** A virtual volume under load: a tree of 1 000 files in 100 folders, with
** contents from 0 bytes to 1 MB written in runs that straddle blocks, is
** closed, reopened and compared byte for byte; then half the files are
** deleted and as much is written again, which must reuse the freed blocks.
*/
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/files/volume_test_support.h"

namespace quendal::test {
namespace {

constexpr int kFolders = 100;
constexpr int kFiles = 1000;

/* Folder f: ten at the top ("d0".."d9"), ten below each of d0..d8 ("d3/e4"). */
std::string FolderPath(int f) {
  return f < 10 ? "d" + std::to_string(f) : "d" + std::to_string(f / 10 - 1) + "/e" + std::to_string(f % 10);
}
std::string FilePath(int i, int round) {
  return FolderPath(i % kFolders) + "/f" + std::to_string(i) + (round ? "-again" : "") + ".bin";
}

/* Mostly small files, one empty, every hundredth large, one of 1 MB. */
size_t SizeOf(int i) {
  if (i == 0) return 0;
  if (i == kFiles - 1) return 1 << 20;
  if (i % 100 == 50) return size_t(i) * 997;
  return size_t(i) * 7919 % 9000;
}

std::string ContentOf(int i, int round) {
  std::string bytes(SizeOf(i), '\0');
  uint32_t x = uint32_t(i * 2654435761u) ^ uint32_t(round + 1);
  for (char& c : bytes) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    c = char(x);
  }
  return bytes;
}

class VolumeRoundTripTest : public VolumeTest {
 protected:
  void CheckFile(const ObjectRef& root, int i, int round) {
    ObjectRef item = At(root, FilePath(i, round));
    ASSERT_TRUE(item) << FilePath(i, round);
    std::string read = ReadAll(Imp(item));
    ASSERT_EQ(read.size(), SizeOf(i)) << FilePath(i, round);
    ASSERT_TRUE(read == ContentOf(i, round)) << FilePath(i, round);
  }
};

TEST_F(VolumeRoundTripTest, TreeSurvivesCloseAndReopenAndFreedBlocksAreReused) {
  size_t written = 0;
  size_t blocks = 1 + 1 + kFolders; /* file 1, the root, the folders */
  {
    ObjectRef volume = Create("tree.vol");
    ObjectRef root = Root(volume);
    for (int f = 0; f < kFolders; f++) ASSERT_TRUE(FolderItemCreateAsFolder(F(At(root, FolderPath(f))))) << f;
    for (int i = 0; i < kFiles; i++) {
      ASSERT_TRUE(WriteAll(Imp(At(root, FilePath(i, 0))), ContentOf(i, 0), 1000 + size_t(i))) << i;
      written += SizeOf(i);
      blocks += (256 + SizeOf(i) + 991) / 992;
    }
  }
  /* No block is wasted: the items' blocks and those of the map (12 bytes
  ** an entry), nothing more. */
  size_t firstLength = ReadFile(dir_.File("tree.vol")).size();
  size_t mapBlocks = (16 + 12 * (blocks + blocks / 80)) / 992 + 1;
  EXPECT_LE(firstLength, 48 + 1024 * (blocks + mapBlocks));

  size_t deleted = 0;
  {
    ObjectRef volume = Open("tree.vol");
    ASSERT_TRUE(volume);
    ObjectRef root = Root(volume);
    EXPECT_EQ(fileCountGetter(F(root)), 10);
    EXPECT_EQ(fileCountGetter(F(At(root, "d3"))), 10 + 10);
    for (int i = 0; i < kFiles; i++) CheckFile(root, i, 0);
    for (int i = 0; i < kFiles; i += 2) {
      ASSERT_TRUE(FolderItemDelete(F(At(root, FilePath(i, 0))))) << i;
      deleted += SizeOf(i);
    }
    /* As much again, in files of other sizes: the freed blocks take it. */
    for (int i = 1; i < kFiles; i += 2) {
      if (SizeOf(i) > deleted) continue;
      ASSERT_TRUE(WriteAll(Imp(At(root, FilePath(i, 1))), ContentOf(i, 1), 4096)) << i;
      deleted -= SizeOf(i);
    }
  }
  size_t secondLength = ReadFile(dir_.File("tree.vol")).size();
  EXPECT_LT(secondLength - firstLength, written / 20) << "the file grows far less than the data written";

  ObjectRef volume = Open("tree.vol");
  ASSERT_TRUE(volume);
  ObjectRef root = Root(volume);
  for (int i = 0; i < kFiles; i++) {
    if (i % 2 == 0) {
      EXPECT_FALSE(fileExistsGetter(F(At(root, FilePath(i, 0))))) << i;
      continue;
    }
    CheckFile(root, i, 0);
    if (fileExistsGetter(F(At(root, FilePath(i, 1))))) CheckFile(root, i, 1);
  }
}

} // namespace
} // namespace quendal::test
