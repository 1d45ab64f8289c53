/*
** Virtual volumes: the format as bytes (a new volume, growth by blocks,
** version 1 byte orders, a rebuilt block map), files that are not
** volumes, and every FolderItem and stream operation inside a volume,
** with copies and moves between the host and volumes.
*/
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "runtime/files/date.h"
#include "runtime/files/data_file.h"
#include "runtime/files/folder_item_virtual.h"
#include "runtime/files/streams.h"
#include "runtime/files/volume_store.h"
#include "runtime/platform/paths.h"
#include "tests/files/volume_test_support.h"
#include "tests/objects/object_test_support.h"

namespace quendal::test {
namespace {

std::string Name(const ObjectRef& item) { return item ? Take(fileNameGetter(F(item))) : "nil"; }
std::string Path(const ObjectRef& item) { return item ? Take(fileAbsolutePathGetter(F(item))) : "nil"; }
int32_t Error(const ObjectRef& item) { return FolderItemGetLastError(F(item)); }

TEST_F(VolumeTest, NewVolumeIs48BytesAndGrowsByBlocksOf1024) {
  uint32_t error = 0;
  std::unique_ptr<DataFile> host(CreateHostDataFile(platform::WindowsPathFromPosix(dir_.File("raw.vol")), &error));
  std::unique_ptr<VolumeStore> store = VolumeStore::Format(std::move(host), 3, &error);
  ASSERT_TRUE(store);
  EXPECT_EQ(ReadFile(dir_.File("raw.vol")),
            std::string("VFSv\0\0\0\3BlkS\0\0\0\1\0\0\0\0", 20) + DoubleBytes(40, true) + std::string(8, '\0') +
                std::string("\0\0\0\2\0\0\0\0BlkE", 12));
  uint32_t first = 0, second = 0;
  ASSERT_TRUE(store->NewFile(&first));
  EXPECT_EQ(first, 2u);
  EXPECT_EQ(ReadFile(dir_.File("raw.vol")).size(), 48u + 1024);
  ASSERT_TRUE(store->NewFile(&second));
  EXPECT_EQ(ReadFile(dir_.File("raw.vol")).size(), 48u + 2048);
  /* A file grows by whole blocks of 992 data bytes. */
  std::string bytes(993, 'x');
  ASSERT_TRUE(store->WriteAt(first, 0, bytes.data(), int32_t(bytes.size())));
  EXPECT_EQ(store->Capacity(first), 2 * 992);
  EXPECT_EQ(store->hostLength(), 48 + 3 * 1024);

  /* Through the services: the root makes the second block; each item one more. */
  {
    ObjectRef volume = Create("new.vol");
    ASSERT_TRUE(volume);
    EXPECT_EQ(ReadFile(dir_.File("new.vol")).size(), 48u + 1024);
    ObjectRef root = Root(volume);
    EXPECT_TRUE(FolderItemCreateAsFolder(F(At(root, "a"))));
    EXPECT_TRUE(FolderItemCreateAsFolder(F(At(root, "b"))));
    EXPECT_EQ(ReadFile(dir_.File("new.vol")).size(), 48u + 3 * 1024);
  }
  /* Closing writes the map: file 1 needs a block of its own for it. */
  std::string closed = ReadFile(dir_.File("new.vol"));
  ASSERT_EQ(closed.size(), 48u + 4 * 1024);
  EXPECT_EQ(BigU32(closed, DataAt(closed, 1, 0)), 5u);              /* next free id */
  EXPECT_EQ(BigU32(closed, DataAt(closed, 1, 4)), 8u + 5 * 12);     /* map size */
  EXPECT_EQ(closed.substr(DataAt(closed, 1, 8), 4), "BMap");
}

TEST_F(VolumeTest, FilesThatAreNotVolumesGiveNil) {
  WriteFile(dir_.File("notes.txt"), "Observing plan for March\r\nM42 at 21:00\r\n");
  WriteFile(dir_.File("empty"), "");
  std::string newer = ReadFile(dir_.File("notes.txt"));
  newer.replace(0, 8, std::string("VFSv\0\0\0\4", 8));
  WriteFile(dir_.File("newer.vol"), newer);
  for (const char* name : {"notes.txt", "empty", "newer.vol"}) {
    ObjectRef host = Host(name);
    EXPECT_EQ(FolderItemOpenAsVirtualVolume(F(host)), nullptr) << name;
    EXPECT_EQ(Error(host), int32_t(kNotAVolumeError)) << name;
  }
  EXPECT_EQ(ReadFile(dir_.File("notes.txt")), "Observing plan for March\r\nM42 at 21:00\r\n");
  EXPECT_EQ(FolderItemOpenAsVirtualVolume(F(Host("missing.vol"))), nullptr);
  EXPECT_EQ(FolderItemOpenAsVirtualVolume(F(Own(RuntimeGetFolderItem(Make(dir_.path()).get(), 0)))), nullptr);
  EXPECT_EQ(FolderItemOpenAsVirtualVolume(nullptr), nullptr);
}

/* A version 1 volume: doubles and catalog values in little-endian order,
** no block map.  Blocks: file 1 (40 bytes), the root, file 3 "a.txt". */
std::string VersionOneVolume() {
  auto le32 = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
  auto block = [&](uint32_t id, const std::string& data, size_t length) {
    std::string b = std::string("BlkS", 4);
    b += std::string("\0\0\0", 3) + char(id) + std::string(4, '\0') + DoubleBytes(double(length), false);
    b += std::string(8, '\0') + data + std::string(length - 32 - data.size(), '\0') + "BlkE";
    return b;
  };
  auto item = [&](double length, const char* type, uint32_t parent, double created, const std::string& name) {
    std::string h = DoubleBytes(length, false) + std::string(type, 4) + le32(parent);
    h += DoubleBytes(created, false) + DoubleBytes(created + 60, false) + name;
    return h + std::string(256 - h.size(), '\0');
  };
  std::string volume = std::string("VFSv\0\0\0\1", 8);
  volume += block(1, std::string("\0\0\0\4\0\0\0\0", 8), 40);
  volume += block(2, item(8, "dlof", 0, 0, "/") + le32(1) + le32(3), 1024);
  volume += block(3, item(5, "TXET", 2, 86400, "a.txt") + "hello", 1024);
  return volume;
}

TEST_F(VolumeTest, VersionOneVolumeOpensReadsAndWritesItsByteOrders) {
  WriteFile(dir_.File("v1.vol"), VersionOneVolume());
  {
    ObjectRef volume = Open("v1.vol");
    ASSERT_TRUE(volume);
    ObjectRef root = Root(volume);
    ASSERT_EQ(fileCountGetter(F(root)), 1);
    ObjectRef a = Own(FolderItemTrueItem(F(root), 1));
    EXPECT_EQ(Name(a), "a.txt");
    EXPECT_EQ(ReadAll(Imp(a)), "hello");
    ObjectRef created(folderGetCreation(F(a)));
    EXPECT_EQ(dateTotalSecondsGetter(AsDate(created.get())), 86400);
    EXPECT_EQ(Take(fileMacTypeGetter(F(a))), "TEXT");
    EXPECT_TRUE(WriteAll(Imp(At(root, "b.txt")), "world"));
  }
  std::string bytes = ReadFile(dir_.File("v1.vol"));
  /* The new block's length and the new item's data length are little-endian. */
  EXPECT_EQ(bytes.substr(3 * 1024 + 48 + 12, 8), DoubleBytes(1024, false));
  EXPECT_EQ(bytes.substr(3 * 1024 + 48 + 28, 8), DoubleBytes(5, false));
  ObjectRef volume = Open("v1.vol");
  ASSERT_TRUE(volume);
  EXPECT_EQ(ReadAll(Imp(At(Root(volume), "b.txt"))), "world");
  EXPECT_EQ(fileCountGetter(F(Root(volume))), 2);
}

TEST_F(VolumeTest, MissingBlockMapIsRebuiltFromTheBlocksAndWrittenBack) {
  {
    ObjectRef volume = Create("plan.vol");
    ObjectRef root = Root(volume);
    ASSERT_TRUE(FolderItemCreateAsFolder(F(At(root, "2007"))));
    ASSERT_TRUE(WriteAll(Imp(At(root, "2007/m42.txt")), std::string(3000, 'm')));
  }
  std::string bytes = ReadFile(dir_.File("plan.vol"));
  size_t map = DataAt(bytes, 1, 8);
  ASSERT_EQ(bytes.substr(map, 4), "BMap");
  std::string damaged = bytes;
  damaged.replace(map, 4, "XXXX");
  WriteFile(dir_.File("plan.vol"), damaged);
  {
    ObjectRef volume = Open("plan.vol");
    ASSERT_TRUE(volume);
    EXPECT_EQ(ReadAll(Imp(At(Root(volume), "2007/m42.txt"))), std::string(3000, 'm'));
  }
  EXPECT_EQ(ReadFile(dir_.File("plan.vol")).substr(map, 4), "BMap");
  /* A map that merely leaves a block out is stale: rebuilt as well. */
  damaged = bytes;
  PutBigU32(&damaged, map + 4, BigU32(bytes, map + 4) - 1);
  WriteFile(dir_.File("plan.vol"), damaged);
  EXPECT_EQ(ReadAll(Imp(At(Root(Open("plan.vol")), "2007/m42.txt"))), std::string(3000, 'm'));
}

TEST_F(VolumeTest, ItemsMapFolderItemOperationsOntoTheCatalog) {
  ObjectRef volume = Create("sky.vol");
  ObjectRef root = Root(volume);
  std::string base = platform::WindowsPathFromPosix(dir_.File("sky.vol"));
  EXPECT_EQ(Name(root), "/");
  EXPECT_EQ(Path(root), base + "/");
  EXPECT_TRUE(fileDirectoryGetter(F(root)));
  EXPECT_EQ(folderParentGetter(F(root)), nullptr);
  EXPECT_FALSE(FolderItemDelete(F(root)));
  EXPECT_EQ(Error(root), kFolderErrorAccessDenied);

  ObjectRef docs = At(root, "docs");
  EXPECT_FALSE(fileExistsGetter(F(docs)));
  EXPECT_TRUE(FolderItemCreateAsFolder(F(docs)));
  EXPECT_FALSE(FolderItemCreateAsFolder(F(docs)));
  EXPECT_EQ(Error(docs), 183);
  EXPECT_EQ(Path(docs), base + "/docs/");
  EXPECT_TRUE(fileExistsGetter(F(At(root, "DOCS")))) << "names ignore ASCII case";
  EXPECT_FALSE(FolderItemCreateAsFolder(F(At(root, "nofolder/x"))));

  ObjectRef a = At(docs, "a.txt");
  ASSERT_TRUE(WriteAll(Imp(a), "abc"));
  ASSERT_TRUE(WriteAll(Imp(At(docs, "b.txt")), ""));
  EXPECT_EQ(Path(a), base + "/docs/a.txt");
  EXPECT_EQ(fileSizeGetter(F(a)), 3);
  EXPECT_FALSE(fileDirectoryGetter(F(a)));
  EXPECT_EQ(FolderTrueChild(F(a), Make("x").get()), nullptr) << "a file has no children";
  EXPECT_EQ(Path(Own(folderParentGetter(F(a)))), base + "/docs/");
  EXPECT_EQ(Name(Own(folderParentGetter(F(docs)))), "/");
  EXPECT_EQ(fileCountGetter(F(docs)), 2);
  EXPECT_EQ(Name(Own(FolderItemTrueItem(F(docs), 1))), "a.txt");
  EXPECT_EQ(Name(Own(FolderItemTrueItem(F(docs), 2))), "b.txt");
  EXPECT_EQ(FolderItemTrueItem(F(docs), 3), nullptr);
  EXPECT_EQ(FolderItemTrueItem(F(docs), 0), nullptr);

  /* Renames: not onto a sibling, not to a name with a separator. */
  EXPECT_FALSE(fileNameSetter(F(a), Make("B.TXT").get()));
  EXPECT_EQ(Error(a), 183);
  EXPECT_FALSE(fileNameSetter(F(a), Make("x/y").get()));
  EXPECT_EQ(Error(a), kFolderErrorInvalidName);
  EXPECT_TRUE(fileNameSetter(F(a), Make("c.txt").get()));
  EXPECT_EQ(Name(a), "c.txt");
  EXPECT_FALSE(fileExistsGetter(F(At(docs, "a.txt"))));
  EXPECT_EQ(ReadAll(Imp(At(docs, "c.txt"))), "abc");
  std::string longName(300, 'n');
  ObjectRef cut = At(docs, longName);
  ASSERT_TRUE(WriteAll(Imp(cut), "long"));
  EXPECT_EQ(Name(cut).size(), 223u);
  EXPECT_EQ(ReadAll(Imp(At(docs, longName))), "long") << "a long name finds its cut item";

  /* Dates round-trip as TotalSeconds. */
  ObjectRef date(NewDateWithTotalSeconds(3.2e9));
  folderSetCreation(F(a), date.get());
  folderSetModified(F(a), date.get());
  ObjectRef back(folderGetModified(F(a)));
  EXPECT_EQ(dateTotalSecondsGetter(AsDate(ObjectRef(folderGetCreation(F(a))).get())), 3.2e9);
  EXPECT_EQ(dateTotalSecondsGetter(AsDate(back.get())), 3.2e9);

  /* Deleting: a folder only when empty. */
  EXPECT_FALSE(FolderItemDelete(F(docs)));
  EXPECT_EQ(Error(docs), 145);
  for (const char* name : {"c.txt", "b.txt"}) EXPECT_TRUE(FolderItemDelete(F(At(docs, name)))) << name;
  EXPECT_TRUE(FolderItemDelete(F(cut)));
  EXPECT_FALSE(FolderItemDelete(F(a)));
  EXPECT_EQ(Error(a), kFolderErrorNotFound);
  EXPECT_TRUE(FolderItemDelete(F(docs)));
  EXPECT_EQ(fileCountGetter(F(root)), 0);
}

TEST_F(VolumeTest, StreamsWorkInsideTheVolume) {
  ObjectRef volume = Create("s.vol");
  ObjectRef log = At(Root(volume), "log.txt");
  {
    ObjectRef out = Own(FolderItemCreateTextFile(F(log)));
    ASSERT_TRUE(out);
    TextOutputStreamWriteLine(reinterpret_cast<TextOutputStreamObject*>(out.get()), Make("first").get());
    /* One writer and nobody else: no second stream, no delete meanwhile. */
    EXPECT_EQ(FolderItemOpenTextFile(F(log)), nullptr);
    EXPECT_EQ(Error(log), 32);
    EXPECT_FALSE(FolderItemDelete(F(log)));
    EXPECT_EQ(Error(log), kFolderErrorInUse);
  }
  {
    ObjectRef append = Own(FolderItemAppendTextFile(F(log)));
    TextOutputStreamWriteLine(reinterpret_cast<TextOutputStreamObject*>(append.get()), Make("second").get());
  }
  {
    ObjectRef in = Own(FolderItemOpenTextFile(F(log)));
    ObjectRef again = Own(FolderItemOpenTextFile(F(log)));
    ASSERT_TRUE(in && again) << "any number of readers";
    auto* text = reinterpret_cast<TextInputStreamObject*>(in.get());
    EXPECT_EQ(Take(TextInputStreamReadLine(text, nullptr)), "first");
    EXPECT_EQ(Take(TextInputStreamReadLine(text, nullptr)), "second");
    EXPECT_TRUE(TextInputStreamEOF(text));
  }
  ObjectRef data = At(Root(volume), "data.bin");
  {
    ObjectRef stream = Own(FolderItemCreateBinaryFile(F(data), Make("").get()));
    auto* binary = reinterpret_cast<BinaryStreamObject*>(stream.get());
    BinaryStreamWrite(binary, Make(std::string(4000, 'x')).get());
    /* Shrinking frees the tail blocks; neither growing again nor writing
    ** past the end brings their bytes back. */
    BinaryStreamSetLength(binary, 10);
    BinaryStreamSetLength(binary, 1200);
    BinaryStreamSetPosition(binary, 3000);
    BinaryStreamWriteLong(binary, 7);
    EXPECT_EQ(BinaryStreamGetLength(binary), 3004);
  }
  std::string bytes = ReadAll(Imp(data));
  EXPECT_EQ(bytes, std::string(10, 'x') + std::string(2990, '\0') + std::string("\0\0\0\7", 4));
  /* While another handle only reads the file, the volume opens read-only
  ** and is locked: nothing is created or opened for writing. */
  volume = ObjectRef();
  data = log = ObjectRef();
  uint32_t error = 0;
  std::unique_ptr<DataFile> reader(OpenHostDataFile(platform::WindowsPathFromPosix(dir_.File("s.vol")), true, &error));
  ASSERT_TRUE(reader);
  ObjectRef readOnly = Open("s.vol");
  ASSERT_TRUE(readOnly);
  ObjectRef root = Root(readOnly);
  EXPECT_TRUE(fileLockedGetter(F(root)));
  EXPECT_EQ(ReadAll(Imp(At(root, "log.txt"))), "first\r\nsecond\r\n");
  EXPECT_EQ(FolderItemCreateTextFile(F(At(root, "new.txt"))), nullptr);
  EXPECT_FALSE(FolderItemCreateAsFolder(F(At(root, "new"))));
  EXPECT_EQ(FolderItemOpenBinaryFile(F(At(root, "data.bin")), true), nullptr);
}

TEST_F(VolumeTest, CopiesAndMovesCrossBetweenHostAndVolumes) {
  WriteFile(dir_.File("m42.txt"), "Orion nebula");
  ObjectRef volume = Create("c.vol");
  ObjectRef root = Root(volume);
  ObjectRef inbox = At(root, "inbox");
  ASSERT_TRUE(FolderItemCreateAsFolder(F(inbox)));

  FolderItemCopyFileTo(F(Host("m42.txt")), F(inbox)); /* host -> volume folder */
  EXPECT_EQ(ReadAll(Imp(At(inbox, "m42.txt"))), "Orion nebula");
  ObjectRef host = Host("m42.txt");
  FolderItemCopyFileTo(F(host), F(inbox));
  EXPECT_EQ(Error(host), 80) << "copies never overwrite";

  FolderItemCopyFileTo(F(At(inbox, "m42.txt")), F(At(root, "copy.txt"))); /* within, to a new name */
  EXPECT_EQ(ReadAll(Imp(At(root, "copy.txt"))), "Orion nebula");
  FolderItemCopyFileTo(F(At(root, "copy.txt")), F(Host("out.txt"))); /* volume -> host */
  EXPECT_EQ(ReadFile(dir_.File("out.txt")), "Orion nebula");

  /* A folder moves within its volume with everything in it. */
  ObjectRef archive = At(root, "archive");
  ASSERT_TRUE(FolderItemCreateAsFolder(F(archive)));
  FolderItemMoveFileTo(F(inbox), F(archive));
  EXPECT_EQ(Error(inbox), 0);
  EXPECT_FALSE(fileExistsGetter(F(inbox)));
  EXPECT_EQ(ReadAll(Imp(At(archive, "inbox/m42.txt"))), "Orion nebula");
  EXPECT_EQ(Path(At(archive, "inbox/m42.txt")), Take(fileAbsolutePathGetter(F(archive))) + "inbox/m42.txt");
  ObjectRef moved = At(archive, "inbox");
  FolderItemMoveFileTo(F(archive), F(moved));
  EXPECT_EQ(Error(archive), 87) << "not into itself";
  FolderItemCopyFileTo(F(archive), F(Host("")));
  EXPECT_EQ(Error(archive), kFolderErrorAccessDenied) << "folders do not leave the volume";

  /* Moves across file systems copy, then delete the source. */
  FolderItemMoveFileTo(F(At(root, "copy.txt")), F(Host("moved.txt")));
  EXPECT_EQ(ReadFile(dir_.File("moved.txt")), "Orion nebula");
  EXPECT_FALSE(fileExistsGetter(F(At(root, "copy.txt"))));
  FolderItemMoveFileTo(F(Host("moved.txt")), F(root));
  EXPECT_FALSE(fileExistsGetter(F(Host("moved.txt"))));
  EXPECT_EQ(ReadAll(Imp(At(root, "moved.txt"))), "Orion nebula");
  /* A file moves within the volume under a new name, not over another. */
  FolderItemMoveFileTo(F(At(root, "moved.txt")), F(At(archive, "inbox/m42.txt")));
  EXPECT_EQ(Error(At(root, "moved.txt")), 0);
  ObjectRef twice = At(root, "moved.txt");
  FolderItemMoveFileTo(F(twice), F(At(archive, "renamed.txt")));
  EXPECT_EQ(ReadAll(Imp(At(archive, "renamed.txt"))), "Orion nebula");
}

TEST_F(VolumeTest, VolumeStaysOpenWhileItsItemsLive) {
  ObjectRef volume = Create("o.vol");
  ObjectRef root = Root(volume);
  ObjectRef file = At(root, "kept.txt");
  ASSERT_TRUE(WriteAll(Imp(file), "kept"));
  volume = ObjectRef(); /* the destructor writes the map; the items keep the volume */
  std::string flushed = ReadFile(dir_.File("o.vol"));
  EXPECT_EQ(flushed.substr(DataAt(flushed, 1, 8), 4), "BMap");
  EXPECT_EQ(ReadAll(Imp(file)), "kept");
  ObjectRef again = Open("o.vol");
  ASSERT_TRUE(again) << "a second open shares the open volume";
  EXPECT_EQ(ReadAll(Imp(At(Root(Own(folderVirtVolGetter(F(file)))), "kept.txt"))), "kept");
  EXPECT_EQ(ReadAll(Imp(At(Root(again), "kept.txt"))), "kept");
  EXPECT_EQ(FolderItemCreateVirtualVolume(F(Host("o.vol"))), nullptr) << "an open volume is not replaced";
  EXPECT_EQ(folderVirtVolGetter(F(Host("o.vol"))), nullptr);
}

} // namespace
} // namespace quendal::test
