// Vector kernels. The unrolled loops keep a single accumulator in index order, so every
// result is bit-identical to the plain loop: callers and tests may compare against one.
#include "kernels/vector.h"

#include <cmath>

namespace robmat {

double zvdots1(const double* a, long jcol, const double* b, long n) {
  if (n < 1) return 0.0;
  const long head = jcol + 1 < n ? jcol + 1 : n;
  double sum = zvdot11(a, b, head);
  // Below the diagonal the row of a symmetric matrix is its column; in rows-packed
  // storage consecutive column elements lie one row length further apart each time.
  const double* p = a + jcol;
  for (long i = jcol + 1; i < n; ++i) {
    p += i;
    sum += *p * b[i];
  }
  return sum;
}

double zvasumj(const double* a, long j, long n) {
  double sum = 0.0;
  long i = 0;
  for (; i + 4 <= n; i += 4) {
    sum += std::fabs(a[i * j]);
    sum += std::fabs(a[(i + 1) * j]);
    sum += std::fabs(a[(i + 2) * j]);
    sum += std::fabs(a[(i + 3) * j]);
  }
  for (; i < n; ++i) sum += std::fabs(a[i * j]);
  return sum;
}

void zvxay11(double* a, const double* b, long n, double alpha) {
  if (n < 1 || alpha == 0.0) return;
  if (a == b) {
    const double f = 1.0 + alpha;
    for (long i = 0; i < n; ++i) a[i] *= f;
    return;
  }
  long i = 0;
  for (; i + 4 <= n; i += 4) {
    a[i] += alpha * b[i];
    a[i + 1] += alpha * b[i + 1];
    a[i + 2] += alpha * b[i + 2];
    a[i + 3] += alpha * b[i + 3];
  }
  for (; i < n; ++i) a[i] += alpha * b[i];
}

void zvrotg(double* x, long jx, double* y, long jy, long n, double c, double s) {
  for (long i = 0; i < n; ++i) {
    const double xi = x[i * jx];
    const double yi = y[i * jy];
    x[i * jx] = c * xi + s * yi;
    y[i * jy] = c * yi - s * xi;
  }
}

double zvamx(const double* a, long n) {
  double m = 0.0;
  for (long i = 0; i < n; ++i) {
    const double v = std::fabs(a[i]);
    if (v > m) m = v;
  }
  return m;
}

double zvamxj(const double* a, long j, long n) {
  double m = 0.0;
  for (long i = 0; i < n; ++i) {
    const double v = std::fabs(a[i * j]);
    if (v > m) m = v;
  }
  return m;
}

double zvenorm(long n, long incx, const double* x) {
  if (n < 1) return 0.0;
  const double m = incx == 1 ? zvamx(x, n) : zvamxj(x, incx, n);
  if (m == 0.0) return 0.0;
  // The skip threshold: next to a large maximum an element below sqrt(m)*eps cannot move
  // the sum; next to a small one the maximum itself is the reference.
  const double s = m > 1.0 ? std::sqrt(m) : m;
  double sum = 0.0;
  for (long i = 0; i < n; ++i) {
    const double xi = x[i * incx];
    if (std::fabs(xi) + s == s) continue;
    const double r = xi / m;
    if (1.0 + r != 1.0) sum += r * r;
  }
  return m * std::sqrt(sum);
}

}  // namespace robmat
