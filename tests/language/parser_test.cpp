// Statement places and syntax errors of the parser; it never crashes. Precedence and the
// statement forms show in the values and listings of interpreter_test.
#include "language/parser.h"

#include <gtest/gtest.h>

#include <random>

#include "harness.h"

namespace robmat::lang {
namespace {

TEST(Parser, StatementPlaces) {
  const std::vector<Statement> p = parse(SourceFile("t.rm", "a = 1;\n  b = a + 2"));
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[1].loc.line, 2);
  EXPECT_EQ(p[1].loc.column, 3);
  EXPECT_EQ(p[1].value->loc.column, 9);  // the operator
}

TEST(Parser, Errors) {
  const char* const kAssign =
      "cannot assign to this; the left of '=' must be a name, name(indices) or [names]";
  struct Case {
    std::string code;
    std::string where;
  };
  const Case cases[] = {
      {"x = 1 +", "1:8: expected a value, found the end of the input"},
      {"x = 1 +\ny = 2", "1:8: expected a value, found the end of the line"},
      {"x = 1 2", "1:7: expected an operator, ';', ',' or a new line, found the number 2"},
      {"1 = x", std::string("1:1: ") + kAssign},
      {"a + b = 1", std::string("1:3: ") + kAssign},
      {"[a, 1] = f(x)", "1:5: only names and '~' can stand inside [ ] on the left of '='"},
      {"[a, b] = x", "1:10: several names on the left of '=' need a call on the right"},
      {"y = [~ 1]", "1:6: '~' only stands for an unwanted result on the left of '='"},
      {"[1, 2, ]", "1:8: expected a value after ',', found ']'"},
      {"f(1,,2)", "1:5: expected a value, found ','"},
      {"x = 1;\ny = (2 + ;", "2:10: ';' cannot stand inside ( )"},
      {"a = b = 1", "1:7: expected an operator, ';', ',' or a new line, found '='"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    try {
      parse(SourceFile("t.rm", c.code));
      ADD_FAILURE() << "no error";
    } catch (const LanguageError& e) {
      EXPECT_EQ(std::string(e.what()), testing::report(c.code, c.where));
    }
  }
}

TEST(Parser, DeepNestingIsAnErrorNotACrash) {
  try {
    parse(SourceFile("t.rm", "x = " + std::string(5000, '(') + "1" + std::string(5000, ')')));
    ADD_FAILURE() << "no error";
  } catch (const LanguageError& e) {
    EXPECT_EQ(e.message(), "the expression is nested too deeply");
  }
  EXPECT_THROW(parse(SourceFile("t.rm", "x = " + std::string(5000, '-') + "1")), LanguageError);
}

// Any text either parses or fails with a LanguageError: never a crash or another exception.
TEST(Parser, RandomTextNeverCrashes) {
  static const char* const kPieces[] = {
      "x", "f", "(",   ")",  "[", "]",  ",",   ";",     ":", "=",  "+",    "-",  "*",  ".*", "./",  ".^",
      "'", "~", "end", "NA", "1", ".5", "1e3", "\"s\"", " ", "\n", "%c\n", "\t", "\"", "$",  "\xff"};
  std::mt19937 rng(12345);
  std::uniform_int_distribution<size_t> piece(0, std::size(kPieces) - 1), length(0, 30);
  for (int round = 0; round < 20000; ++round) {
    std::string code;
    for (size_t n = length(rng); n > 0; --n) code += kPieces[piece(rng)];
    try {
      parse(SourceFile("t.rm", code));
    } catch (const LanguageError& e) {
      EXPECT_FALSE(e.message().empty()) << code;
    }
  }
}

}  // namespace
}  // namespace robmat::lang
