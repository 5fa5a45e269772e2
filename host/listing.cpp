// Plain-text rendering of output objects and language values; see listing.h for the rules.
#include "listing.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ostream>

#include "layouts.h"

namespace robmat::host {
namespace {

// Terminal columns of one character: 0 for combining marks, 2 for the wide East Asian ranges
// (CJK, Hangul, full-width forms, emoji), 1 otherwise. A short table instead of wcwidth, which
// answers only under a UTF-8 locale.
size_t char_columns(uint32_t c) {
  if (c >= 0x300 && c <= 0x36F) return 0;
  const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
                    (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                    (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                    (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
                    (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD);
  return wide ? 2 : 1;
}

// Columns on a terminal of UTF-8 text, so names such as "Größe" or "温度" line up; a byte that
// is not valid UTF-8 counts one.
size_t columns_of(std::string_view s) {
  size_t n = 0;
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    const size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 1;
    if (len == 1 || i + len > s.size()) {
      n += 1;
      i += 1;
      continue;
    }
    uint32_t c = b & (0x7F >> len);
    for (size_t k = 1; k < len; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    n += char_columns(c);
    i += len;
  }
  return n;
}

std::string pad_left(std::string_view s, size_t width) {
  std::string out;
  const size_t n = columns_of(s);
  if (n < width) out.append(width - n, ' ');
  out.append(s);
  return out;
}

std::string pad_right(std::string_view s, size_t width) {
  std::string out(s);
  const size_t n = columns_of(s);
  if (n < width) out.append(width - n, ' ');
  return out;
}

void strip_trailing_spaces(std::string& line) {
  while (!line.empty() && line.back() == ' ') line.pop_back();
}

// Columns of cells, each column one width, joined with two spaces and a two-space indent.
// Column j is left-aligned when left[j], else right-aligned.
struct Grid {
  std::vector<std::vector<std::string>> columns;  // columns[j][i]: row i of column j
  std::vector<std::string> header;                // empty: no header line
  std::vector<bool> left;
  std::vector<std::string> row_labels;  // empty: no label column
  bool number_blocks = false;           // a "Columns a to b" line before each block, when split

  // Columns that do not fit in `width` continue in further blocks below, each with the row
  // labels again, so wide outputs stay readable on a terminal.
  std::string render(int width) const {
    const size_t ncols = columns.size();
    if (ncols <= 1) return render_block(0, ncols);
    std::vector<size_t> w(ncols, 0);
    for (size_t j = 0; j < ncols; ++j) {
      if (!header.empty()) w[j] = columns_of(header[j]);
      for (const std::string& c : columns[j]) w[j] = std::max(w[j], columns_of(c));
    }
    size_t label_width = 0;
    for (const std::string& l : row_labels) label_width = std::max(label_width, columns_of(l));
    std::vector<std::pair<size_t, size_t>> blocks;
    for (size_t first = 0; first < ncols;) {
      size_t used = label_width + 2 + w[first];
      size_t last = first + 1;
      while (last < ncols && used + 2 + w[last] <= static_cast<size_t>(std::max(width, 1)))
        used += 2 + w[last++];
      blocks.emplace_back(first, last);
      first = last;
    }
    std::string out;
    for (const auto& [first, last] : blocks) {
      if (!out.empty()) out += '\n';
      if (number_blocks && blocks.size() > 1) {
        out += last - first == 1
                   ? "  Column " + std::to_string(first + 1) + "\n"
                   : "  Columns " + std::to_string(first + 1) + " to " + std::to_string(last) + "\n";
      }
      out += render_block(first, last);
    }
    return out;
  }

  std::string render() const { return render_block(0, columns.size()); }

 private:
  std::string render_block(size_t from, size_t to) const {
    const size_t ncols = columns.size();
    const size_t nrows = ncols == 0 ? row_labels.size() : columns[0].size();
    std::vector<size_t> width(ncols, 0);
    for (size_t j = 0; j < ncols; ++j) {
      if (!header.empty()) width[j] = columns_of(header[j]);
      for (const std::string& c : columns[j]) width[j] = std::max(width[j], columns_of(c));
    }
    size_t label_width = 0;
    for (const std::string& l : row_labels) label_width = std::max(label_width, columns_of(l));
    auto cell = [&](size_t j, std::string_view s) {
      return left[j] ? pad_right(s, width[j]) : pad_left(s, width[j]);
    };
    std::string out;
    auto line_start = [&](std::string_view label) {
      std::string line;
      if (!row_labels.empty()) line = pad_right(label, label_width);
      return line;
    };
    if (!header.empty()) {
      std::string line = line_start("");
      for (size_t j = from; j < to; ++j) line += "  " + cell(j, header[j]);
      strip_trailing_spaces(line);
      out += line + '\n';
    }
    for (size_t i = 0; i < nrows; ++i) {
      std::string line = line_start(row_labels.empty() ? std::string_view() : row_labels[i]);
      for (size_t j = from; j < to; ++j) line += "  " + cell(j, columns[j][i]);
      strip_trailing_spaces(line);
      out += line + '\n';
    }
    return out;
  }
};

std::string centred(std::string_view text, int width) {
  const auto n = static_cast<int>(columns_of(text));
  std::string out;
  if (n < width) out.append(static_cast<size_t>((width - n) / 2), ' ');
  out.append(text);
  return out;
}

std::vector<double> column_of(const Matrix& m, int64_t j) {
  std::vector<double> col(static_cast<size_t>(m.rows));
  for (int64_t i = 0; i < m.rows; ++i) col[static_cast<size_t>(i)] = m.at(i, j);
  return col;
}

bool has_names(const std::vector<std::string>& names) {
  return std::any_of(names.begin(), names.end(), [](const std::string& s) { return !s.empty(); });
}

std::string render_matrix_rows(const Matrix& m, int width) {
  Grid g;
  g.number_blocks = true;
  for (int64_t j = 0; j < m.cols; ++j) {
    std::vector<double> col = column_of(m, j);
    g.columns.push_back(format_column(col));
    g.left.push_back(false);
  }
  if (static_cast<int64_t>(m.colnames.size()) == m.cols && has_names(m.colnames)) g.header = m.colnames;
  if (static_cast<int64_t>(m.rownames.size()) == m.rows && has_names(m.rownames)) g.row_labels = m.rownames;
  return g.render(width);
}

std::string quoted(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    if (c == '\t') {
      out += "\\t";
      continue;
    }
    out += c;
  }
  return out + "\"";
}

std::string title_block(const std::string& title, const std::string& label, int width) {
  std::string out = "\n";
  if (!title.empty()) out += centred(title, width) + '\n';
  if (!label.empty() && label != title) out += label + '\n';
  return out;
}

}  // namespace

std::string format_number(double v) {
  if (is_missing(v)) return ".";
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "Inf" : "-Inf";
  if (v == 0) return "0";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.8g", v);
  return buf;
}

std::vector<std::string> format_column(std::span<const double> values) {
  std::vector<std::string> cells;
  cells.reserve(values.size());
  bool exponent = false;
  for (double v : values) {
    cells.push_back(format_number(v));
    if (std::isfinite(v) && cells.back().find('e') != std::string::npos) exponent = true;
  }
  size_t width = 0;
  if (exponent) {
    for (const std::string& c : cells) width = std::max(width, c.size());
    for (std::string& c : cells) c = pad_left(c, width);
    return cells;
  }
  // Split each finite number at its decimal point; the special tokens have no fraction part.
  std::vector<size_t> int_len(cells.size());
  size_t int_width = 0, frac_width = 0;
  for (size_t i = 0; i < cells.size(); ++i) {
    const bool finite = std::isfinite(values[i]) && !is_missing(values[i]);
    const size_t dot = finite ? cells[i].find('.') : std::string::npos;
    int_len[i] = dot == std::string::npos ? cells[i].size() : dot;
    int_width = std::max(int_width, int_len[i]);
    frac_width = std::max(frac_width, cells[i].size() - int_len[i]);
  }
  for (size_t i = 0; i < cells.size(); ++i) {
    const size_t frac = cells[i].size() - int_len[i];
    cells[i] = std::string(int_width - int_len[i], ' ') + cells[i] + std::string(frac_width - frac, ' ');
  }
  return cells;
}

std::string render_value(std::string_view name, const Value& value, int width) {
  const bool bare = name.empty();
  const std::string lead = bare ? std::string() : std::string(name) + " = ";
  if (const auto* s = std::get_if<std::string>(&value)) {
    return bare ? *s + '\n' : lead + quoted(*s) + '\n';
  }
  const Matrix& m = std::get<Matrix>(value);
  if (m.empty()) {
    return lead + "[](" + std::to_string(m.rows) + "x" + std::to_string(m.cols) + ")\n";
  }
  // A single number shows as one, also when its row has a name (sc(1) is h, and reads so).
  const bool named_columns = static_cast<int64_t>(m.colnames.size()) == m.cols && has_names(m.colnames);
  if (m.rows == 1 && m.cols == 1 && !named_columns) return lead + format_number(m.data[0]) + '\n';
  std::string out = bare ? std::string() : std::string(name) + " =\n";
  return out + render_matrix_rows(m, width);
}

std::string render_text_line(const TextLine& line, int width) {
  std::string out = line.opens_section ? "\n" : "";
  std::string text = line.justify == 'c' ? centred(line.text, width) : line.text;
  strip_trailing_spaces(text);
  return out + text + '\n';
}

std::string render_matrix_output(const MatrixOutput& m, int width) {
  std::string out = title_block(m.title, m.label.empty() ? m.name : m.label, width);
  const Matrix& v = m.values;
  const bool symmetric = m.shape == "sb";
  Grid g;
  for (int64_t j = 0; j < v.cols; ++j) {
    std::vector<double> col;
    const int64_t first = symmetric ? j : 0;  // rows above the diagonal stay blank
    for (int64_t i = first; i < v.rows; ++i) col.push_back(v.at(i, j));
    std::vector<std::string> cells = format_column(col);
    const size_t w = cells.empty() ? 0 : columns_of(cells[0]);
    cells.insert(cells.begin(), static_cast<size_t>(std::min(first, v.rows)), std::string(w, ' '));
    g.columns.push_back(std::move(cells));
    g.left.push_back(false);
    const auto uj = static_cast<size_t>(j);
    g.header.push_back(uj < m.colnames.size() ? m.colnames[uj] : std::to_string(j + 1));
  }
  const Layout* layout = find_layout(m.template_name.empty() ? m.name : m.template_name);
  const bool one_row =
      v.rows == 1 && m.rownames.empty() && (layout == nullptr || layout->kind == LayoutKind::kRow);
  for (int64_t i = 0; i < v.rows && !one_row; ++i) {
    const auto ui = static_cast<size_t>(i);
    g.row_labels.push_back(ui < m.rownames.size() ? m.rownames[ui] : std::to_string(i + 1));
  }
  if (v.cols == 0) g.header.clear();
  return out + g.render(width);
}

std::string render_table_output(const TableOutput& t, int width) {
  std::string out = title_block(t.title, t.label.empty() ? t.name : t.label, width);
  Grid g;
  for (size_t j = 0; j < t.columns.size(); ++j) {
    const TableColumn& c = t.columns[j];
    std::vector<std::string> cells;
    if (c.type == 5) {
      // Doubles share the column rule; text cells in a numeric column are shown as they are.
      std::vector<double> nums;
      for (const auto& row : t.rows) {
        const auto* d = j < row.size() ? std::get_if<double>(&row[j]) : nullptr;
        nums.push_back(d ? *d : missing());
      }
      cells = format_column(nums);
      for (size_t i = 0; i < t.rows.size(); ++i) {
        if (j < t.rows[i].size()) {
          if (const auto* s = std::get_if<std::string>(&t.rows[i][j])) cells[i] = *s;
        }
      }
    } else {
      for (const auto& row : t.rows) {
        if (j >= row.size()) {
          cells.emplace_back(".");
        } else if (const auto* s = std::get_if<std::string>(&row[j])) {
          cells.push_back(*s);
        } else {
          const double d = std::get<double>(row[j]);
          char buf[40];
          if (is_missing(d) || !std::isfinite(d)) {
            cells.push_back(format_number(d));
          } else {
            std::snprintf(buf, sizeof buf, "%.0f", d);
            cells.emplace_back(buf);
          }
        }
      }
    }
    const size_t w = static_cast<size_t>(std::max(c.width, 0));
    if (!cells.empty() && columns_of(cells[0]) < w) {
      for (std::string& s : cells) s = c.type == 20 ? pad_right(s, w) : pad_left(s, w);
    }
    std::string head = c.name;
    if (columns_of(head) < w) head = c.type == 20 ? pad_right(head, w) : pad_left(head, w);
    g.header.push_back(head);
    g.columns.push_back(std::move(cells));
    g.left.push_back(c.type == 20);
  }
  return out + g.render(width);
}

ListingSink::ListingSink(std::ostream& out, std::ostream* progress_out, Progress style, int width)
    : out_(out),
      progress_out_(progress_out),
      style_(progress_out ? style : Progress::kNone),
      width_(width),
      value_width_(width) {}

void ListingSink::emit(const OutputObject& object) {
  if (const auto* t = std::get_if<TextLine>(&object)) {
    out_ << render_text_line(*t, width_);
  } else if (const auto* m = std::get_if<MatrixOutput>(&object)) {
    out_ << render_matrix_output(*m, width_);
  } else {
    out_ << render_table_output(std::get<TableOutput>(object), width_);
  }
  out_.flush();
}

void ListingSink::progress(int percent) {
  percent = std::clamp(percent, 0, 100);
  if (style_ == Progress::kBar) {
    constexpr int kBar = 40;
    const int filled = percent * kBar / 100;
    *progress_out_ << '\r' << '[' << std::string(static_cast<size_t>(filled), '#')
                   << std::string(static_cast<size_t>(kBar - filled), ' ') << "] "
                   << pad_left(std::to_string(percent), 3) << '%';
    if (percent == 100) *progress_out_ << '\n';
    progress_out_->flush();
  } else if (style_ == Progress::kLines) {
    // A log file wants a few lines, not one per update: a line per tenth reached.
    const int tenth = percent / 10;
    if (tenth > last_progress_) {
      *progress_out_ << "progress " << percent << "%\n";
      progress_out_->flush();
    }
    last_progress_ = percent == 100 ? -1 : std::max(last_progress_, tenth);
  }
}

void ListingSink::show_value(std::string_view name, const Value& value) {
  out_ << render_value(name, value, value_width_);
  out_.flush();
}

}  // namespace robmat::host
