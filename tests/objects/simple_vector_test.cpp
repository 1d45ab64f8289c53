/*
** SimpleVector: growth rule, bounds reports and allocation failure.
*/
#include <gtest/gtest.h>

#include "runtime/base/allocation.h"
#include "runtime/objects/simple_vector.h"
#include "tests/support/test_support.h"

namespace {

using quendal::SimpleVector;
using quendal::test::FailureCapture;

TEST(SimpleVectorGrowth, DoublesWithoutStepAndGrowsByAtLeastSixteen) {
  SimpleVector<int32_t> doubling;
  std::vector<int32_t> capacities;
  for (int32_t i = 0; i < 100; i++) {
    ASSERT_TRUE(doubling.Append(i));
    if (capacities.empty() || capacities.back() != doubling.Capacity()) capacities.push_back(doubling.Capacity());
  }
  EXPECT_EQ(capacities, (std::vector<int32_t>{16, 32, 64, 128}));
  for (int32_t i = 0; i < 100; i++) EXPECT_EQ(doubling.Get(i), i);

  SimpleVector<int64_t> smallStep(5);
  for (int32_t i = 0; i < 17; i++) ASSERT_TRUE(smallStep.Append(i));
  EXPECT_EQ(smallStep.Capacity(), 32) << "a step below 16 still grows by 16";

  SimpleVector<int32_t> bigStep(100);
  for (int32_t i = 0; i < 101; i++) ASSERT_TRUE(bigStep.Append(i));
  EXPECT_EQ(bigStep.Capacity(), 200);
}

TEST(SimpleVectorGrowth, PopReturnsNewestFirst) {
  SimpleVector<int32_t> v;
  for (int32_t i = 0; i < 20; i++) ASSERT_TRUE(v.Append(i));
  for (int32_t i = 19; i >= 0; i--) EXPECT_EQ(v.Pop(), i);
  EXPECT_TRUE(v.Empty());
}

TEST(SimpleVectorGrowth, InsertsRemovesAndShrinksBackToTheStep) {
  SimpleVector<int32_t> v;
  for (int32_t i = 0; i < 3; i++) ASSERT_TRUE(v.Append(i));
  ASSERT_TRUE(v.InsertCopies(0, 40, 7)); /* grows step after step: 16, 32, 64 */
  EXPECT_EQ(v.Count(), 43);
  EXPECT_EQ(v.Capacity(), 64);
  EXPECT_EQ(v.Get(39), 7);
  EXPECT_EQ(v.Get(40), 0);
  EXPECT_EQ(v.RemoveLastMatching(30, [](int32_t x) { return x == 7; }), 30);
  EXPECT_EQ(v.Count(), 13);
  EXPECT_EQ(v.Get(9), 7);
  EXPECT_EQ(v.Get(10), 0) << "the first matches stay, the others keep their order";
  v.ShrinkIfSparse(); /* 13 < (64 - 13) / 2 */
  EXPECT_EQ(v.Capacity(), 16);
  v.RemoveAt(0);
  v.ShrinkIfSparse(); /* 12 is not below 2 */
  EXPECT_EQ(v.Capacity(), 16);
  EXPECT_EQ(v.Count(), 12);
  EXPECT_EQ(v.Get(11), 2);

  FailureCapture capture;
  EXPECT_FALSE(v.InsertCopies(13, 1, 0));
  EXPECT_EQ(v.Count(), 12);
  quendal::FailAllocationForTesting(1);
  EXPECT_FALSE(v.InsertCopies(0, 100, 1));
  EXPECT_EQ(v.Count(), 12);
  EXPECT_EQ(capture.reports().size(), 2u);
}

TEST(SimpleVectorFaults, OutOfRangeAccessIsReportedAndHarmless) {
  FailureCapture capture;
  SimpleVector<int32_t> v;
  ASSERT_TRUE(v.Append(7));
  EXPECT_EQ(v.Get(1), 0);
  EXPECT_EQ(v.Get(-1), 0);
  v.Set(1, 99);
  EXPECT_EQ(v.Count(), 1);
  EXPECT_EQ(v.Get(0), 7);
  EXPECT_EQ(v.Pop(), 7);
  EXPECT_EQ(v.Pop(), 0);
  ASSERT_EQ(capture.reports().size(), 4u);
  for (const std::string& report : capture.reports()) EXPECT_NE(report.find("SimpleVector"), std::string::npos);
}

TEST(SimpleVectorFaults, FailedGrowthReportsAndKeepsTheItems) {
  FailureCapture capture;
  SimpleVector<int32_t> v;
  for (int32_t i = 0; i < 16; i++) ASSERT_TRUE(v.Append(i));
  const int32_t* before = v.Items();
  quendal::FailAllocationForTesting(1);
  EXPECT_FALSE(v.Append(16));
  EXPECT_TRUE(capture.Contains("mBuf"));
  EXPECT_EQ(v.Count(), 16);
  EXPECT_EQ(v.Capacity(), 16);
  EXPECT_EQ(v.Items(), before);
  for (int32_t i = 0; i < 16; i++) EXPECT_EQ(v.Get(i), i);
  EXPECT_TRUE(v.Append(16)) << "the seam fails one allocation only";
  EXPECT_EQ(v.Get(16), 16);
}

TEST(SimpleVectorFaults, SeamCountsAllocations) {
  quendal::FailAllocationForTesting(2);
  void* first = quendal::AllocateRuntimeBuffer(8, true);
  void* second = quendal::AllocateRuntimeBuffer(8, true);
  void* third = quendal::AllocateRuntimeBuffer(8, true);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_NE(third, nullptr);
  quendal::FreeRuntimeBuffer(first);
  quendal::FreeRuntimeBuffer(third);
}

} // namespace
