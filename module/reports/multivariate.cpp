// Outputs that several engines print. Distances are printed as roots of the squared distances the
// engines keep; a squared distance that rounding left at or below zero prints as 0.
#include "reports/multivariate.h"

#include <cmath>

#include "kernels/select.h"
#include "reports/output.h"
#include "robmat/services.h"

namespace robmat {
namespace {

double root_or_zero(double d2) {
  if (wzmis(d2)) return d2;
  return d2 > 0.0 ? std::sqrt(d2) : 0.0;
}

}  // namespace

void print_location(const LMTSTR* str, MatrixId id, const double* v) {
  pmat(str->rpx, id.name, 1, str->nvar, nullptr, str->pnam, v, id.titl, id.label);
}

void print_scatter(const LMTSTR* str, MatrixId id, const double* packed) {
  pmat(str->rpx, id.name, 0, str->nvar, str->pnam, str->pnam, packed, id.titl, id.label);
}

void print_best_subset(const LMTSTR* str, MatrixId id, const long* idx, long k, double* work) {
  for (long i = 0; i < k; ++i) work[i] = static_cast<double>(idx[i] + 1);
  pmat(str->rpx, id.name, 1, static_cast<int>(k), nullptr, nullptr, work, id.titl, id.label);
}

void print_distances(LMTSTR* str, void** table, const double* maha2, const double* rob2, const double* wgts) {
  const long n = str->ncas;
  long number = 0;
  double maha = 0.0;
  double robust = 0.0;
  double weight = 0.0;
  TableWriter t(str->rpx);
  t.create("Distances", kDistancesLabel, table)
      .number_column(&number, n)
      .column(kColDouble, "Mahalanobis", &maha)
      .column(kColDouble, "Robust", &robust)
      .column(kColDouble, "Weight", &weight)
      .bind("Distances", &str->out);
  for (long i = 0; i < n && t.ok(); ++i) {
    number = i + 1;
    maha = root_or_zero(maha2[i]);
    robust = root_or_zero(rob2[i]);
    weight = wgts[i];
    t.append();
  }
  t.close();
}

void print_distance_summary(const LMTSTR* str, const double* rob2, double* work) {
  const long n = str->ncas;
  double v[6] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
  if (n > 0) {
    double lo = root_or_zero(rob2[0]);
    double hi = lo;
    double sum = 0.0;
    for (long i = 0; i < n; ++i) {
      work[i] = root_or_zero(rob2[i]);
      lo = std::fmin(lo, work[i]);
      hi = std::fmax(hi, work[i]);
      sum += work[i];
    }
    double q[3];
    medqua(1, 1, n, work, q);
    v[0] = lo;
    v[1] = q[0];
    v[2] = q[1];
    v[3] = sum / static_cast<double>(n);
    v[4] = q[2];
    v[5] = hi;
  }
  note(str->rpx, 462);
  print_distr_res(str->rpx, v);
}

void print_distr_res(void* rpx, const double* v6) {
  static const char* const kNames[6] = {"MinRes", "1st Qu.", "Median", "Mean", "3rd Qu.", "MaxRes"};
  constexpr int kWidth = 11;
  char names[6 * kWidth + 1];
  fixed_width_names(names, kWidth, kNames, 6);
  names[6 * kWidth] = '\0';
  pmat2(rpx, kDistrRes.name, 1, 6, nullptr, names, kWidth, v6, kDistrRes.titl, kDistrRes.label);
}

}  // namespace robmat
