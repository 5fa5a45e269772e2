// Symmetric eigen solvers after the EISPACK procedures TRED2/TQL2 and TRED3/IMTQLV, with
// descending eigenvalues, eigenvectors as contiguous rows and at most 50 iterations per
// eigenvalue. ztred2 works on the lower triangle so that row operations are contiguous.
#include "kernels/eigen.h"

#include <cmath>

#include "kernels/machine.h"
#include "kernels/vector.h"

namespace robmat {
namespace {

constexpr int kMaxIterations = 50;
// Relative size below which a stalled subdiagonal element is still accepted as converged.
constexpr double kStallRelative = 1.053671212772351e-08;

inline long tri_index(long i) { return i * (i + 1) / 2; }

// a/b only when b is safely away from underflow: the implicit QL rotations must not
// manufacture infinities from denormal divisors.
inline double quot(double a, double b) { return std::fabs(b) > kDblMin ? a / b : 0.0; }

}  // namespace

int eigen2(LMTSTR* str, double* cov, double* z) {
  const long n = str->nvar;
  for (long i = 0; i < n; ++i) {
    for (long j = 0; j <= i; ++j) {
      const double v = cov[tri_index(i) + j];
      z[i * n + j] = v;
      z[j * n + i] = v;
    }
  }
  double* d = str->aw;
  double* e = str->aw + n;
  ztred2(n, z, d, e);
  return ztql2(n, z, d, e, 1) == 0 ? 0 : -3;
}

void ztred2(long n, double* z, double* d, double* e) {
  auto a = [z, n](long i, long j) -> double& { return z[i * n + j]; };
  for (long i = n - 1; i > 0; --i) {
    const long l = i - 1;
    double h = 0.0;
    double* u = &a(i, 0);  // row i left of the diagonal becomes the Householder vector
    const double scale = zvasumj(u, 1, i);
    if (l < 1 || scale == 0.0) {
      e[i] = a(i, l);
    } else {
      // Scaling first keeps the sum of squares clear of overflow and underflow.
      for (long k = 0; k < i; ++k) u[k] /= scale;
      h = zvdot11(u, u, i);
      const double f = u[l];
      const double g = f >= 0.0 ? -std::sqrt(h) : std::sqrt(h);
      e[i] = scale * g;
      h -= f * g;
      u[l] = f - g;
      // p = A u / h into e[0..i-1] from the lower triangle only: row j contributes its dot
      // with u to p_j and, through symmetry, u_j times itself to p_0..p_{j-1}.
      for (long j = 0; j < i; ++j) e[j] = 0.0;
      for (long j = 0; j < i; ++j) {
        const double* row = &a(j, 0);
        e[j] += zvdot11(row, u, j + 1);
        zvxay11(e, row, j, u[j]);
        a(j, i) = u[j] / h;  // kept above the diagonal for the accumulation
      }
      for (long j = 0; j < i; ++j) e[j] /= h;
      const double hh = zvdot11(e, u, i) / (h + h);
      zvxay11(e, u, i, -hh);  // q = p - K u
      for (long j = 0; j < i; ++j) {
        double* row = &a(j, 0);
        zvxay11(row, e, j + 1, -u[j]);
        zvxay11(row, u, j + 1, -e[j]);
      }
    }
    d[i] = h;
  }
  if (n > 0) {
    d[0] = 0.0;
    e[0] = 0.0;
  }
  // Accumulate Q = P_{n-1} ... P_1 in place; d[i] = 0 marks a skipped reflection.
  for (long i = 0; i < n; ++i) {
    if (d[i] != 0.0) {
      for (long j = 0; j < i; ++j) {
        double g = 0.0;
        for (long k = 0; k < i; ++k) g += a(i, k) * a(k, j);
        for (long k = 0; k < i; ++k) a(k, j) -= g * a(k, i);
      }
    }
    d[i] = a(i, i);
    a(i, i) = 1.0;
    for (long j = 0; j < i; ++j) a(j, i) = a(i, j) = 0.0;
  }
  // Q holds the basis in its columns; the solvers want it in rows.
  for (long i = 0; i < n; ++i) {
    for (long j = 0; j < i; ++j) {
      const double t = a(i, j);
      a(i, j) = a(j, i);
      a(j, i) = t;
    }
  }
}

int ztql2(long n, double* z, double* d, double* e, int evbit) {
  if (n < 1) return 0;
  for (long i = 1; i < n; ++i) e[i - 1] = e[i];
  e[n - 1] = 0.0;
  double f = 0.0;
  double b = 0.0;
  for (long l = 0; l < n; ++l) {
    const double h0 = kHalfEps * (std::fabs(d[l]) + std::fabs(e[l]));
    if (h0 > b) b = h0;
    long m = l;
    while (m < n - 1 && std::fabs(e[m]) > b) ++m;
    if (m > l) {
      int iterations = 0;
      do {
        if (iterations == kMaxIterations) return static_cast<int>(-(l + 1));
        ++iterations;
        const double g0 = d[l];
        double p = (d[l + 1] - g0) / (2.0 * e[l]);
        // sqrt(p^2 + 1) without overflow for large p.
        double r =
            std::fabs(p) > 1.0 ? std::fabs(p) * std::sqrt(1.0 / (p * p) + 1.0) : std::sqrt(p * p + 1.0);
        d[l] = p >= 0.0 ? e[l] / (p + r) : e[l] / (p - r);
        const double h = g0 - d[l];
        for (long i = l + 1; i < n; ++i) d[i] -= h;
        f += h;

        double c = 1.0;
        double s = 0.0;
        p = d[m];
        for (long i = m - 1; i >= l; --i) {
          const double g = c * e[i];
          const double hc = c * p;
          if (std::fabs(p) >= std::fabs(e[i])) {
            const double cc = e[i] / p;
            r = std::sqrt(cc * cc + 1.0);
            e[i + 1] = s * p * r;
            s = cc / r;
            c = 1.0 / r;
          } else {
            const double cc = p / e[i];
            r = std::sqrt(cc * cc + 1.0);
            e[i + 1] = s * e[i] * r;
            s = 1.0 / r;
            c = cc / r;
          }
          p = c * d[i] - s * g;
          d[i + 1] = hc + s * (c * g + s * d[i]);
          if (evbit) zvrotg(z + (i + 1) * n, 1, z + i * n, 1, n, c, s);
        }
        e[l] = s * p;
        d[l] = c * p;
      } while (std::fabs(e[l]) > b);
    }
    d[l] += f;
  }
  // Selection sort, descending; only a strictly larger value moves, so ties keep their order.
  for (long i = 0; i < n - 1; ++i) {
    long k = i;
    for (long j = i + 1; j < n; ++j)
      if (d[j] > d[k]) k = j;
    if (k == i) continue;
    const double t = d[i];
    d[i] = d[k];
    d[k] = t;
    if (evbit) {
      double* zi = z + i * n;
      double* zk = z + k * n;
      for (long j = 0; j < n; ++j) {
        const double w = zi[j];
        zi[j] = zk[j];
        zk[j] = w;
      }
    }
  }
  return 0;
}

void ztred3(long n, double* a, double* tri) {
  double* d = tri;
  double* e = tri + n;
  double* e2 = tri + 2 * n;
  for (long i = n - 1; i >= 0; --i) {
    const long iz = tri_index(i);
    double h = 0.0;
    double scale = 0.0;
    // d[0..i-1] is free until its own row comes round: it holds the Householder vector.
    for (long k = 0; k < i; ++k) {
      d[k] = a[iz + k];
      scale += std::fabs(d[k]);
    }
    if (i < 1 || scale <= kDblMin) {
      e[i] = 0.0;
      e2[i] = 0.0;
    } else {
      for (long k = 0; k < i; ++k) d[k] /= scale;
      h = zvdot11(d, d, i);
      e2[i] = scale * scale * h;
      const double f = d[i - 1];
      const double g = f >= 0.0 ? -std::sqrt(h) : std::sqrt(h);
      e[i] = scale * g;
      h -= f * g;
      d[i - 1] = f - g;
      a[iz + i - 1] = scale * d[i - 1];
      if (i > 1) {
        // p = A u / h in e[0..i-1], then q = p - K u, then A -= u q' + q u'.
        for (long j = 0; j < i; ++j) e[j] = zvdots1(a + tri_index(j), j, d, i) / h;
        const double hh = zvdot11(e, d, i) / (h + h);
        zvxay11(e, d, i, -hh);
        for (long j = 0; j < i; ++j) {
          double* row = a + tri_index(j);
          zvxay11(row, e, j + 1, -d[j]);
          zvxay11(row, d, j + 1, -e[j]);
        }
      }
    }
    d[i] = a[iz + i];
    a[iz + i] = scale * std::sqrt(h);
  }
}

int zimtqlv(long n, double* tri, double* d, int* ind, double* e) {
  if (n < 1) return 0;
  const double* td = tri;
  const double* te = tri + n;
  double* e2 = tri + 2 * n;
  for (long i = 0; i < n; ++i) {
    d[i] = td[i];
    if (i > 0) e[i - 1] = te[i];
  }
  e2[0] = 0.0;
  e[n - 1] = 0.0;

  long last_end = -1;  // end of the latest diagonal block found
  int tag = 0;
  for (long l = 0; l < n; ++l) {
    int iterations = 0;
    bool stalled = false;
    for (;;) {
      long m = l;
      bool underflowed = false;
      if (stalled) {
        // Nothing moved in the last sweep: accept e[l] unless it is clearly significant.
        if (std::fabs(e[l]) > kSqrtDblMin &&
            (std::fabs(d[l]) > kHalfEps || std::fabs(e[l]) > kStallRelative * std::fabs(d[l])))
          return static_cast<int>(-(l + 1));
      } else {
        for (; m < n - 1; ++m) {
          const double em = std::fabs(e[m]);
          if (em <= kHalfEps * (std::fabs(d[m]) + std::fabs(d[m + 1])) || em <= kSqrtDblMin) break;
          if (e2[m + 1] == 0.0) {
            underflowed = true;
            break;
          }
        }
      }
      if (underflowed) {
        last_end = m;
        ++tag;
      } else if (m > last_end) {
        if (m != n - 1) e2[m + 1] = 0.0;
        last_end = m;
        ++tag;
      }
      double p = d[l];
      if (m == l) break;
      if (iterations == kMaxIterations) return static_cast<int>(-(l + 1));
      ++iterations;

      const double d_before = d[l];
      const double e_before = e[l];
      double g = quot(d[l + 1] - p, 2.0 * e[l]);
      double r = std::hypot(g, 1.0);
      g = d[m] - p + quot(e[l], g + (g >= 0.0 ? r : -r));
      double s = 1.0;
      double c = 1.0;
      p = 0.0;
      bool recovered = false;
      for (long i = m - 1; i >= l; --i) {
        const double f = s * e[i];
        const double bb = c * e[i];
        r = std::hypot(f, g);
        e[i + 1] = r;
        if (r <= kDblMin) {
          // The rotation underflowed: deflate at m and search again.
          d[i + 1] -= p;
          e[m] = 0.0;
          recovered = true;
          break;
        }
        s = quot(f, r);
        c = quot(g, r);
        g = d[i + 1] - p;
        r = (d[i] - g) * s + 2.0 * c * bb;
        p = s * r;
        d[i + 1] = g + p;
        g = c * r - bb;
      }
      if (recovered) continue;
      d[l] -= p;
      e[l] = g;
      e[m] = 0.0;
      stalled = std::fabs(d[l] - d_before) <= kDblMin && std::fabs(e[l] - e_before) <= kDblMin;
    }
    // Insert d[l] among d[0..l-1] in descending order, in front of strictly smaller values.
    const double p = d[l];
    long i = l;
    while (i > 0 && d[i - 1] < p) {
      d[i] = d[i - 1];
      ind[i] = ind[i - 1];
      --i;
    }
    d[i] = p;
    ind[i] = tag;
  }
  return 0;
}

}  // namespace robmat
