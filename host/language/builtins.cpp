// Builtin functions; the rules each one follows are in docs/language.md.
#include "language/builtins.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>

#include "csv.h"
#include "language/matrix_ops.h"
#include "listing.h"

namespace robmat::lang {
namespace {

using host::is_missing;
using host::Matrix;
using host::missing;
using host::Value;

std::string ordinal(int i) {
  static const char* const kWords[] = {"first", "second", "third", "fourth"};
  return i < 4 ? kWords[i] : "argument " + std::to_string(i + 1);
}

const Matrix& matrix_arg(std::span<const Value> args, int i) {
  if (const auto* m = std::get_if<Matrix>(&args[static_cast<size_t>(i)])) return *m;
  throw ValueError("the " + ordinal(i) + " argument must be numeric, not a character value", i);
}

const std::string& text_arg(std::span<const Value> args, int i) {
  if (const auto* s = std::get_if<std::string>(&args[static_cast<size_t>(i)])) return *s;
  throw ValueError("the " + ordinal(i) + " argument must be a character value, not " +
                       describe(args[static_cast<size_t>(i)]),
                   i);
}

// A size or count: a whole number >= 0 given as a 1x1 matrix.
double whole_arg(std::span<const Value> args, int i) {
  const Matrix& m = matrix_arg(args, i);
  const bool is_scalar = m.rows == 1 && m.cols == 1;
  const double v = is_scalar ? m.data[0] : -1;
  if (!(v >= 0) || is_missing(v) || std::isinf(v) || v != std::floor(v)) {
    const std::string shown = !is_scalar      ? describe(args[static_cast<size_t>(i)])
                              : is_missing(v) ? std::string("NA")
                                              : host::format_number(v);
    throw ValueError("the " + ordinal(i) + " argument must be a whole number >= 0, not " + shown, i);
  }
  return v;
}

std::vector<Value> one(Matrix m) { return {Value(std::move(m))}; }

// ones(n) is n x n, ones(r, c) is r x c, and ones(size(x)) takes the shape of x.
std::pair<int64_t, int64_t> shape_args(std::span<const Value> args) {
  double r, c;
  const Matrix& first = matrix_arg(args, 0);
  if (args.size() == 1 && first.rows == 1 && first.cols == 2) {
    std::array<Value, 2> dims{Value(Matrix(1, 1, first.data[0])), Value(Matrix(1, 1, first.data[1]))};
    r = whole_arg(dims, 0);
    c = whole_arg(dims, 1);
  } else {
    r = whole_arg(args, 0);
    c = args.size() > 1 ? whole_arg(args, 1) : r;
  }
  check_size(r, c);
  return {static_cast<int64_t>(r), static_cast<int64_t>(c)};
}

std::vector<Value> b_ones(BuiltinContext&, std::span<const Value> args, int) {
  const auto [r, c] = shape_args(args);
  return one(Matrix(r, c, 1.0));
}

std::vector<Value> b_zeros(BuiltinContext&, std::span<const Value> args, int) {
  const auto [r, c] = shape_args(args);
  return one(Matrix(r, c, 0.0));
}

std::vector<Value> b_eye(BuiltinContext&, std::span<const Value> args, int) {
  const auto [r, c] = shape_args(args);
  Matrix m(r, c, 0.0);
  for (int64_t i = 0; i < std::min(r, c); ++i) m.at(i, i) = 1.0;
  return one(std::move(m));
}

std::vector<Value> b_size(BuiltinContext&, std::span<const Value> args, int wanted) {
  const Matrix& m = matrix_arg(args, 0);
  const auto rows = static_cast<double>(m.rows), cols = static_cast<double>(m.cols);
  if (args.size() == 2) {
    const double dim = whole_arg(args, 1);
    if (dim != 1 && dim != 2) throw ValueError("the second argument must be 1 (rows) or 2 (columns)", 1);
    return one(scalar(dim == 1 ? rows : cols));
  }
  if (wanted == 2) return {Value(scalar(rows)), Value(scalar(cols))};
  Matrix r(1, 2);
  r.data = {rows, cols};
  return one(std::move(r));
}

std::vector<Value> b_nrow(BuiltinContext&, std::span<const Value> args, int) {
  return one(scalar(static_cast<double>(matrix_arg(args, 0).rows)));
}

std::vector<Value> b_ncol(BuiltinContext&, std::span<const Value> args, int) {
  return one(scalar(static_cast<double>(matrix_arg(args, 0).cols)));
}

template <double (*F)(double)>
std::vector<Value> elementwise(BuiltinContext&, std::span<const Value> args, int) {
  Matrix m = matrix_arg(args, 0);
  m.logical = false;
  for (double& x : m.data) {
    if (!is_missing(x)) x = host::nan_to_missing(F(x));  // sqrt(-1), log(-1): missing
  }
  return one(std::move(m));
}

double f_sqrt(double x) { return std::sqrt(x); }
double f_abs(double x) { return std::fabs(x); }
double f_log(double x) { return std::log(x); }
double f_exp(double x) { return std::exp(x); }

// Reductions follow MATLAB: a row vector reduces to one value, any other matrix column by column
// to a 1 x ncol row (keeping the column names); reduce(x, 2) reduces each row to an m x 1 column.
// F sees one column (or row) and gives its value.
using Reducer = double (*)(std::span<const double> values);

Matrix reduce(std::span<const Value> args, Reducer f) {
  const Matrix& m = matrix_arg(args, 0);
  double dim = m.rows == 1 ? 2 : 1;
  if (args.size() == 2) {
    dim = whole_arg(args, 1);
    if (dim != 1 && dim != 2)
      throw ValueError("the second argument must be 1 (down the columns) or 2 (along the rows)", 1);
  }
  std::vector<double> buf;
  if (dim == 1) {
    Matrix r(1, m.cols);
    buf.resize(static_cast<size_t>(m.rows));
    for (int64_t j = 0; j < m.cols; ++j) {
      for (int64_t i = 0; i < m.rows; ++i) buf[static_cast<size_t>(i)] = m.at(i, j);
      r.data[static_cast<size_t>(j)] = host::nan_to_missing(f(buf));
    }
    r.colnames = m.colnames;
    return r;
  }
  Matrix r(m.rows, 1);
  for (int64_t i = 0; i < m.rows; ++i) {
    const auto row =
        std::span<const double>(m.data).subspan(static_cast<size_t>(i * m.cols), static_cast<size_t>(m.cols));
    r.data[static_cast<size_t>(i)] = host::nan_to_missing(f(row));
  }
  // A row that reduces to one value is a number, not a named row.
  if (m.rows > 1) r.rownames = m.rownames;
  return r;
}

bool any_missing(std::span<const double> v) { return std::any_of(v.begin(), v.end(), is_missing); }

double f_sum(std::span<const double> v) {
  if (any_missing(v)) return missing();
  double s = 0;
  for (double x : v) s += x;
  return s;
}

double f_mean(std::span<const double> v) {
  return v.empty() || any_missing(v) ? missing() : f_sum(v) / static_cast<double>(v.size());
}

double f_median(std::span<const double> v) {
  if (v.empty() || any_missing(v)) return missing();
  std::vector<double> s(v.begin(), v.end());
  const size_t h = s.size() / 2;
  std::nth_element(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(h), s.end());
  if (s.size() % 2 == 1) return s[h];
  const double upper = s[h];
  const double lower = *std::max_element(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(h));
  // Neither form overflows where it is used: a difference of one sign, a sum of opposite signs.
  return (lower < 0) == (upper < 0) ? lower + (upper - lower) / 2 : (lower + upper) / 2;
}

// A missing value decides any and all only when nothing else does:
// any is 1 as soon as one value is nonzero, all is 0 as soon as one value is 0.
double f_any(std::span<const double> v) {
  bool unknown = false;
  for (double x : v) {
    if (is_missing(x)) {
      unknown = true;
    } else if (x != 0) {
      return 1;
    }
  }
  return unknown ? missing() : 0;
}

double f_all(std::span<const double> v) {
  bool unknown = false;
  for (double x : v) {
    if (is_missing(x)) {
      unknown = true;
    } else if (x == 0) {
      return 0;
    }
  }
  return unknown ? missing() : 1;
}

template <Reducer F, bool Logical>
std::vector<Value> reduction(BuiltinContext&, std::span<const Value> args, int) {
  Matrix r = reduce(args, F);
  r.logical = Logical;
  return one(std::move(r));
}

template <bool (*Test)(double)>
std::vector<Value> element_test(BuiltinContext&, std::span<const Value> args, int) {
  Matrix m = matrix_arg(args, 0);
  for (double& x : m.data) x = Test(x) ? 1 : 0;
  m.logical = true;
  return one(std::move(m));
}

// The language holds no NaN but the missing value (a NaN with a particular bit pattern), so
// isnan finds what ismissing finds; it stays for those who look for NaN by that name.
bool t_isnan(double x) { return std::isnan(x); }

// find(x): the linear indices (down the columns) of the nonzero elements, a row when x is a row
// and a column otherwise, as indexing with x would select.
std::vector<Value> b_find(BuiltinContext&, std::span<const Value> args, int) {
  const Matrix& m = matrix_arg(args, 0);
  std::vector<double> found;
  for (int64_t k = 0; k < m.rows * m.cols; ++k) {
    const double x = m.at(k % m.rows, k / m.rows);
    if (is_missing(x)) {
      throw ValueError("the first argument is NA at element " + std::to_string(k + 1) +
                           "; find cannot tell whether it is true",
                       0);
    }
    if (x != 0) found.push_back(static_cast<double>(k + 1));
  }
  const auto n = static_cast<int64_t>(found.size());
  Matrix r = m.rows == 1 ? Matrix(1, n) : Matrix(n, 1);
  r.data = std::move(found);
  return one(std::move(r));
}

// complete_cases(x): an m x 1 mask, true where the row holds no missing value.
std::vector<Value> b_complete_cases(BuiltinContext&, std::span<const Value> args, int) {
  const Matrix& m = matrix_arg(args, 0);
  Matrix r(m.rows, 1, 1.0);
  r.logical = true;
  r.rownames = m.rownames;
  for (int64_t i = 0; i < m.rows; ++i) {
    for (int64_t j = 0; j < m.cols; ++j) {
      if (is_missing(m.at(i, j))) r.data[static_cast<size_t>(i)] = 0;
    }
  }
  return one(std::move(r));
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// "a, b,c" as the names a, b and c.
std::vector<std::string> split_names(std::string_view text) {
  std::vector<std::string> names;
  for (;;) {
    const size_t comma = text.find(',');
    names.emplace_back(trim(text.substr(0, comma)));
    if (comma == std::string_view::npos) return names;
    text.remove_prefix(comma + 1);
  }
}

// read_csv(path, name, value, ...): options as name-value pairs, as MATLAB's readmatrix takes
// them; names are case-insensitive.
std::vector<Value> b_read_csv(BuiltinContext&, std::span<const Value> args, int) {
  const std::string& path = text_arg(args, 0);
  host::CsvOptions options;
  if (args.size() % 2 == 0) {
    throw ValueError("options come in pairs, a name and its value: read_csv(\"f.csv\", \"sep\", \";\")",
                     static_cast<int>(args.size()) - 1);
  }
  for (int i = 1; i + 1 < static_cast<int>(args.size()); i += 2) {
    const std::string name = lower(text_arg(args, i));
    const Value& value = args[static_cast<size_t>(i + 1)];
    if (name == "header") {
      const Matrix& m = matrix_arg(args, i + 1);
      if (m.rows != 1 || m.cols != 1 || (m.data[0] != 0 && m.data[0] != 1)) {
        throw ValueError("\"header\" takes true or false, not " + describe(value), i + 1);
      }
      options.header = m.data[0] == 1;
    } else if (name == "sep") {
      const std::string& sep = text_arg(args, i + 1);
      if (sep.size() != 1 || !host::valid_separator(sep[0])) {
        throw ValueError("\"sep\" takes \",\", \";\", \"|\" or \"\\t\" (a tab)", i + 1);
      }
      options.separator = sep[0];
    } else if (name == "columns") {
      if (const auto* text = std::get_if<std::string>(&value)) {
        options.column_names = split_names(*text);
      } else {
        const Matrix& m = std::get<Matrix>(value);
        for (double d : m.data) {
          if (!(d >= 1) || d != std::floor(d) || is_missing(d) || d > static_cast<double>(kMaxElements)) {
            throw ValueError("\"columns\" takes names (\"a,b\") or column numbers from 1", i + 1);
          }
          options.column_numbers.push_back(static_cast<int64_t>(d));
        }
      }
    } else if (name == "text") {
      const std::string mode = lower(text_arg(args, i + 1));
      if (mode == "error") {
        options.text = host::CsvOptions::Text::kError;
      } else if (mode == "skip") {
        options.text = host::CsvOptions::Text::kSkip;
      } else if (mode == "missing") {
        options.text = host::CsvOptions::Text::kMissing;
      } else {
        throw ValueError("\"text\" takes \"error\", \"skip\" (leave text columns out) or \"missing\"", i + 1);
      }
    } else {
      throw ValueError("read_csv has no option \"" + name +
                           "\"; its options are \"header\", \"sep\", \"columns\" and \"text\"",
                       i);
    }
  }
  return one(host::read_csv(path, options));
}

std::vector<Value> b_write_csv(BuiltinContext&, std::span<const Value> args, int) {
  const Matrix& m = matrix_arg(args, 0);
  host::write_csv(m, text_arg(args, 1));
  return {};
}

std::vector<Value> b_disp(BuiltinContext& ctx, std::span<const Value> args, int) {
  if (ctx.display) ctx.display->show_value("", args[0]);
  return {};
}

std::vector<Value> b_html_report(BuiltinContext& ctx, std::span<const Value> args, int) {
  const std::string& path = text_arg(args, 0);
  if (!ctx.write_report)
    throw ValueError("HTML reports are written by the robmat program; this session cannot write one");
  ctx.write_report(path);
  return {};
}

// colnames(x) gives the names joined by commas ("" when x has none); colnames(x, "a,b") gives
// x with new names, and colnames(x, "") drops them.
std::vector<Value> b_colnames(BuiltinContext&, std::span<const Value> args, int) {
  const Matrix& m = matrix_arg(args, 0);
  if (args.size() == 1) {
    std::string joined;
    for (size_t j = 0; j < m.colnames.size(); ++j) joined += (j ? "," : "") + m.colnames[j];
    return {Value(joined)};
  }
  const std::string& text = text_arg(args, 1);
  Matrix r = m;
  r.colnames.clear();
  if (!text.empty()) {
    r.colnames = split_names(text);
    if (static_cast<int64_t>(r.colnames.size()) != m.cols) {
      throw ValueError(std::to_string(r.colnames.size()) + " names are given for the " +
                           std::to_string(m.cols) + " columns of " + describe(args[0]),
                       1);
    }
  }
  return one(std::move(r));
}

constexpr Builtin kBuiltins[] = {
    {"abs", 1, 1, 1, "abs(x)", elementwise<f_abs>},
    {"all", 1, 2, 1, "all(x) or all(x, dim)", reduction<f_all, true>},
    {"any", 1, 2, 1, "any(x) or any(x, dim)", reduction<f_any, true>},
    {"colnames", 1, 2, 1, "colnames(x) or colnames(x, \"a,b,c\")", b_colnames},
    {"complete_cases", 1, 1, 1, "complete_cases(x)", b_complete_cases},
    {"disp", 1, 1, 0, "disp(x)", b_disp},
    {"exp", 1, 1, 1, "exp(x)", elementwise<f_exp>},
    {"eye", 1, 2, 1, "eye(n) or eye(rows, cols)", b_eye},
    {"find", 1, 1, 1, "find(x)", b_find},
    {"ismissing", 1, 1, 1, "ismissing(x)", element_test<host::is_missing>},
    {"html_report", 1, 1, 0, "html_report(\"report.html\")", b_html_report},
    {"isnan", 1, 1, 1, "isnan(x)", element_test<t_isnan>},
    {"log", 1, 1, 1, "log(x)", elementwise<f_log>},
    {"mean", 1, 2, 1, "mean(x) or mean(x, dim)", reduction<f_mean, false>},
    {"median", 1, 2, 1, "median(x) or median(x, dim)", reduction<f_median, false>},
    {"ncol", 1, 1, 1, "ncol(x)", b_ncol},
    {"nrow", 1, 1, 1, "nrow(x)", b_nrow},
    {"ones", 1, 2, 1, "ones(n) or ones(rows, cols)", b_ones},
    {"read_csv",
     1,
     9,
     1,
     "read_csv(\"file.csv\") or read_csv(\"file.csv\", \"header\", false, \"sep\", \";\", \"columns\", "
     "\"a,b\", \"text\", "
     "\"skip\")",
     b_read_csv},
    {"size", 1, 2, 2, "size(x) or size(x, dim)", b_size},
    {"sqrt", 1, 1, 1, "sqrt(x)", elementwise<f_sqrt>},
    {"sum", 1, 2, 1, "sum(x) or sum(x, dim)", reduction<f_sum, false>},
    {"write_csv", 2, 2, 0, "write_csv(x, \"file.csv\")", b_write_csv},
    {"zeros", 1, 2, 1, "zeros(n) or zeros(rows, cols)", b_zeros},
};

}  // namespace

const Builtin* find_builtin(std::string_view name) {
  for (const Builtin& b : kBuiltins) {
    if (b.name == name) return &b;
  }
  return nullptr;
}

std::span<const Builtin> builtins() { return kBuiltins; }

}  // namespace robmat::lang
