/*
** Parsing plugin method declarations.  See method_declaration.h.
**
** The text is cut into tokens first: words (letters, digits, "_"),
** quoted literals (only inside defaults) and single punctuation
** characters; white space separates.  The parser then walks the tokens
** once; every path either consumes a token or ends with an error, so any
** text terminates.
*/
#include "runtime/plugins/method_declaration.h"

#include <cctype>
#include <cstddef>

#include "runtime/text/string_compare.h"

namespace quendal {

namespace {

const char kFormatError[] = "Invalid plugin method format";
const char kReturnTypeError[] = "Invalid return type";
const char kSuperError[] = "Specified a super, but the next token was not a '.'";

struct TypeName {
  const char* name;
  const char* code;
};
const TypeName kPrimitiveTypes[] = {
    {"String", "s"},   {"Boolean", "b"},  {"Single", "f4"},   {"Double", "f8"},    {"Color", "c"},
    {"Ptr", "p"},      {"CString", "z"},  {"PString", "l"},   {"Class", "x"},      {"Int32", "i4"},
    {"Integer", "i4"}, {"UInt32", "u4"},  {"Int64", "i8"},    {"UInt64", "u8"},    {"Int16", "i2"},
    {"Short", "i2"},   {"UInt16", "u2"},  {"Int8", "i1"},     {"UInt8", "u1"},     {"Byte", "u1"},
    {"Currency", "e"}, {"WindowPtr", "w"}, {"Variant", "v"},
};

bool SameWord(std::string_view a, std::string_view b) { return CompareRawBytes(a, b, true) == 0; }

bool IsWordByte(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

enum class TokenKind { Word, Quoted, Punct };
struct Token {
  TokenKind kind;
  std::string_view text;
};

/* False for an unterminated quote. */
bool Tokenize(std::string_view text, std::vector<Token>* tokens) {
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      i++;
    } else if (IsWordByte(c)) {
      size_t start = i;
      while (i < text.size() && IsWordByte(text[i])) i++;
      tokens->push_back({TokenKind::Word, text.substr(start, i - start)});
    } else if (c == '"') {
      size_t end = text.find('"', i + 1);
      if (end == std::string_view::npos) return false;
      tokens->push_back({TokenKind::Quoted, text.substr(i, end + 1 - i)});
      i = end + 1;
    } else {
      tokens->push_back({TokenKind::Punct, text.substr(i, 1)});
      i++;
    }
  }
  return true;
}

class Parser {
 public:
  Parser(const std::vector<Token>& tokens, const ClassCodeLookup& classCode)
      : tokens_(tokens), classCode_(classCode) {}

  std::string Parse(MethodDeclaration* out) {
    if (AtWord("Super")) {
      pos_++;
      if (!AtPunct('.')) return kSuperError;
      pos_++;
      out->viaSuper = true;
    }
    if (!AtKind(TokenKind::Word)) return kFormatError;
    out->name = std::string(tokens_[pos_++].text);
    if (AtPunct('(')) {
      pos_++;
      if (AtPunct(')')) {
        pos_++;
      } else {
        for (;;) {
          DeclaredParameter parameter;
          if (std::string error = ParseParameter(&parameter); !error.empty()) return error;
          out->parameters.push_back(std::move(parameter));
          if (AtPunct(',')) {
            pos_++;
            continue;
          }
          if (!AtPunct(')')) return kFormatError;
          pos_++;
          break;
        }
      }
    }
    if (AtWord("As")) {
      pos_++;
      std::string typeName;
      int32_t dimensions = 0;
      if (!ParseType(&typeName, &dimensions)) return kFormatError;
      out->resultCode = CodeOf(typeName, dimensions);
      if (out->resultCode.empty()) return kReturnTypeError;
    }
    if (pos_ != tokens_.size()) return kFormatError;
    return std::string();
  }

 private:
  bool AtKind(TokenKind kind) const { return pos_ < tokens_.size() && tokens_[pos_].kind == kind; }
  bool AtPunct(char c) const { return AtKind(TokenKind::Punct) && tokens_[pos_].text[0] == c; }
  bool AtWord(std::string_view word) const { return AtKind(TokenKind::Word) && SameWord(tokens_[pos_].text, word); }

  /* "(" { "," } ")" after a name or type: the number of dimensions, 0 when
  ** there is no such group; -1 for a malformed one. */
  int32_t ParseArrayMark() {
    if (!AtPunct('(')) return 0;
    pos_++;
    int32_t dimensions = 1;
    while (AtPunct(',')) {
      pos_++;
      dimensions++;
    }
    if (!AtPunct(')')) return -1;
    pos_++;
    return dimensions;
  }

  bool ParseType(std::string* name, int32_t* dimensions) {
    if (!AtKind(TokenKind::Word)) return false;
    *name = std::string(tokens_[pos_++].text);
    int32_t mark = ParseArrayMark();
    if (mark < 0) return false;
    if (mark > 0) *dimensions = mark;
    return true;
  }

  std::string CodeOf(const std::string& typeName, int32_t dimensions) const {
    std::string code = PrimitiveTypeCode(typeName);
    if (code.empty()) code = classCode_(typeName);
    if (code.empty()) return code;
    return dimensions > 0 ? "a" + std::to_string(dimensions) + code : code;
  }

  std::string ParseParameter(DeclaredParameter* parameter) {
    bool byRef = false;
    for (;;) {
      if (AtWord("ByRef")) {
        byRef = true;
      } else if (AtWord("Assigns")) {
        parameter->assigns = true;
      } else if (AtWord("Extends")) {
        parameter->extends = true;
      } else if (!AtWord("ByVal") && !AtWord("ParamArray") && !AtWord("Optional")) {
        break;
      }
      pos_++;
    }
    if (!AtKind(TokenKind::Word)) return kFormatError;
    parameter->name = std::string(tokens_[pos_++].text);
    int32_t dimensions = ParseArrayMark();
    if (dimensions < 0) return kFormatError;
    if (!AtWord("As")) return kFormatError;
    pos_++;
    std::string typeName;
    if (!ParseType(&typeName, &dimensions)) return kFormatError;
    std::string code = CodeOf(typeName, dimensions);
    if (code.empty()) return "Unknown type \"" + typeName;
    parameter->typeCode = byRef ? "&" + code : code;
    if (AtPunct('=')) {
      pos_++;
      while (pos_ < tokens_.size() && !AtPunct(',') && !AtPunct(')')) pos_++;
    }
    return std::string();
  }

  const std::vector<Token>& tokens_;
  const ClassCodeLookup& classCode_;
  size_t pos_ = 0;
};

/* Length of the type code at the start of text: "o<...>", "a" digits
** code, "&" code, or a letter with its digits; 0 when none. */
size_t TypeCodeLength(std::string_view text) {
  if (text.empty()) return 0;
  char c = text[0];
  if (c == 'o' && text.size() > 1 && text[1] == '<') {
    size_t close = text.find('>');
    return close == std::string_view::npos ? 0 : close + 1;
  }
  if (c == '&') {
    size_t inner = TypeCodeLength(text.substr(1));
    return inner ? inner + 1 : 0;
  }
  if (c == 'a' || c == 'A') {
    size_t i = 1;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) i++;
    if (i == 1) return 0;
    size_t inner = TypeCodeLength(text.substr(i));
    return inner ? i + inner : 0;
  }
  if (!std::isalpha(static_cast<unsigned char>(c))) return 0;
  size_t i = 1;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) i++;
  return i;
}

} // namespace

std::string PrimitiveTypeCode(std::string_view typeName) {
  for (const TypeName& t : kPrimitiveTypes) {
    if (SameWord(t.name, typeName)) return t.code;
  }
  return std::string();
}

std::string ParseMethodDeclaration(std::string_view text, const ClassCodeLookup& classCode,
                                   MethodDeclaration* out) {
  std::vector<Token> tokens;
  if (!Tokenize(text, &tokens)) return kFormatError;
  *out = MethodDeclaration();
  return Parser(tokens, classCode).Parse(out);
}

std::string ParameterCodes(const MethodDeclaration& declaration) {
  std::string codes;
  for (size_t i = 0; i < declaration.parameters.size(); i++) {
    if (i == 0 && declaration.parameters[i].extends) continue;
    codes += declaration.parameters[i].typeCode;
  }
  return codes;
}

std::string MethodSignature(const MethodDeclaration& declaration, std::string_view owner) {
  return declaration.name + "%" + declaration.resultCode + "%o<" + std::string(owner) + ">" +
         ParameterCodes(declaration);
}

std::string SetterSignature(const MethodDeclaration& declaration, std::string_view owner) {
  return "=" + declaration.name + "%%o<" + std::string(owner) + ">" + ParameterCodes(declaration) +
         declaration.resultCode;
}

bool SplitSignature(std::string_view signature, SignatureParts* out) {
  size_t first = signature.find('%');
  if (first == std::string_view::npos) return false;
  size_t second = signature.find('%', first + 1);
  if (second == std::string_view::npos) return false;
  std::string_view name = signature.substr(0, first);
  out->setter = !name.empty() && name[0] == '=';
  if (out->setter) name.remove_prefix(1);
  out->name = std::string(name);
  out->resultCode = std::string(signature.substr(first + 1, second - first - 1));
  std::string_view parameters = signature.substr(second + 1);
  size_t owner = TypeCodeLength(parameters);
  if (owner == 0) return false;
  out->parameterCodes = std::string(parameters.substr(owner));
  return true;
}

bool SameMember(const MethodDeclaration& a, const MethodDeclaration& b) {
  return SameWord(a.name, b.name) && ParameterCodes(a) == ParameterCodes(b) && a.resultCode == b.resultCode;
}

} // namespace quendal
