/*
** Variants and number text as an app image reaches them: through the link
** table of the runtime executable, with the image's own literals, and a
** division by zero that ends in the unhandled-exception report instead of
** a trap.
*/
#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace quendal::test {
namespace {

TEST(VariantsRun, AnImageCallsVariantAndNumberTextServices) {
  RunResult r = RunImage("variant_services");
  EXPECT_EQ(r.out,
            "add=[5:3.5]\r\n"
            "currency divide=[6:0]\r\n"
            "compare=[-1]\r\n"
            "zero is true=[1]\r\n"
            "same hash=[1]\r\n"
            "hex variant=[FFFFFFFFFFFFFFFF]\r\n"
            "str=[1.234567e+6]\r\n"
            "small=[0.00001]\r\n"
            "hex8=[FF]\r\n"
            "bin=[11]\r\n"
            "val=[255]\r\n"
            "clong=[-12]\r\n"
            "cvt=[-2]\r\n"
            "currency=[-0.0001]\r\n"
            "format=[1,234.50]\r\n"
            "escape=[a\\tb\\\"]\r\n"
            "unescape=[AB\n]\r\n"
            "dividing by zero\r\n");
  EXPECT_EQ(r.err,
            "Exception Message: Division by zero\nException Error Number: 0\n"
            "An exception of class RuntimeException was not handled.  The application must shut down.");
}

} // namespace
} // namespace quendal::test
