/*
** The string functions as an app image reaches them: through the link
** table of the runtime executable, with the image's own UTF-8 literals.
*/
#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace quendal::test {
namespace {

TEST(StringFunctionsRun, AnImageCallsSearchReplaceFieldsAndSplit) {
  RunResult r = RunImage("strfn_services");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "instr=3\r\n"
            "instrb=0\r\n"
            "unicode instr=4\r\n"
            "unicode len=9\r\n"
            "unicode chars=7\r\n"
            "replaceall=[bb]\r\n"
            "replace=[x abc]\r\n"
            "replaceallb=[Abc x]\r\n"
            "fields=3\r\n"
            "nth2=[]\r\n"
            "nth3=[b]\r\n"
            "nthb=[3]\r\n"
            "split=[a|b||c]\r\n"
            "chars=[a|,|\xc3\xa9]\r\n"
            "title=[Jean-luc Picard]\r\n"
            "trim=[x y]\r\n");
}

} // namespace
} // namespace quendal::test
