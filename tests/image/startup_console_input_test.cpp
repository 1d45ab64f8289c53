/*
** Console input: line ends, the pending byte, dropped bytes, block reads
** and the stream flags, read from pipes and sockets standing in for
** standard input.
*/
#include <gtest/gtest.h>

#include <string>

#include <sys/socket.h>
#include <unistd.h>

#include "runtime/image/console_input.h"
#include "runtime/objects/exceptions.h"
#include "runtime/text/string_core.h"

namespace quendal {
namespace {

using namespace std::string_literals;

class ConsoleInput : public ::testing::Test {
 protected:
  ~ConsoleInput() override {
    SetConsoleInputDescriptorForTesting(0);
    if (readFd_ >= 0) close(readFd_);
    if (writeFd_ >= 0) close(writeFd_);
  }

  /* Standard input becomes a pipe holding bytes, closed after them. */
  void Feed(const std::string& bytes) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    readFd_ = fds[0];
    ASSERT_EQ(write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fds[1]);
    SetConsoleInputDescriptorForTesting(readFd_);
  }

  /* Standard input becomes one end of a socket pair; the test writes the other. */
  void UseSocket() {
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    readFd_ = fds[0];
    writeFd_ = fds[1];
    SetConsoleInputDescriptorForTesting(readFd_);
  }
  void Send(const std::string& bytes) {
    ASSERT_EQ(write(writeFd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  static std::string Text(ORVAstring owned) {
    StringRef s(owned);
    return std::string(StringView(s.get()));
  }
  static std::string Line() { return Text(RuntimeConsoleInput()); }
  static std::string Amount(int32_t n) { return Text(RuntimeConsoleInputAmount(n)); }
  static bool Eof() {
    ObjectRef in(RuntimeGetStdIn());
    return RuntimeStdInputEof(in.get());
  }

  int readFd_ = -1;
  int writeFd_ = -1;
};

TEST_F(ConsoleInput, EveryLineEndEndsALineAndCrLfCountsOnce) {
  Feed("abc\r\ndef\nghi\rjkl\0mno\r\r\n"s);
  EXPECT_EQ(Line(), "abc");
  EXPECT_EQ(Line(), "def");
  EXPECT_EQ(Line(), "ghi"); /* the 'j' waited as the pending byte */
  EXPECT_EQ(Line(), "jkl");
  EXPECT_EQ(Line(), "mno");
  EXPECT_EQ(Line(), ""); /* the second CR ended an empty line, its LF went with it */
  EXPECT_FALSE(Eof());
  EXPECT_EQ(Line(), "");
  EXPECT_TRUE(Eof());
}

TEST_F(ConsoleInput, ByteTwoHundredFiftyFiveIsDroppedAlsoWhenPending) {
  Feed("a\xff" "b\r\xff" "c\n"s);
  EXPECT_EQ(Line(), "ab");
  EXPECT_EQ(Line(), "c");
}

TEST_F(ConsoleInput, LastLineWithoutEndAndEndOfInput) {
  Feed("tail");
  EXPECT_EQ(Line(), "tail");
  EXPECT_TRUE(Eof());
  EXPECT_EQ(Line(), "");
}

TEST_F(ConsoleInput, CarriageReturnAtEndOfInput) {
  Feed("abc\r");
  EXPECT_EQ(Line(), "abc");
  EXPECT_TRUE(Eof());
}

TEST_F(ConsoleInput, ResultsAreTaggedAsciiOnlyForSevenBitText) {
  Feed("plain\ncaf\xc3\xa9\n");
  StringRef plain(RuntimeConsoleInput());
  StringRef accented(RuntimeConsoleInput());
  EXPECT_EQ(plain.encoding(), kEncodingASCII);
  EXPECT_EQ(accented.encoding(), kEncodingUnknown);
  EXPECT_EQ(StringView(accented.get()), "caf\xc3\xa9");
}

TEST_F(ConsoleInput, AmountStartsWithThePendingByteAndStopsAtEnd) {
  Feed("abc\rdefgh");
  EXPECT_EQ(Line(), "abc");
  EXPECT_EQ(Amount(0), ""); /* reads nothing, keeps the pending 'd' */
  EXPECT_EQ(Amount(3), "def");
  EXPECT_FALSE(Eof());
  EXPECT_EQ(Amount(10), "gh");
  EXPECT_TRUE(Eof());
}

TEST_F(ConsoleInput, AmountKeepsEveryByte) {
  Feed("\r\n\0\xff"s);
  EXPECT_EQ(Amount(4), "\r\n\0\xff"s);
}

TEST_F(ConsoleInput, StreamReadTagsWithTheGivenEncoding) {
  Feed("0123456789\nline\n");
  ObjectRef in(RuntimeGetStdIn());
  ObjectRef again(RuntimeGetStdIn());
  EXPECT_EQ(in.get(), again.get());
  StringRef block(RuntimeStdInputRead(in.get(), 4, kEncodingUTF8));
  EXPECT_EQ(StringView(block.get()), "0123");
  EXPECT_EQ(block.encoding(), kEncodingUTF8);
  EXPECT_EQ(Text(RuntimeStdInputReadLine(in.get())), "456789");
  EXPECT_EQ(Text(RuntimeStdInputReadLine(in.get())), "line");
  EXPECT_FALSE(RuntimeStdInputError(in.get()));
}

TEST_F(ConsoleInput, NilStreamRaisesNilObjectException) {
  Feed("x\n");
  EXPECT_THROW(RuntimeStdInputReadLine(nullptr), RaisedException);
  EXPECT_THROW(RuntimeStdInputEof(nullptr), RaisedException);
  EXPECT_EQ(Line(), "x"); /* nothing was read */
}

TEST_F(ConsoleInput, ReadErrorSetsTheErrorFlag) {
  SetConsoleInputDescriptorForTesting(-1);
  EXPECT_EQ(Line(), "");
  ObjectRef in(RuntimeGetStdIn());
  EXPECT_TRUE(RuntimeStdInputError(in.get()));
}

TEST_F(ConsoleInput, OnASocketTheByteAfterCrIsOnlyTakenWhenReady) {
  UseSocket();
  Send("abc\r");
  EXPECT_EQ(Line(), "abc"); /* returns without waiting for the line feed */
  EXPECT_FALSE(Eof());
  Send("\ndef\n");
  EXPECT_EQ(Line(), ""); /* the late line feed ends an empty line */
  EXPECT_EQ(Line(), "def");
  Send("x\r\ny\n");
  EXPECT_EQ(Line(), "x"); /* a ready line feed is taken with its CR */
  EXPECT_EQ(Line(), "y");
}

} // namespace
} // namespace quendal
