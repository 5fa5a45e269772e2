// The printed outputs that several engines share: location and eigenvalue rows, scatter and
// correlation matrices and the classical estimates (MVE, MCD), the best subset and the
// residual/distance summary (regression, MVE), the table of distances (MVE, MCD). The
// engines decide when each is printed; these routines print unconditionally through the
// manager str->rpx and the variable names str->pnam. An engine's own outputs live with it.
#pragma once

#include "robmat/lmtstr.h"

namespace robmat {

// Name of a matrix output with its label and title, messages of set 0 (title 0: none).
struct MatrixId {
  const char* name;
  int label;
  int titl;
};

inline constexpr MatrixId kClassicalMean{"ClassicalMean", 809, 809};
inline constexpr MatrixId kClassicalCov{"ClassicalCov", 835, 834};
inline constexpr MatrixId kClassicalCorr{"ClassicalCorr", 837, 836};
inline constexpr MatrixId kDistrRes{"DistrRes", 846, 0};
inline constexpr int kDistancesLabel = 704;  // set 549

// print_location: a 1 x p row ("rb") with the variable names as column names. Serves the
// location vectors and the eigenvalues alike.
//   v  in  p values
void print_location(const LMTSTR* str, MatrixId id, const double* v);

// print_scatter: a p x p symmetric matrix sent packed with "sb"; variable names on both
// sides. Serves the scatter and the correlation matrices alike.
//   packed  in  lower triangle by rows, p(p+1)/2 values
void print_scatter(const LMTSTR* str, MatrixId id, const double* packed);

// print_best_subset: 1 x k observation numbers ("rb", numbered columns).
//   idx   in   k 0-based observation indices
//   work  out  k doubles: the 1-based numbers as printed
void print_best_subset(const LMTSTR* str, MatrixId id, const long* idx, long k, double* work);

// print_distances: the row table "Distances", one row per observation: "Number", then the
// square roots of the classical and robust squared distances (0 when not positive, missing
// stays missing) and the weight.
//   table        out  handle of the table (the caller's descriptor field, e.g. &str->mrdist)
//   maha2, rob2  in   n squared distances each
//   wgts         in   n weights
// The bound output is left in str->out.
void print_distances(LMTSTR* str, void** table, const double* maha2, const double* rob2, const double* wgts);

// print_distance_summary: note 462, then DistrRes of the n robust distances (square roots of
// rob2, 0 when not positive): minimum, lower quartile, median, mean, upper quartile, maximum.
//   rob2  in   n squared robust distances, none missing
//   work  out  n doubles (reordered roots)
void print_distance_summary(const LMTSTR* str, const double* rob2, double* work);

// print_distr_res: the one-row matrix DistrRes of six summary values in the order above;
// the regression residual summary prints through it too.
void print_distr_res(void* rpx, const double* v6);

}  // namespace robmat
