// Pieces every call-routine front end shares: the output manager's creation and release,
// the parameter names, missing-value fills and the expansion of packed symmetric matrices.
#pragma once

#include <cstdint>

#include "robmat/host_services.h"
#include "robmat/lmtstr.h"

namespace robmat {

// Host status codes that the front ends return.
inline constexpr int32_t kStatusNoSpace = 1;
inline constexpr int32_t kStatusShape = 6;
inline constexpr int32_t kStatusNotNumeric = 13;
inline constexpr int32_t kStatusMissing = 17;
inline constexpr int32_t kStatusKeyword = 19;
inline constexpr int32_t kStatusNoManager = 100;

// Creates the output manager "rpx" into str->rpx. Returns 0, or 100 after logging the
// host's status when the manager is null; a negative status ends the run (xexit).
int32_t create_manager(LMTSTR* str);
// Closes and releases str->rpx (if any); a failing close is only logged.
void release_manager(LMTSTR* str);

// Names "VAR1" .. "VARp" (built with the host's znamfix) and `last` after them: p + 1 records.
void make_names(U_SNAME* pnam, long p, const char* last);

void fill_missing(double* v, long n);

// Expands a packed lower triangle (by rows) of order p into a full p x p row-major matrix.
void expand_packed(long p, const double* packed, double* full);

// A numeric argument: its shape and elements, or null when not given.
struct NumArg {
  bool given = false;
  bool numeric = false;
  int32_t rows = 0;
  int32_t cols = 0;
  const double* x = nullptr;
  bool is_vector() const { return rows <= 1 || cols <= 1; }
  long length() const { return static_cast<long>(rows) * cols; }
};
NumArg fetch(DULSYM* arg);

}  // namespace robmat
