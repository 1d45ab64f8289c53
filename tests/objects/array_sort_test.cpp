/*
** Sort, SortWith and Shuffle: the order of each kind, the exact placement
** of equal elements that the quicksort with median of three and the
** insertion-sort cut-off gives, companions carried along by SortWith, and
** Shuffle's swap sequence.
*/
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "runtime/objects/array_object.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/random.h"
#include "runtime/text/string_core.h"
#include "tests/objects/array_test_support.h"

namespace {

using quendal::test::ArrayRef;
using quendal::test::Raises;
using quendal::test::Slot;

void Sort(ArrayObject* a) { Slot<void (*)(ArrayObject*)>(a, kArraySort)(a); }

template <typename T>
std::vector<T> Contents(ArrayObject* a) {
  const T* v = static_cast<const T*>(a->data);
  return std::vector<T>(v, v + a->upperBounds[0] + 1);
}

template <typename T>
ArrayObject* ArrayOf(int32_t kind, const std::vector<T>& values) {
  ArrayObject* a = CreateArray(1, kind, static_cast<int32_t>(values.size()) - 1);
  if (!values.empty()) std::memcpy(a->data, values.data(), values.size() * sizeof(T));
  return a;
}

/* Labelled strings: the text is the label's letter, so "a2" and "A4" are
** equal to the sort; the records tell them apart. */
struct Labelled {
  std::vector<std::string> labels;
  std::vector<ORVAstring> records;
  ArrayObject* array = nullptr;

  explicit Labelled(const std::vector<std::string>& ls) : labels(ls) {
    array = CreateArray(1, kArrayString, static_cast<int32_t>(ls.size()) - 1);
    auto set = Slot<void (*)(ArrayObject*, ORVAstring, int32_t)>(array, kArraySet);
    for (size_t i = 0; i < ls.size(); i++) {
      records.push_back(quendal::StringCreate(ls[i].substr(0, 1), kEncodingUTF8));
      set(array, records.back(), static_cast<int32_t>(i));
    }
  }
  ~Labelled() {
    RuntimeUnlockObject(&array->header);
    for (ORVAstring r : records) quendal::StringRelease(r);
  }
  std::vector<std::string> Order() const {
    std::vector<std::string> out;
    for (ORVAstring r : Contents<ORVAstring>(array)) {
      out.push_back(labels[std::find(records.begin(), records.end(), r) - records.begin()]);
    }
    return out;
  }
};

const std::vector<std::string> kSeventeen = {"m1", "A1", "z1", "a2", "M2", "b1", "Z2", "B2", "m3",
                                             "z3", "a3", "A4", "b3", "M4", "a5", "Z4", "m5"};

/* ---- Sort ------------------------------------------------------------------ */

TEST(ArraySort, SixteenElementsKeepEqualOnesInOrder) {
  Labelled l(std::vector<std::string>(kSeventeen.begin(), kSeventeen.end() - 1));
  Sort(l.array);
  EXPECT_EQ(l.Order(), (std::vector<std::string>{"A1", "a2", "a3", "A4", "a5", "b1", "B2", "b3", "m1", "M2", "m3",
                                                 "M4", "z1", "Z2", "z3", "Z4"}));
}

TEST(ArraySort, SeventeenElementsGoThroughOnePartition) {
  /* Median of three at 0, 8, 16 (all "m"); the three-way pass moves the
  ** larger "z"s to the back from the end, which reverses some of them, and
  ** swaps the first "m" out of the front. */
  Labelled l(kSeventeen);
  Sort(l.array);
  EXPECT_EQ(l.Order(), (std::vector<std::string>{"A1", "a2", "a5", "a3", "A4", "b1", "B2", "b3", "m3", "M4", "m5",
                                                 "m1", "M2", "z3", "Z4", "Z2", "z1"}));
  for (ORVAstring r : l.records) EXPECT_EQ(r->refCount, 2) << "sorting moves references without counting";
}

TEST(ArraySort, EachKindSortsByItsOwnOrder) {
  std::mt19937 random(7);
  std::vector<int32_t> ints(1000);
  for (int32_t& v : ints) v = static_cast<int32_t>(random() % 50) - 25;
  ArrayRef a(ArrayOf(kArrayInt32, ints));
  Sort(a.get());
  std::sort(ints.begin(), ints.end());
  EXPECT_EQ(Contents<int32_t>(a.get()), ints);

  std::vector<uint32_t> unsigneds = {5, 0xFFFFFFFFu, 0, 0x80000000u, 7};
  ArrayRef u(ArrayOf(kArrayUInt32, unsigneds));
  Sort(u.get());
  EXPECT_EQ(Contents<uint32_t>(u.get()), (std::vector<uint32_t>{0, 5, 7, 0x80000000u, 0xFFFFFFFFu}));

  std::vector<int8_t> smalls = {3, -1, 127, -128, 0};
  ArrayRef s(ArrayOf(kArrayInt8, smalls));
  Sort(s.get());
  EXPECT_EQ(Contents<int8_t>(s.get()), (std::vector<int8_t>{-128, -1, 0, 3, 127}));

  std::vector<uint8_t> bytes = {200, 3, 255, 0};
  ArrayRef b(ArrayOf(kArrayUInt8, bytes));
  Sort(b.get());
  EXPECT_EQ(Contents<uint8_t>(b.get()), (std::vector<uint8_t>{0, 3, 200, 255}));

  std::vector<double> doubles(100);
  for (double& v : doubles) v = static_cast<double>(static_cast<int32_t>(random() % 2000) - 1000) / 8;
  ArrayRef d(ArrayOf(kArrayDouble, doubles));
  Sort(d.get());
  std::sort(doubles.begin(), doubles.end());
  EXPECT_EQ(Contents<double>(d.get()), doubles);

  std::vector<int64_t> longs = {int64_t{1} << 40, -(int64_t{1} << 40), 0, 1};
  ArrayRef l(ArrayOf(kArrayInt64, longs));
  Sort(l.get());
  EXPECT_EQ(Contents<int64_t>(l.get()), (std::vector<int64_t>{-(int64_t{1} << 40), 0, 1, int64_t{1} << 40}));
}

TEST(ArraySort, EmptyArrayIsLeftAlone) {
  ArrayRef a(CreateArray(1, kArrayString, -1));
  Sort(a.get());
  EXPECT_EQ(a->data, nullptr);
  EXPECT_EQ(a->upperBounds[0], -1);
}

/* ---- SortWith -------------------------------------------------------------- */

using SortWithFn = void (*)(ArrayObject*, ...);

TEST(ArraySortWith, CompanionsFollowTheKeysPermutation) {
  Labelled keys(kSeventeen);
  std::vector<int32_t> positions(17);
  for (int32_t i = 0; i < 17; i++) positions[i] = i;
  ArrayRef ints(ArrayOf(kArrayInt32, positions));
  std::vector<uint8_t> small(positions.begin(), positions.end());
  ArrayRef bytes(ArrayOf(kArrayUInt8, small));
  StructureArrayObject* blocks = RuntimeCreateStructureArray(1, 12, 16);
  for (int32_t i = 0; i < 17; i++) std::memset(static_cast<uint8_t*>(blocks->data) + 12 * i, i, 12);

  Slot<SortWithFn>(keys.array, kArraySortWith)(keys.array, ints.get(), bytes.get(),
                                                reinterpret_cast<ArrayObject*>(blocks), nullptr);

  /* The keys end as Sort would leave them; each companion holds, at every
  ** position, what sat at that key's original position. */
  std::vector<std::string> order = keys.Order();
  Labelled sorted(kSeventeen);
  Sort(sorted.array);
  EXPECT_EQ(order, sorted.Order());
  for (int32_t i = 0; i < 17; i++) {
    int32_t from = static_cast<int32_t>(std::find(kSeventeen.begin(), kSeventeen.end(), order[i]) - kSeventeen.begin());
    EXPECT_EQ(Contents<int32_t>(ints.get())[i], from);
    EXPECT_EQ(Contents<uint8_t>(bytes.get())[i], from);
    EXPECT_EQ(static_cast<uint8_t*>(blocks->data)[12 * i + 11], from);
  }
  RuntimeUnlockObject(&blocks->header);
}

TEST(ArraySortWith, MismatchedCompanionLeavesEverythingUnchanged) {
  std::vector<int32_t> keys = {3, 1, 2};
  ArrayRef a(ArrayOf(kArrayInt32, keys));
  ArrayRef good(ArrayOf(kArrayInt32, std::vector<int32_t>{30, 10, 20}));
  ArrayRef longer(ArrayOf(kArrayInt32, std::vector<int32_t>{1, 2, 3, 4}));
  ArrayRef grid(CreateArray(2, kArrayInt32, 2, 0));
  auto sortWith = Slot<SortWithFn>(a.get(), kArraySortWith);

  const ObjectDefinition& outOfBounds = quendal::kOutOfBoundsExceptionDefinition;
  EXPECT_TRUE(Raises(outOfBounds, [&] { sortWith(a.get(), good.get(), longer.get(), nullptr); }));
  EXPECT_TRUE(Raises(outOfBounds, [&] { sortWith(a.get(), grid.get(), nullptr); }));
  EXPECT_EQ(Contents<int32_t>(a.get()), keys);
  EXPECT_EQ(Contents<int32_t>(good.get()), (std::vector<int32_t>{30, 10, 20}));
  EXPECT_EQ(Contents<int32_t>(longer.get()), (std::vector<int32_t>{1, 2, 3, 4}));

  sortWith(a.get(), good.get(), good.get(), nullptr);
  EXPECT_EQ(Contents<int32_t>(a.get()), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(Contents<int32_t>(good.get()), (std::vector<int32_t>{10, 20, 30})) << "a companion named twice moves once";
}

/* ---- Shuffle --------------------------------------------------------------- */

TEST(ArrayShuffle, SwapsEachPositionWithARandomEarlierOne) {
  std::vector<int32_t> values(10);
  for (int32_t i = 0; i < 10; i++) values[i] = i;
  quendal::SeedRuntimeRandomForTesting(99);
  std::vector<int32_t> expected = values;
  for (int32_t j = 9; j >= 1; j--) {
    int32_t k = static_cast<int32_t>(quendal::RuntimeRandomValue() * (j + 1));
    std::swap(expected[j], expected[k]);
  }
  quendal::SeedRuntimeRandomForTesting(99);
  ArrayRef a(ArrayOf(kArrayInt32, values));
  Slot<void (*)(ArrayObject*)>(a.get(), kArrayShuffle)(a.get());
  EXPECT_EQ(Contents<int32_t>(a.get()), expected);
  EXPECT_NE(Contents<int32_t>(a.get()), values) << "seed 99 moves something";
}

TEST(ArrayShuffle, FewerThanTwoElementsChangeNothing) {
  quendal::SeedRuntimeRandomForTesting(1);
  double next = quendal::RuntimeRandomValue();
  quendal::SeedRuntimeRandomForTesting(1);
  ArrayRef one(ArrayOf(kArrayInt32, std::vector<int32_t>{42}));
  Slot<void (*)(ArrayObject*)>(one.get(), kArrayShuffle)(one.get());
  EXPECT_EQ(Contents<int32_t>(one.get()), std::vector<int32_t>{42});
  ArrayRef none(CreateArray(1, kArrayString, -1));
  Slot<void (*)(ArrayObject*)>(none.get(), kArrayShuffle)(none.get());
  EXPECT_EQ(quendal::RuntimeRandomValue(), next) << "no random value was drawn";
}

TEST(ArrayRandom, ValuesStayInTheUnitInterval) {
  quendal::SeedRuntimeRandomForTesting(12345);
  double low = 1, high = 0;
  for (int i = 0; i < 100000; i++) {
    double r = quendal::RuntimeRandomValue();
    ASSERT_GE(r, 0.0);
    ASSERT_LT(r, 1.0);
    low = std::min(low, r);
    high = std::max(high, r);
  }
  EXPECT_LT(low, 0.001);
  EXPECT_GT(high, 0.999);
}

} // namespace
