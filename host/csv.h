// Numeric CSV files for the robmat language. By default the first row holds the column names and
// every other cell is a number or missing (an empty cell, NA or "."). Fields may be quoted (RFC
// 4180: separators, line breaks and doubled quotes inside); lines end in LF, CR LF or CR alone.
// Numbers are written in the shortest form that reads back to the same double, so a write then
// a read is bit-exact.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "robmat/host/matrix.h"
#include "robmat/host/session.h"

namespace robmat::host {

struct CsvOptions {
  bool header = true;  // the first row names the columns; without it the columns have no names
  char separator = ',';
  // The columns to keep, in the order given: by header name or by number from 1 (one of the two
  // lists, or neither for every column).
  std::vector<std::string> column_names{};
  std::vector<int64_t> column_numbers{};
  // A cell that is neither a number nor missing: an error, or its whole column is left out, or
  // the cell reads as missing.
  enum class Text { kError, kSkip, kMissing } text = Text::kError;
};

// The separators read_csv accepts, for messages: ',' ';' '|' and the tab.
bool valid_separator(char c);

// Parses CSV text; name is the file name used in messages. Throws Error, e.g.
// "data.csv, line 4, column 2 (Water.Temp): \"abc\" is not a number".
Matrix parse_csv(std::string_view text, std::string_view name, const CsvOptions& options = {});
// Reads a regular file only (see files.h).
Matrix read_csv(const std::string& path, const CsvOptions& options = {});

// Missing values become empty cells; a matrix without column names gets V1, V2, ... so that the
// file reads back with its first row as data.
std::string format_csv(const Matrix& m);
void write_csv(const Matrix& m, const std::string& path);

// A number as CSV cells and language literals write it: an optional sign, digits with an
// optional decimal point and exponent, or Inf, NaN (any case). Every decimal digit counts, and a
// value beyond the range of doubles reads as it rounds: infinity above, zero below. False when s
// is not exactly one number.
bool parse_number(std::string_view s, double& out);

// The shortest decimal form that reads back to the same double ("Inf", "-Inf", "NaN" for the
// non-finite values, "" for the missing value).
std::string csv_number(double v);

}  // namespace robmat::host
