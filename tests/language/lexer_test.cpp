// Literal values, token places, and every lexical error with its place. How the white-space
// rules inside [ ] split elements shows in the values of interpreter_test.
#include "language/lexer.h"

#include <gtest/gtest.h>

#include <cmath>

#include "harness.h"

namespace robmat::lang {
namespace {

TEST(Lexer, LiteralValues) {
  const std::vector<Token> t = lex(SourceFile("t.rm", R"(0.1 1e400 1e-400 4.9e-324 "a\"b\\c\n\t")"));
  EXPECT_EQ(t[0].number, 0.1);
  EXPECT_EQ(t[1].number, HUGE_VAL);
  EXPECT_EQ(t[2].number, 0.0);
  EXPECT_EQ(t[3].number, 4.9e-324);
  EXPECT_EQ(t[4].kind, Tok::kString);
  EXPECT_EQ(t[4].text, "a\"b\\c\n\t");
}

TEST(Lexer, TokenPlaces) {
  const std::vector<Token> t = lex(SourceFile("t.rm", "a = 1\n  bb = \"é\" + c"));
  EXPECT_EQ(t[4].text, "bb");
  EXPECT_EQ(t[4].loc.line, 2);
  EXPECT_EQ(t[4].loc.column, 3);
  EXPECT_EQ(t[7].kind, Tok::kPlus);
  EXPECT_EQ(t[7].loc.column, 12);  // columns count characters, not bytes
}

TEST(Lexer, Errors) {
  struct Case {
    const char* code;
    const char* where;
    bool incomplete;
  };
  const Case cases[] = {
      {"x = 1 $ 2", "1:7: unexpected character '$'", false},
      {"s = \"abc", "1:5: the character value is not closed by '\"'", false},
      {"s = \"a\\qb\"", "1:7: unknown escape in a character value; use \\\" \\\\ \\n or \\t", false},
      {"x = [1 2\n3", "1:5: '[' is not closed", true},
      {"f(1,", "1:2: '(' is not closed", true},
      {"x = 1)", "1:6: ')' has no matching '('", false},
      {"x = [1)", "1:7: ')' cannot close the '[' opened at line 1, column 5", false},
      {"y = x '",
       "1:7: a quote ' transposes the value just before it; character values use double quotes",
       false},
      {"x != 1", "1:3: '!=' is written '~=' in this language", false},
      {"a && b", "1:3: '&&' is not part of the language; '&' combines conditions element by element", false},
      {"x^2", "1:2: matrix powers are not part of the language; '.^' raises element by element", false},
      {"1e+", "1:2: the exponent of the number has no digits", false},
      {"2x", "1:2: unexpected character 'x' after a number", false},
      {"f(1; 2)", "1:4: ';' cannot stand inside ( )", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    try {
      lex(SourceFile("t.rm", c.code));
      ADD_FAILURE() << "no error";
    } catch (const LanguageError& e) {
      EXPECT_EQ(std::string(e.what()), testing::report(c.code, c.where));
      EXPECT_EQ(e.incomplete(), c.incomplete);
    }
  }
  // A tab before the error stays a tab in the caret line.
  try {
    lex(SourceFile("t.rm", "\tx = 1 @"));
    ADD_FAILURE() << "no error";
  } catch (const LanguageError& e) {
    EXPECT_EQ(std::string(e.what()), "t.rm:1:8: error: unexpected character '@'\n  \tx = 1 @\n  \t      ^");
  }
}

}  // namespace
}  // namespace robmat::lang
