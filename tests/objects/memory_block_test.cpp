/*
** MemoryBlock: bounds of owned blocks, wrapping blocks, byte order,
** strings of every layout, colours, resizing, slices, comparison and
** conversions, allocation failures.
*/
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "runtime/base/allocation.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/memory_block.h"
#include "runtime/objects/simple_vector.h"
#include "runtime/text/string_core.h"
#include "tests/objects/object_test_support.h"

namespace quendal {
namespace {

using test::RaisedClass;
using test::Text;

class MemoryBlocks : public ::testing::Test {
 protected:
  void SetUp() override {
    SharedEncodingObject(kEncodingUTF8); /* the shared table keeps it for good */
    live_ = LiveObjectCount();
  }
  void TearDown() override {
    held_.clear();
    EXPECT_EQ(LiveObjectCount(), live_) << "objects leaked";
  }
  /* Blocks the fixture releases at the end. */
  MemoryBlockObject* Hold(MemoryBlockObject* b) {
    held_.emplace_back(&b->header);
    return b;
  }
  MemoryBlockObject* Owned(int32_t size) { return Hold(newMemoryBlock(size)); }
  MemoryBlockObject* OwnedWith(const std::vector<uint8_t>& bytes) {
    MemoryBlockObject* b = Owned(int32_t(bytes.size()));
    if (!bytes.empty()) std::memcpy(b->data, bytes.data(), bytes.size());
    return b;
  }
  static std::vector<uint8_t> Bytes(const MemoryBlockObject* b) {
    return b ? std::vector<uint8_t>(b->data, b->data + b->size) : std::vector<uint8_t>{};
  }
  std::vector<ObjectRef> held_;
  int32_t live_ = 0;
};

using Raw = std::vector<uint8_t>;

TEST_F(MemoryBlocks, OwnedBlocksCheckEveryAccess) {
  MemoryBlockObject* b = Owned(4);
  memorySetLong(b, 0, 1);
  EXPECT_EQ(RaisedClass([&] { memorySetLong(b, 1, 1); }), "OutOfBoundsException");
  EXPECT_EQ(RaisedClass([&] { memoryGetLong(b, -1); }), "OutOfBoundsException");
  EXPECT_EQ(RaisedClass([&] { memoryGetInt64(b, 0); }), "OutOfBoundsException");
  EXPECT_EQ(RaisedClass([&] { memoryGetLong(b, INT32_MAX); }), "OutOfBoundsException");
  EXPECT_EQ(RaisedClass([&] { memoryGetByte(Owned(0), 0); }), "OutOfBoundsException");
  EXPECT_EQ(RaisedClass([&] { memoryGetByte(nullptr, 0); }), "NilObjectException");
  EXPECT_EQ(memoryGetByte(b, 3), 0);
  EXPECT_EQ(Bytes(b), (Raw{1, 0, 0, 0}));
}

TEST_F(MemoryBlocks, MultiByteValuesFollowTheBlocksByteOrder) {
  MemoryBlockObject* b = Owned(8);
  b->littleEndian = 0;
  memorySetLong(b, 0, 1);
  EXPECT_EQ(Bytes(b), (Raw{0, 0, 0, 1, 0, 0, 0, 0}));
  EXPECT_EQ(memoryGetLong(b, 0), 1);
  memorySetInt64(b, 0, 0x0102030405060708);
  EXPECT_EQ(Bytes(b), (Raw{1, 2, 3, 4, 5, 6, 7, 8}));
  memorySetDouble(b, 0, -2.5);
  EXPECT_EQ(memoryGetDouble(b, 0), -2.5);
  b->littleEndian = 1;
  EXPECT_NE(memoryGetDouble(b, 0), -2.5);
  memorySetUInt16(b, 0, 0x1234);
  EXPECT_EQ(b->data[0], 0x34);
  memorySetByte(b, 0, 200);
  EXPECT_EQ(memoryGetByte(b, 0), 200);
  EXPECT_EQ(memoryGetInt8(b, 0), -56);
  memorySetShort(b, 0, -1);
  EXPECT_EQ(memoryGetUShort(b, 0), 65535);
  EXPECT_EQ(memoryGetInt16(b, 0), -1);
  b->data[0] = 2;
  EXPECT_TRUE(memoryGetBoolean(b, 0));
  memorySetBoolean(b, 0, true);
  EXPECT_EQ(b->data[0], 1);
}

TEST_F(MemoryBlocks, WrappingBlocksHaveNoSizeAndCheckOnlyTheirPointer) {
  uint8_t foreign[8] = {};
  MemoryBlockObject* w = Hold(PtrToMemoryBlock(foreign));
  EXPECT_EQ(memoryBlockGetSize(w), -1);
  EXPECT_EQ(memoryBlockGetPtr(w), foreign);
  memorySetLong(w, 4, 7);
  EXPECT_EQ(foreign[4], 7);
  StringRef none(MemoryBlockToStringOperator(w));
  EXPECT_TRUE(none.empty());

  MemoryBlockObject* slot = Owned(8);
  memorySetPtr(slot, 0, w);
  MemoryBlockObject* back = Hold(memoryGetPtr(slot, 0));
  EXPECT_EQ(back->data, foreign);
  EXPECT_EQ(memoryBlockGetSize(back), -1);
  memorySetPtr(slot, 0, nullptr);
  EXPECT_EQ(memoryGetPtr(slot, 0), nullptr);

  MemoryBlockObject* null = Hold(PtrToMemoryBlock(nullptr));
  EXPECT_EQ(RaisedClass([&] { memorySetLong(null, 0, 1); }), "OutOfBoundsException");
  EXPECT_EQ(RaisedClass([&] { memoryGetCString(null, 0); }), "OutOfBoundsException");

  memoryBlockSetSize(w, 4); /* becomes an owned copy of nothing */
  EXPECT_EQ(memoryBlockGetSize(w), 4);
  EXPECT_NE(w->data, foreign);
  EXPECT_EQ(Bytes(w), (Raw{0, 0, 0, 0}));
  EXPECT_EQ(foreign[4], 7) << "the foreign bytes are left alone";
}

TEST_F(MemoryBlocks, ResizingKeepsThePrefixAndZeroesTheTail) {
  MemoryBlockObject* b = OwnedWith({0xAB, 0xCD});
  memoryBlockSetSize(b, 4);
  EXPECT_EQ(Bytes(b), (Raw{0xAB, 0xCD, 0, 0}));
  EXPECT_EQ(RaisedClass([&] { memoryBlockSetSize(b, -1); }), "OutOfBoundsException");
  memoryBlockSetSize(b, 1);
  EXPECT_EQ(Bytes(b), (Raw{0xAB}));
  memoryBlockSetSize(b, 0);
  EXPECT_EQ(b->data, nullptr);
  EXPECT_EQ(memoryBlockGetSize(b), 0);
  memoryBlockNewConstructor(b, -5);
  EXPECT_EQ(memoryBlockGetSize(b), 0);
}

TEST_F(MemoryBlocks, SlicesCopyTheirBytesAndTheByteOrder) {
  MemoryBlockObject* b = OwnedWith({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  b->littleEndian = 0;
  MemoryBlockObject* mid = Hold(MemoryBlockMidB3(b, -2, 5));
  EXPECT_EQ(Bytes(mid), (Raw{0, 1, 2}));
  EXPECT_EQ(mid->littleEndian, 0);
  EXPECT_EQ(MemoryBlockMidB3(b, 10, 1), nullptr);
  EXPECT_EQ(MemoryBlockMidB3(b, 3, 0), nullptr);
  EXPECT_EQ(MemoryBlockMidB3(b, -20, 5), nullptr);
  EXPECT_EQ(Bytes(Hold(MemoryBlockLeftB(b, 20))).size(), 10u);
  EXPECT_EQ(Bytes(Hold(MemoryBlockRightB(b, 3))), (Raw{7, 8, 9}));
  EXPECT_EQ(Bytes(Hold(MemoryBlockMidB2(b, 8))), (Raw{8, 9}));
  EXPECT_EQ(MemoryBlockRightB(b, INT32_MIN), nullptr);
}

TEST_F(MemoryBlocks, ComparisonOrdersBytesThenSizesAndTreatsNilAsEmpty) {
  MemoryBlockObject* ab = OwnedWith({'a', 'b'});
  MemoryBlockObject* abc = OwnedWith({'a', 'b', 'c'});
  EXPECT_LT(MemoryBlockCompareOperator(ab, abc), 0);
  EXPECT_GT(MemoryBlockCompareOperator(abc, ab), 0);
  EXPECT_GT(MemoryBlockCompareOperator(OwnedWith({0xFF}), abc), 0) << "bytes compare unsigned";
  EXPECT_EQ(MemoryBlockCompareOperator(ab, OwnedWith({'a', 'b'})), 0);
  EXPECT_EQ(MemoryBlockCompareOperator(Owned(0), nullptr), 0);
  EXPECT_LT(MemoryBlockCompareOperator(nullptr, ab), 0);
  EXPECT_GT(MemoryBlockCompareOperator(ab, nullptr), 0);
  uint8_t foreign[1] = {0};
  MemoryBlockObject* w = Hold(PtrToMemoryBlock(foreign));
  EXPECT_EQ(MemoryBlockCompareOperator(w, nullptr), -1);
  EXPECT_EQ(MemoryBlockCompareOperator(nullptr, w), -1);
  EXPECT_EQ(Bytes(Hold(MemoryBlockAddOperator(ab, nullptr))), (Raw{'a', 'b'}));
  EXPECT_EQ(Bytes(Hold(MemoryBlockAddOperator(ab, abc))), (Raw{'a', 'b', 'a', 'b', 'c'}));
  EXPECT_EQ(memoryBlockGetSize(Hold(MemoryBlockAddOperator(nullptr, w))), 0);
}

TEST_F(MemoryBlocks, PascalAndCStringsStayInsideTheBlock) {
  StringRef abc(StringFromCString("abc"));
  MemoryBlockObject* four = Owned(4);
  memorySetPString(four, 0, abc.get());
  EXPECT_EQ(Bytes(four), (Raw{3, 'a', 'b', 'c'}));
  StringRef p(memoryGetPString(four, 0));
  EXPECT_EQ(Text(p.get()), "abc");
  EXPECT_EQ(StringEncoding(p.get()), kEncodingASCII);
  MemoryBlockObject* three = OwnedWith({3, 'a', 'b'});
  EXPECT_EQ(RaisedClass([&] { memoryGetPString(three, 0); }), "OutOfBoundsException");
  EXPECT_EQ(RaisedClass([&] { memorySetPString(three, 0, abc.get()); }), "OutOfBoundsException");
  std::string longText(300, 'x');
  MemoryBlockObject* big = Owned(400);
  StringRef longString(StringCreate(longText, kEncodingASCII));
  memorySetPString(big, 0, longString.get());
  StringRef back(memoryGetPString(big, 0));
  EXPECT_EQ(StringLength(back.get()), 255) << "one length byte says at most 255";

  MemoryBlockObject* c = OwnedWith({'h', 'i', 0, 'x'});
  StringRef hi(memoryGetCString(c, 0));
  EXPECT_EQ(Text(hi.get()), "hi");
  StringRef unterminated(memoryGetCString(c, 3));
  EXPECT_EQ(Text(unterminated.get()), "x") << "no zero byte: the block's end ends it";
  EXPECT_EQ(RaisedClass([&] { memorySetCString(four, 1, abc.get()); }), "OutOfBoundsException");
  memorySetCString(four, 0, abc.get());
  EXPECT_EQ(Bytes(four), (Raw{'a', 'b', 'c', 0}));
}

TEST_F(MemoryBlocks, WideAndSizedStringsCarryTheirEncodings) {
  StringRef text(StringCreate(std::string_view("h\xC3\xA9"), kEncodingUTF8));
  MemoryBlockObject* b = Owned(8);
  b->littleEndian = 0;
  memorySetWString(b, 0, text.get());
  EXPECT_EQ(Bytes(b), (Raw{0, 'h', 0, 0xE9, 0, 0, 0, 0}));
  StringRef wide(memoryGetWString(b, 0));
  EXPECT_EQ(StringEncoding(wide.get()), kEncodingUTF16);
  EXPECT_EQ(StringWideText(wide.get()), u"h\u00e9");
  EXPECT_EQ(RaisedClass([&] { memorySetWString(Owned(5), 0, text.get()); }), "OutOfBoundsException");

  MemoryBlockObject* s = Owned(6);
  std::memset(s->data, 0xEE, 6);
  memorySetString(s, 1, 4, text.get());
  EXPECT_EQ(Bytes(s), (Raw{0xEE, 'h', 0xC3, 0xA9, 0, 0xEE}));
  StringRef utf8(memoryGetString(s, 1, 3, SharedEncodingObject(kEncodingUTF8)));
  EXPECT_EQ(StringEncoding(utf8.get()), kEncodingUTF8);
  EXPECT_EQ(Text(utf8.get()), "h\xC3\xA9");
  StringRef plain(memoryGetString(s, 1, 3, nullptr));
  EXPECT_EQ(StringEncoding(plain.get()), kEncodingASCII);
  EXPECT_EQ(RaisedClass([&] { memoryGetString(s, 0, -1, nullptr); }), "OutOfBoundsException");
  EXPECT_EQ(RaisedClass([&] { memorySetString(s, 3, 4, text.get()); }), "OutOfBoundsException");
}

TEST_F(MemoryBlocks, ColoursPackInSixteenTwentyFourAndThirtyTwoBits) {
  MemoryBlockObject* b = Owned(4);
  memorySetColor(b, 0, 16, 0xFF8000);
  EXPECT_EQ(memoryGetUInt16(b, 0), (31 << 10) | (16 << 5));
  EXPECT_EQ(memoryGetColor(b, 0, 16), 0xF88000u);
  memorySetColor(b, 0, 24, 0x112233);
  EXPECT_EQ(Bytes(b).at(0), 0x33) << "little-endian: blue first";
  b->littleEndian = 0;
  EXPECT_EQ(memoryGetColor(b, 0, 24), 0x332211u);
  memorySetColor(b, 0, 24, 0x112233);
  EXPECT_EQ(Bytes(b).at(0), 0x11) << "big-endian: red first";
  memorySetLong(b, 0, int32_t(0xAA123456));
  EXPECT_EQ(memoryGetColor(b, 0, 32), 0x123456u);
  memorySetColor(b, 0, 8, 0xFFFFFF);
  EXPECT_EQ(memoryGetColor(b, 0, 8), 0u);
  EXPECT_EQ(memoryGetColor(b, 0, 32), 0x123456u) << "an unknown width writes nothing";
  EXPECT_EQ(RaisedClass([&] { memoryGetColor(b, 2, 24); }), "OutOfBoundsException");
}

TEST_F(MemoryBlocks, StringConversionsCopyTheBytes) {
  MemoryBlockObject* b = Owned(0);
  StringRef xyz(StringFromCString("xyz"));
  MemoryBlockFromStringOperator(b, xyz.get());
  EXPECT_EQ(memoryBlockGetSize(b), 3);
  StringRef back(MemoryBlockToStringOperator(b));
  EXPECT_EQ(Text(back.get()), "xyz");
  EXPECT_EQ(StringEncoding(back.get()), kEncodingASCII);
  MemoryBlockFromStringOperator(b, nullptr);
  EXPECT_EQ(memoryBlockGetSize(b), 0);
  EXPECT_EQ(newMemoryBlock(-1), nullptr);
}

TEST_F(MemoryBlocks, FailedAllocationsChangeNothing) {
  MemoryBlockObject* b = OwnedWith({1, 2});
  FailAllocationForTesting(1);
  EXPECT_EQ(RaisedClass([&] { memoryBlockSetSize(b, 100); }), "OutOfMemoryException");
  EXPECT_EQ(Bytes(b), (Raw{1, 2}));
  StringRef xyz(StringFromCString("xyz"));
  FailAllocationForTesting(1);
  EXPECT_EQ(RaisedClass([&] { MemoryBlockFromStringOperator(b, xyz.get()); }), "OutOfMemoryException");
  EXPECT_EQ(Bytes(b), (Raw{1, 2}));
  FailAllocationForTesting(1);
  EXPECT_EQ(newMemoryBlock(16), nullptr);
  FailAllocationForTesting(1);
  EXPECT_EQ(RaisedClass([&] { memoryBlockNewConstructor(b, 8); }), "OutOfMemoryException");
  EXPECT_EQ(Bytes(b), (Raw{1, 2}));
}

} // namespace
} // namespace quendal
