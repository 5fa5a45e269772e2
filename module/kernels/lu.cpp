// LU factorisation and solve on row-major arrays. The elimination visits the trailing
// block row by row so that the inner loop is unit-stride; every element still receives the
// same single update per step as in the column-oriented formulation.
#include "kernels/lu.h"

#include <cmath>
#include <utility>

#include "kernels/det_record.h"

namespace robmat {

long zludec(long n, long inca, double sing, double* det, double* a, long* h) {
  if (det) {
    det[0] = 1.0;
    det[1] = 0.0;
  }
  if (n < 1) return 0;
  long nsing = 0;
  for (long k = 0; k + 1 < n; ++k) {
    long l = k;
    double amax = std::fabs(a[k * inca + k]);
    for (long i = k + 1; i < n; ++i) {
      if (std::fabs(a[i * inca + k]) > amax) {
        amax = std::fabs(a[i * inca + k]);
        l = i;
      }
    }
    h[k] = l;
    if (amax <= sing) {
      ++nsing;
      continue;
    }
    double* rk = a + k * inca;
    double* rl = a + l * inca;
    if (l != k) std::swap(rl[k], rk[k]);
    const double t = -1.0 / rk[k];
    for (long i = k + 1; i < n; ++i) a[i * inca + k] *= t;
    if (l != k)
      for (long j = k + 1; j < n; ++j) std::swap(rl[j], rk[j]);
    for (long i = k + 1; i < n; ++i) {
      double* ri = a + i * inca;
      const double m = ri[k];
      for (long j = k + 1; j < n; ++j) ri[j] += m * rk[j];
    }
  }
  h[n - 1] = n - 1;
  if (std::fabs(a[(n - 1) * inca + n - 1]) <= sing) ++nsing;

  if (det) {
    if (nsing != 0) {
      det[0] = 0.0;
      return nsing;
    }
    for (long k = 0; k < n; ++k) {
      if (h[k] != k) det[0] = -det[0];
      det_mult(det, a[k * inca + k]);
    }
  }
  return nsing;
}

void zlusol(int job, long n, long p, long inca, long incb, double* a, double* b, long* h) {
  for (long c = 0; c < p; ++c) {
    double* x = b + c;
    if (job == 0) {
      // L^-1 with the interchanges, then U^-1.
      for (long k = 0; k + 1 < n; ++k) {
        const long l = h[k];
        const double t = x[l * incb];
        if (l != k) {
          x[l * incb] = x[k * incb];
          x[k * incb] = t;
        }
        for (long i = k + 1; i < n; ++i) x[i * incb] += t * a[i * inca + k];
      }
      for (long k = n - 1; k >= 0; --k) {
        x[k * incb] /= a[k * inca + k];
        const double t = -x[k * incb];
        for (long i = 0; i < k; ++i) x[i * incb] += t * a[i * inca + k];
      }
    } else {
      // U'^-1, then L'^-1 undoing the interchanges in reverse order.
      for (long k = 0; k < n; ++k) {
        double s = 0.0;
        for (long i = 0; i < k; ++i) s += a[i * inca + k] * x[i * incb];
        x[k * incb] = (x[k * incb] - s) / a[k * inca + k];
      }
      for (long k = n - 2; k >= 0; --k) {
        double s = 0.0;
        for (long i = k + 1; i < n; ++i) s += a[i * inca + k] * x[i * incb];
        x[k * incb] += s;
        const long l = h[k];
        if (l != k) std::swap(x[l * incb], x[k * incb]);
      }
    }
  }
}

}  // namespace robmat
