/*
** The encoding services as an app image reaches them through the link
** table, and console output in the system encoding, run by the runtime
** executable under a UTF-8 and a Latin-1 system code page.
*/
#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace quendal::test {
namespace {

const std::string kServiceLines =
    "to utf8: C3 A9\r\n"
    "to latin1: E9\r\n"
    "utf16: 41 00\r\n"
    "chr: E2 82 AC\r\n"
    "count: 91\r\n"
    "first: UTF-8\r\n"
    "first base: 256\r\n"
    "sjis: C6 FC CB DC\r\n"
    "guess: 2561\r\n"
    "tag: 2561\r\n"
    "unknown is nil: 1\r\n";

TEST(EncodingRun, ServicesThroughTheLinkTableUnderAUtf8System) {
  RunResult r = RunImage("encoding_services", {}, "C.UTF-8");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, kServiceLines + "caf\xC3\xA9\r\n");
  EXPECT_EQ(r.err, "");
}

TEST(EncodingRun, ConsoleTextIsConvertedToALatinSystemEncoding) {
  RunResult r = RunImage("encoding_services", {}, "C");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, kServiceLines + "caf\xE9\r\n");
  EXPECT_EQ(r.err, "");
}

} // namespace
} // namespace quendal::test
