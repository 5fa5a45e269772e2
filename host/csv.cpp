// Reading and writing numeric CSV; see csv.h for the format.
#include "csv.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <vector>

namespace robmat::host {
namespace {

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

std::vector<Row> split_rows(std::string_view text, std::string_view name) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a UTF-8 byte order mark
  std::vector<Row> rows;
  size_t i = 0;
  int line = 1;
  while (i < text.size()) {
    Row row;
    row.line = line;
    Field field;
    bool row_done = false;
    while (!row_done) {
      if (i < text.size() && text[i] == '"' && trim(field.text).empty()) {
        // Quoted field: up to the closing quote, "" is a quote.
        const int open_line = line;
        field.text.clear();
        field.quoted = true;
        ++i;
        for (;;) {
          if (i >= text.size()) fail(name, open_line, "a quoted field is not closed");
          if (text[i] == '"') {
            if (i + 1 < text.size() && text[i + 1] == '"') {
              field.text += '"';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          if (text[i] == '\n') ++line;
          field.text += text[i++];
        }
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r')) ++i;
        if (i < text.size() && text[i] != ',' && text[i] != '\n') {
          fail(name, line, "unexpected text after a quoted field");
        }
      }
      if (i >= text.size() || text[i] == '\n') {
        row.fields.push_back(std::move(field));
        field = Field();
        row_done = true;
        if (i < text.size()) ++line;
        ++i;
      } else if (text[i] == ',') {
        row.fields.push_back(std::move(field));
        field = Field();
        ++i;
      } else {
        field.text += text[i++];
      }
    }
    rows.push_back(std::move(row));
  }
  // Blank lines at the end of a file are not rows, unless the file has one column: there a
  // blank line is a missing value.
  const bool one_column = !rows.empty() && rows[0].fields.size() == 1;
  while (!one_column && !rows.empty() && rows.back().fields.size() == 1 && !rows.back().fields[0].quoted &&
         trim(rows.back().fields[0].text).empty()) {
    rows.pop_back();
  }
  return rows;
}

bool parse_number(std::string_view s, double& out) {
  // from_chars takes no '+' sign; one is allowed, but not before another sign.
  if (s.starts_with('+')) {
    s.remove_prefix(1);
    if (s.starts_with('-')) return false;
  }
  if (s.empty() || s.starts_with('+')) return false;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

std::string quote_if_needed(std::string_view s) {
  const bool needs = s.find_first_of(",\"\n\r") != std::string_view::npos || trim(s).size() != s.size();
  if (!needs) return std::string(s);
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + '"';
}

}  // namespace

Matrix parse_csv(std::string_view text, std::string_view name) {
  std::vector<Row> rows = split_rows(text, name);
  if (rows.empty()) throw Error(std::string(name) + " is empty: the first row must name the columns");
  Matrix m;
  for (const Field& f : rows[0].fields)
    m.colnames.emplace_back(f.quoted ? f.text : std::string(trim(f.text)));
  m.cols = static_cast<int64_t>(m.colnames.size());
  m.rows = static_cast<int64_t>(rows.size()) - 1;
  m.data.reserve(static_cast<size_t>(m.rows * m.cols));
  for (size_t r = 1; r < rows.size(); ++r) {
    const Row& row = rows[r];
    if (row.fields.size() != m.colnames.size()) {
      fail(name,
           row.line,
           "the row has " + count(row.fields.size(), "cell") + "; the header names " +
               count(m.colnames.size(), "column"));
    }
    for (size_t j = 0; j < row.fields.size(); ++j) {
      const std::string_view cell = trim(row.fields[j].text);
      double v;
      if (cell.empty() || cell == "NA" || cell == ".") {
        v = missing();
      } else if (!parse_number(cell, v)) {
        throw Error(std::string(name) + ", line " + std::to_string(row.line) + ", column " +
                    std::to_string(j + 1) + " (" + m.colnames[j] + "): \"" + std::string(cell) +
                    "\" is not a number");
      } else if (is_missing(v)) {
        v = std::numeric_limits<double>::quiet_NaN();  // a NaN read from text is not the missing value
      }
      m.data.push_back(v);
    }
  }
  return m;
}

Matrix read_csv(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error("cannot open " + path + " for reading");
  std::ostringstream buf;
  buf << in.rdbuf();
  if (in.bad()) throw Error("cannot read " + path);
  return parse_csv(buf.str(), path);
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
  for (int64_t j = 0; j < m.cols; ++j) {
    if (j > 0) out += ',';
    const auto uj = static_cast<size_t>(j);
    out += uj < m.colnames.size() ? quote_if_needed(m.colnames[uj]) : "V" + std::to_string(j + 1);
  }
  out += '\n';
  for (int64_t i = 0; i < m.rows; ++i) {
    for (int64_t j = 0; j < m.cols; ++j) {
      if (j > 0) out += ',';
      out += csv_number(m.at(i, j));
    }
    out += '\n';
  }
  return out;
}

void write_csv(const Matrix& m, const std::string& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw Error("cannot open " + path + " for writing");
  out << format_csv(m);
  out.close();
  if (!out) throw Error("cannot write " + path);
}

}  // namespace robmat::host
