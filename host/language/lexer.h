// Tokens of the robmat language. Inside [ ] white space matters as in MATLAB: "[1 -2]" has two
// elements and "[1 - 2]" one, and a line break ends a row; the lexer turns those separators
// into explicit comma and semicolon tokens, so the parser never looks at white space.
#pragma once

#include <string>
#include <vector>

#include "language/source.h"

namespace robmat::lang {

enum class Tok {
  kNumber,
  kString,
  kName,
  kNA,
  kInf,
  kNaN,
  kTrue,
  kFalse,
  kEnd,
  kPlus,
  kMinus,
  kStar,
  kSlash,
  kDotStar,
  kDotSlash,
  kDotCaret,
  kLess,
  kLessEqual,
  kGreater,
  kGreaterEqual,
  kEqual,
  kNotEqual,
  kAnd,
  kOr,
  kTranspose,
  kLParen,
  kRParen,
  kLBracket,
  kRBracket,
  kComma,
  kSemicolon,
  kColon,
  kAssign,
  kTilde,
  kNewline,
  kEof,
};

struct Token {
  Tok kind;
  Loc loc;
  std::string text;   // names and character values (escapes resolved)
  double number = 0;  // numbers
};

// Throws LanguageError for bad characters, unclosed character values and brackets (the last
// marked incomplete, so a REPL can ask for another line).
std::vector<Token> lex(const SourceFile& source);

std::string describe(const Token& t);  // for messages: "number 3", "')'", "the end of the line"

}  // namespace robmat::lang
