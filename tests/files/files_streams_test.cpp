/*
** Streams: the bytes TextOutputStream writes, line ends across the input
** buffer, typed binary values in both byte orders, short reads, PStrings,
** in-memory streams, streams over handles, and share modes between them.
*/
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/text/encoding_tags.h"
#include "runtime/files/date.h"
#include "runtime/files/folder_item.h"
#include "runtime/files/streams.h"
#include "runtime/platform/files.h"
#include "runtime/objects/text_encoding.h"
#include "tests/objects/object_test_support.h"
#include "tests/text/string_test_support.h"
#include "tests/support/test_support.h"

namespace quendal::test {
namespace {

template <typename T>
ObjectRef Own(T* object) {
  return ObjectRef(object ? &object->header : nullptr);
}
template <typename T>
T* As(const ObjectRef& ref) {
  return reinterpret_cast<T*>(ref.get());
}

class StreamTest : public ::testing::Test {
 protected:
  ObjectRef Item(const std::string& name) {
    return Own(RuntimeGetFolderItem(Make(dir_.File(name)).get(), 0));
  }
  FolderItemObject* ItemOf(const std::string& name) {
    items_.push_back(Item(name));
    return As<FolderItemObject>(items_.back());
  }
  TempDir dir_;
  std::vector<ObjectRef> items_;
};

TEST_F(StreamTest, TextOutputWritesBytesAsTheyAre) {
  WriteFile(dir_.File("out.txt"), "old contents");
  {
    ObjectRef out = Own(FolderItemCreateTextFile(ItemOf("out.txt")));
    ASSERT_TRUE(out);
    auto* stream = As<TextOutputStreamObject>(out);
    TextOutputStreamWriteLine(stream, Make("abc").get());
    TextOutputStreamWrite(stream, Make("d").get());
    StringAssign(&stream->delimiter, Make("\n", kEncodingASCII).get());
    TextOutputStreamWriteLine(stream, Make("e").get());
    StringAssign(&stream->delimiter, nullptr);
    TextOutputStreamWriteLine(stream, Wide(u"\u00e9").get()); /* the line end in UTF-16 too */
    TextOutputStreamWriteLine(stream, nullptr);
    TextOutputStreamClose(stream);
    TextOutputStreamWrite(stream, Make("lost").get());
    EXPECT_EQ(TextOutputStreamLastErrorGetter(stream), 0);
    FailureCapture failures;
    TextOutputStreamFlush(stream);
    EXPECT_TRUE(failures.Contains("obj->mechanism"));
  }
  EXPECT_EQ(ReadFile(dir_.File("out.txt")), std::string("abc\r\nde\n\xe9\0\r\0\n\0\r\n", 16));

  /* Appending creates a missing file and adds to an existing one. */
  for (int round = 0; round < 2; round++) {
    ObjectRef out = Own(FolderItemAppendTextFile(ItemOf("log.txt")));
    ASSERT_TRUE(out);
    TextOutputStreamWriteLine(As<TextOutputStreamObject>(out), Make("line").get());
  }
  EXPECT_EQ(ReadFile(dir_.File("log.txt")), "line\r\nline\r\n");
}

TEST_F(StreamTest, TextInputSplitsLinesAtEveryLineEnd) {
  auto lines = [&](const std::string& bytes, TextEncodingObject* encoding = nullptr) {
    WriteFile(dir_.File("in.txt"), bytes);
    ObjectRef in = Own(FolderItemOpenTextFile(ItemOf("in.txt")));
    auto* stream = As<TextInputStreamObject>(in);
    std::vector<std::string> out;
    for (int guard = 0; guard < 100 && !TextInputStreamEOF(stream); guard++) {
      out.push_back(Take(TextInputStreamReadLine(stream, encoding)));
    }
    return out;
  };
  EXPECT_EQ(lines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(lines("a\n\nb\r"), (std::vector<std::string>{"a", "", "b"}));
  /* CR as byte 1024 and LF as byte 1025: one line end, not two. */
  std::string long1023(1023, 'x');
  EXPECT_EQ(lines(long1023 + "\r\ny"), (std::vector<std::string>{long1023, "y"}));
  EXPECT_EQ(lines(std::string(1024, 'x') + "\ny"), (std::vector<std::string>{std::string(1024, 'x'), "y"}));
  /* UTF-16 is scanned by units; a CR unit at the end of the buffer still
  ** takes the LF unit after it. */
  std::u16string wide(511, u'x');
  wide += u"\r\ny\u0d0a";
  std::string bytes(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
  std::vector<std::string> wideLines = lines(bytes, SharedEncodingObject(kEncodingUTF16));
  ASSERT_EQ(wideLines.size(), 2u);
  EXPECT_EQ(wideLines[0], WideBytes(std::u16string(511, u'x')));
  EXPECT_EQ(wideLines[1], WideBytes(u"y\u0d0a"));
}

TEST_F(StreamTest, TextInputPositionsAndBlockReads) {
  WriteFile(dir_.File("in.txt"), "first\nsecond\nthird");
  ObjectRef in = Own(FolderItemOpenTextFile(ItemOf("in.txt")));
  auto* stream = As<TextInputStreamObject>(in);
  StringRef line(TextInputStreamReadLine(stream, nullptr));
  EXPECT_EQ(StringEncoding(line.get()), kEncodingUTF8);
  EXPECT_EQ(TextInputStreamGetPosition(stream), 6);
  EXPECT_EQ(Take(TextInputStreamRead(stream, 3, nullptr)), "sec");
  EXPECT_EQ(Take(TextInputStreamReadAll(stream, nullptr)), "ond\nthird");
  EXPECT_TRUE(TextInputStreamEOF(stream));
  TextInputStreamSetPosition(stream, 13);
  EXPECT_EQ(Take(TextInputStreamRead(stream, 1000, nullptr)), "third");
  EXPECT_EQ(TextInputStreamRead(stream, 0, nullptr), nullptr);
  TextInputStreamClose(stream);
  EXPECT_EQ(TextInputStreamReadLine(stream, nullptr), nullptr);
  EXPECT_TRUE(TextInputStreamEOF(stream));
  FolderItemObject* missing = ItemOf("missing.txt");
  EXPECT_EQ(FolderItemOpenTextFile(missing), nullptr);
  EXPECT_EQ(FolderItemGetLastError(missing), 2); /* the raw Win32 error */
}

TEST_F(StreamTest, BinaryValuesInBothByteOrders) {
  ObjectRef ref = Own(FolderItemCreateBinaryFile(ItemOf("b.bin"), nullptr));
  auto* stream = As<BinaryStreamObject>(ref);
  BinaryStreamWriteLong(stream, 1);
  stream->littleEndian = true;
  BinaryStreamWriteLong(stream, 1);
  EXPECT_EQ(ReadFile(dir_.File("b.bin")), std::string("\0\0\0\1\1\0\0\0", 8));

  for (bool little : {false, true}) {
    BinaryStreamSetLength(stream, 0);
    BinaryStreamSetPosition(stream, 0);
    stream->littleEndian = little;
    BinaryStreamWriteShort(stream, -2);
    BinaryStreamWriteUInt16(stream, 65535);
    BinaryStreamWriteUInt32(stream, 0xDEADBEEF);
    BinaryStreamWriteInt64(stream, -1234567890123);
    BinaryStreamWriteCurrency(stream, 15000);
    BinaryStreamWriteFloat(stream, 1.5);
    BinaryStreamWriteFloat(stream, 1e300);
    BinaryStreamWriteDouble(stream, -2.25);
    BinaryStreamWriteBoolean(stream, true);
    BinaryStreamWriteInt8(stream, -5);
    EXPECT_EQ(BinaryStreamGetLength(stream), 42);
    BinaryStreamSetPosition(stream, 0);
    EXPECT_EQ(BinaryStreamReadShort(stream), -2);
    EXPECT_EQ(BinaryStreamReadUInt16(stream), 65535);
    EXPECT_EQ(BinaryStreamReadUInt32(stream), 0xDEADBEEFu);
    EXPECT_EQ(BinaryStreamReadInt64(stream), -1234567890123);
    EXPECT_EQ(BinaryStreamReadCurrency(stream), 15000);
    EXPECT_EQ(BinaryStreamReadFloat(stream), 1.5);
    EXPECT_EQ(BinaryStreamReadFloat(stream), __builtin_inf());
    EXPECT_EQ(BinaryStreamReadDouble(stream), -2.25);
    EXPECT_TRUE(BinaryStreamReadBoolean(stream));
    EXPECT_EQ(BinaryStreamReadInt8(stream), -5);
    EXPECT_TRUE(BinaryStreamEOF(stream));
  }
}

TEST_F(StreamTest, ShortReadsAndPStrings) {
  ObjectRef ref = Own(FolderItemCreateBinaryFile(ItemOf("p.bin"), nullptr));
  auto* stream = As<BinaryStreamObject>(ref);
  BinaryStreamWritePString(stream, Make(std::string(300, 'q')).get());
  BinaryStreamWritePString(stream, nullptr);
  EXPECT_EQ(BinaryStreamGetLength(stream), 257);
  BinaryStreamSetPosition(stream, 0);
  EXPECT_EQ(Take(BinaryStreamReadPString(stream, nullptr)), std::string(255, 'q'));
  EXPECT_EQ(BinaryStreamReadPString(stream, nullptr), nullptr);
  EXPECT_EQ(BinaryStreamReadPString(stream, nullptr), nullptr); /* nothing left */

  BinaryStreamWrite(stream, Make(std::string("\x0A" "abc", 4)).get()); /* claims 10, holds 3 */
  BinaryStreamSetPosition(stream, 257);
  StringRef shortened(BinaryStreamReadPString(stream, SharedEncodingObject(kEncodingASCII)));
  EXPECT_EQ(Take(StringWithTag(shortened.get(), kEncodingUTF8)), "abc");
  EXPECT_EQ(StringEncoding(shortened.get()), kEncodingASCII);

  BinaryStreamSetPosition(stream, 258);
  EXPECT_EQ(BinaryStreamReadLong(stream), 0); /* only 3 bytes left */
  EXPECT_EQ(BinaryStreamReadByte(stream), 0);
  BinaryStreamSetPosition(stream, 258);
  EXPECT_EQ(Take(BinaryStreamRead(stream, 100, nullptr)), "abc");
  EXPECT_EQ(BinaryStreamRead(stream, 0, nullptr), nullptr);
  /* Cutting the file leaves the position where it was. */
  BinaryStreamSetPosition(stream, 4);
  BinaryStreamSetLength(stream, 2);
  EXPECT_EQ(BinaryStreamGetPosition(stream), 4);
  EXPECT_EQ(BinaryStreamGetLength(stream), 2);
  EXPECT_TRUE(BinaryStreamEOF(stream));
  BinaryStreamClose(stream);
  EXPECT_EQ(BinaryStreamReadLong(stream), 0);
  EXPECT_TRUE(BinaryStreamEOF(stream));
}

/* A MemoryBlock stand-in for the seam: any object, viewed as the buffer. */
uint8_t gBlockBytes[8];
bool ViewTestBlock(ObjectHeader*, MemoryBlockView* view) {
  *view = MemoryBlockView{gBlockBytes, sizeof gBlockBytes, true};
  return true;
}
const MemoryBlockAccess kTestBlockAccess = {ViewTestBlock};

TEST_F(StreamTest, InMemoryStreams) {
  ObjectRef ref(CreateInstance(&kBinaryStreamDefinition));
  auto* stream = As<BinaryStreamObject>(ref);
  BinaryStringStringCtor(stream, Make("abcd").get());
  EXPECT_EQ(BinaryStreamReadLong(stream), 0x61626364);
  BinaryStreamWriteByte(stream, 1);
  EXPECT_EQ(BinaryStreamLastErrorGetter(stream), 100);
  BinaryStreamSetLength(stream, 0);
  EXPECT_EQ(BinaryStreamGetLength(stream), 4);

  EXPECT_EQ(RaisedClass([&] { BinaryStringMemoryBlockCtor(stream, nullptr); }), "NilObjectException");
  ObjectRef notBlock(NewDateWithTotalSeconds(0));
  EXPECT_EQ(RaisedClass([&] { BinaryStringMemoryBlockCtor(stream, notBlock.get()); }), "IllegalCastException");

  InstallMemoryBlockAccess(&kTestBlockAccess);
  memset(gBlockBytes, 0, sizeof gBlockBytes);
  BinaryStringMemoryBlockCtor(stream, notBlock.get());
  EXPECT_TRUE(stream->littleEndian);
  BinaryStreamWriteLong(stream, 0x01020304);
  EXPECT_EQ(gBlockBytes[0], 4);
  BinaryStreamSetPosition(stream, 6);
  BinaryStreamWriteLong(stream, 7); /* would pass the end: nothing written */
  EXPECT_EQ(BinaryStreamLastErrorGetter(stream), 38);
  EXPECT_EQ(gBlockBytes[6], 0);
  BinaryStreamClose(stream);
  InstallMemoryBlockAccess(nullptr);
}

TEST_F(StreamTest, StreamsOverHandlesLeaveTheHandleToItsOwner) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  {
    ObjectRef ref(CreateInstance(&kTextOutputStreamDefinition));
    auto* out = As<TextOutputStreamObject>(ref);
    TextOutputStreamHandleCtor(out, fds[1], 3);
    TextOutputStreamWriteLine(out, Make("piped").get());
    EXPECT_GE(TextOutputStreamHandleGetter(out, 3), 0);
    TextOutputStreamClose(out);
  }
  ASSERT_EQ(write(fds[1], "!", 1), 1); /* still open */
  close(fds[1]);
  {
    ObjectRef ref(CreateInstance(&kTextInputStreamDefinition));
    auto* in = As<TextInputStreamObject>(ref);
    TextInputStreamHandleCtor(in, reinterpret_cast<intptr_t>(platform::HandleFromDescriptor(fds[0])), 1);
    EXPECT_EQ(Take(TextInputStreamReadLine(in, nullptr)), "piped");
    EXPECT_EQ(Take(TextInputStreamReadLine(in, nullptr)), "!");
    EXPECT_TRUE(TextInputStreamEOF(in));
  }
  close(fds[0]);

  FILE* scratch = tmpfile();
  ASSERT_NE(scratch, nullptr);
  ObjectRef ref(CreateInstance(&kBinaryStreamDefinition));
  auto* stream = As<BinaryStreamObject>(ref);
  BinaryStreamHandleCtor(stream, reinterpret_cast<intptr_t>(scratch), 2);
  BinaryStreamWrite(stream, Make("xyz").get());
  auto* view = reinterpret_cast<FILE*>(BinaryStreamHandleGetter(stream, 2));
  ASSERT_NE(view, nullptr);
  rewind(view);
  char back[4] = {};
  EXPECT_EQ(fread(back, 1, 3, view), 3u);
  EXPECT_STREQ(back, "xyz");
  BinaryStreamClose(stream);
  fclose(scratch);
  for (int32_t kind : {1, 3, 4}) {
    EXPECT_EQ(RaisedClass([&] { BinaryStreamHandleCtor(stream, -5, kind); }), "UnsupportedFormatException");
  }
}

TEST_F(StreamTest, OpenStreamsKeepTheirShareModes) {
  WriteFile(dir_.File("shared.bin"), "data");
  ObjectRef writer = Own(FolderItemOpenBinaryFile(ItemOf("shared.bin"), true));
  ASSERT_TRUE(writer);
  /* Both share reading only: neither may join the writer. */
  EXPECT_EQ(FolderItemOpenBinaryFile(ItemOf("shared.bin"), false), nullptr);
  EXPECT_EQ(FolderItemGetLastError(As<FolderItemObject>(items_.back())), 32);
  EXPECT_EQ(FolderItemCreateTextFile(ItemOf("shared.bin")), nullptr);
  EXPECT_EQ(ReadFile(dir_.File("shared.bin")), "data");
  BinaryStreamClose(As<BinaryStreamObject>(writer));
  ObjectRef reader = Own(FolderItemOpenBinaryFile(ItemOf("shared.bin"), false));
  EXPECT_TRUE(reader);
  ObjectRef second = Own(FolderItemOpenBinaryFile(ItemOf("shared.bin"), false));
  EXPECT_TRUE(second);
}

} // namespace
} // namespace quendal::test
