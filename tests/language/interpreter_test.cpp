// The interpreter against the fake backend: values (and so the lexing and precedence behind
// them), column names, what is displayed, routine calls, and every run-time error with its
// place. The golden listings cover the common operators, indexing and CSV scripts.
#include "language/interpreter.h"

#include <gtest/gtest.h>

#include <cmath>

#include "harness.h"

namespace robmat::testing {
namespace {

using host::is_missing;

const double NA = host::missing();

struct ValueCase {
  const char* code;  // assigns r
  int64_t rows, cols;
  std::vector<double> data;  // row-major; missing equals missing, and only missing
  bool logical = false;
};

void expect_values(const std::vector<ValueCase>& cases) {
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.code);
    Harness h;
    ASSERT_NO_THROW(h.run(std::string(c.code) + ";"));
    const host::Matrix& r = h.matrix("r");
    EXPECT_EQ(std::make_pair(r.rows, r.cols), std::make_pair(c.rows, c.cols));
    EXPECT_EQ(r.logical, c.logical);
    ASSERT_EQ(r.data.size(), c.data.size());
    for (size_t k = 0; k < c.data.size(); ++k) {
      if (is_missing(c.data[k]))
        EXPECT_TRUE(is_missing(r.data[k])) << "element " << k;
      else
        EXPECT_EQ(r.data[k], c.data[k]) << "element " << k;
    }
  }
}

// The language holds no NaN but the missing value: the word NaN and every arithmetic NaN are
// missing, so a routine never sees a NaN whose place in the data decides its answer.
TEST(Interpreter, ExpressionValues) {
  const double inf = HUGE_VAL;
  expect_values({
      {"r = 1 + 2 * 3", 1, 1, {7}},
      {"r = 1 - 2 - 3", 1, 1, {-4}},
      {"r = 8 / 2 / 2", 1, 1, {2}},
      {"r = -2 .^ 2", 1, 1, {-4}},
      {"r = 2 .^ -1", 1, 1, {0.5}},
      {"r = 2 .^ 3 .^ 2", 1, 1, {64}},
      {"r = [1 2] * [1 2]'", 1, 1, {5}},
      {"r = [1 2 3]'", 3, 1, {1, 2, 3}},
      {"r = [1 2].'", 2, 1, {1, 2}},
      {"r = 2.*[1 2]", 1, 2, {2, 4}},
      {"r = +[1 2]", 1, 2, {1, 2}},
      {"r = [2 4] / 2", 1, 2, {1, 2}},
      {"r = [1 NA; 1 1] * [1 0; 0 1]", 2, 2, {NA, NA, 1, 1}},
      {"r = -[1 NA]", 1, 2, {-1, NA}},
      {"n = 2; r = 1:n+1", 1, 3, {1, 2, 3}},
      {"r = [1e-3 .5 5. 2E+4 Inf]", 1, 5, {1e-3, 0.5, 5, 2e4, HUGE_VAL}},
      {"r = 1 % the rest", 1, 1, {1}},
      // White space inside [ ]: a space separates elements unless an operator follows it.
      {"r = [1-2]", 1, 1, {-1}},
      {"a = 1; r = [a +1]", 1, 2, {1, 1}},
      {"r = [size(ones(2, 3)) 4]", 1, 3, {2, 3, 4}},
      {"a = 5; r = [a (1)]", 1, 2, {5, 1}},
      {"x = [1 2]; r = [x' x']", 2, 2, {1, 1, 2, 2}},
      {"r = [[] 1 []]", 1, 1, {1}},
      {"r = [1, 2\n 3, 4]", 2, 2, {1, 2, 3, 4}},
      {"r = [1 2;\n 3 4;]", 2, 2, {1, 2, 3, 4}},
      {"r = ones(1,\n2)", 1, 2, {1, 1}},
      // Linear indices run down the columns; a column stays a column.
      {"x = [1 2 3; 4 5 6]; r = x([1 2 3])", 3, 1, {1, 4, 2}},
      {"x = [10 20 30]'; r = x(2:3)", 2, 1, {20, 30}},
      {"x = [1 2; 3 4]; x(2) = 9; r = x", 2, 2, {1, 2, 9, 4}},
      {"x = [1 2; 3 4]; x(:) = [5 6 7 8]; r = x", 2, 2, {5, 7, 6, 8}},
      {"x = [1 2; 3 4]; x(:, 2) = [7 8]; r = x", 2, 2, {1, 7, 3, 8}},
      {"r = size(3)(2)", 1, 1, {1}},
      {"sum = [4 5 6]; r = sum(2)", 1, 1, {5}},
      {"r = size([1 2 3; 4 5 6], 2)", 1, 1, {3}},
      {"r = ncol(ones(4, 2))", 1, 1, {2}},
      {"r = ones(2)", 2, 2, {1, 1, 1, 1}},
      {"r = zeros(1, 3)", 1, 3, {0, 0, 0}},
      {"r = ones(size([1 2 3]))", 1, 3, {1, 1, 1}},
      {"r = eye(2, 3)", 2, 3, {1, 0, 0, 0, 1, 0}},
      {"r = sqrt([4 9 NA])", 1, 3, {2, 3, NA}},
      {"r = abs([-1 2])", 1, 2, {1, 2}},
      {"r = exp(log([1 2]))", 1, 2, {1, 2}},
      {"r = sum([1 NA; 3 4])", 1, 2, {4, NA}},
      {"r = mean([1 2; 3 5])", 1, 2, {2, 3.5}},
      {"r = mean(zeros(0, 2))", 1, 2, {NA, NA}},
      {"r = sum(zeros(0, 2))", 1, 2, {0, 0}},
      {"[r c] = size(ones(2, 5)); r = [r c]", 1, 2, {2, 5}},
      {"[r] = MAD([1; 2; 3])", 1, 1, {1}},
      {"r = MAD([1; 2; 3; 4; 100])", 1, 1, {1}},
      {"r = mad([1; 2; 3; 4; 100], \"qn\")", 1, 1, {1}},
      {"[a, b, c] = LTS(1, [1; 2], [1 1; 1 2]); r = b", 2, 1, {3, 5}},
      {"r = LTS(1, [1; 2], [1 1; 1 2])", 1, 2, {2, 2}},
      {"[~, ~, r] = LTS(1, [1; 2], [1 1; 1 2])", 2, 1, {1, 2}},
      {"r = [0 1] ./ [0 0]", 1, 2, {NA, inf}},
      {"r = NaN", 1, 1, {NA}},
      {"r = [Inf -Inf] + [-Inf Inf]", 1, 2, {NA, NA}},
      {"r = [0 Inf] .* [Inf 0]", 1, 2, {NA, NA}},
      {"r = (-8) .^ 0.5", 1, 1, {NA}},
      {"r = sqrt([-1 4])", 1, 2, {NA, 2}},
      {"r = log(-1)", 1, 1, {NA}},
      {"r = [Inf 1] * [-Inf; Inf]", 1, 1, {NA}},
      {"r = sum([Inf -Inf])", 1, 1, {NA}},
  });
}

TEST(Interpreter, ColumnNames) {
  Harness h;
  h.run("x = colnames([1 2 3; 4 5 6], \"a, b,c\");");
  struct Case {
    const char* code;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {"r = x", {"a", "b", "c"}},
      {"r = x(:, [3 1])", {"c", "a"}},
      {"r = x(1, :)(2)", {"b"}},
      {"r = 1 - x", {"a", "b", "c"}},
      {"r = sum(x)", {"a", "b", "c"}},
      {"r = x'", {}},
      {"r = [x, ones(2, 1)]", {"a", "b", "c", ""}},
      {"r = [x; x]", {"a", "b", "c"}},
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
      {"x = 5;", ""},
      {"x = 5; x", "x = 5\n"},
      {";;x = 5", "x = 5\n"},
      {"e = zeros(0, 3)", "e = [](0x3)\n"},
      {"disp(3)", "3\n"},
      {"write_csv([1 2], \"/dev/null\")", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    Harness h;
    EXPECT_EQ(h.run(c.code), c.listing);
  }
}

TEST(Interpreter, RoutineCalls) {
  Harness h;
  h.run("s = MAD([1; 2; 3]); t = mad([1; 2; 3], \"qn\");");
  EXPECT_EQ(h.backend.calls, (std::vector<std::string>{"MAD/1", "MAD/2"}));
  EXPECT_EQ(h.log, (std::vector<std::string>{"MAD: 3 observations", "MAD: 3 observations"}));
  // A call routine on its own shows its printed output and every result, and sets no ans.
  h.log.clear();
  EXPECT_EQ(h.run("LTS(0, [1; 2], [1; 1])"),
            "\n                                    Fake LTS\n\nSizes\n  n  p\n  2  1\n"
            "LTS result 1 =\n  2  1\nLTS result 2 = 3\nLTS result 3 =\n  1\n  2\n");
  EXPECT_EQ(h.interp.get("ans"), nullptr);
  EXPECT_EQ(h.log, (std::vector<std::string>{"LTS: done"}));
  EXPECT_EQ(h.run("LTS(0, [1; 2], [1; 1]);").find("result"), std::string::npos);
}

TEST(Interpreter, RunTimeErrors) {
  struct Case {
    const char* code;
    const char* where;  // line:column: message
  };
  const Case cases[] = {
      {"z = ones(2, 3) - ones(3, 2)", "1:16: cannot subtract a 3x2 matrix from a 2x3 matrix"},
      {"z = [1 2] .* [1 2 3]", "1:11: cannot multiply a 1x2 matrix and a 1x3 matrix element by element"},
      {"z = 1 / [1 2]",
       "1:7: cannot divide a 1x1 matrix by a 1x2 matrix: '/' divides by a scalar; './' divides element by "
       "element"},
      {"z = \"a\" + 1", "1:9: cannot add a character value and a 1x1 matrix"},
      {"z = \"a\"'", "1:8: cannot transpose a character value"},
      {"z = -\"a\"", "1:5: cannot negate a character value"},
      {"y = 1;\nz = q + 1", "2:5: 'q' is not defined"},
      {"z = frob(1)", "1:5: 'frob' is not a variable, a builtin or a routine"},
      {"z = ones", "1:5: 'ones' is a builtin; call it as ones(...)"},
      {"z = lts", "1:5: 'lts' is a routine; call it as LTS(...)"},
      {"x = ones(3, 2); z = x(1, [1 3])", "1:26: column index 3 is out of range: x has 2 columns"},
      {"x = ones(3, 2); z = x(7)", "1:23: index 7 is out of range: x has 6 elements"},
      {"z = size(1)(3)", "1:13: index 3 is out of range: the value has 2 elements"},
      {"x = 1:3; z = x(0)", "1:16: indices are whole numbers from 1 up, so 0 is not one"},
      {"x = 1:3; z = x(1.5)", "1:16: indices are whole numbers from 1 up, so 1.5 is not one"},
      {"x = 1:3; z = x(NA)", "1:16: an index cannot be NA"},
      {"x = 1:3; z = x(\"a\")", "1:16: an index must be numeric, not a character value"},
      {"x = 1:3; z = x(1, 1, 1)", "1:22: a matrix takes one or two indices"},
      {"s = \"abc\"; z = s(1)", "1:16: cannot index a character value"},
      {"z = end", "1:5: 'end' only stands inside an index, for the last position"},
      {"z = ones(:)", "1:10: ':' alone only stands as an index, for all rows or columns"},
      {"z = [ones(2, 1), ones(3, 1)]", "1:18: cannot place a 3x1 matrix beside a block with 2 rows"},
      {"z = [1 2; 3 4 5]", "1:11: cannot stack a row of 3 columns under rows of 2 columns"},
      {"a = 1;\nb = 2;\n  c = a + [1 2; 3]", "3:17: cannot stack a row of 1 column under rows of 2 columns"},
      {"z = [1 \"a\"]", "1:8: a character value cannot be part of a matrix"},
      {"z = 1:[2 3]", "1:7: the end of a range must be a single number, not a 1x2 matrix"},
      {"z = NA:3", "1:5: the start of a range must be finite, not NA"},
      {"z = 1:0:3", "1:6: the step of a range cannot be 0"},
      {"z = ones(1, 2, 3)", "1:5: ones takes 1 or 2 arguments, not 3: ones(n) or ones(rows, cols)"},
      {"z = ones(2, -1)", "1:13: ones: the second argument must be a whole number >= 0, not -1"},
      {"z = sqrt(\"a\")", "1:10: sqrt: the first argument must be numeric, not a character value"},
      {"z = ones(1e6)", "1:5: ones: a 1000000x1000000 matrix is larger than the limit of 100000000 elements"},
      {"z = size(1, 3)", "1:13: size: the second argument must be 1 (rows) or 2 (columns)"},
      {"z = colnames([1 2], \"a\")", "1:21: colnames: 1 names are given for the 2 columns of a 1x2 matrix"},
      {"z = write_csv(1, \"/dev/null\")", "1:5: write_csv gives no value to use"},
      {"write_csv(1, \"/nonexistent/x.csv\")", "1:1: write_csv: cannot open /nonexistent/x.csv for writing"},
      {"write_csv(\"a\", \"x.csv\")",
       "1:11: write_csv: the first argument must be numeric, not a character value"},
      {"d = read_csv(\"/nonexistent/x.csv\")",
       "1:5: read_csv: cannot open /nonexistent/x.csv for reading: No such file or directory"},
      {"d = read_csv(3)", "1:14: read_csv: the first argument must be a character value, not a 1x1 matrix"},
      {"[a, b, c, d] = LTS(1, 1, 1)", "1:16: LTS gives 3 results; 4 names are on the left"},
      {"[a, b] = MAD(1)", "1:10: MAD gives 1 result; 2 names are on the left"},
      {"[a, b, c] = size(1)", "1:13: size gives 2 results; 3 names are on the left"},
      {"[a, b] = disp(1)", "1:10: disp gives no result; 2 names are on the left"},
      {"x = 1;\n[a, b] = FAIL(x);", "2:10: routine FAIL ended with code 7"},
      {"[a, b, c] = LTS(1, [1; 2], 1)", "1:13: LTS: y and x need the same number of rows"},
      {"q(2) = 1", "1:1: 'q' is not defined; assign all of it before assigning into it"},
      {"x = ones(2, 3); x(1, :) = [1 2]", "1:27: cannot assign a 1x2 matrix to a 1x3 part of 'x'"},
      {"x = ones(2, 3); x(1:2) = [1 2 3]", "1:26: cannot assign a 1x3 matrix to 2 elements of 'x'"},
      {"x = ones(2); x(1) = \"a\"", "1:21: a character value cannot be assigned into the matrix 'x'"},
      {"x = ones(2); x(3, 1) = 0", "1:16: row index 3 is out of range: x has 2 rows"},
      {"s = \"abc\"; s(1) = 1", "1:12: cannot assign into 's', a character value"},
      {"x = ones(2); x(1, 1, 1) = 0", "1:14: assignment into 'x' takes one or two indices"},
      {"x = ones(2); x() = 0", "1:14: assignment into 'x' takes one or two indices"},
      {"r = \"a\" == 1", "1:9: cannot compare a character value and a 1x1 matrix"},
      {"x = 1:3; r = x([true false])",
       "1:16: a logical index of 2 elements cannot select among 3 elements; it needs one element for each"},
      {"x = [1 NA 3]; r = x(x > 1)",
       "1:23: the logical index is NA at element 2; combine the condition with ~ismissing(...) to leave "
       "missing values out"},
      {"r = find([1 NA])",
       "1:10: find: the first argument is NA at element 2; find cannot tell whether it is true"},
      {"r = sum(1, 3)", "1:12: sum: the second argument must be 1 (down the columns) or 2 (along the rows)"},
      {"true = 1", "1:1: cannot assign to this; the left of '=' must be a name, name(indices) or [names]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    Harness h;
    EXPECT_EQ(h.error(c.code), report(c.code, c.where));
  }
}

// Comparisons, logic, masks and reductions against values worked out by hand; NA (and NaN,
// which is NA) follows three-valued logic.
TEST(Interpreter, ConditionsMasksAndReductions) {
  expect_values({
      {"r = [1 2 3] >= 2", 1, 3, {0, 1, 1}, true},
      {"r = [1 NA NaN] == 1", 1, 3, {1, NA, NA}, true},
      {"r = NaN ~= NaN", 1, 1, {NA}, true},
      {"r = [1; 2] < [2 1]", 2, 2, {1, 0, 0, 0}, true},
      {"r = 1 < 2 == 1", 1, 1, {1}, true},
      {"r = 1:3 == 1:3", 1, 3, {1, 1, 1}, true},
      {"r = [NA NA NA 0 1] & [0 1 NA NA NA]", 1, 5, {0, NA, NA, 0, NA}, true},
      {"r = [NA NA NA 0 1] | [0 1 NA NA NA]", 1, 5, {NA, 1, NA, NA, 1}, true},
      {"r = 0 | 1 & 0", 1, 1, {0}, true},
      {"r = ~[0 2 NA]", 1, 3, {1, 0, NA}, true},
      {"r = ~1 == 0", 1, 1, {1}, true},
      {"r = -true", 1, 1, {-1}, false},
      {"r = (1 < 2) + 1", 1, 1, {2}, false},
      {"x = [5 6; 7 8]; r = x(x > 5)", 3, 1, {7, 6, 8}, false},
      {"x = [5 6 7]; r = x(x ~= 6)", 1, 2, {5, 7}, false},
      {"x = [5 6; 7 8]; r = x([true; false], :)", 1, 2, {5, 6}, false},
      {"x = [5 6; 7 8]; r = x(:, [false true])", 2, 1, {6, 8}, false},
      {"x = [5 6 7]; x(x > 5) = 0; r = x", 1, 3, {5, 0, 0}, false},
      {"x = [1 2] > 1; x(1) = 5; r = x", 1, 2, {5, 1}, false},
      {"x = [1 2] > 1; r = x'", 2, 1, {0, 1}, true},
      {"x = [1 2] > 1; r = [x x]", 1, 4, {0, 1, 0, 1}, true},
      {"r = find([0 3; 4 0])", 2, 1, {2, 3}, false},
      {"r = find([0 3 4])", 1, 2, {2, 3}, false},
      {"r = find(zeros(0, 3))", 0, 1, {}, false},
      {"r = complete_cases([1 NA; 2 NaN; NA 3])", 3, 1, {0, 0, 0}, true},
      {"r = isnan([1 NA NaN])", 1, 3, {0, 1, 1}, true},
      {"r = ismissing([1 NA NaN])", 1, 3, {0, 1, 1}, true},
      {"r = sum([1 2 3])", 1, 1, {6}, false},
      {"r = sum([1 2; 3 4])", 1, 2, {4, 6}, false},
      {"r = sum([1 2; 3 4], 2)", 2, 1, {3, 7}, false},
      {"r = sum(zeros(1, 0))", 1, 1, {0}, false},
      {"r = sum([])", 1, 0, {}, false},
      {"r = mean([1 2 NA])", 1, 1, {NA}, false},
      {"r = mean(zeros(1, 0))", 1, 1, {NA}, false},
      {"r = median([3 1 2])", 1, 1, {2}, false},
      {"r = median([4; 1; 3; 2])", 1, 1, {2.5}, false},
      {"r = median([1 NaN 2])", 1, 1, {NA}, false},
      {"r = median([-1e308 1e308])", 1, 1, {0}, false},
      {"r = median([1e308 1.5e308])", 1, 1, {1.25e308}, false},
      {"r = any([0 NaN])", 1, 1, {NA}, true},
      {"r = any([0 NA])", 1, 1, {NA}, true},
      {"r = any([1 NA])", 1, 1, {1}, true},
      {"r = all([1 NA])", 1, 1, {NA}, true},
      {"r = all([0 NA])", 1, 1, {0}, true},
      {"r = all(zeros(1, 0))", 1, 1, {1}, true},
      {"r = any([0 0; 0 1])", 1, 2, {0, 1}, true},
  });
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

}  // namespace
}  // namespace robmat::testing
