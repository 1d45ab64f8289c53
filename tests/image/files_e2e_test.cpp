/*
** FolderItem, stream and date services as an app image reaches them:
** through the link table of the runtime executable, in the folder the
** program runs in (the only place it writes).
*/
#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace quendal::test {
namespace {

TEST(FilesRun, AnImageWritesReadsCopiesAndDeletesFiles) {
  RunResult r = RunImage("files_services");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "folder=1\r\n"
            "exists before=0\r\n"
            "name=[plan.txt]\r\n"
            "length=15\r\n"
            "line1=[first]\r\n"
            "line2=[second]\r\n"
            "eof=1\r\n"
            "high=0\r\n"
            "low=258\r\n"
            "copy error=80\r\n"
            "date=[1904-01-03 00:00:00]\r\n"
            "days=2\r\n"
            "weekday=1\r\n"
            "deleted=1\r\n"
            "exists after=0\r\n");
}

} // namespace
} // namespace quendal::test
