// The number rule, the column rule, and the listing of values, text lines, matrices, tables
// and progress notes, compared as exact text.
#include "listing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

namespace robmat::host {
namespace {

const double NA = missing();

TEST(Listing, NumberRule) {
  struct Case {
    double v;
    const char* text;
  };
  const Case cases[] = {
      {0.0, "0"},
      {-0.0, "0"},
      {1.0, "1"},
      {-7.0, "-7"},
      {0.5, "0.5"},
      {1.0 / 3.0, "0.33333333"},
      {2.0 / 3.0, "0.66666667"},
      {123456.789, "123456.79"},
      {12345678.0, "12345678"},
      {123456789.0, "1.2345679e+08"},
      {0.0001, "0.0001"},
      {0.00001234, "1.234e-05"},
      {-37.32332647, "-37.323326"},
      {1e300, "1e+300"},
      {4.9e-324, "4.9406565e-324"},
      {HUGE_VAL, "Inf"},
      {-HUGE_VAL, "-Inf"},
      {std::numeric_limits<double>::quiet_NaN(), "NaN"},
      {NA, "."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(format_number(c.v), c.text);
  }
}

TEST(Listing, ColumnRule) {
  struct Case {
    const char* name;
    std::vector<double> values;
    std::vector<std::string> cells;
  };
  const Case cases[] = {
      {"integers right-aligned", {1, 10, 100}, {"  1", " 10", "100"}},
      {"decimal points aligned", {1.5, 10, 0.25}, {" 1.5 ", "10   ", " 0.25"}},
      {"negative numbers", {-1.5, 2}, {"-1.5", " 2  "}},
      {"missing and specials end with the units",
       {1.25, NA, HUGE_VAL, std::nan("")},
       {"  1.25", "  .   ", "Inf   ", "NaN   "}},
      {"an exponent right-aligns the column", {1.5, 1e-9, 100}, {"  1.5", "1e-09", "  100"}},
      {"empty", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(format_column(c.values), c.cells);
  }
}

TEST(Listing, Values) {
  Matrix named(2, 2);
  named.data = {80, 27.5, 75, NA};
  named.colnames = {"Air.Flow", "t"};
  struct Case {
    std::string display_name;
    Value value;
    const char* text;
  };
  const Case cases[] = {
      {"x", Matrix(1, 1, NA), "x = .\n"},
      {"s", std::string("a \"b\"\n"), "s = \"a \\\"b\\\"\\n\"\n"},
      {"d", named, "d =\n  Air.Flow     t\n        80  27.5\n        75   .\n"},
      {"", named, "  Air.Flow     t\n        80  27.5\n        75   .\n"},
      {"", std::string("hello"), "hello\n"},
      {"", Matrix(1, 1, 3), "3\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(render_value(c.display_name, c.value), c.text);
  }
}

// Values wider than the width continue below in blocks headed by their column numbers; names
// and cells are measured in characters, so UTF-8 names line up.
TEST(Listing, WideValuesWrapAndUtf8NamesAlign) {
  Matrix wide(2, 5);
  wide.data = {1, 2, 3, 4, 5, 10, 20, 30, 40, 50};
  Matrix named(1, 2);
  named.data = {1.5, 2};
  named.colnames = {"Größe", "温度"};
  struct Case {
    const char* name;
    Value value;
    int width;
    const char* text;
  };
  const Case cases[] = {
      {"fits", wide, 80, "w =\n   1   2   3   4   5\n  10  20  30  40  50\n"},
      {"wraps",
       wide,
       12,
       "w =\n  Columns 1 to 3\n   1   2   3\n  10  20  30\n\n  Columns 4 to 5\n   4   5\n  40  50\n"},
      {"one column per block",
       wide,
       4,
       "w =\n  Column 1\n   1\n  10\n\n  Column 2\n   2\n  20\n\n  Column 3\n   3\n"
       "  30\n\n  Column 4\n   4\n  40\n\n  Column 5\n   5\n  50\n"},
      {"UTF-8 names, two columns for each wide character", named, 80, "w =\n  Größe  温度\n    1.5     2\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(render_value("w", c.value, c.width), c.text);
  }
}

TEST(Listing, TextLines) {
  EXPECT_EQ(render_text_line(TextLine{"Title", 'c', false}, 20), "       Title\n");
  EXPECT_EQ(render_text_line(TextLine{"Left", 'l', true}, 20), "\nLeft\n");
  EXPECT_EQ(render_text_line(TextLine{"", 'l', false}, 20), "\n");
  EXPECT_EQ(render_text_line(TextLine{"longer than the width", 'c', false}, 10), "longer than the width\n");
}

TEST(Listing, Matrices) {
  MatrixOutput m;
  m.name = "MCDCov";
  m.label = "Robust covariance";
  m.title = "MCD";
  m.shape = "sb";
  m.values = Matrix(3, 3);
  m.values.data = {4, 1.5, 0, 1.5, 9, -2, 0, -2, 16};
  m.rownames = {"X1", "X2", "X3"};
  m.colnames = {"X1", "X2", "X3"};
  EXPECT_EQ(render_matrix_output(m, 20),
            "\n        MCD\n"
            "Robust covariance\n"
            "     X1  X2  X3\n"
            "X1  4\n"
            "X2  1.5   9\n"
            "X3  0    -2  16\n");
  m.shape = "rb";
  m.title.clear();
  m.label.clear();
  m.rownames.clear();
  m.colnames.clear();
  EXPECT_EQ(render_matrix_output(m, 20),
            "\nMCDCov\n"
            "     1     2   3\n"
            "1  4     1.5   0\n"
            "2  1.5   9    -2\n"
            "3  0    -2    16\n");
}

TEST(Listing, Tables) {
  TableOutput t;
  t.name = "LTSObs";
  t.label = "Observations";
  t.columns = {{"Obs", 4, 0}, {"Name", 20, 6}, {"Residual", 5, 0}};
  EXPECT_EQ(render_table_output(t, 40), "\nObservations\n  Obs  Name    Residual\n");
  t.rows.push_back({1.0, std::string("first"), -0.25});
  t.rows.push_back({12.0, std::string("x"), NA});
  t.rows.push_back({NA, std::string("third"), 100.0});
  EXPECT_EQ(render_table_output(t, 40),
            "\nObservations\n"
            "  Obs  Name    Residual\n"
            "    1  first      -0.25\n"
            "   12  x           .\n"
            "    .  third     100\n");
}

TEST(Listing, ProgressLinesOnePerTenthAndBar) {
  std::ostringstream out, lines, bar;
  ListingSink line_sink(out, &lines, ListingSink::Progress::kLines);
  for (int p : {0, 3, 9, 10, 15, 42, 100}) line_sink.progress(p);
  EXPECT_EQ(lines.str(), "progress 0%\nprogress 10%\nprogress 42%\nprogress 100%\n");
  ListingSink bar_sink(out, &bar, ListingSink::Progress::kBar);
  bar_sink.progress(50);
  bar_sink.progress(100);
  EXPECT_EQ(
      bar.str(),
      "\r[####################                    ]  50%\r[########################################] 100%\n");
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace robmat::host
