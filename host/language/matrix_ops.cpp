// Element-by-element operators, the matrix product, transposition, ranges and concatenation.
#include "language/matrix_ops.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace robmat::lang {
namespace {

using host::is_missing;
using host::Matrix;
using host::missing;
using host::Value;

std::string shape(const Matrix& m) { return std::to_string(m.rows) + "x" + std::to_string(m.cols); }

std::string failure(BinOp op, const Value& a, const Value& b) {
  const std::string da = describe(a), db = describe(b);
  switch (op) {
    case BinOp::kAdd:
      return "cannot add " + da + " and " + db;
    case BinOp::kSub:
      return "cannot subtract " + db + " from " + da;
    case BinOp::kMatMul:
      return "cannot multiply " + da + " by " + db;
    case BinOp::kDiv:
      return "cannot divide " + da + " by " + db;
    case BinOp::kElemMul:
      return "cannot multiply " + da + " and " + db + " element by element";
    case BinOp::kElemDiv:
      return "cannot divide " + da + " by " + db + " element by element";
    case BinOp::kElemPow:
      return "cannot raise " + da + " to the powers in " + db;
    case BinOp::kAnd:
    case BinOp::kOr:
      return "cannot combine " + da + " and " + db + " with '" + (op == BinOp::kAnd ? "&" : "|") + "'";
    default:
      break;
  }
  return "cannot compare " + da + " and " + db;
}

bool is_comparison(BinOp op) {
  return op == BinOp::kLess || op == BinOp::kLessEqual || op == BinOp::kGreater ||
         op == BinOp::kGreaterEqual || op == BinOp::kEqual || op == BinOp::kNotEqual;
}

// A truth value: 0 is false, any other number true. NaN is neither, as in MATLAB.
bool truth(double x) {
  if (std::isnan(x)) throw ValueError("NaN is neither true nor false");
  return x != 0;
}

// '&' and '|' follow three-valued logic: a missing operand decides nothing, so NA & 0 is 0 and
// NA | 1 is 1, while NA & 1 and NA | 0 stay missing.
double logic(BinOp op, double x, double y) {
  const bool mx = is_missing(x), my = is_missing(y);
  const bool tx = !mx && truth(x), ty = !my && truth(y);
  if (op == BinOp::kAnd) {
    if ((!mx && !tx) || (!my && !ty)) return 0;
    return mx || my ? missing() : 1;
  }
  if (tx || ty) return 1;
  return mx || my ? missing() : 0;
}

double apply(BinOp op, double x, double y) {
  if (op == BinOp::kAnd || op == BinOp::kOr) return logic(op, x, y);
  if (is_missing(x) || is_missing(y)) return missing();
  // An arithmetic NaN (0/0, Inf - Inf, a negative base to a fractional power) is missing.
  switch (op) {
    case BinOp::kAdd:
      return host::nan_to_missing(x + y);
    case BinOp::kSub:
      return host::nan_to_missing(x - y);
    case BinOp::kElemMul:
    case BinOp::kMatMul:
      return host::nan_to_missing(x * y);
    case BinOp::kElemDiv:
    case BinOp::kDiv:
      return host::nan_to_missing(x / y);
    case BinOp::kElemPow:
      return host::nan_to_missing(std::pow(x, y));
    case BinOp::kLess:
      return x < y;
    case BinOp::kLessEqual:
      return x <= y;
    case BinOp::kGreater:
      return x > y;
    case BinOp::kGreaterEqual:
      return x >= y;
    case BinOp::kEqual:
      return x == y;
    case BinOp::kNotEqual:
      return x != y;
    case BinOp::kAnd:
    case BinOp::kOr:
      break;
  }
  return logic(op, x, y);
}

std::string format_count(double n) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.15g", n);
  return buf;
}

bool fits(int64_t n, int64_t target) { return n == target || n == 1; }

Matrix elementwise(BinOp op, const Value& va, const Value& vb) {
  const auto* pa = std::get_if<Matrix>(&va);
  const auto* pb = std::get_if<Matrix>(&vb);
  if (!pa || !pb) throw ValueError(failure(op, va, vb));
  const Matrix& a = *pa;
  const Matrix& b = *pb;
  // A dimension of 1 stretches to the other operand's; any other mismatch is an error.
  const int64_t rows = a.rows == 1 ? b.rows : a.rows;
  const int64_t cols = a.cols == 1 ? b.cols : a.cols;
  if (op == BinOp::kDiv && !(b.rows == 1 && b.cols == 1)) {
    throw ValueError(failure(op, va, vb) + ": '/' divides by a scalar; './' divides element by element");
  }
  if (!fits(a.rows, rows) || !fits(a.cols, cols) || !fits(b.rows, rows) || !fits(b.cols, cols)) {
    throw ValueError(failure(op, va, vb));
  }
  Matrix r = make_matrix(rows, cols);
  for (int64_t i = 0; i < rows; ++i) {
    const int64_t ia = a.rows == 1 ? 0 : i, ib = b.rows == 1 ? 0 : i;
    for (int64_t j = 0; j < cols; ++j) {
      const int64_t ja = a.cols == 1 ? 0 : j, jb = b.cols == 1 ? 0 : j;
      r.at(i, j) = apply(op, a.at(ia, ja), b.at(ib, jb));
    }
  }
  r.logical = is_comparison(op) || op == BinOp::kAnd || op == BinOp::kOr;
  if (a.cols == cols && !a.colnames.empty()) {
    r.colnames = a.colnames;
  } else if (b.cols == cols && !b.colnames.empty()) {
    r.colnames = b.colnames;
  }
  if (a.rows == rows && !a.rownames.empty()) {
    r.rownames = a.rownames;
  } else if (b.rows == rows && !b.rownames.empty()) {
    r.rownames = b.rownames;
  }
  return r;
}

Matrix product(const Value& va, const Value& vb) {
  const auto* pa = std::get_if<Matrix>(&va);
  const auto* pb = std::get_if<Matrix>(&vb);
  if (!pa || !pb) throw ValueError(failure(BinOp::kMatMul, va, vb));
  const Matrix& a = *pa;
  const Matrix& b = *pb;
  if ((a.rows == 1 && a.cols == 1) || (b.rows == 1 && b.cols == 1))
    return elementwise(BinOp::kMatMul, va, vb);
  if (a.cols != b.rows) {
    throw ValueError(failure(BinOp::kMatMul, va, vb) + ": the columns of the left (" +
                     std::to_string(a.cols) + ") must match the rows of the right (" +
                     std::to_string(b.rows) + ")");
  }
  Matrix r = make_matrix(a.rows, b.cols);
  std::vector<char> lost(static_cast<size_t>(b.cols));
  for (int64_t i = 0; i < a.rows; ++i) {
    std::fill(lost.begin(), lost.end(), 0);
    for (int64_t k = 0; k < a.cols; ++k) {
      const double x = a.at(i, k);
      for (int64_t j = 0; j < b.cols; ++j) {
        const double y = b.at(k, j);
        if (is_missing(x) || is_missing(y)) {
          lost[static_cast<size_t>(j)] = 1;
        } else {
          r.at(i, j) += x * y;
        }
      }
    }
    for (int64_t j = 0; j < b.cols; ++j) {
      if (lost[static_cast<size_t>(j)]) r.at(i, j) = missing();
      r.at(i, j) = host::nan_to_missing(r.at(i, j));
    }
  }
  r.colnames = b.colnames;
  r.rownames = a.rownames;
  return r;
}

}  // namespace

void check_size(double rows, double cols) {
  const auto limit = static_cast<double>(kMaxElements);
  const std::string what = "a " + format_count(rows) + "x" + format_count(cols) + " matrix";
  const std::string most = " than the limit of " + std::to_string(kMaxElements);
  if (!(rows <= limit && cols <= limit)) {
    throw ValueError(what + " has more " + (rows <= limit ? "columns" : "rows") + most);
  }
  if (rows * cols > limit) throw ValueError(what + " is larger" + most + " elements");
}

std::string describe(const Value& v) {
  if (std::holds_alternative<std::string>(v)) return "a character value";
  return "a " + shape(std::get<Matrix>(v)) + " matrix";
}

const Matrix& numeric(const Value& v, const std::string& what) {
  if (const auto* m = std::get_if<Matrix>(&v)) return *m;
  throw ValueError(what + " must be numeric, not a character value");
}

Matrix make_matrix(int64_t rows, int64_t cols, double fill) {
  check_size(static_cast<double>(rows), static_cast<double>(cols));
  return Matrix(rows, cols, fill);
}

Matrix scalar(double v) { return Matrix(1, 1, v); }

Matrix binary(BinOp op, const Value& a, const Value& b) {
  return op == BinOp::kMatMul ? product(a, b) : elementwise(op, a, b);
}

Matrix negate(const Value& va) {
  const auto* a = std::get_if<Matrix>(&va);
  if (!a) throw ValueError("cannot negate a character value");
  Matrix r = *a;
  r.logical = false;
  for (double& x : r.data) {
    if (!is_missing(x)) x = -x;
  }
  return r;
}

Matrix logical_not(const Value& va) {
  const auto* a = std::get_if<Matrix>(&va);
  if (!a) throw ValueError("cannot negate a character value with '~'");
  Matrix r = *a;
  r.logical = true;
  for (double& x : r.data) {
    if (!is_missing(x)) x = truth(x) ? 0 : 1;
  }
  return r;
}

Matrix transpose(const Value& va) {
  const auto* a = std::get_if<Matrix>(&va);
  if (!a) throw ValueError("cannot transpose a character value");
  Matrix r(a->cols, a->rows);
  r.logical = a->logical;
  r.rownames = a->colnames;
  r.colnames = a->rownames;
  for (int64_t i = 0; i < a->rows; ++i) {
    for (int64_t j = 0; j < a->cols; ++j) r.at(j, i) = a->at(i, j);
  }
  return r;
}

Matrix range(double start, double step, double stop) {
  if (step == 0) throw ValueError("the step of a range cannot be 0");
  // The relative slack keeps 0:0.1:1 from losing its last element to rounding.
  const double span = (stop - start) / step;
  const double count = span < 0 ? 0 : std::floor(span * (1 + 1e-12) + 1e-12) + 1;
  check_size(1, count);
  const auto n = static_cast<int64_t>(count);
  Matrix r(1, n);
  for (int64_t k = 0; k < n; ++k) r.data[static_cast<size_t>(k)] = start + static_cast<double>(k) * step;
  return r;
}

Matrix hconcat(std::span<const Matrix* const> blocks) {
  int64_t rows = 0, cols = 0;
  bool named = false;
  for (const Matrix* b : blocks) {
    rows = b->rows;
    cols += b->cols;
    named = named || !b->colnames.empty();
  }
  Matrix r = make_matrix(rows, cols);
  for (const Matrix* b : blocks) {
    if (b->rownames.empty()) continue;
    r.rownames = b->rownames;
    break;
  }
  r.logical = std::all_of(blocks.begin(), blocks.end(), [](const Matrix* b) { return b->logical; });
  int64_t offset = 0;
  for (const Matrix* b : blocks) {
    for (int64_t i = 0; i < rows; ++i) {
      for (int64_t j = 0; j < b->cols; ++j) r.at(i, offset + j) = b->at(i, j);
    }
    offset += b->cols;
    if (named) {
      for (int64_t j = 0; j < b->cols; ++j) {
        r.colnames.push_back(b->colnames.empty() ? std::string() : b->colnames[static_cast<size_t>(j)]);
      }
    }
  }
  return r;
}

Matrix vconcat(std::span<const Matrix* const> blocks) {
  double rows = 0;
  for (const Matrix* b : blocks) rows += static_cast<double>(b->rows);
  check_size(rows, blocks.empty() ? 0.0 : static_cast<double>(blocks.front()->cols));
  Matrix r;
  r.logical = std::all_of(blocks.begin(), blocks.end(), [](const Matrix* b) { return b->logical; });
  const bool row_named =
      std::any_of(blocks.begin(), blocks.end(), [](const Matrix* b) { return !b->rownames.empty(); });
  for (const Matrix* b : blocks) {
    r.cols = b->cols;
    r.rows += b->rows;
    r.data.insert(r.data.end(), b->data.begin(), b->data.end());
    if (r.colnames.empty()) r.colnames = b->colnames;
    // Rows keep their names; a block without names contributes empty ones.
    if (row_named) {
      if (b->rownames.empty())
        r.rownames.resize(r.rownames.size() + static_cast<size_t>(b->rows));
      else
        r.rownames.insert(r.rownames.end(), b->rownames.begin(), b->rownames.end());
    }
  }
  return r;
}

}  // namespace robmat::lang
