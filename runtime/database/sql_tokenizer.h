/*
** The SQL layer's tokenizer: a statement text consumed from the front, one
** token at a time.
**
** Rules, in order:
**   1. bytes below "!" (spaces, tabs, line ends) are skipped; nothing left
**      gives the end token (empty text);
**   2. "<" followed by "=" or ">" gives "<=" or "<>", a lone "<" gives "<";
**      ">" followed by "=" gives ">=", else ">";
**   3. "(", ")", ",", "." and "=" are one-byte symbols;
**   4. "[" starts a bracketed name running to the next "]" (or the end);
**      the brackets are not part of it;
**   5. "'" and '"' start a quoted literal running to the next unpaired
**      quote of the same kind (or the end); a doubled quote inside stands
**      for one.  text keeps the enclosing quotes, value drops them;
**   6. a digit or "-" starts a number running over digits and ".";
**   7. anything else is a word running up to a byte below "!" or one of
**      "(", ")", ",", "<", ">", "=", ".".
**
** Keywords are words compared without regard to ASCII case; a bracketed
** name is never a keyword, so [where] names a column called where.
**
** Names: valid when not empty, the first byte a letter A-Z, a-z or a byte
** of 0x80 and above, every further byte such a byte, a digit, a space, "#"
** or "_" (so only a bracketed name can hold a space).  Numbers (a length, a
** column index): every byte a digit.
**
** The tokenizer borrows the text: it must outlive the tokenizer.
*/
#ifndef QUENDAL_DATABASE_SQL_TOKENIZER_H
#define QUENDAL_DATABASE_SQL_TOKENIZER_H

#include <cstdint>
#include <string>
#include <string_view>

namespace quendal::db {

struct SqlToken {
  enum class Kind : uint8_t { kEnd, kWord, kBracketed, kQuoted, kNumber, kSymbol };

  Kind kind = Kind::kEnd;
  std::string text;  /* as written (a quoted literal with its quotes, doubled quotes made single) */
  std::string value; /* a quoted literal without its quotes; else the same as text */

  bool IsEnd() const { return kind == Kind::kEnd; }
  /* A word equal to keyword, ASCII case ignored. */
  bool Is(std::string_view keyword) const;
  /* The symbol "(", ")", ",", ".", "=", "<", ">", "<=", ">=" or "<>". */
  bool IsSymbol(std::string_view symbol) const { return kind == Kind::kSymbol && text == symbol; }
  /* A word or bracketed name that is a valid name. */
  bool IsName() const;
  bool IsNumber() const;
};

class SqlTokenizer {
 public:
  explicit SqlTokenizer(std::string_view text) : text_(text) {}

  SqlToken Next();
  /* Gives a token back: the next Next returns it again.  One at a time. */
  void PutBack(SqlToken token);

 private:
  SqlToken Scan();

  std::string_view text_;
  size_t at_ = 0;
  bool hasPutBack_ = false;
  SqlToken putBack_;
};

bool IsValidSqlName(std::string_view name);
bool IsValidSqlNumber(std::string_view text);

/* The statement without the ";" and blanks that end it. */
std::string_view StripStatementEnd(std::string_view statement);

} // namespace quendal::db

#endif
