// Builtin functions; the rules each one follows are in docs/language.md.
#include "language/builtins.h"

#include <algorithm>
#include <array>
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
  for (double& x : m.data) {
    if (!is_missing(x)) x = F(x);
  }
  return one(std::move(m));
}

double f_sqrt(double x) { return std::sqrt(x); }
double f_abs(double x) { return std::fabs(x); }
double f_log(double x) { return std::log(x); }
double f_exp(double x) { return std::exp(x); }

// Column sums; a column holding a missing value has a missing sum.
Matrix column_sums(const Matrix& m) {
  Matrix r(1, m.cols, 0.0);
  r.colnames = m.colnames;
  for (int64_t i = 0; i < m.rows; ++i) {
    for (int64_t j = 0; j < m.cols; ++j) {
      const double x = m.at(i, j);
      double& s = r.data[static_cast<size_t>(j)];
      if (is_missing(x) || is_missing(s)) {
        s = missing();
      } else {
        s += x;
      }
    }
  }
  return r;
}

std::vector<Value> b_sum(BuiltinContext&, std::span<const Value> args, int) {
  return one(column_sums(matrix_arg(args, 0)));
}

std::vector<Value> b_mean(BuiltinContext&, std::span<const Value> args, int) {
  const Matrix& m = matrix_arg(args, 0);
  Matrix r = column_sums(m);
  for (double& s : r.data) {
    s = m.rows == 0 || is_missing(s) ? missing() : s / static_cast<double>(m.rows);
  }
  return one(std::move(r));
}

std::vector<Value> b_read_csv(BuiltinContext&, std::span<const Value> args, int) {
  return one(host::read_csv(text_arg(args, 0)));
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

std::string_view trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
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
    std::string_view rest = text;
    for (;;) {
      const size_t comma = rest.find(',');
      r.colnames.emplace_back(trim(rest.substr(0, comma)));
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
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
    {"colnames", 1, 2, 1, "colnames(x) or colnames(x, \"a,b,c\")", b_colnames},
    {"disp", 1, 1, 0, "disp(x)", b_disp},
    {"exp", 1, 1, 1, "exp(x)", elementwise<f_exp>},
    {"eye", 1, 2, 1, "eye(n) or eye(rows, cols)", b_eye},
    {"log", 1, 1, 1, "log(x)", elementwise<f_log>},
    {"mean", 1, 1, 1, "mean(x)", b_mean},
    {"ncol", 1, 1, 1, "ncol(x)", b_ncol},
    {"nrow", 1, 1, 1, "nrow(x)", b_nrow},
    {"ones", 1, 2, 1, "ones(n) or ones(rows, cols)", b_ones},
    {"read_csv", 1, 1, 1, "read_csv(\"file.csv\")", b_read_csv},
    {"size", 1, 2, 2, "size(x) or size(x, dim)", b_size},
    {"sqrt", 1, 1, 1, "sqrt(x)", elementwise<f_sqrt>},
    {"sum", 1, 1, 1, "sum(x)", b_sum},
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
