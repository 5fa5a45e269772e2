// Reading and writing numeric CSV; see csv.h for the format. Rows are read one at a time and
// each kept cell becomes a double at once, so a large file costs little more than its values.
#include "csv.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>

#include "files.h"

namespace robmat::host {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";  // UTF-8's

struct Field {
  std::string text;
  bool quoted = false;
};

struct Row {
  std::vector<Field> fields;
  int line = 0;  // line on which the row starts
};

std::string count(size_t n, const char* noun) { return std::to_string(n) + " " + noun + (n == 1 ? "" : "s"); }

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

[[noreturn]] void fail(std::string_view name, int line, const std::string& what) {
  throw Error(std::string(name) + ", line " + std::to_string(line) + ": " + what);
}

bool line_end(char c) { return c == '\n' || c == '\r'; }

// Splits the text into rows of fields; a line ends at LF, CR LF or a lone CR.
class RowReader {
 public:
  RowReader(std::string_view text, std::string_view name, char separator)
      : text_(text), name_(name), sep_(separator) {
    if (text_.starts_with(kByteOrderMark)) text_.remove_prefix(kByteOrderMark.size());
  }

  bool next(Row& row) {
    if (i_ >= text_.size()) return false;
    row.fields.clear();
    row.line = line_;
    Field field;
    for (;;) {
      if (i_ < text_.size() && text_[i_] == '"' && trim(field.text).empty()) quoted(field);
      if (i_ >= text_.size() || line_end(text_[i_])) {
        row.fields.push_back(std::move(field));
        end_line();
        return true;
      }
      if (text_[i_] == sep_) {
        row.fields.push_back(std::move(field));
        field = Field();
        ++i_;
      } else {
        field.text += text_[i_++];
      }
    }
  }

 private:
  // Up to the closing quote; "" is a quote.
  void quoted(Field& field) {
    const int open_line = line_;
    field.text.clear();
    field.quoted = true;
    ++i_;
    for (;;) {
      if (i_ >= text_.size()) fail(name_, open_line, "a quoted field is not closed");
      const char c = text_[i_];
      if (c == '"') {
        if (i_ + 1 < text_.size() && text_[i_ + 1] == '"') {
          field.text += '"';
          i_ += 2;
          continue;
        }
        ++i_;
        break;
      }
      if (c == '\n' || (c == '\r' && (i_ + 1 >= text_.size() || text_[i_ + 1] != '\n'))) ++line_;
      field.text += c;
      ++i_;
    }
    while (i_ < text_.size() && (text_[i_] == ' ' || text_[i_] == '\t') && text_[i_] != sep_) ++i_;
    if (i_ < text_.size() && text_[i_] != sep_ && !line_end(text_[i_])) {
      fail(name_, line_, "unexpected text after a quoted field");
    }
  }

  void end_line() {
    if (i_ >= text_.size()) return;
    if (text_[i_] == '\r' && i_ + 1 < text_.size() && text_[i_ + 1] == '\n') ++i_;
    ++i_;
    ++line_;
  }

  std::string_view text_;
  std::string_view name_;
  char sep_;
  size_t i_ = 0;
  int line_ = 1;
};

bool blank(const Row& row) {
  return row.fields.size() == 1 && !row.fields[0].quoted && trim(row.fields[0].text).empty();
}

std::string separator_text(char c) { return c == '\t' ? "\\t" : std::string(1, c); }

// A file separated by something else reads as rows of one cell holding the separators; the
// message then says which separator would read it.
std::string separator_hint(const Row& row, std::string_view name, char sep) {
  if (row.fields.size() != 1) return "";
  for (const char c : {';', '\t', '|', ','}) {
    if (c != sep && row.fields[0].text.find(c) != std::string::npos) {
      return " (the cells seem to be separated by '" + separator_text(c) + "': read_csv(\"" +
             std::string(name) + "\", \"sep\", \"" + separator_text(c) + "\") reads such a file)";
    }
  }
  return "";
}

// A cell as it appears in a message: long ones are cut (at a character boundary).
std::string shown(std::string_view cell) {
  constexpr size_t kMax = 40;
  if (cell.size() <= kMax) return std::string(cell);
  size_t end = kMax;
  while (end > 0 && (static_cast<unsigned char>(cell[end]) & 0xC0) == 0x80) --end;
  return std::string(cell.substr(0, end)) + "...";
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// from_chars reports a value beyond the range of doubles without giving it; the decimal exponent
// of the first nonzero digit tells an overflow (infinity) from an underflow (zero).
double out_of_range_value(std::string_view s) {
  const bool negative = s.starts_with('-');
  if (negative || s.starts_with('+')) s.remove_prefix(1);
  constexpr int64_t kCap = int64_t{1} << 40;  // far beyond any double, far from overflowing
  int64_t e10 = 0, position = 0;              // the value is about 10^e10 once found
  bool found = false, fraction = false;
  size_t i = 0;
  for (; i < s.size() && (is_digit(s[i]) || s[i] == '.'); ++i) {
    if (s[i] == '.') {
      fraction = true;
    } else if (!fraction) {
      if (found) {
        e10 = std::min(e10 + 1, kCap);
      } else if (s[i] != '0') {
        found = true;
      }
    } else {
      position = std::min(position + 1, kCap);
      if (!found && s[i] != '0') {
        found = true;
        e10 = -position;
      }
    }
  }
  int64_t exponent = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    const bool minus = i < s.size() && s[i] == '-';
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
    for (; i < s.size() && is_digit(s[i]); ++i) exponent = std::min(exponent * 10 + (s[i] - '0'), kCap);
    if (minus) exponent = -exponent;
  }
  const double magnitude = e10 + exponent > 0 ? HUGE_VAL : 0.0;
  return negative ? -magnitude : magnitude;
}

// first: the file's first cell, where a leading byte order mark would be taken for the file's.
std::string quote_if_needed(std::string_view s, bool first) {
  const bool needs = s.find_first_of(",\"\n\r") != std::string_view::npos || trim(s).size() != s.size() ||
                     (first && s.starts_with(kByteOrderMark));
  if (!needs) return std::string(s);
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + '"';
}

std::string quote_always(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + '"';
}

}  // namespace

bool parse_number(std::string_view s, double& out) {
  // from_chars takes no '+' sign; one is allowed, but not before another sign.
  std::string_view digits = s;
  if (digits.starts_with('+')) {
    digits.remove_prefix(1);
    if (digits.starts_with('-')) return false;
  }
  if (digits.empty() || digits.starts_with('+')) return false;
  const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), out);
  if (r.ptr != digits.data() + digits.size()) return false;
  if (r.ec == std::errc::result_out_of_range) {
    out = out_of_range_value(s);
    return true;
  }
  return r.ec == std::errc();
}

bool valid_separator(char c) { return c == ',' || c == ';' || c == '|' || c == '\t'; }

Matrix parse_csv(std::string_view text, std::string_view name, const CsvOptions& options) {
  const std::string file(name);
  if (!valid_separator(options.separator)) {
    throw Error("the separator must be ',', ';', '|' or a tab (\"\\t\"), not '" +
                std::string(1, options.separator) + "'");
  }
  // A NUL byte means a binary file, and would cut a name short wherever it becomes a C string.
  if (const size_t nul = text.find('\0'); nul != std::string_view::npos) {
    const auto line = 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(nul), '\n');
    fail(name, static_cast<int>(line), "the file holds a NUL byte; a CSV file is text");
  }
  RowReader reader(text, name, options.separator);
  Row first;
  if (!reader.next(first))
    throw Error(file + " is empty" + (options.header ? ": the first row must name the columns" : ""));
  const size_t ncols = first.fields.size();
  std::vector<std::string> names;
  if (options.header) {
    for (const Field& f : first.fields) names.emplace_back(f.quoted ? f.text : std::string(trim(f.text)));
  }

  // The kept columns, as positions in a row.
  std::vector<size_t> kept;
  if (!options.column_names.empty()) {
    if (!options.header) throw Error("columns are chosen by name only in a file with a header row");
    for (const std::string& want : options.column_names) {
      const auto it = std::find(names.begin(), names.end(), want);
      if (it == names.end()) {
        std::string all;
        for (size_t j = 0; j < names.size(); ++j) all += (j ? ", " : "") + names[j];
        throw Error(file + " has no column named \"" + want + "\"; its columns are " + all);
      }
      kept.push_back(static_cast<size_t>(it - names.begin()));
    }
  } else if (!options.column_numbers.empty()) {
    for (const int64_t j : options.column_numbers) {
      if (j < 1 || static_cast<uint64_t>(j) > ncols) {
        throw Error(file + " has " + count(ncols, "column") + ", so there is no column " + std::to_string(j));
      }
      kept.push_back(static_cast<size_t>(j - 1));
    }
  }
  // A header whose first name is empty, over a first data cell that is text, marks the first
  // column as the rows' names: write_csv writes a matrix with row names so, as R's write.csv
  // does.
  Row second;
  bool have_second = false;
  bool row_names = false;
  if (options.header && kept.empty() && ncols >= 2 && names[0].empty()) {
    have_second = reader.next(second);
    if (have_second && second.fields.size() == ncols) {
      // Quoted, the cell is a name even when it reads as a number ("1", as R writes them).
      const Field& f = second.fields[0];
      const std::string_view cell = trim(f.text);
      double unused;
      row_names = f.quoted || (!cell.empty() && cell != "NA" && cell != "." && !parse_number(cell, unused));
    }
  }
  if (kept.empty() && options.column_names.empty() && options.column_numbers.empty()) {
    for (size_t j = row_names ? 1 : 0; j < ncols; ++j) kept.push_back(j);
  }
  std::vector<std::string> rownames;

  std::vector<double> data;
  std::vector<char> text_column(kept.size(), 0);
  int64_t nrows = 0;
  int pending_blank = 0;  // line of a blank line not yet known to be at the end
  auto hint = [&](const Row& row) {
    std::string h = separator_hint(row, name, options.separator);
    return h.empty() ? separator_hint(first, name, options.separator) : h;
  };
  auto take_row = [&](const Row& row) {
    if (row.fields.size() != ncols) {
      const std::string expected = options.header ? "the header names " + count(ncols, "column")
                                                  : "the first row has " + count(ncols, "cell");
      fail(name, row.line, "the row has " + count(row.fields.size(), "cell") + "; " + expected + hint(row));
    }
    if (row_names) {
      const Field& f = row.fields[0];
      rownames.emplace_back(f.quoted ? f.text : std::string(trim(f.text)));
    }
    if (++nrows > kMaxElements ||
        static_cast<double>(nrows) * static_cast<double>(kept.size()) > static_cast<double>(kMaxElements)) {
      throw Error(file + " holds more values than the largest matrix, " + std::to_string(kMaxElements) +
                  " elements");
    }
    for (size_t k = 0; k < kept.size(); ++k) {
      const size_t j = kept[k];
      const std::string_view cell = trim(row.fields[j].text);
      double v;
      if (cell.empty() || cell == "NA" || cell == ".") {
        v = missing();
      } else if (!parse_number(cell, v)) {
        if (options.text == CsvOptions::Text::kError) {
          const std::string column =
              "column " + std::to_string(j + 1) + (options.header ? " (" + names[j] + ")" : "");
          throw Error(file + ", line " + std::to_string(row.line) + ", " + column + ": \"" + shown(cell) +
                      "\" is not a number" + hint(row));
        }
        text_column[k] = 1;
        v = missing();
      }
      data.push_back(nan_to_missing(v));  // a NaN cell is missing, as NA is
    }
  };
  if (!options.header) take_row(first);
  Row row;
  while (have_second || reader.next(row)) {
    if (have_second) {
      row = std::move(second);
      have_second = false;
    }
    // Blank lines at the end of a file are not rows, unless the file has one column: there a
    // blank line is a missing value.
    if (ncols > 1 && blank(row)) {
      if (!pending_blank) pending_blank = row.line;
      continue;
    }
    if (pending_blank) {
      Row empty;
      empty.fields.resize(1);
      empty.line = pending_blank;
      take_row(empty);
    }
    take_row(row);
  }

  Matrix m;
  m.rows = nrows;
  m.rownames = std::move(rownames);
  const bool skip = options.text == CsvOptions::Text::kSkip;
  for (size_t k = 0; k < kept.size(); ++k) {
    if (skip && text_column[k]) continue;
    if (options.header) m.colnames.push_back(names[kept[k]]);
    ++m.cols;
  }
  if (m.cols == static_cast<int64_t>(kept.size())) {
    m.data = std::move(data);
    return m;
  }
  m.data.reserve(static_cast<size_t>(m.rows * m.cols));
  for (size_t i = 0; i < static_cast<size_t>(nrows); ++i) {
    for (size_t k = 0; k < kept.size(); ++k) {
      if (!text_column[k]) m.data.push_back(data[i * kept.size() + k]);
    }
  }
  return m;
}

Matrix read_csv(const std::string& path, const CsvOptions& options) {
  return parse_csv(read_text_file(path), path, options);
}

std::string csv_number(double v) {
  if (is_missing(v)) return "";
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "Inf" : "-Inf";
  char buf[40];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string format_csv(const Matrix& m) {
  std::string out;
  // Row names go first, under an empty name, quoted so that every one reads back as text.
  const bool row_names = static_cast<int64_t>(m.rownames.size()) == m.rows && m.rows > 0;
  if (row_names) out += "\"\"";
  for (int64_t j = 0; j < m.cols; ++j) {
    if (j > 0 || row_names) out += ',';
    const auto uj = static_cast<size_t>(j);
    out += uj < m.colnames.size() ? quote_if_needed(m.colnames[uj], j == 0 && !row_names)
                                  : "V" + std::to_string(j + 1);
  }
  out += '\n';
  for (int64_t i = 0; i < m.rows; ++i) {
    if (row_names) out += quote_always(m.rownames[static_cast<size_t>(i)]);
    for (int64_t j = 0; j < m.cols; ++j) {
      if (j > 0 || row_names) out += ',';
      out += csv_number(m.at(i, j));
    }
    out += '\n';
  }
  return out;
}

void write_csv(const Matrix& m, const std::string& path) {
  check_path(path);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw Error("cannot open " + path + " for writing");
  out << format_csv(m);
  out.close();
  if (!out) throw Error("cannot write " + path);
}

}  // namespace robmat::host
