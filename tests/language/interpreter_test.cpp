// The interpreter against the fake backend: values, operators, indexing, assignment,
// builtins, routine calls, what is displayed, and every run-time error with its place.
#include "language/interpreter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "harness.h"

namespace robmat::testing {
namespace {

using host::is_missing;
using host::missing;

const double NA = missing();

// Compares data element by element; missing equals missing.
void expect_data(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    if (is_missing(want[i])) {
      EXPECT_TRUE(is_missing(got[i])) << "element " << i;
    } else {
      EXPECT_EQ(got[i], want[i]) << "element " << i;
    }
  }
}

TEST(Interpreter, ExpressionValues) {
  struct Case {
    const char* code;  // assigns r
    int64_t rows, cols;
    std::vector<double> data;  // row-major
  };
  const Case cases[] = {
      {"r = 1 + 2 * 3", 1, 1, {7}},
      {"r = [1 2; 3 4] * [1 2; 3 4]", 2, 2, {7, 10, 15, 22}},
      {"r = [1 2; 3 4] .* [1 2; 3 4]", 2, 2, {1, 4, 9, 16}},
      {"r = [1 2; 3 4]'", 2, 2, {1, 3, 2, 4}},
      {"r = [1 2 3]'", 3, 1, {1, 2, 3}},
      {"r = [2 4] ./ 2", 1, 2, {1, 2}},
      {"r = [2 4] / 2", 1, 2, {1, 2}},
      {"r = 2 .^ [1 2 3]", 1, 3, {2, 4, 8}},
      {"r = -2 .^ 2", 1, 1, {-4}},
      {"r = [1 2; 3 4] - [10 20]", 2, 2, {-9, -18, -7, -16}},  // a row against every row
      {"r = [1 2; 3 4] + [10; 20]", 2, 2, {11, 12, 23, 24}},   // a column against every column
      {"r = [1 2 3] + NA", 1, 3, {NA, NA, NA}},
      {"r = [1 NA] * [1; 1]", 1, 1, {NA}},
      {"r = [1 NA; 1 1] * [1 0; 0 1]", 2, 2, {NA, NA, 1, 1}},
      {"r = -[1 NA]", 1, 2, {-1, NA}},
      {"r = 1:4", 1, 4, {1, 2, 3, 4}},
      {"r = 0:0.25:1", 1, 5, {0, 0.25, 0.5, 0.75, 1}},
      {"r = 5:-2:1", 1, 3, {5, 3, 1}},
      {"r = 3:1", 1, 0, {}},
      {"r = []", 0, 0, {}},
      {"r = [[] 1 []]", 1, 1, {1}},
      {"r = [1 2; 3 4]; r = [r, ones(2, 1)]", 2, 3, {1, 2, 1, 3, 4, 1}},
      {"a = [1 2]; r = [a; a + 2]", 2, 2, {1, 2, 3, 4}},
      {"r = [1, 2\n 3, 4]", 2, 2, {1, 2, 3, 4}},
      {"r = [1 -2]", 1, 2, {1, -2}},
      {"r = [1 - 2]", 1, 1, {-1}},
      {"x = [1 2 3; 4 5 6]; r = x(2, 3)", 1, 1, {6}},
      {"x = [1 2 3; 4 5 6]; r = x(:, 2)", 2, 1, {2, 5}},
      {"x = [1 2 3; 4 5 6]; r = x(2, :)", 1, 3, {4, 5, 6}},
      {"x = [1 2 3; 4 5 6]; r = x(:, [3 1])", 2, 2, {3, 1, 6, 4}},
      {"x = [1 2 3; 4 5 6]; r = x(end, end)", 1, 1, {6}},
      {"x = [1 2 3; 4 5 6]; r = x(:, 2:end)", 2, 2, {2, 3, 5, 6}},
      {"x = [1 2 3; 4 5 6]; r = x(2)", 1, 1, {4}},  // linear indices run down the columns
      {"x = [1 2 3; 4 5 6]; r = x(:)", 6, 1, {1, 4, 2, 5, 3, 6}},
      {"x = [1 2 3; 4 5 6]; r = x([1 2 3])", 3, 1, {1, 4, 2}},
      {"x = [10 20 30]; r = x([3 1])", 1, 2, {30, 10}},
      {"x = [10 20 30]; r = x(end)", 1, 1, {30}},
      {"x = [10 20 30]'; r = x(2:3)", 2, 1, {20, 30}},
      {"x = [1 2; 3 4]; r = x(x(1, 2), :)", 1, 2, {3, 4}},
      {"r = size([1 2 3; 4 5 6])", 1, 2, {2, 3}},
      {"r = size([1 2 3; 4 5 6], 2)", 1, 1, {3}},
      {"r = nrow(ones(4, 2)) + ncol(ones(4, 2))", 1, 1, {6}},
      {"r = ones(2)", 2, 2, {1, 1, 1, 1}},
      {"r = zeros(1, 3)", 1, 3, {0, 0, 0}},
      {"r = ones(size([1 2 3]))", 1, 3, {1, 1, 1}},
      {"r = eye(2, 3)", 2, 3, {1, 0, 0, 0, 1, 0}},
      {"r = sqrt([4 9 NA])", 1, 3, {2, 3, NA}},
      {"r = abs([-1 2])", 1, 2, {1, 2}},
      {"r = exp(log([1 2]))", 1, 2, {1, 2}},
      {"r = sum([1 2; 3 4])", 1, 2, {4, 6}},
      {"r = sum([1 NA; 3 4])", 1, 2, {4, NA}},
      {"r = mean([1 2; 3 5])", 1, 2, {2, 3.5}},
      {"r = mean(zeros(0, 2))", 1, 2, {NA, NA}},
      {"r = sum(zeros(0, 2))", 1, 2, {0, 0}},
      {"x = [1 2; 3 4]; x(1, 2) = 9; r = x", 2, 2, {1, 9, 3, 4}},
      {"x = [1 2; 3 4]; x(:, 1) = 0; r = x", 2, 2, {0, 2, 0, 4}},
      {"x = [1 2; 3 4]; x(2, :) = [7 8]; r = x", 2, 2, {1, 2, 7, 8}},
      {"x = [1 2; 3 4]; x(:, 2) = [7 8]; r = x", 2, 2, {1, 7, 3, 8}},
      {"x = [1 2; 3 4]; x(2) = 9; r = x", 2, 2, {1, 2, 9, 4}},
      {"x = [1 2; 3 4]; x(:) = [5 6 7 8]; r = x", 2, 2, {5, 7, 6, 8}},
      {"x = [1 2; 3 4]; x(end, end) = NA; r = x", 2, 2, {1, 2, 3, NA}},
      {"[r, c] = size(ones(2, 5)); r = [r c]", 1, 2, {2, 5}},
      {"r = MAD([1; 2; 3; 4; 100])", 1, 1, {1}},
      {"r = mad([1; 2; 3; 4; 100], \"qn\")", 1, 1, {1}},
      {"[a, b, c] = LTS(1, [1; 2], [1 1; 1 2]); r = b", 2, 1, {3, 5}},
      {"r = LTS(1, [1; 2], [1 1; 1 2])", 1, 2, {2, 2}},
      {"[~, ~, r] = LTS(1, [1; 2], [1 1; 1 2])", 2, 1, {1, 2}},
      {"r = size(3)(2)", 1, 1, {1}},
      {"r = 1e-3 + .5", 1, 1, {0.501}},
      {"r = Inf", 1, 1, {HUGE_VAL}},
      {"x = 1; x = [x x]; r = x", 1, 2, {1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    Harness h;
    ASSERT_NO_THROW(h.run(c.code));
    EXPECT_EQ(h.shape("r"), std::make_pair(c.rows, c.cols));
    expect_data(h.data("r"), c.data);
  }
}

TEST(Interpreter, NaNIsNotMissing) {
  Harness h;
  h.run("r = [0 1] ./ [0 0];");
  EXPECT_TRUE(std::isnan(h.data("r")[0]));
  EXPECT_FALSE(is_missing(h.data("r")[0]));
  EXPECT_EQ(h.data("r")[1], HUGE_VAL);
}

TEST(Interpreter, ColumnNames) {
  Harness h;
  h.run("x = colnames([1 2 3; 4 5 6], \"a, b,c\");");
  EXPECT_EQ(h.matrix("x").colnames, (std::vector<std::string>{"a", "b", "c"}));
  struct Case {
    const char* code;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"r = x(:, [3 1])", {"c", "a"}},
      {"r = x(1, :)", {"a", "b", "c"}},
      {"r = x(1, :)(2)", {"b"}},
      {"r = x + 1", {"a", "b", "c"}},
      {"r = 1 - x", {"a", "b", "c"}},
      {"r = sum(x)", {"a", "b", "c"}},
      {"r = sqrt(x)", {"a", "b", "c"}},
      {"r = x'", {}},
      {"r = [x, ones(2, 1)]", {"a", "b", "c", ""}},
      {"r = [x; x]", {"a", "b", "c"}},
      {"r = eye(3) * x'", {}},
      {"r = ones(1, 2) * x", {"a", "b", "c"}},
      {"r = colnames(x, \"\")", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    h.run(std::string(c.code) + ";");
    EXPECT_EQ(h.matrix("r").colnames, c.names);
  }
  h.run("n = colnames(x);");
  EXPECT_EQ(std::get<std::string>(*h.interp.get("n")), "a,b,c");
}

TEST(Interpreter, Display) {
  struct Case {
    const char* code;
    const char* listing;
  };
  const Case cases[] = {
      {"x = [1 2; 3 4]; y = x * x", "y =\n   7  10\n  15  22\n"},
      {"x = 5", "x = 5\n"},
      {"x = 5;", ""},
      {"x = 5; x", "x = 5\n"},
      {"1 + 1", "ans = 2\n"},
      {"s = \"qn\"", "s = \"qn\"\n"},
      {"e = []", "e = [](0x0)\n"},
      {"e = zeros(0, 3)", "e = [](0x3)\n"},
      {"x = [1.5 NA; -2 100]", "x =\n   1.5    .\n  -2    100\n"},
      {"x = colnames([1 2], \"alpha,b\")", "x =\n  alpha  b\n      1  2\n"},
      {"x = colnames([7], \"v\")", "x =\n  v\n  7\n"},
      {"disp([1 2])", "  1  2\n"},
      {"disp(\"hello\")", "hello\n"},
      {"disp(3)", "3\n"},
      {"[r, c] = size(ones(2, 3))", "r = 2\nc = 3\n"},
      {"[~, c] = size(ones(2, 3))", "c = 3\n"},
      {"x = [1 2]; x(2) = 5", "x =\n  1  5\n"},
      {"a = 1, b = 2; c = 3", "a = 1\nc = 3\n"},
      {"write_csv([1 2], \"/dev/null\")", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    Harness h;
    EXPECT_EQ(h.run(c.code), c.listing);
  }
}

TEST(Interpreter, CallRoutineOnItsOwnShowsEveryResult) {
  Harness h;
  const std::string out = h.run("LTS(0, [1; 2], [1; 1])");
  EXPECT_EQ(out,
            "\n                                    Fake LTS\n\nSizes\n   n  p\n1  2  1\n"
            "LTS result 1 =\n  2  1\nLTS result 2 = 3\nLTS result 3 =\n  1\n  2\n");
  EXPECT_EQ(h.interp.get("ans"), nullptr);
  EXPECT_EQ(h.log, (std::vector<std::string>{"LTS: done"}));
  EXPECT_EQ(h.run("LTS(0, [1; 2], [1; 1]);").find("result"), std::string::npos);
}

TEST(Interpreter, RoutineCallsGoThroughTheBackend) {
  Harness h;
  h.run("s = MAD([1; 2; 3]); t = mad([1; 2; 3], \"qn\");");
  EXPECT_EQ(h.backend.calls, (std::vector<std::string>{"MAD/1", "MAD/2"}));
  EXPECT_EQ(h.log, (std::vector<std::string>{"MAD: 3 observations", "MAD: 3 observations"}));
}

TEST(Interpreter, ReadAndWriteCsv) {
  const auto dir = std::filesystem::temp_directory_path() / "robmat_interpreter_test";
  std::filesystem::create_directories(dir);
  const std::string in = (dir / "in.csv").string(), out = (dir / "out.csv").string();
  {
    std::ofstream f(in);
    f << "a,b\n1,2\n3,\n";
  }
  Harness h;
  h.run("d = read_csv(\"" + in + "\"); d(2, 1) = 0.1; write_csv(d, \"" + out + "\"); e = read_csv(\"" + out +
        "\");");
  EXPECT_EQ(h.matrix("e").colnames, (std::vector<std::string>{"a", "b"}));
  expect_data(h.data("e"), {1, 2, 0.1, NA});
  std::filesystem::remove_all(dir);
}

TEST(Interpreter, RunTimeErrors) {
  struct Case {
    const char* name;
    const char* code;
    const char* report;
  };
  const Case cases[] = {
      {"shapes in a sum",
       "x = ones(2, 3); y = ones(3, 2);\nz = x + y",
       "t.rm:2:7: error: cannot add a 2x3 matrix and a 3x2 matrix\n  z = x + y\n        ^"},
      {"shapes in a difference",
       "z = ones(2, 3) - ones(3, 2)",
       "t.rm:1:16: error: cannot subtract a 3x2 matrix from a 2x3 matrix\n  z = ones(2, 3) - ones(3, 2)\n    "
       "             ^"},
      {"inner sizes",
       "z = ones(2, 3) * ones(2, 3)",
       "t.rm:1:16: error: cannot multiply a 2x3 matrix by a 2x3 matrix: the columns of the left (3) must "
       "match "
       "the rows of the right (2)\n  z = ones(2, 3) * ones(2, 3)\n                 ^"},
      {"element product",
       "z = [1 2] .* [1 2 3]",
       "t.rm:1:11: error: cannot multiply a 1x2 matrix and a 1x3 matrix element by element\n  z = [1 2] .* "
       "[1 2 3]\n            ^"},
      {"slash by a matrix",
       "z = 1 / [1 2]",
       "t.rm:1:7: error: cannot divide a 1x1 matrix by a 1x2 matrix: '/' divides by a scalar; './' divides "
       "element "
       "by element\n  z = 1 / [1 2]\n        ^"},
      {"text in arithmetic",
       "z = \"a\" + 1",
       "t.rm:1:9: error: cannot add a character value and a 1x1 matrix\n  z = \"a\" + 1\n          ^"},
      {"transpose text",
       "z = \"a\"'",
       "t.rm:1:8: error: cannot transpose a character value\n  z = \"a\"'\n         ^"},
      {"unknown name", "y = 1;\nz = q + 1", "t.rm:2:5: error: 'q' is not defined\n  z = q + 1\n      ^"},
      {"unknown function",
       "z = frob(1)",
       "t.rm:1:5: error: 'frob' is not a variable, a builtin or a routine\n  z = frob(1)\n      ^"},
      {"builtin without call",
       "z = ones",
       "t.rm:1:5: error: 'ones' is a builtin; call it as ones(...)\n  z = ones\n      ^"},
      {"routine without call",
       "z = lts",
       "t.rm:1:5: error: 'lts' is a routine; call it as LTS(...)\n  z = lts\n      ^"},
      {"row index out of range",
       "x = ones(3, 2);\nz = x(4, 1)",
       "t.rm:2:7: error: row index 4 is out of range: x has 3 rows\n  z = x(4, 1)\n        ^"},
      {"column index out of range",
       "x = ones(3, 2); z = x(1, [1 3])",
       "t.rm:1:26: error: column index 3 is out of range: x has 2 columns\n  x = ones(3, 2); z = x(1, [1 "
       "3])\n                           ^"},
      {"linear index out of range",
       "x = ones(3, 2); z = x(7)",
       "t.rm:1:23: error: index 7 is out of range: x has 6 elements\n  x = ones(3, 2); z = x(7)\n            "
       "            ^"},
      {"zero index",
       "x = 1:3; z = x(0)",
       "t.rm:1:16: error: indices are whole numbers from 1 up, so 0 is not one\n  x = 1:3; z = x(0)\n        "
       "         ^"},
      {"fractional index",
       "x = 1:3; z = x(1.5)",
       "t.rm:1:16: error: indices are whole numbers from 1 up, so 1.5 is not one\n  x = 1:3; z = x(1.5)\n    "
       "             ^"},
      {"missing index",
       "x = 1:3; z = x(NA)",
       "t.rm:1:16: error: an index cannot be NA\n  x = 1:3; z = x(NA)\n                 ^"},
      {"text index",
       "x = 1:3; z = x(\"a\")",
       "t.rm:1:16: error: an index must be numeric, not a character value\n  x = 1:3; z = x(\"a\")\n         "
       "        ^"},
      {"three indices",
       "x = 1:3; z = x(1, 1, 1)",
       "t.rm:1:22: error: a matrix takes one or two indices\n  x = 1:3; z = x(1, 1, 1)\n                     "
       "  ^"},
      {"index text",
       "s = \"abc\"; z = s(1)",
       "t.rm:1:16: error: cannot index a character value\n  s = \"abc\"; z = s(1)\n                 ^"},
      {"end outside an index",
       "z = end",
       "t.rm:1:5: error: 'end' only stands inside an index, for the last position\n  z = end\n      ^"},
      {"colon outside an index",
       "z = ones(:)",
       "t.rm:1:10: error: ':' alone only stands as an index, for all rows or columns\n  z = ones(:)\n        "
       "   ^"},
      {"rows differ in a literal",
       "z = [ones(2, 1), ones(3, 1)]",
       "t.rm:1:18: error: cannot place a 3x1 matrix beside a block with 2 rows\n  z = [ones(2, 1), ones(3, "
       "1)]\n                   ^"},
      {"columns differ in a literal",
       "z = [1 2; 3 4 5]",
       "t.rm:1:11: error: cannot stack a row of 3 columns under rows of 2 columns\n  z = [1 2; 3 4 5]\n      "
       "      ^"},
      {"text in a literal",
       "z = [1 \"a\"]",
       "t.rm:1:8: error: a character value cannot be part of a matrix\n  z = [1 \"a\"]\n         ^"},
      {"range of a matrix",
       "z = 1:[2 3]",
       "t.rm:1:7: error: the end of a range must be a single number, not a 1x2 matrix\n  z = 1:[2 3]\n       "
       " ^"},
      {"range with NA",
       "z = NA:3",
       "t.rm:1:5: error: the start of a range must be finite, not NA\n  z = NA:3\n      ^"},
      {"range step 0",
       "z = 1:0:3",
       "t.rm:1:6: error: the step of a range cannot be 0\n  z = 1:0:3\n       ^"},
      {"builtin argument count",
       "z = ones(1, 2, 3)",
       "t.rm:1:5: error: ones takes 1 or 2 arguments, not 3: ones(n) or ones(rows, cols)\n  z = ones(1, 2, "
       "3)\n      ^"},
      {"builtin argument value",
       "z = ones(2, -1)",
       "t.rm:1:13: error: ones: the second argument must be a whole number >= 0, not -1\n  z = ones(2, -1)\n "
       "             ^"},
      {"builtin argument kind",
       "z = sqrt(\"a\")",
       "t.rm:1:10: error: sqrt: the first argument must be numeric, not a character value\n  z = "
       "sqrt(\"a\")\n           ^"},
      {"too large",
       "z = ones(1e6)",
       "t.rm:1:5: error: ones: a 1000000x1000000 matrix is larger than the limit of 100000000 elements\n"
       "  z = ones(1e6)\n      ^"},
      {"size dimension",
       "z = size(1, 3)",
       "t.rm:1:13: error: size: the second argument must be 1 (rows) or 2 (columns)\n  z = size(1, 3)\n      "
       "        ^"},
      {"colnames count",
       "z = colnames([1 2], \"a\")",
       "t.rm:1:21: error: colnames: 1 names are given for the 2 columns of a 1x2 matrix\n"
       "  z = colnames([1 2], \"a\")\n                      ^"},
      {"no value",
       "z = write_csv(1, \"/dev/null\")",
       "t.rm:1:5: error: write_csv gives no value to use\n  z = write_csv(1, \"/dev/null\")\n      ^"},
      {"read_csv missing file",
       "d = read_csv(\"/nonexistent/x.csv\")",
       "t.rm:1:5: error: read_csv: cannot open /nonexistent/x.csv for reading\n  d = "
       "read_csv(\"/nonexistent/x.csv\")\n      ^"},
      {"more names than results",
       "[a, b, c, d] = LTS(1, 1, 1)",
       "t.rm:1:16: error: LTS gives 3 results; 4 names are on the left\n  [a, b, c, d] = LTS(1, 1, 1)\n      "
       "           ^"},
      {"function with two names",
       "[a, b] = MAD(1)",
       "t.rm:1:10: error: MAD gives 1 result; 2 names are on the left\n  [a, b] = MAD(1)\n           ^"},
      {"builtin with too many names",
       "[a, b, c] = size(1)",
       "t.rm:1:13: error: size gives 2 results; 3 names are on the left\n  [a, b, c] = size(1)\n             "
       " ^"},
      {"names from no result",
       "[a, b] = disp(1)",
       "t.rm:1:10: error: disp gives no result; 2 names are on the left\n  [a, b] = disp(1)\n           ^"},
      {"routine failure",
       "x = 1;\n[a, b] = FAIL(x);",
       "t.rm:2:10: error: routine FAIL ended with code 7\n  [a, b] = FAIL(x);\n           ^"},
      {"backend rejects the call",
       "[a, b, c] = LTS(1, [1; 2], 1)",
       "t.rm:1:13: error: LTS: y and x need the same number of rows\n  [a, b, c] = LTS(1, [1; 2], 1)\n       "
       "       ^"},
      {"assign into undefined",
       "q(2) = 1",
       "t.rm:1:1: error: 'q' is not defined; assign all of it before assigning into it\n  q(2) = 1\n  ^"},
      {"assign wrong shape",
       "x = ones(2, 3); x(1, :) = [1 2]",
       "t.rm:1:27: error: cannot assign a 1x2 matrix to a 1x3 part of 'x'\n  x = ones(2, 3); x(1, :) = [1 "
       "2]\n                            ^"},
      {"assign wrong count",
       "x = ones(2, 3); x(1:2) = [1 2 3]",
       "t.rm:1:26: error: cannot assign a 1x3 matrix to 2 elements of 'x'\n  x = ones(2, 3); x(1:2) = [1 2 "
       "3]\n                           ^"},
      {"assign text into a matrix",
       "x = ones(2); x(1) = \"a\"",
       "t.rm:1:21: error: a character value cannot be assigned into the matrix 'x'\n  x = ones(2); x(1) = "
       "\"a\"\n                      ^"},
      {"assign out of range",
       "x = ones(2); x(3, 1) = 0",
       "t.rm:1:16: error: row index 3 is out of range: x has 2 rows\n  x = ones(2); x(3, 1) = 0\n            "
       "     ^"},
      {"negate text",
       "z = -\"a\"",
       "t.rm:1:5: error: cannot negate a character value\n  z = -\"a\"\n      ^"},
      {"assign into text",
       "s = \"abc\"; s(1) = 1",
       "t.rm:1:12: error: cannot assign into 's', a character value\n  s = \"abc\"; s(1) = 1\n             "
       "^"},
      {"assign with three indices",
       "x = ones(2); x(1, 1, 1) = 0",
       "t.rm:1:14: error: assignment into 'x' takes one or two indices\n  x = ones(2); x(1, 1, 1) = 0\n      "
       "         ^"},
      {"assign with no index",
       "x = ones(2); x() = 0",
       "t.rm:1:14: error: assignment into 'x' takes one or two indices\n  x = ones(2); x() = 0\n             "
       "  ^"},
      {"write_csv to a missing folder",
       "write_csv(1, \"/nonexistent/x.csv\")",
       "t.rm:1:1: error: write_csv: cannot open /nonexistent/x.csv for writing\n"
       "  write_csv(1, \"/nonexistent/x.csv\")\n  ^"},
      {"write_csv of text",
       "write_csv(\"a\", \"x.csv\")",
       "t.rm:1:11: error: write_csv: the first argument must be numeric, not a character value\n"
       "  write_csv(\"a\", \"x.csv\")\n            ^"},
      {"read_csv of a number",
       "d = read_csv(3)",
       "t.rm:1:14: error: read_csv: the first argument must be a character value, not a 1x1 matrix\n"
       "  d = read_csv(3)\n               ^"},
      {"index of an expression",
       "z = size(1)(3)",
       "t.rm:1:13: error: index 3 is out of range: the value has 2 elements\n  z = size(1)(3)\n              "
       "^"},
      {"error on a later line",
       "a = 1;\nb = 2;\n  c = a + [1 2; 3]",
       "t.rm:3:17: error: cannot stack a row of 1 column under rows of 2 columns\n    c = a + [1 2; 3]\n     "
       "             ^"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    EXPECT_EQ(h.error(c.code), c.report);
  }
}

TEST(Interpreter, SyntaxErrorRunsNothing) {
  Harness h;
  EXPECT_EQ(h.error("a = 1;\nb = (2"), "t.rm:2:5: error: '(' is not closed\n  b = (2\n      ^");
  EXPECT_EQ(h.interp.get("a"), nullptr);
}

TEST(Interpreter, StateSurvivesAFailure) {
  Harness h;
  h.run("x = [1 2 3];");
  // The failing statement assigns nothing; the ones before it keep their effect.
  EXPECT_NE(h.error("y = 5; x(2) = 7; x(9) = 0; x = 0"), "(no error)");
  EXPECT_EQ(h.data("y"), (std::vector<double>{5}));
  EXPECT_EQ(h.data("x"), (std::vector<double>{1, 7, 3}));
  h.backend.calls.clear();
  EXPECT_NE(h.error("[a, b, c, d] = LTS(1, 1, 1)"), "(no error)");
  EXPECT_TRUE(h.backend.calls.empty());  // refused before the routine runs
  EXPECT_EQ(h.interp.get("a"), nullptr);
  EXPECT_NE(h.error("[a, b] = FAIL(1)"), "(no error)");
  EXPECT_EQ(h.interp.get("a"), nullptr);
  EXPECT_EQ(h.run("z = x(end)"), "z = 3\n");
}

TEST(Interpreter, VariablesShadowBuiltins) {
  Harness h;
  h.run("sum = [4 5 6]; r = sum(2);");
  EXPECT_EQ(h.data("r"), (std::vector<double>{5}));
}

}  // namespace
}  // namespace robmat::testing
