// Limits that hostile or merely large input runs into: operator chains as long as a line, one
// long line (lexed in linear time), shapes with a zero or huge dimension, number literals at the
// edges of the double range, and NUL bytes. Each case once crashed, hung or misread.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>

#include "csv.h"
#include "harness.h"
#include "language/lexer.h"
#include "language/parser.h"

namespace robmat::testing {
namespace {

std::string repeat(const std::string& piece, int n) {
  std::string out;
  out.reserve(piece.size() * static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) out += piece;
  return out;
}

// 40,000 terms on one line: each once overflowed the stack (in the parser's checks, the
// evaluation or the destruction of the tree).
TEST(Limits, LongOperatorChainsWork) {
  constexpr int kTerms = 40000;
  struct Case {
    std::string name;
    std::string code;  // assigns r
    double value;
  };
  const Case cases[] = {
      {"sum", "r = 1" + repeat("+1", kTerms - 1), kTerms},
      {"difference", "r = 0" + repeat("-1", kTerms), -kTerms},
      {"element product", "r = 1" + repeat(" .* 1", kTerms), 1},
      {"matrix product", "r = 2" + repeat("*1", kTerms), 2},
      {"power", "r = 1" + repeat(".^2", kTerms), 1},
      {"transposes", "x = 3; r = x" + repeat("'", kTerms), 3},
      {"indexing", "x = 4; r = x" + repeat("(1)", kTerms), 4},
      {"comparisons", "r = 1" + repeat(" == 1", kTerms), 1},
      {"conditions", "r = 1" + repeat(" & 1", kTerms), 1},
      {"inside brackets", "r = [1" + repeat("+1", kTerms - 1) + "]", kTerms},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    h.run(c.code + ";");
    EXPECT_EQ(h.data("r"), std::vector<double>{c.value});
  }
}

// Nesting is what recursion follows; it stays bounded, with a message.
TEST(Limits, DeepNestingIsRefused) {
  const std::string cases[] = {
      "x = " + std::string(5000, '(') + "1" + std::string(5000, ')'),
      "x = " + std::string(5000, '-') + "1",
      "x = " + std::string(5000, '~') + "1",
      "x = " + repeat("[", 5000) + "1" + repeat("]", 5000),
      "x = 2.^" + std::string(5000, '-') + "1",
  };
  for (const std::string& code : cases) {
    SCOPED_TRACE(code.substr(0, 12));
    try {
      lang::parse(lang::SourceFile("t.rm", code));
      ADD_FAILURE() << "no error";
    } catch (const lang::LanguageError& e) {
      EXPECT_EQ(e.message(), "the expression is nested too deeply");
    }
  }
}

// Lexing and parsing one line of n elements takes time proportional to n: four times the
// elements must take well under the sixteen times a quadratic scan would (300,000 elements once
// took 100 s). The best of three runs keeps a busy machine from deciding the ratio.
TEST(Limits, OneLongLineInLinearTime) {
  auto seconds = [](int n) {
    const lang::SourceFile src("t.rm", "x = [" + repeat("1.5 ", n) + "] + \"bad\" $");
    double best = HUGE_VAL;
    for (int run = 0; run < 5; ++run) {
      const auto start = std::chrono::steady_clock::now();
      try {
        lang::parse(src);
      } catch (const lang::LanguageError& e) {
        // The error is at the end of the line, so its column needs the count of the whole line.
        EXPECT_EQ(e.loc().column, 4 * n + 16);
      }
      best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
  };
  const double small = seconds(50000), large = seconds(200000);
  EXPECT_LT(large / small, 10.0) << "50,000 elements: " << small << " s, 200,000: " << large << " s";
}

// Every dimension and every product of dimensions is checked in doubles before anything is
// allocated or looped over: a zero dimension does not excuse a huge other one.
TEST(Limits, SizesWithAZeroOrHugeDimension) {
  struct Case {
    const char* code;
    const char* message;
  };
  const Case cases[] = {
      {"x = zeros(0, 1e300)", "zeros: a 0x1e+300 matrix has more columns than the limit of 100000000"},
      {"x = zeros(4611686018427387904, 0) + 1",
       "zeros: a 4.61168601842739e+18x0 matrix has more rows than the limit of 100000000"},
      {"x = zeros(0, 2.^62)' * ones(0, 4)",
       "zeros: a 0x4.61168601842739e+18 matrix has more columns than the limit of 100000000"},
      {"x = zeros(0, 6e7); y = [x x]", "a 0x120000000 matrix has more columns than the limit of 100000000"},
      {"x = zeros(6e7, 0); y = [x; x]", "a 120000000x0 matrix has more rows than the limit of 100000000"},
      {"x = zeros(20000, 0) * zeros(0, 20000)",
       "a 20000x20000 matrix is larger than the limit of 100000000 elements"},
      {"x = ones(20000, 1) + ones(1, 20000)",
       "a 20000x20000 matrix is larger than the limit of 100000000 elements"},
      {"x = ones(20000, 1) < ones(1, 20000)",
       "a 20000x20000 matrix is larger than the limit of 100000000 elements"},
      {"x = ones(1, 20000); y = x(ones(20000, 1), :)",
       "a 20000x20000 matrix is larger than the limit of 100000000 elements"},
      {"x = 1:1e9", "a 1x1000000000 matrix has more columns than the limit of 100000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    Harness h;
    try {
      h.run(c.code);
      ADD_FAILURE() << "no error";
    } catch (const lang::LanguageError& e) {
      EXPECT_EQ(e.message(), c.message);
    }
  }
  // Shapes at the limit still work.
  Harness h;
  h.run("x = zeros(0, 1e8); y = x' + 1; z = [x x(:, 1:0)];");
  EXPECT_EQ(h.shape("y"), (std::pair<int64_t, int64_t>{100000000, 0}));
  EXPECT_EQ(h.shape("z"), (std::pair<int64_t, int64_t>{0, 100000000}));
}

// Literals are read with every digit counting, and the language and CSV cells agree, also
// beyond the range of doubles (infinity above it, zero below).
TEST(Limits, NumberLiteralsAtTheEdges) {
  struct Case {
    std::string name;
    std::string text;
    double value;
  };
  const Case cases[] = {
      {"400 zeros after the point", "0." + std::string(400, '0') + "1", 0.0},
      {"400 zeros, then a negative exponent", "1" + std::string(400, '0') + "e-1", HUGE_VAL},
      {"long mantissa back in range", "1" + std::string(400, '0') + "e-400", 1.0},
      {"long fraction", "0.1" + std::string(800, '0') + "1", 0.1},
      {"overflow", "1e999", HUGE_VAL},
      {"underflow", "1e-400", 0.0},
      {"largest double", "1.7976931348623157e308", 1.7976931348623157e308},
      {"rounds to infinity", "1.7976931348623159e308", HUGE_VAL},
      {"smallest subnormal", "4.9406564584124654e-324", 4.9406564584124654e-324},
      {"below half the smallest subnormal", "2e-324", 0.0},
      {"huge exponent", "1e99999999999999999999999", HUGE_VAL},
      {"tiny exponent", "1e-99999999999999999999999", 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<lang::Token> t = lang::lex(lang::SourceFile("t.rm", c.text));
    ASSERT_EQ(t[0].kind, lang::Tok::kNumber);
    EXPECT_EQ(t[0].number, c.value);
    const host::Matrix m = host::parse_csv("a\n" + c.text + "\n-" + c.text + "\n", "t.csv");
    EXPECT_EQ(m.data[0], c.value);
    EXPECT_EQ(m.data[1], -c.value);
    EXPECT_EQ(std::signbit(m.data[1]), true);
  }
}

// A NUL byte would cut text short where it becomes a C string (a path, an option): refused.
TEST(Limits, NulBytesAreRefused) {
  const std::string code("s = \"qn\0zz\"", 11);
  try {
    lang::lex(lang::SourceFile("t.rm", code));
    ADD_FAILURE() << "no error";
  } catch (const lang::LanguageError& e) {
    EXPECT_EQ(e.message(), "a character value cannot hold a NUL byte");
    EXPECT_EQ(e.loc().column, 8);
  }
  EXPECT_THROW(lang::lex(lang::SourceFile("t.rm", std::string("x = 1\0", 6))), lang::LanguageError);
  try {
    host::read_csv(std::string("/dev/null\0/x.csv", 16));
    ADD_FAILURE() << "no error";
  } catch (const host::Error& e) {
    EXPECT_EQ(std::string(e.what()), "the file name holds a NUL byte, which no file name can contain");
  }
  EXPECT_THROW(host::write_csv(host::Matrix(1, 1), std::string("/tmp/x\0.csv", 11)), host::Error);
}

}  // namespace
}  // namespace robmat::testing
