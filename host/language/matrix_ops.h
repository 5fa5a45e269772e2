// Arithmetic on language values. The missing value propagates: any operation with a missing
// operand gives a missing result (and a product with a missing term is missing), and an
// operation whose IEEE result is NaN (0/0, Inf - Inf) gives the missing value too, so the
// language holds no NaN but the missing value; infinities follow the usual rules. Operations
// throw ValueError with the message alone; the interpreter adds the place in the source.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

#include "language/ast.h"
#include "robmat/host/matrix.h"

namespace robmat::lang {

class ValueError : public std::runtime_error {
 public:
  // arg: which argument of a builtin is at fault (0-based), or -1 for the call as a whole.
  explicit ValueError(const std::string& message, int faulty_arg = -1)
      : std::runtime_error(message), arg(faulty_arg) {}
  int arg;
};

using host::kMaxElements;
// Refuses a shape with more than kMaxElements elements or more rows or columns than that (a
// 0 x 1e300 matrix has no elements, but no integer can count its columns). Doubles hold every
// product of two such counts, so nothing overflows on the way.
void check_size(double rows, double cols);
// A rows x cols matrix after check_size.
host::Matrix make_matrix(int64_t rows, int64_t cols, double fill = 0.0);

std::string describe(const host::Value& v);  // "a 2x3 matrix", "a character value"
const host::Matrix& numeric(const host::Value& v, const std::string& what);  // or ValueError
host::Matrix scalar(double v);

// Element-by-element operators broadcast a 1x1 operand, and a 1xn row or an mx1 column
// against an mxn matrix. Column (row) names come from the operand that has the result's
// columns (rows).
// Comparisons, '&' and '|' give logical matrices; a missing operand gives a missing result,
// except where '&' and '|' are decided by the other operand.
host::Matrix binary(BinOp op, const host::Value& a, const host::Value& b);
host::Matrix negate(const host::Value& a);
// ~a: 1 where a is 0, 0 elsewhere, missing where a is; NaN is an error (neither true nor false).
host::Matrix logical_not(const host::Value& a);
host::Matrix transpose(const host::Value& a);
// start:step:stop as a row vector (1x0 when empty); the arguments are checked scalars.
host::Matrix range(double start, double step, double stop);
// Blocks of equal rows side by side / of equal columns stacked (callers check the shapes).
host::Matrix hconcat(std::span<const host::Matrix* const> blocks);
host::Matrix vconcat(std::span<const host::Matrix* const> blocks);

}  // namespace robmat::lang
