// Givens rotations and the triangular row update/downdate. The downdate solves R'a = x
// first and builds its rotations from a, the method of the LINPACK downdate, so a row that
// is not in the factor is refused before R is touched.
#include "kernels/triangular.h"

#include <cmath>

#include "kernels/machine.h"
#include "kernels/vector.h"

namespace robmat {

namespace {

inline long pk(long i, long j) { return i + j * (j + 1) / 2; }

}  // namespace

double zgivcon(double* pa, double* pb, double* pc, double* ps) {
  const double a = *pa;
  const double b = *pb;
  if (b == 0.0) {
    *pc = 1.0;
    *ps = 0.0;
    return 0.0;
  }
  if (a == 0.0) {
    *pa = b;
    *pb = 0.0;
    *pc = 0.0;
    *ps = 1.0;
    return 1.0;
  }
  // Scaling by |a| + |b| keeps the squares away from overflow and underflow.
  const double sigma = std::fabs(a) + std::fabs(b);
  const bool a_larger = std::fabs(a) > std::fabs(b);
  const double sign = (a_larger ? a : b) < 0.0 ? -1.0 : 1.0;
  const double as = a / sigma;
  const double bs = b / sigma;
  const double r = sign * sigma * std::sqrt(as * as + bs * bs);
  const double c = a / r;
  const double s = b / r;
  double z = 1.0;
  if (a_larger)
    z = s;
  else if (std::fabs(c) > kTinyCosine)
    z = 1.0 / c;
  *pa = r;
  *pb = 0.0;
  *pc = c;
  *ps = s;
  return z;
}

void zgivapl(long n, long incx, long incy, double c, double s, double* x, double* y) {
  if (s == 0.0) return;
  if (incx == 1 && incy == 1) {
    for (long i = 0; i < n; ++i) {
      const double xi = x[i];
      const double yi = y[i];
      x[i] = c * xi + s * yi;
      y[i] = c * yi - s * xi;
    }
    return;
  }
  for (long i = 0; i < n; ++i) {
    const double xi = x[i * incx];
    const double yi = y[i * incy];
    x[i * incx] = c * xi + s * yi;
    y[i * incy] = c * yi - s * xi;
  }
}

void ztriup2(long n, long incx, double* r, double* x, double* c, double* s) {
  for (long j = 0; j < n; ++j) {
    double* rj = r + pk(0, j);
    double t = x[j * incx];
    for (long i = 0; i < j; ++i) {
      const double rij = rj[i];
      rj[i] = c[i] * rij + s[i] * t;
      t = c[i] * t - s[i] * rij;
    }
    zgivcon(rj + j, &t, c + j, s + j);
  }
  // Rotations may leave negative diagonal elements; a factor is unique only up to the sign
  // of each row, and the downdate relies on a positive diagonal.
  for (long i = 0; i < n; ++i) {
    if (r[pk(i, i)] < 0.0)
      for (long k = i; k < n; ++k) r[pk(i, k)] = -r[pk(i, k)];
  }
}

int ztrido2(long n, long incx, double sing, double* r, double* x, double* c, double* s) {
  if (n < 1) return 0;
  if (!(r[0] > sing)) return -1;
  s[0] = x[0] / r[0];
  for (long j = 1; j < n; ++j) {
    const double* rj = r + pk(0, j);
    if (!(rj[j] > sing)) return -2;
    s[j] = (x[j * incx] - zvdot11(rj, s, j)) / rj[j];
  }
  const double nu = zvenorm(n, 1, s);
  if (nu > 1.0) return -3;
  double alpha = std::sqrt(1.0 - nu * nu);
  for (long i = n - 1; i >= 0; --i) {
    const double scale = std::fabs(s[i]) + alpha;
    if (!(scale > sing)) return -4;
    const double a = alpha / scale;
    const double b = s[i] / scale;
    const double rho = std::sqrt(a * a + b * b);
    if (!(rho > sing)) return -4;
    alpha = scale * rho;
    c[i] = a / rho;
    s[i] = b / rho;
  }
  double dmax = 0.0;
  for (long j = 0; j < n; ++j) {
    double* rj = r + pk(0, j);
    double xi = 0.0;
    for (long i = j; i >= 0; --i) {
      const double rij = rj[i];
      rj[i] = c[i] * rij - s[i] * xi;
      xi = c[i] * xi + s[i] * rij;
    }
    if (rj[j] > dmax) dmax = rj[j];
  }
  for (long j = 0; j < n; ++j)
    if (!(r[pk(j, j)] > dmax * sing)) return -4;
  return 0;
}

}  // namespace robmat
