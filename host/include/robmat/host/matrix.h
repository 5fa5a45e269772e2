// Host values: numeric matrices (row-major doubles with optional column names) and
// character values. The missing value is the module's bit pattern 0xFFFFFE0000000000.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <variant>
#include <vector>

namespace robmat::host {

inline constexpr uint64_t kMissingBits = 0xFFFFFE0000000000ull;

inline double missing() {
  double v;
  std::memcpy(&v, &kMissingBits, sizeof v);
  return v;
}
// Any double whose top 16 bits are all ones is missing.
inline bool is_missing(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return (b >> 48) == 0xFFFF;
}
// Every NaN is the missing value wherever data enters the host (CSV cells, the language's
// arithmetic, arrays given to the C API): v, or the missing value when v is any NaN.
inline double nan_to_missing(double v) { return std::isnan(v) ? missing() : v; }

// Largest matrix the language and the CSV reader build, in elements (8e8 bytes), and so also the
// largest number of rows or columns: beyond it a typo such as ones(1e6) fails with a message
// instead of exhausting memory.
inline constexpr int64_t kMaxElements = 100'000'000;

struct Matrix {
  int64_t rows = 0;
  int64_t cols = 0;
  std::vector<double> data;           // row-major, rows * cols
  std::vector<std::string> colnames;  // empty, or one per column
  std::vector<std::string> rownames;  // empty, or one per row
  // Holds 0/1 truth values (from a comparison): as an index it selects where it is 1 instead of
  // naming positions. Arithmetic gives an ordinary matrix.
  bool logical = false;

  Matrix() = default;
  Matrix(int64_t r, int64_t c, double fill = 0.0)
      : rows(r), cols(c), data(static_cast<size_t>(r * c), fill) {}
  double& at(int64_t i, int64_t j) { return data[static_cast<size_t>(i * cols + j)]; }
  double at(int64_t i, int64_t j) const { return data[static_cast<size_t>(i * cols + j)]; }
  bool empty() const { return rows == 0 || cols == 0; }
};

using Value = std::variant<Matrix, std::string>;

}  // namespace robmat::host
