// Serial sweep step. The rank-one update needs the scaled pivot vector u and the signed
// pivot vector v; only v is kept in `work`, because u can be read back from the new row and
// column k, which the update itself never touches (v_k = 0 and row k is skipped).
#include "services/sweep_step.h"

#include <cmath>
#include <cstddef>

namespace robmat::host {

bool host_zsweep(double* x, int32_t k, int32_t n, char* df, double* work, double tol) {
  if (k < 0 || k >= n) return false;
  auto at = [x](size_t i, size_t j) -> double& { return x[i * (i + 1) / 2 + j]; };
  const size_t kk = static_cast<size_t>(k);
  const size_t nn = static_cast<size_t>(n);
  const double d = at(kk, kk);
  if (tol >= 0.0 ? d <= tol : std::fabs(d) <= std::fabs(tol)) return true;

  at(kk, kk) = 1.0 / d;
  const char s = df[kk];
  df[kk] = (s == '0') ? '1' : '0';

  // u_j = sign_j * t for j < k, where the sign keeps the swept and unswept parts of the
  // matrix in their symmetric-storage convention; the same sign goes into v for j > k.
  double* v = work;
  for (size_t j = 0; j < kk; ++j) {
    v[j] = at(kk, j);
    at(kk, j) = -(at(kk, j) / d);
  }
  for (size_t j = kk + 1; j < nn; ++j) {
    v[j] = (df[j] == s) ? at(j, kk) : -at(j, kk);
    at(j, kk) = at(j, kk) / d;
  }
  v[kk] = 0.0;

  for (size_t i = 0; i < nn; ++i) {
    if (i == kk) continue;
    double u;
    if (i < kk) {
      const double t = -at(kk, i);
      u = (df[i] == s) ? t : -t;
    } else {
      u = at(i, kk);
    }
    double* row = &at(i, 0);
    for (size_t j = 0; j <= i; ++j) row[j] = row[j] - u * v[j];
  }
  return true;
}

}  // namespace robmat::host
