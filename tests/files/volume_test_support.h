/*
** Shared helpers for the virtual-volume tests: volumes in a temporary
** folder, items by path inside a volume, whole-file reads and writes
** through the file objects, and a reader of the raw block layout that is
** independent of the store's own code.
*/
#ifndef QUENDAL_TESTS_FILES_VOLUME_TEST_SUPPORT_H
#define QUENDAL_TESTS_FILES_VOLUME_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "runtime/files/folder_item.h"
#include "runtime/files/virtual_volume.h"
#include "tests/support/test_support.h"
#include "tests/text/string_test_support.h"

namespace quendal::test {

template <typename T>
ObjectRef Own(T* object) {
  return ObjectRef(object ? &object->header : nullptr);
}
inline FolderItemObject* F(const ObjectRef& item) { return reinterpret_cast<FolderItemObject*>(item.get()); }
inline VirtualVolumeObject* V(const ObjectRef& volume) { return reinterpret_cast<VirtualVolumeObject*>(volume.get()); }
inline FolderItemImp* Imp(const ObjectRef& item) { return item ? F(item)->mImp : nullptr; }

/* The item at a "/"-separated path below folder (nil when a step fails). */
inline ObjectRef At(const ObjectRef& folder, const std::string& path) {
  ObjectRef item = folder;
  size_t start = 0;
  while (item && start < path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    item = Own(FolderTrueChild(F(item), Make(path.substr(start, end - start)).get()));
    start = end + 1;
  }
  return item;
}

/* The whole content of a file item through its file object ("<nil>" when
** it cannot be opened, "<no item>" for none). */
inline std::string ReadAll(FolderItemImp* item) {
  if (item == nullptr) return "<no item>";
  std::unique_ptr<DataFile> file(item->Open(true));
  if (file == nullptr) return "<nil>";
  std::string bytes(size_t(file->Length()), '\0');
  int32_t got = 0;
  if (!bytes.empty() && (!file->Read(bytes.data(), int32_t(bytes.size()), &got) || got != int32_t(bytes.size()))) {
    return "<short>";
  }
  return bytes;
}

/* Creates (or empties) the file and writes bytes in runs of `run`. */
inline bool WriteAll(FolderItemImp* item, const std::string& bytes, size_t run = 65536) {
  std::unique_ptr<DataFile> file(item ? item->CreateFile("") : nullptr);
  if (file == nullptr) return false;
  for (size_t at = 0; at < bytes.size(); at += run) {
    if (!file->Write(bytes.data() + at, int32_t(std::min(run, bytes.size() - at)))) return false;
  }
  return true;
}

/* ---- the raw layout, read without the store ---- */

inline uint32_t BigU32(const std::string& bytes, size_t at) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + at);
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
inline void PutBigU32(std::string* bytes, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) (*bytes)[at + size_t(i)] = char(v >> (24 - 8 * i));
}
inline double DoubleAt(const std::string& bytes, size_t at, bool bigEndian) {
  uint8_t b[8];
  for (size_t i = 0; i < 8; i++) b[i] = uint8_t(bytes[at + (bigEndian ? 7 - i : i)]);
  double v;
  std::memcpy(&v, b, 8);
  return v;
}
inline std::string DoubleBytes(double v, bool bigEndian) {
  uint8_t b[8];
  std::memcpy(b, &v, 8);
  std::string out(8, '\0');
  for (size_t i = 0; i < 8; i++) out[i] = char(b[bigEndian ? 7 - i : i]);
  return out;
}

struct RawBlock {
  size_t offset;
  uint32_t fileId;
  uint32_t sequence;
  size_t length;
};

/* The blocks of a volume file of version 2 or 3, walked by their headers. */
inline std::vector<RawBlock> RawBlocks(const std::string& bytes) {
  std::vector<RawBlock> blocks;
  for (size_t at = 8; at + 28 <= bytes.size();) {
    size_t length = size_t(DoubleAt(bytes, at + 12, true));
    if (length < 32) break;
    blocks.push_back(RawBlock{at, BigU32(bytes, at + 4), BigU32(bytes, at + 8), length});
    at += length;
  }
  return blocks;
}

/* Offset in the host file of an internal file's data byte at position. */
inline size_t DataAt(const std::string& bytes, uint32_t fileId, size_t position) {
  std::vector<RawBlock> blocks = RawBlocks(bytes);
  for (uint32_t sequence = 0;; sequence++) {
    auto block = std::find_if(blocks.begin(), blocks.end(), [&](const RawBlock& b) {
      return b.fileId == fileId && b.sequence == sequence;
    });
    if (block == blocks.end()) break;
    if (position < block->length - 32) return block->offset + 28 + position;
    position -= block->length - 32;
  }
  ADD_FAILURE() << "file " << fileId << " has no byte there";
  return 0;
}

/* A temporary folder with volumes in it. */
class VolumeTest : public ::testing::Test {
 protected:
  ObjectRef Host(const std::string& name) { return Own(RuntimeGetFolderItem(Make(dir_.File(name)).get(), 0)); }
  ObjectRef Create(const std::string& name) { return Own(FolderItemCreateVirtualVolume(F(Host(name)))); }
  ObjectRef Open(const std::string& name) { return Own(FolderItemOpenAsVirtualVolume(F(Host(name)))); }
  static ObjectRef Root(const ObjectRef& volume) { return Own(VirtVolRootGetter(V(volume))); }

  TempDir dir_;
};

} // namespace quendal::test

#endif
