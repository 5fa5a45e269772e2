// Tokens, the white-space rules inside [ ], and every lexical error with its place.
#include "language/lexer.h"

#include <gtest/gtest.h>

#include <cmath>

namespace robmat::lang {
namespace {

// A compact spelling of the token stream: kinds as symbols, names and numbers as written.
std::string spell(const std::string& code) {
  std::string out;
  for (const Token& t : lex(SourceFile("t.rm", code))) {
    if (!out.empty()) out += ' ';
    switch (t.kind) {
      case Tok::kNumber:
      case Tok::kName:
      case Tok::kNA:
      case Tok::kInf:
      case Tok::kNaN:
      case Tok::kEnd:
        out += t.text;
        break;
      case Tok::kString:
        out += "\"" + t.text + "\"";
        break;
      case Tok::kNewline:
        out += "NL";
        break;
      case Tok::kEof:
        out += "EOF";
        break;
      default:
        out += describe(t).substr(1, describe(t).size() - 2);
    }
  }
  return out;
}

TEST(Lexer, TokenStreams) {
  struct Case {
    const char* name;
    const char* code;
    const char* tokens;
  };
  const Case cases[] = {
      {"numbers", "1 1e-3 .5 5. 2E+4", "1 1e-3 .5 5. 2E+4 EOF"},
      {"names and keywords", "x_1 NA Inf NaN end", "x_1 NA Inf NaN end EOF"},
      {"operators", "a+b-c*d/e.*f./g.^h", "a + b - c * d / e .* f ./ g .^ h EOF"},
      {"dot before operator belongs to it", "1.*x", "1 .* x EOF"},
      {"transpose", "x' (a)' x.'", "x ' ( a ) ' x ' EOF"},
      {"comment", "x = 1 % the rest\ny", "x = 1 NL y EOF"},
      {"string escapes", R"("a\"b\\c\n")", "\"a\"b\\c\n\" EOF"},
      {"space separates elements", "[1 2 3]", "[ 1 , 2 , 3 ] EOF"},
      {"unary minus starts an element", "[1 -2]", "[ 1 , - 2 ] EOF"},
      {"binary minus with spaces", "[1 - 2]", "[ 1 - 2 ] EOF"},
      {"binary minus without spaces", "[1-2]", "[ 1 - 2 ] EOF"},
      {"plus sign starts an element", "[a +b]", "[ a , + b ] EOF"},
      {"call inside brackets", "[f(1, 2) 3]", "[ f ( 1 , 2 ) , 3 ] EOF"},
      {"space before paren in brackets", "[a (1)]", "[ a , ( 1 ) ] EOF"},
      {"transposes in brackets", "[x' y']", "[ x ' , y ' ] EOF"},
      {"line break ends a row", "[1 2\n3 4]", "[ 1 , 2 ; 3 , 4 ] EOF"},
      {"line break in parentheses is space", "f(1,\n2)", "f ( 1 , 2 ) EOF"},
      {"tilde", "[~, b] = f(x)", "[ ~ , b ] = f ( x ) EOF"},
      {"colon", "x(:, 1:3)", "x ( : , 1 : 3 ) EOF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(spell(c.code), c.tokens);
  }
}

TEST(Lexer, NumberValues) {
  const std::vector<Token> t = lex(SourceFile("t.rm", "0.1 1e400 1e-400 4.9e-324"));
  EXPECT_EQ(t[0].number, 0.1);
  EXPECT_EQ(t[1].number, HUGE_VAL);
  EXPECT_EQ(t[2].number, 0.0);
  EXPECT_EQ(t[3].number, 4.9e-324);
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
    const char* name;
    const char* code;
    const char* report;
    bool incomplete;
  };
  const Case cases[] = {
      {"unexpected character",
       "x = 1 $ 2",
       "t.rm:1:7: error: unexpected character '$'\n  x = 1 $ 2\n        ^",
       false},
      {"unclosed string",
       "s = \"abc",
       "t.rm:1:5: error: the character value is not closed by '\"'\n  s = \"abc\n      ^",
       false},
      {"unknown escape",
       "s = \"a\\qb\"",
       "t.rm:1:7: error: unknown escape in a character value; use \\\" \\\\ \\n or \\t\n  s = \"a\\qb\"\n    "
       "    ^",
       false},
      {"unclosed bracket", "x = [1 2\n3", "t.rm:1:5: error: '[' is not closed\n  x = [1 2\n      ^", true},
      {"unclosed paren", "f(1,", "t.rm:1:2: error: '(' is not closed\n  f(1,\n   ^", true},
      {"unmatched close", "x = 1)", "t.rm:1:6: error: ')' has no matching '('\n  x = 1)\n       ^", false},
      {"wrong close",
       "x = [1)",
       "t.rm:1:7: error: ')' cannot close the '[' opened at line 1, column 5\n  x = [1)\n        ^",
       false},
      {"quote after space",
       "y = x '",
       "t.rm:1:7: error: a quote ' transposes the value just before it; character values use double quotes\n"
       "  y = x '\n        ^",
       false},
      {"comparison",
       "x == 1",
       "t.rm:1:3: error: '==' comparisons are not part of the language\n  x == 1\n    ^",
       false},
      {"matrix power",
       "x^2",
       "t.rm:1:2: error: matrix powers are not part of the language; '.^' raises element by element\n  x^2\n "
       "  ^",
       false},
      {"exponent without digits",
       "1e+",
       "t.rm:1:2: error: the exponent of the number has no digits\n  1e+\n   ^",
       false},
      {"letter after number",
       "2x",
       "t.rm:1:2: error: unexpected character 'x' after a number\n  2x\n   ^",
       false},
      {"semicolon in parentheses",
       "f(1; 2)",
       "t.rm:1:4: error: ';' cannot stand inside ( )\n  f(1; 2)\n     ^",
       false},
      {"tab keeps the caret in place",
       "\tx = 1 @",
       "t.rm:1:8: error: unexpected character '@'\n  \tx = 1 @\n  \t      ^",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      lex(SourceFile("t.rm", c.code));
      ADD_FAILURE() << "no error";
    } catch (const LanguageError& e) {
      EXPECT_EQ(std::string(e.what()), c.report);
      EXPECT_EQ(e.incomplete(), c.incomplete);
    }
  }
}

}  // namespace
}  // namespace robmat::lang
