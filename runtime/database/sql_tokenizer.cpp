/*
** The SQL layer's tokenizer: see sql_tokenizer.h.
*/
#include "runtime/database/sql_tokenizer.h"

#include <cassert>

#include "runtime/text/string_compare.h"

namespace quendal::db {

namespace {

bool IsBlank(char c) { return uint8_t(c) < uint8_t('!'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetterOrHigh(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || uint8_t(c) >= 0x80; }
bool EndsWord(char c) {
  return IsBlank(c) || c == '(' || c == ')' || c == ',' || c == '<' || c == '>' || c == '=' || c == '.';
}

} // namespace

bool SqlToken::Is(std::string_view keyword) const {
  return kind == Kind::kWord && text.size() == keyword.size() && CompareRawBytes(text, keyword, true) == 0;
}

bool SqlToken::IsName() const { return (kind == Kind::kWord || kind == Kind::kBracketed) && IsValidSqlName(text); }

bool SqlToken::IsNumber() const { return kind == Kind::kNumber && IsValidSqlNumber(text); }

bool IsValidSqlName(std::string_view name) {
  if (name.empty() || !IsLetterOrHigh(name[0])) return false;
  for (char c : name.substr(1)) {
    if (!IsLetterOrHigh(c) && !IsDigit(c) && c != ' ' && c != '#' && c != '_') return false;
  }
  return true;
}

bool IsValidSqlNumber(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!IsDigit(c)) return false;
  }
  return true;
}

std::string_view StripStatementEnd(std::string_view statement) {
  while (!statement.empty() && (statement.back() == ';' || IsBlank(statement.back()))) statement.remove_suffix(1);
  return statement;
}

void SqlTokenizer::PutBack(SqlToken token) {
  assert(!hasPutBack_ && "one token at a time");
  putBack_ = std::move(token);
  hasPutBack_ = true;
}

SqlToken SqlTokenizer::Next() {
  if (hasPutBack_) {
    hasPutBack_ = false;
    return std::move(putBack_);
  }
  return Scan();
}

SqlToken SqlTokenizer::Scan() {
  while (at_ < text_.size() && IsBlank(text_[at_])) at_++;
  SqlToken token;
  if (at_ == text_.size()) return token;
  const char c = text_[at_];
  const auto symbol = [&](size_t length) {
    token.kind = SqlToken::Kind::kSymbol;
    token.text = std::string(text_.substr(at_, length));
    at_ += length;
  };
  if (c == '<') {
    const bool pair = at_ + 1 < text_.size() && (text_[at_ + 1] == '=' || text_[at_ + 1] == '>');
    symbol(pair ? 2 : 1);
  } else if (c == '>') {
    symbol(at_ + 1 < text_.size() && text_[at_ + 1] == '=' ? 2 : 1);
  } else if (c == '(' || c == ')' || c == ',' || c == '.' || c == '=') {
    symbol(1);
  } else if (c == '[') {
    const size_t close = text_.find(']', at_ + 1);
    const size_t end = close == std::string_view::npos ? text_.size() : close;
    token.kind = SqlToken::Kind::kBracketed;
    token.text = std::string(text_.substr(at_ + 1, end - at_ - 1));
    at_ = close == std::string_view::npos ? end : end + 1;
  } else if (c == '\'' || c == '"') {
    token.kind = SqlToken::Kind::kQuoted;
    at_++;
    while (at_ < text_.size()) {
      if (text_[at_] == c) {
        if (at_ + 1 < text_.size() && text_[at_ + 1] == c) {
          token.value.push_back(c);
          at_ += 2;
          continue;
        }
        at_++;
        break;
      }
      token.value.push_back(text_[at_++]);
    }
    token.text = c + token.value + c;
    return token;
  } else if (IsDigit(c) || c == '-') {
    const size_t start = at_++;
    while (at_ < text_.size() && (IsDigit(text_[at_]) || text_[at_] == '.')) at_++;
    token.kind = SqlToken::Kind::kNumber;
    token.text = std::string(text_.substr(start, at_ - start));
  } else {
    const size_t start = at_;
    while (at_ < text_.size() && !EndsWord(text_[at_])) at_++;
    token.kind = SqlToken::Kind::kWord;
    token.text = std::string(text_.substr(start, at_ - start));
  }
  token.value = token.text;
  return token;
}

} // namespace quendal::db
