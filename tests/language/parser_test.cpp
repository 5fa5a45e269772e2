// Precedence, statement forms and syntax errors of the parser.
#include "language/parser.h"

#include <gtest/gtest.h>

#include <random>

namespace robmat::lang {
namespace {

std::string show(const Expr& e);

std::string show_list(const std::vector<ExprPtr>& list) {
  std::string out;
  for (const ExprPtr& a : list) out += (out.empty() ? "" : ", ") + show(*a);
  return out;
}

// Fully parenthesised spelling of a tree.
std::string show(const Expr& e) {
  static const char* const kOps[] = {"+", "-", "*", "/", ".*", "./", ".^"};
  switch (e.kind) {
    case ExprKind::kNumber:
      return e.text;
    case ExprKind::kString:
      return "\"" + e.text + "\"";
    case ExprKind::kName:
      return e.text;
    case ExprKind::kEnd:
      return "end";
    case ExprKind::kAll:
      return ":";
    case ExprKind::kTilde:
      return "~";
    case ExprKind::kMatrix: {
      std::string out = "[";
      for (size_t r = 0; r < e.rows.size(); ++r) out += (r ? "; " : "") + show_list(e.rows[r]);
      return out + "]";
    }
    case ExprKind::kRange:
      return "(" + show(*e.args[0]) + ":" + show(*e.args[1]) +
             (e.args.size() == 3 ? ":" + show(*e.args[2]) : "") + ")";
    case ExprKind::kNegate:
      return "(-" + show(*e.args[0]) + ")";
    case ExprKind::kTranspose:
      return show(*e.args[0]) + "'";
    case ExprKind::kBinary:
      return "(" + show(*e.args[0]) + " " + kOps[static_cast<int>(e.op)] + " " + show(*e.args[1]) + ")";
    case ExprKind::kApply:
      return show(*e.base) + "{" + show_list(e.args) + "}";
  }
  return "?";
}

std::string show(const Statement& s) {
  std::string out;
  switch (s.kind) {
    case Statement::Kind::kExpr:
      out = show(*s.value);
      break;
    case Statement::Kind::kAssign:
      out = s.target.name + " = " + show(*s.value);
      break;
    case Statement::Kind::kIndexAssign:
      out = s.target.name + "{" + show_list(s.indices) + "} = " + show(*s.value);
      break;
    case Statement::Kind::kMultiAssign:
      out = "[";
      for (size_t i = 0; i < s.targets.size(); ++i) {
        out += (i ? ", " : "") + (s.targets[i].name.empty() ? std::string("~") : s.targets[i].name);
      }
      out += "] = " + show(*s.value);
      break;
  }
  return out + (s.display ? "" : ";");
}

std::string parse_show(const std::string& code) {
  std::string out;
  for (const Statement& s : parse(SourceFile("t.rm", code))) out += (out.empty() ? "" : " | ") + show(s);
  return out;
}

TEST(Parser, Precedence) {
  struct Case {
    const char* code;
    const char* tree;
  };
  const Case cases[] = {
      {"1 + 2 * 3", "(1 + (2 * 3))"},
      {"1 - 2 - 3", "((1 - 2) - 3)"},
      {"a .* b ./ c", "((a .* b) ./ c)"},
      {"-a * b", "((-a) * b)"},
      {"-2 .^ 2", "(-(2 .^ 2))"},
      {"2 .^ -1", "(2 .^ (-1))"},
      {"2 .^ 3 .^ 2", "((2 .^ 3) .^ 2)"},
      {"-x'", "(-x')"},
      {"a * b'", "(a * b')"},
      {"1:n+1", "(1:(n + 1))"},
      {"0:0.5:2", "(0:0.5:2)"},
      {"x(1, :)", "x{1, :}"},
      {"x(:)", "x{:}"},
      {"x(end, 2:end)", "x{end, (2:end)}"},
      {"f(x)(2)", "f{x}{2}"},
      {"f()", "f{}"},
      {"(a + b)'", "(a + b)'"},
      {"[1 2; 3 4]", "[1, 2; 3, 4]"},
      {"[x, ones(n, 1)]", "[x, ones{n, 1}]"},
      {"[a; b]", "[a; b]"},
      {"[]", "[]"},
      {"[1 2;\n 3 4;]", "[1, 2; 3, 4]"},
      {"[1 -2]", "[1, (-2)]"},
      {"[1 - 2]", "[(1 - 2)]"},
      {"+x", "x"},
      {"NA", "NA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(parse_show(c.code), c.tree);
  }
}

TEST(Parser, Statements) {
  struct Case {
    const char* code;
    const char* statements;
  };
  const Case cases[] = {
      {"x = 1", "x = 1"},
      {"x = 1;", "x = 1;"},
      {"x = 1; y = 2", "x = 1; | y = 2"},
      {"x = 1, y = 2;", "x = 1 | y = 2;"},
      {"x = 1\n\n% comment\ny = 2", "x = 1 | y = 2"},
      {"x(2, :) = 0;", "x{2, :} = 0;"},
      {"[a, b, c] = LTS(o, y, x);", "[a, b, c] = LTS{o, y, x};"},
      {"[a b] = size(x)", "[a, b] = size{x}"},
      {"[~, b] = size(x)", "[~, b] = size{x}"},
      {"[s] = MAD(x)", "[s] = MAD{x}"},
      {";;x", "x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(parse_show(c.code), c.statements);
  }
}

TEST(Parser, StatementPlaces) {
  const std::vector<Statement> p = parse(SourceFile("t.rm", "a = 1;\n  b = a + 2"));
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[1].loc.line, 2);
  EXPECT_EQ(p[1].loc.column, 3);
  EXPECT_EQ(p[1].value->loc.column, 9);  // the operator
}

TEST(Parser, Errors) {
  struct Case {
    const char* name;
    const char* code;
    const char* report;
  };
  const Case cases[] = {
      {"missing operand",
       "x = 1 +",
       "t.rm:1:8: error: expected a value, found the end of the input\n  x = 1 +\n         ^"},
      {"missing operand before line end",
       "x = 1 +\ny = 2",
       "t.rm:1:8: error: expected a value, found the end of the line\n  x = 1 +\n         ^"},
      {"two values",
       "x = 1 2",
       "t.rm:1:7: error: expected an operator, ';', ',' or a new line, found the number 2\n  x = 1 2\n       "
       " ^"},
      {"assign to a number",
       "1 = x",
       "t.rm:1:1: error: cannot assign to this; the left of '=' must be a name, name(indices) or [names]\n  "
       "1 = x\n  ^"},
      {"assign to a sum",
       "a + b = 1",
       "t.rm:1:3: error: cannot assign to this; the left of '=' must be a name, name(indices) or [names]\n  "
       "a + b = 1\n    ^"},
      {"number among targets",
       "[a, 1] = f(x)",
       "t.rm:1:5: error: only names and '~' can stand inside [ ] on the left of '='\n  [a, 1] = f(x)\n      "
       "^"},
      {"targets without a call",
       "[a, b] = x",
       "t.rm:1:10: error: several names on the left of '=' need a call on the right\n  [a, b] = x\n          "
       " ^"},
      {"tilde in an expression",
       "y = [~ 1]",
       "t.rm:1:6: error: '~' only stands for an unwanted result on the left of '='\n  y = [~ 1]\n       ^"},
      {"trailing comma in brackets",
       "[1, 2, ]",
       "t.rm:1:8: error: expected a value after ',', found ']'\n  [1, 2, ]\n         ^"},
      {"comma in arguments", "f(1,,2)", "t.rm:1:5: error: expected a value, found ','\n  f(1,,2)\n      ^"},
      {"second line",
       "x = 1;\ny = (2 + ;",
       "t.rm:2:10: error: ';' cannot stand inside ( )\n  y = (2 + ;\n           ^"},
      {"chained assignment",
       "a = b = 1",
       "t.rm:1:7: error: expected an operator, ';', ',' or a new line, found '='\n  a = b = 1\n        ^"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      parse(SourceFile("t.rm", c.code));
      ADD_FAILURE() << "no error";
    } catch (const LanguageError& e) {
      EXPECT_EQ(std::string(e.what()), c.report);
    }
  }
}

TEST(Parser, DeepNestingIsAnErrorNotACrash) {
  const std::string code = "x = " + std::string(5000, '(') + "1" + std::string(5000, ')');
  try {
    parse(SourceFile("t.rm", code));
    ADD_FAILURE() << "no error";
  } catch (const LanguageError& e) {
    EXPECT_EQ(e.message(), "the expression is nested too deeply");
  }
  const std::string minus = "x = " + std::string(5000, '-') + "1";
  EXPECT_THROW(parse(SourceFile("t.rm", minus)), LanguageError);
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
