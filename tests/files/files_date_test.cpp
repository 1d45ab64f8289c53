/*
** Date: TotalSeconds, normalisation and its bounds, SQL texts, parseDate,
** the locale's texts, DateCompare and the object layer's support table.
*/
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "runtime/files/date.h"
#include "runtime/objects/date_support.h"
#include "runtime/text/string_core.h"
#include "tests/objects/object_test_support.h"
#include "tests/text/string_test_support.h"
#include "tests/support/test_support.h"

namespace quendal::test {
namespace {

/* Pins one locale variable for a test. */
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* value) {
    const char* old = getenv("LC_ALL");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("LC_ALL", value, 1);
  }
  ~ScopedLocale() {
    if (had_) setenv("LC_ALL", old_.c_str(), 1); else unsetenv("LC_ALL");
  }

 private:
  std::string old_;
  bool had_ = false;
};

class DateTest : public ::testing::Test {
 protected:
  DateObject* MakeDate(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    held_ = ObjectRef(NewDateWithTotalSeconds(0));
    DateObject* date = AsDate(held_.get());
    int values[6] = {y, mo, d, h, mi, s};
    for (int i = 0; i < 6; i++) dateFieldSetter(date, i, values[i]);
    return date;
  }
  static std::string Fields(DateObject* date) { return Take(dateSQLDateTimeGetter(date)); }
  ObjectRef held_;
};

TEST_F(DateTest, TotalSecondsCountLocalTimeFrom1904) {
  EXPECT_EQ(dateTotalSecondsGetter(MakeDate(1904, 1, 1)), 0.0);
  EXPECT_EQ(dateTotalSecondsGetter(MakeDate(1904, 1, 2)), 86400.0);
  DateObject* date = MakeDate(2007, 3, 4, 5, 6, 7);
  double seconds = dateTotalSecondsGetter(date);
  dateTotalSecondsSetter(date, 0);
  dateTotalSecondsSetter(date, seconds + 0.5);
  EXPECT_EQ(Fields(date), "2007-03-04 05:06:07");
  EXPECT_EQ(dateTotalSecondsGetter(date), seconds + 0.5);
  /* Not a number changes nothing; values beyond the calendar stop at its ends. */
  dateTotalSecondsSetter(date, std::nan(""));
  EXPECT_EQ(Fields(date), "2007-03-04 05:06:07");
  dateTotalSecondsSetter(date, -1e300);
  EXPECT_EQ(Fields(date), "1601-01-01 00:00:00");
  dateTotalSecondsSetter(date, 1e300);
  EXPECT_EQ(Fields(date), "30827-12-31 23:59:59");
}

TEST_F(DateTest, SettingFieldsCarriesIntoTheOthers) {
  DateObject* date = MakeDate(2006, 5, 10);
  dateFieldSetter(date, 1, 13);
  EXPECT_EQ(Take(dateSQLDateGetter(date)), "2007-01-10");
  dateFieldSetter(date, 2, 0);
  EXPECT_EQ(Take(dateSQLDateGetter(date)), "2006-12-31");
  dateFieldSetter(date, 1, -1); /* November 2005 has no 31st */
  EXPECT_EQ(Take(dateSQLDateGetter(date)), "2005-12-01");
  dateFieldSetter(date, 5, -1);
  EXPECT_EQ(Fields(date), "2005-11-30 23:59:59");
  /* A value beyond 16 bits is carried as given, not cut. */
  date = MakeDate(2007, 1, 1);
  dateFieldSetter(date, 2, 40000);
  EXPECT_EQ(Take(dateSQLDateGetter(date)), "2116-07-07");
  dateFieldSetter(date, 0, 1500);
  EXPECT_EQ(Fields(date), "1601-01-01 00:00:00");

  date = MakeDate(2007, 3, 4);
  EXPECT_EQ(dateFieldGetter(date, 6), 1);  /* Sunday */
  EXPECT_EQ(dateFieldGetter(date, 7), 63); /* day of the year */
  EXPECT_EQ(dateFieldGetter(date, 8), 10); /* 2007 began on a Monday */

  FailureCapture failures;
  dateFieldSetter(date, 6, 3);
  EXPECT_EQ(dateFieldGetter(date, 9), 0);
  EXPECT_TRUE(failures.Contains("Trying to set a non-existant long field on a date."));
  EXPECT_TRUE(failures.Contains("You are trying to get a field on a date that does not exist."));
  EXPECT_EQ(Fields(date), "2007-03-04 00:00:00");
}

TEST_F(DateTest, SqlTextsAreReadFieldByField) {
  DateObject* date = MakeDate(2007, 3, 4, 5, 6, 7);
  EXPECT_EQ(Fields(date), "2007-03-04 05:06:07");
  dateSQLDateSetter(date, Make("2006-7-8").get());
  EXPECT_EQ(Fields(date), "2006-07-08 05:06:07");
  dateSQLDateSetter(date, Make("2006-07-09 23:00:00").get()); /* the day is the first two characters */
  EXPECT_EQ(Fields(date), "2006-07-09 05:06:07");
  for (const char* bad : {"2007/03/04", "", "2007-03", "1-2-3-4"}) {
    EXPECT_EQ(RaisedClass([&] { dateSQLDateSetter(date, Make(bad).get()); }), "UnsupportedFormatException") << bad;
  }
  EXPECT_EQ(Fields(date), "2006-07-09 05:06:07");

  dateSQLDateTimeSetter(date, Make("2001-02-03 04:05:06").get());
  EXPECT_EQ(Fields(date), "2001-02-03 04:05:06");
  dateSQLDateTimeSetter(date, Make("2001-02-04").get());
  EXPECT_EQ(Fields(date), "2001-02-04 00:00:00");
  EXPECT_EQ(RaisedClass([&] { dateSQLDateTimeSetter(date, Make("2001-02-04 04:05").get()); }),
            "UnsupportedFormatException");
  EXPECT_EQ(Fields(date), "2001-02-04 00:00:00");
}

TEST_F(DateTest, ParseDateFollowsTheLocaleOrder) {
  ObjectRef slot(NewDateWithTotalSeconds(0));
  ObjectHeader* raw = slot.release();
  auto parsed = [&](const char* text) {
    if (!parseDate(Make(text).get(), &raw)) return std::string("false");
    return Take(dateSQLDateTimeGetter(AsDate(raw)));
  };
  {
    ScopedLocale us("C");
    EXPECT_EQ(parsed("3/4/07"), "2007-03-04 00:00:00");
    EXPECT_EQ(parsed("Mar 4, 1999"), "1999-03-04 00:00:00");
    EXPECT_EQ(parsed("4 march 1999"), "1999-03-04 00:00:00");
    EXPECT_EQ(parsed("2/30/2007"), "false");
    EXPECT_EQ(parsed("Foo 4, 1999"), "false");
    EXPECT_EQ(parsed("3/4"), "false");
  }
  {
    ScopedLocale german("de_DE.UTF-8");
    EXPECT_EQ(parsed("4/3/07"), "2007-03-04 00:00:00");
    EXPECT_EQ(parsed("4. Mär 07"), "2007-03-04 00:00:00");
  }
  ObjectRef last(raw);
  EXPECT_EQ(parseDate(Make("1/2/2003").get(), nullptr), true);
}

TEST_F(DateTest, LocaleTextsAndComparison) {
  ScopedLocale us("C");
  DateObject* date = MakeDate(2007, 3, 4, 5, 6, 7);
  EXPECT_EQ(Take(dateStringGetter(date, 0)), "3/4/2007");
  EXPECT_EQ(Take(dateStringGetter(date, 1)), "Sunday, March 4, 2007");
  EXPECT_EQ(Take(dateStringGetter(date, 2)), "Sun, Mar 4, 2007");
  EXPECT_EQ(Take(dateStringGetter(date, 3)), "5:06 AM");
  EXPECT_EQ(Take(dateStringGetter(date, 4)), "5:06:07 AM");
  FailureCapture failures;
  EXPECT_EQ(dateStringGetter(date, 5), nullptr);
  EXPECT_TRUE(failures.Contains("You are trying to get a non-existant date string."));

  ObjectRef later(NewDateWithTotalSeconds(dateTotalSecondsGetter(date) + 1));
  EXPECT_EQ(DateCompare(nullptr, &date->header), -1);
  EXPECT_EQ(DateCompare(&date->header, nullptr), 1);
  EXPECT_EQ(DateCompare(nullptr, nullptr), 0);
  EXPECT_EQ(DateCompare(&date->header, later.get()), -1);
  EXPECT_EQ(DateCompare(later.get(), &date->header), 1);

  /* GMTOffset moves the wall clock with it. */
  double offset = dateGMTOffsetGetter(date);
  dateGMTOffsetSetter(date, offset + 2);
  EXPECT_EQ(Fields(date), "2007-03-04 07:06:07");
  EXPECT_EQ(dateGMTOffsetGetter(date), offset + 2);
}

TEST_F(DateTest, TheObjectLayerSeesDatesThroughTheSupportTable) {
  InstallDateSupportTable();
  const DateSupport* support = InstalledDateSupport();
  ASSERT_NE(support, nullptr);
  ObjectRef date(support->newDate(86400));
  EXPECT_TRUE(support->isDate(date.get()));
  EXPECT_EQ(support->totalSeconds(date.get()), 86400.0);
  EXPECT_EQ(Take(dateSQLDateGetter(AsDate(date.get()))), "1904-01-02");
  ObjectRef other(NewDateWithTotalSeconds(0));
  EXPECT_EQ(support->compare(other.get(), date.get()), -1);
  EXPECT_FALSE(support->isDate(nullptr));
}

} // namespace
} // namespace quendal::test
