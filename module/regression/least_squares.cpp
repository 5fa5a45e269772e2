// Least squares with 0/1 weights on the standardized data: the ordinary fit (all weights 1)
// and the reweighted fit after the robust one. The normal equations are solved by UDU'; when
// they are singular, sweeping them gives a generalized inverse and the number of aliased
// parameters, so a collinear design still gets estimates.
#include <cfloat>
#include <cmath>

#include "kernels/sweep.h"
#include "kernels/udu.h"
#include "regression/regression.h"
#include "robmat/services.h"

namespace robmat {

namespace {

// x = X'Wy and the packed lower triangle h = X'WX; returns the weight total W.
double accumulate(const LMTSTR* str) {
  const int p = str->nvar;
  double* x = str->x;
  double* h = str->h;
  for (int j = 0; j < p; ++j) x[j] = 0.0;
  for (long k = 0; k < str->nnva; ++k) h[k] = 0.0;
  double total = 0.0;
  for (long i = 0; i < str->ncas; ++i) {
    const double w = str->wgts[i];
    if (w == 0.0) continue;
    total += w;
    const double* ai = str->a + i * str->inca;
    const double wy = w * str->b[i * str->incb];
    for (int j = 0; j < p; ++j) {
      x[j] += ai[j] * wy;
      const double wa = w * ai[j];
      double* row = h + static_cast<long>(j) * (j + 1) / 2;
      for (int k = 0; k <= j; ++k) row[k] += wa * ai[k];
    }
  }
  return total;
}

}  // namespace

void lsl(LMTSTR* str) {
  const long n = str->ncas;
  double sxy = 0.0;
  double sxx = 0.0;
  for (long i = 0; i < n; ++i) {
    const double a = str->a[i * str->inca];
    sxy += str->wgts[i] * a * str->b[i * str->incb];
    sxx += str->wgts[i] * a * a;
  }
  const bool regular = sxx > DBL_MIN;
  const double x0 = regular ? sxy / sxx : 0.0;
  str->x[0] = x0;
  double ss = 0.0;
  for (long i = 0; i < n; ++i) {
    const double r = str->b[i * str->incb] - str->a[i * str->inca] * x0;
    ss += str->wgts[i] * r * r;
  }
  str->fssq = ss;
  // The divisor n - 1 serves the ordinary and the reweighted fit alike. A regressor without
  // weight has no variance to report.
  if (str->icov != 0) str->h[0] = regular ? ss / static_cast<double>(n - 1) / sxx : missing_value();
}

int lsreg(LMTSTR* str) {
  const int p = str->nvar;
  double* h = str->h;
  double* x = str->x;
  double total = accumulate(str);
  long rank = p;
  int rc = 0;
  if (zududec(p, str->sing, nullptr, h, str->iw) == 0) {
    zudusol(p, 1, p, h, x, str->iw);
    if (str->icov != 0) zuduinv(p, h, str->iw, str->aw);
    str->cnul = 0;
  } else {
    // The failed factorization has overwritten h. Scores relative to the diagonal ('d') make
    // sing a relative tolerance, so the rank does not depend on the scale of a column.
    total = accumulate(str);
    double* diag = str->aw;
    double* work = str->aw + p;
    char* df = reinterpret_cast<char*>(str->iw);
    char options[] = "zd0";
    rank = zsweepr(h, 0, p - 1, p, df, diag, work, str->sing, nullptr, options, nullptr, 0);
    // x = G X'Wy with the generalized inverse G left in h (unswept rows and columns zero).
    for (int i = 0; i < p; ++i) {
      double s = 0.0;
      for (int j = 0; j < p; ++j) {
        const long k =
            i >= j ? static_cast<long>(i) * (i + 1) / 2 + j : static_cast<long>(j) * (j + 1) / 2 + i;
        s += h[k] * x[j];
      }
      work[i] = s;
    }
    for (int i = 0; i < p; ++i) x[i] = work[i];
    str->cnul = static_cast<int>(p - rank);
    rc = 1;
  }
  const double d = total > static_cast<double>(rank) ? total - static_cast<double>(rank) : 1.0;
  str->fssq = qlsreg(str);
  if (str->icov != 0) {
    const double f = str->fssq / d;
    for (long k = 0; k < str->nnva; ++k) h[k] *= f;
    for (int j = 0; j < p; ++j) {
      const double v = h[static_cast<long>(j) * (j + 1) / 2 + j];
      str->ster[j] = v < 0.0 ? 0.0 : std::sqrt(v);
    }
  }
  return rc;
}

double qlsreg(LMTSTR* str) {
  const int p = str->nvar;
  double ss = 0.0;
  for (long i = 0; i < str->ncas; ++i) {
    const double* ai = str->a + i * str->inca;
    double s = 0.0;
    for (int j = 0; j < p; ++j) s += ai[j] * str->x[j];
    const double r = s - str->b[i * str->incb];
    ss += str->wgts[i] * r * r;
  }
  return ss;
}

}  // namespace robmat
