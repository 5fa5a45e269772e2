// Numeric CSV files for the robmat language. The first row always holds the column names; every
// other cell is a number or missing (an empty cell, NA or "."). Fields may be quoted (RFC 4180:
// commas, line breaks and doubled quotes inside). Numbers are written in the shortest form that
// reads back to the same double, so a write then a read is bit-exact.
#pragma once

#include <string>
#include <string_view>

#include "robmat/host/matrix.h"
#include "robmat/host/session.h"

namespace robmat::host {

// Parses CSV text; name is the file name used in messages. Throws Error, e.g.
// "data.csv, line 4, column 2 (Water.Temp): \"abc\" is not a number".
Matrix parse_csv(std::string_view text, std::string_view name);
Matrix read_csv(const std::string& path);

// Missing values become empty cells; a matrix without column names gets V1, V2, ... so that the
// file reads back with its first row as data.
std::string format_csv(const Matrix& m);
void write_csv(const Matrix& m, const std::string& path);

// The shortest decimal form that reads back to the same double ("Inf", "-Inf", "NaN" for the
// non-finite values, "" for the missing value).
std::string csv_number(double v);

}  // namespace robmat::host
