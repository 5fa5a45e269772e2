// CSV reading rules, every error message, and the bit-exact write/read round trip.
#include "csv.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <limits>
#include <random>

namespace robmat::host {
namespace {

const double NA = missing();

void expect_same_bits(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(std::bit_cast<uint64_t>(got[i]), std::bit_cast<uint64_t>(want[i])) << "element " << i;
  }
}

TEST(Csv, Reading) {
  struct Case {
    const char* name;
    const char* text;
    std::vector<std::string> colnames;
    int64_t rows;
    std::vector<double> data;
  };
  const Case cases[] = {
      {"plain", "a,b\n1,2\n3,4\n", {"a", "b"}, 2, {1, 2, 3, 4}},
      {"no final line break", "a,b\n1,2\n3,4", {"a", "b"}, 2, {1, 2, 3, 4}},
      {"CRLF", "a,b\r\n1,2\r\n", {"a", "b"}, 1, {1, 2}},
      {"missing cells", "a,b,c\n,NA,.\n", {"a", "b", "c"}, 1, {NA, NA, NA}},
      {"number forms", "a,b,c,d\n1e-3,.5,+2,-0\n", {"a", "b", "c", "d"}, 1, {1e-3, 0.5, 2, -0.0}},
      {"spaces around cells", "a , b\n 1 , 2 \n", {"a", "b"}, 1, {1, 2}},
      {"quoted fields", "\"x, y\",\"say \"\"hi\"\"\"\n\"1\",2\n", {"x, y", "say \"hi\""}, 1, {1, 2}},
      {"line break in a quoted name", "\"two\nlines\",b\n1,2\n", {"two\nlines", "b"}, 1, {1, 2}},
      {"header only", "a,b\n", {"a", "b"}, 0, {}},
      {"trailing blank lines", "a,b\n1,2\n\n\n", {"a", "b"}, 1, {1, 2}},
      {"one column keeps blank cells", "a\n1\n\n3\n", {"a"}, 3, {1, NA, 3}},
      {"byte order mark",
       "\xEF\xBB\xBF"
       "a\n1\n",
       {"a"},
       1,
       {1}},
      {"infinities", "a,b\nInf,-inf\n", {"a", "b"}, 1, {HUGE_VAL, -HUGE_VAL}},
      // Old Mac files end lines with CR alone; once they read as one row of mangled names.
      {"CR only", "a,b\r1,2\r3,4\r", {"a", "b"}, 2, {1, 2, 3, 4}},
      {"CR only, one column with a blank", "a\r1\r\r3\r", {"a"}, 3, {1, NA, 3}},
      {"mixed line ends", "a,b\r\n1,2\n3,4\r", {"a", "b"}, 2, {1, 2, 3, 4}},
      {"CR in a quoted name", "\"x\ry\",b\r1,2\r", {"x\ry", "b"}, 1, {1, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Matrix m = parse_csv(c.text, "t.csv");
    EXPECT_EQ(m.colnames, c.colnames);
    EXPECT_EQ(m.rows, c.rows);
    EXPECT_EQ(m.cols, static_cast<int64_t>(c.colnames.size()));
    expect_same_bits(m.data, c.data);
  }
}

TEST(Csv, TextNaNIsTheMissingValue) {
  const Matrix m = parse_csv("a\nNaN\nnan\n-NaN\n", "t.csv");
  for (double v : m.data) EXPECT_TRUE(is_missing(v));
}

// A matrix with row names writes them first, under an empty name, and reads back with them.
TEST(Csv, RowNamesRoundTrip) {
  struct Case {
    const char* name;
    std::vector<std::string> rownames;
  };
  const Case cases[] = {
      {"words", {"location", "eigenvalues"}},
      {"numbers as names", {"1", "2"}},
      {"with a comma and a quote", {"a,b", "say \"hi\""}},
      {"empty names", {"", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Matrix m(2, 2, 1.5);
    m.colnames = {"x", "y"};
    m.rownames = c.rownames;
    const Matrix back = parse_csv(format_csv(m), "t.csv");
    EXPECT_EQ(back.rownames, m.rownames);
    EXPECT_EQ(back.colnames, m.colnames);
    EXPECT_EQ(back.data, m.data);
  }
  // An empty first name over numbers is an ordinary column.
  const Matrix plain = parse_csv(",b\n1,2\n", "t.csv");
  EXPECT_EQ(plain.cols, 2);
  EXPECT_TRUE(plain.rownames.empty());
}

TEST(Csv, Errors) {
  struct Case {
    const char* name;
    std::string_view text;
    const char* message;
  };
  const Case cases[] = {
      {"text cell",
       "a,Water.Temp\n1,2\n3,abc\n",
       "t.csv, line 3, column 2 (Water.Temp): \"abc\" is not a number"},
      {"number with junk", "a\n1x\n", "t.csv, line 2, column 1 (a): \"1x\" is not a number"},
      {"two signs", "a\n+-1\n", "t.csv, line 2, column 1 (a): \"+-1\" is not a number"},
      {"short row", "a,b,c\n1,2\n", "t.csv, line 2: the row has 2 cells; the header names 3 columns"},
      {"long row", "a\n1\n2,3\n", "t.csv, line 3: the row has 2 cells; the header names 1 column"},
      {"unclosed quote", "a,b\n\"1,2\n", "t.csv, line 2: a quoted field is not closed"},
      {"text after a quote", "a,b\n\"1\"x,2\n", "t.csv, line 2: unexpected text after a quoted field"},
      {"empty", "", "t.csv is empty: the first row must name the columns"},
      {"row after a multi-line quoted cell",
       "\"a\nb\",c\n1,2\n3\n",
       "t.csv, line 4: the row has 1 cell; the header names 2 columns"},
      {"blank line inside",
       "a,b\n1,2\n\n3,4\n",
       "t.csv, line 3: the row has 1 cell; the header names 2 columns"},
      {"line count after CR only",
       "a,b\r1,2\r3\r",
       "t.csv, line 3: the row has 1 cell; the header names 2 columns"},
      {"NUL byte",
       std::string_view("a\n1\n2\0\n", 7),
       "t.csv, line 3: the file holds a NUL byte; a CSV file is text"},
      // Files separated by another character read as rows of one cell: the message says so.
      {"semicolons",
       "a;b\n1;2\n",
       "t.csv, line 2, column 1 (a;b): \"1;2\" is not a number (the cells seem to be separated by ';': "
       "read_csv(\"t.csv\", \"sep\", \";\") reads such a file)"},
      {"semicolons and decimal commas",
       "a;b\n1,5;2\n",
       "t.csv, line 2: the row has 2 cells; the header names 1 column (the cells seem to be separated by "
       "';': "
       "read_csv(\"t.csv\", \"sep\", \";\") reads such a file)"},
      {"tabs",
       "a\tb\n1\t2\n",
       "t.csv, line 2, column 1 (a\tb): \"1\t2\" is not a number (the cells seem to be separated by '\\t': "
       "read_csv(\"t.csv\", \"sep\", \"\\t\") reads such a file)"},
      {"long cell",
       "a\n12345678901234567890123456789012345678901234567890x\n",
       "t.csv, line 2, column 1 (a): \"1234567890123456789012345678901234567890...\" is not a number"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      parse_csv(c.text, "t.csv");
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
}

TEST(Csv, Options) {
  using Text = CsvOptions::Text;
  struct Case {
    const char* name;
    const char* text;
    CsvOptions options;
    std::vector<std::string> colnames;
    int64_t rows;
    std::vector<double> data;
  };
  const char* const kMixed = "id,name,x,y\n1,ann,2.5,3\n2,bob,NA,4\n";
  const Case cases[] = {
      {"no header", "1,2\n3,4\n", {.header = false}, {}, 2, {1, 2, 3, 4}},
      {"no header, one row", "1,2", {.header = false}, {}, 1, {1, 2}},
      {"semicolon", "a;b\n1;\"2\"\n", {.separator = ';'}, {"a", "b"}, 1, {1, 2}},
      {"tab with empty cells", "a\tb\tc\n\t2\t\n", {.separator = '\t'}, {"a", "b", "c"}, 1, {NA, 2, NA}},
      {"quoted field then tab", "a\tb\n\"1\" \t2\n", {.separator = '\t'}, {"a", "b"}, 1, {1, 2}},
      {"columns by name, reordered", kMixed, {.column_names = {"y", "id"}}, {"y", "id"}, 2, {3, 1, 4, 2}},
      {"columns by number", kMixed, {.column_numbers = {4, 1}}, {"y", "id"}, 2, {3, 1, 4, 2}},
      {"text columns skipped", kMixed, {.text = Text::kSkip}, {"id", "x", "y"}, 2, {1, 2.5, 3, 2, NA, 4}},
      {"text cells missing",
       kMixed,
       {.text = Text::kMissing},
       {"id", "name", "x", "y"},
       2,
       {1, NA, 2.5, 3, 2, NA, NA, 4}},
      {"every column text", "a\nx\n", {.text = Text::kSkip}, {}, 1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Matrix m = parse_csv(c.text, "t.csv", c.options);
    EXPECT_EQ(m.colnames, c.colnames);
    EXPECT_EQ(m.rows, c.rows);
    EXPECT_EQ(m.rows * m.cols, static_cast<int64_t>(c.data.size()));
    expect_same_bits(m.data, c.data);
  }
}

TEST(Csv, OptionErrors) {
  struct Case {
    const char* name;
    CsvOptions options;
    const char* message;
  };
  const Case cases[] = {
      {"unknown name", {.column_names = {"x", "z"}}, "t.csv has no column named \"z\"; its columns are x, y"},
      {"number too large", {.column_numbers = {3}}, "t.csv has 2 columns, so there is no column 3"},
      {"names without a header",
       {.header = false, .column_names = {"x"}},
       "columns are chosen by name only in a file with a header row"},
      {"text without a header", {.header = false}, "t.csv, line 1, column 1: \"x\" is not a number"},
      {"bad separator",
       {.separator = ' '},
       "the separator must be ',', ';', '|' or a tab (\"\\t\"), not ' '"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      parse_csv("x,y\n1,2\n", "t.csv", c.options);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
}

// Only regular files are read: /dev/zero never ends and a directory once read as empty.
TEST(Csv, OnlyRegularFiles) {
  struct Case {
    const char* path;
    const char* message;
  };
  const Case cases[] = {
      {"/dev/zero", "cannot read /dev/zero: it is not a regular file (a device, a pipe or a socket)"},
      {"/", "cannot read /: it is a directory, not a file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    try {
      read_csv(c.path);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
}

TEST(Csv, Writing) {
  Matrix m(2, 3);
  m.data = {1, NA, 0.1, -0.0, 1e300, std::numeric_limits<double>::quiet_NaN()};
  m.colnames = {"a", "b,c", " d"};
  EXPECT_EQ(format_csv(m), "a,\"b,c\",\" d\"\n1,,0.1\n-0,1e+300,NaN\n");
  Matrix unnamed(1, 2, 3.0);
  EXPECT_EQ(format_csv(unnamed), "V1,V2\n3,3\n");
  // A first name that starts with a byte order mark is quoted, or reading would drop the mark.
  Matrix marked(1, 1, 1.0);
  marked.colnames = {
      "\xEF\xBB\xBF"
      "a"};
  EXPECT_EQ(parse_csv(format_csv(marked), "t.csv").colnames, marked.colnames);
}

TEST(Csv, RoundTripIsBitExact) {
  using L = std::numeric_limits<double>;
  std::vector<double> values = {
      0.0, -0.0, 1.0, 0.1, 1.0 / 3.0, -2.5e-310, L::denorm_min(), L::min(), L::max()};
  values.insert(values.end(),
                {-L::max(), L::epsilon(), HUGE_VAL, -HUGE_VAL, NA, 123456789012345678.0, 9007199254740993.0});
  std::mt19937_64 rng(20240611);
  std::uniform_int_distribution<uint64_t> bits;
  while (values.size() < 3000) {
    const double v = std::bit_cast<double>(bits(rng));
    if (!std::isnan(v)) values.push_back(v);
  }
  Matrix m(1000, 3);
  m.data = values;
  m.colnames = {"x", "y \"quoted\"", "z,w"};
  const auto path = (std::filesystem::temp_directory_path() / "robmat_csv_round_trip.csv").string();
  write_csv(m, path);
  const Matrix back = read_csv(path);
  std::filesystem::remove(path);
  EXPECT_EQ(back.rows, m.rows);
  EXPECT_EQ(back.colnames, m.colnames);
  expect_same_bits(back.data, m.data);
  // One column whose last value is missing ends with an empty line that must not be dropped.
  Matrix one(2, 1);
  one.data = {1, NA};
  one.colnames = {"a"};
  expect_same_bits(parse_csv(format_csv(one), "t.csv").data, one.data);
}

}  // namespace
}  // namespace robmat::host
