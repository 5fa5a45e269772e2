// UDU' factorisation with Bunch-Kaufman pivoting on packed upper-by-columns storage, after
// the packed symmetric indefinite factorisation of LINPACK, but with a tolerance that turns
// tiny pivots into counted null columns. Interchanges of a step touch only the leading part
// still to be factored; solve and inverse replay them from h.
#include "kernels/udu.h"

#include <cmath>
#include <utility>

#include "kernels/det_record.h"
#include "kernels/machine.h"

namespace robmat {

namespace {

// (1 + sqrt(17))/8: bounds the element growth of the pivoting rule by 2.57 per step.
constexpr double kAlpha = 0.6403882032022076;

inline long col(long j) { return j * (j + 1) / 2; }
inline long pk(long i, long j) { return i + j * (j + 1) / 2; }

// Exchanges the rows and columns lo < hi of the symmetric matrix formed by the leading
// last+1 columns; element (lo, hi) maps onto itself.
void sym_swap(double* a, long lo, long hi, long last) {
  for (long i = 0; i < lo; ++i) std::swap(a[pk(i, lo)], a[pk(i, hi)]);
  std::swap(a[pk(lo, lo)], a[pk(hi, hi)]);
  for (long j = lo + 1; j < hi; ++j) std::swap(a[pk(lo, j)], a[pk(j, hi)]);
  for (long j = hi + 1; j <= last; ++j) std::swap(a[pk(lo, j)], a[pk(hi, j)]);
}

void count_sign(double* det, double d, double tol) {
  if (std::fabs(d) <= tol)
    det[4] += 1.0;
  else if (d > 0.0)
    det[2] += 1.0;
  else
    det[3] += 1.0;
}

long factor(long n, double sing, const double* vsin, double* dtin, double* a, long* h) {
  long nullity = 0;
  long k = n - 1;
  while (k >= 0) {
    const double tol = vsin ? vsin[k] : sing;
    double* ck = a + col(k);
    const double absakk = std::fabs(ck[k]);
    if (k == 0) {
      h[0] = 0;
      if (absakk <= tol) ++nullity;
      break;
    }
    long imax = 0;
    double colmax = std::fabs(ck[0]);
    for (long i = 1; i < k; ++i) {
      if (std::fabs(ck[i]) > colmax) {
        colmax = std::fabs(ck[i]);
        imax = i;
      }
    }
    long kstep = 1;
    bool swap = false;
    if (!(absakk >= kAlpha * colmax)) {
      // rowmax >= colmax > 0 here, since a(imax, k) is one of its candidates.
      double rowmax = 0.0;
      for (long j = 0; j < imax; ++j) rowmax = std::fmax(rowmax, std::fabs(a[pk(j, imax)]));
      for (long j = imax + 1; j <= k; ++j) rowmax = std::fmax(rowmax, std::fabs(a[pk(imax, j)]));
      if (absakk >= kAlpha * colmax * (colmax / rowmax)) {
      } else if (std::fabs(a[pk(imax, imax)]) >= kAlpha * rowmax) {
        swap = true;
      } else {
        kstep = 2;
      }
    }
    if (std::fmax(absakk, colmax) <= tol) {
      h[k] = k;
      ++nullity;
      if (kstep == 2) {
        h[k - 1] = k - 1;
        ++nullity;
      }
      k -= kstep;
      continue;
    }
    if (kstep == 1) {
      if (swap) sym_swap(a, imax, k, k);
      h[k] = swap ? imax : k;
      const double akk = ck[k];
      for (long j = k - 1; j >= 0; --j) {
        const double mulk = -ck[j] / akk;
        double* cj = a + col(j);
        for (long i = 0; i <= j; ++i) cj[i] += mulk * ck[i];
        ck[j] = mulk;
      }
    } else {
      if (imax != k - 1) sym_swap(a, imax, k - 1, k);
      h[k] = -(imax + 1);
      h[k - 1] = h[k];
      double* ckm1 = a + col(k - 1);
      // Dividing by the off-diagonal element keeps the 2x2 inverse free of overflow.
      const double t = ck[k - 1];
      const double ak = ck[k] / t;
      const double akm1 = ckm1[k - 1] / t;
      const double deno = 1.0 - ak * akm1;
      for (long j = k - 2; j >= 0; --j) {
        const double bk = ck[j] / t;
        const double bkm1 = ckm1[j] / t;
        const double mulk = (akm1 * bk - bkm1) / deno;
        const double mulkm1 = (ak * bkm1 - bk) / deno;
        double* cj = a + col(j);
        for (long i = 0; i <= j; ++i) cj[i] += mulk * ck[i] + mulkm1 * ckm1[i];
        ck[j] = mulk;
        ckm1[j] = mulkm1;
      }
    }
    k -= kstep;
  }

  if (dtin) {
    dtin[0] = 1.0;
    for (int i = 1; i < 5; ++i) dtin[i] = 0.0;
    for (k = 0; k < n;) {
      const double tol = vsin ? vsin[k] : sing;
      if (h[k] < 0) {
        const double tol1 = vsin ? vsin[k + 1] : sing;
        const double t = std::fabs(a[pk(k, k + 1)]);
        // The block determinant a*c - t^2, split into two factors whose product it is.
        const double d1 = t <= kDblMin ? 0.0 : (a[pk(k, k)] / t) * a[pk(k + 1, k + 1)] - t;
        count_sign(dtin, d1, tol);
        count_sign(dtin, t, tol1);
        if (nullity == 0) {
          det_mult(dtin, d1);
          det_mult(dtin, t);
        }
        k += 2;
      } else {
        const double d = a[pk(k, k)];
        count_sign(dtin, d, tol);
        if (nullity == 0) det_mult(dtin, d);
        k += 1;
      }
    }
    if (nullity != 0) {
      dtin[0] = 0.0;
      dtin[1] = 0.0;
    }
  }
  return nullity;
}

// Replaces c[0..m-1] by S*c, S the symmetric matrix held in the leading m columns, and adds
// c'*S*c (old c) to *diag. The inverse of each step's transformation is built this way from
// the inverse of the part below it.
void sym_times_column(const double* a, long m, double* c, double* diag, double* w) {
  for (long i = 0; i < m; ++i) w[i] = c[i];
  for (long j = 0; j < m; ++j) {
    const double* cj = a + col(j);
    double s = 0.0;
    for (long i = 0; i <= j; ++i) s += cj[i] * w[i];
    c[j] = s;
    for (long i = 0; i < j; ++i) c[i] += w[j] * cj[i];
  }
  double s = 0.0;
  for (long i = 0; i < m; ++i) s += w[i] * c[i];
  *diag += s;
}

// Element (i, j) divided by s_i s_j, D = diag(s): turns A into D^-1 A D^-1, and the inverse
// of that matrix, D A^-1 D, into A^-1.
void divide_by_scales(long n, const double* s, double* a) {
  for (long j = 0; j < n; ++j) {
    double* cj = a + col(j);
    for (long i = 0; i <= j; ++i) cj[i] /= s[i] * s[j];
  }
}

}  // namespace

long zududec(long n, double sing, double* dtin, double* a, long* h) {
  return factor(n, sing, nullptr, dtin, a, h);
}

long zudude2(long n, double* vsin, double* dtin, double* a, long* h) {
  return factor(n, 0.0, vsin, dtin, a, h);
}

void zudusol(long n, long p, long incb, double* a, double* b, long* h) {
  for (long r = 0; r < p; ++r) {
    double* x = b + r * incb;
    // U^-1 and D^-1, last column first.
    for (long k = n - 1; k >= 0;) {
      const double* ck = a + col(k);
      if (h[k] >= 0) {
        if (h[k] != k) std::swap(x[k], x[h[k]]);
        const double t = x[k];
        for (long i = 0; i < k; ++i) x[i] += ck[i] * t;
        x[k] /= ck[k];
        k -= 1;
      } else {
        const double* ckm1 = a + col(k - 1);
        const long piv = -h[k] - 1;
        if (piv != k - 1) std::swap(x[k - 1], x[piv]);
        const double tk = x[k];
        const double tkm1 = x[k - 1];
        for (long i = 0; i < k - 1; ++i) x[i] += ck[i] * tk + ckm1[i] * tkm1;
        const double t = ck[k - 1];
        const double ak = ck[k] / t;
        const double akm1 = ckm1[k - 1] / t;
        const double bk = x[k] / t;
        const double bkm1 = x[k - 1] / t;
        const double deno = ak * akm1 - 1.0;
        x[k] = (akm1 * bk - bkm1) / deno;
        x[k - 1] = (ak * bkm1 - bk) / deno;
        k -= 2;
      }
    }
    // U'^-1, first column first.
    for (long k = 0; k < n;) {
      const double* ck = a + col(k);
      if (h[k] >= 0) {
        double s = 0.0;
        for (long i = 0; i < k; ++i) s += ck[i] * x[i];
        x[k] += s;
        if (h[k] != k) std::swap(x[k], x[h[k]]);
        k += 1;
      } else {
        const double* ck1 = a + col(k + 1);
        double s0 = 0.0;
        double s1 = 0.0;
        for (long i = 0; i < k; ++i) {
          s0 += ck[i] * x[i];
          s1 += ck1[i] * x[i];
        }
        x[k] += s0;
        x[k + 1] += s1;
        const long piv = -h[k] - 1;
        if (piv != k) std::swap(x[k], x[piv]);
        k += 2;
      }
    }
  }
}

void zuduinv(long n, double* a, long* h, double* w) {
  for (long k = 0; k < n;) {
    double* ck = a + col(k);
    if (h[k] >= 0) {
      ck[k] = 1.0 / ck[k];
      if (k > 0) sym_times_column(a, k, ck, ck + k, w);
      if (h[k] != k) sym_swap(a, h[k], k, k);
      k += 1;
    } else {
      double* ck1 = a + col(k + 1);
      const double t = std::fabs(ck1[k]);
      const double ak = ck[k] / t;
      const double akp1 = ck1[k + 1] / t;
      const double akkp1 = ck1[k] / t;
      const double d = t * (ak * akp1 - 1.0);
      ck[k] = akp1 / d;
      ck1[k + 1] = ak / d;
      ck1[k] = -akkp1 / d;
      if (k > 0) {
        sym_times_column(a, k, ck, ck + k, w);
        double s = 0.0;
        for (long i = 0; i < k; ++i) s += ck[i] * ck1[i];
        ck1[k] += s;
        sym_times_column(a, k, ck1, ck1 + k + 1, w);
      }
      const long piv = -h[k] - 1;
      if (piv != k) sym_swap(a, piv, k, k + 1);
      k += 2;
    }
  }
}

int dodiag(int job, long n, double asin, double msin, double* cov, double* det) {
  det[0] = 1.0;
  for (int i = 1; i < 5; ++i) det[i] = 0.0;
  if (n < 1) return 0;
  double dmax = 0.0;
  for (long j = 0; j < n; ++j) dmax = std::fmax(dmax, std::fabs(cov[j]));
  const double tol = std::fmax(asin, msin * dmax);
  bool null_seen = false;
  for (long j = 0; j < n; ++j) {
    const double d = cov[j];
    if (std::fabs(d) <= tol) {
      det[4] += 1.0;
      null_seen = true;
      continue;
    }
    det[d > 0.0 ? 2 : 3] += 1.0;
    if (!null_seen) det_mult(det, d);
  }
  if (null_seen) {
    det[0] = 0.0;
    det[1] = 0.0;
    return -1;
  }
  if (job == 0)
    for (long j = 0; j < n; ++j) cov[j] = 1.0 / cov[j];
  return 0;
}

int covinv_packed(int job,
                  long n,
                  const CovScaling& scaling,
                  double vsin,
                  double* cov,
                  double* det,
                  double* cdia,
                  double* work,
                  long* iwk) {
  if (n < 1) {
    det[0] = 1.0;
    for (int i = 1; i < 5; ++i) det[i] = 0.0;
    return 0;
  }
  double hmin = 0.0;
  double dfac = 0.0;
  for (long j = 0; j < n; ++j) {
    cdia[j] = std::sqrt(std::fabs(cov[pk(j, j)]));
    if (j == 0 || cdia[j] < hmin) hmin = cdia[j];
    if (cdia[j] > scaling.log_above) dfac += 2.0 * std::log10(cdia[j]);
  }
  // Unit diagonal makes one pivot tolerance meaningful for variables of any scale; a
  // variance too small to divide by safely leaves the matrix as given.
  const bool scaled = hmin > scaling.scale_above;
  if (scaled) divide_by_scales(n, cdia, cov);
  for (long j = 0; j < n; ++j) work[j] = vsin;
  const long nullity = zudude2(n, work, det, cov, iwk);
  if (nullity != 0) return -1;
  if (scaled) det[1] += dfac;
  if (job == 0) {
    zuduinv(n, cov, iwk, work);
    if (scaled) divide_by_scales(n, cdia, cov);
  }
  return scaled ? 1 : 0;
}

int covinv(int job,
           int cfrm,
           long n,
           double asin,
           double msin,
           double vsin,
           double* cov,
           double* det,
           double* cdia,
           double* work,
           long* iwk) {
  if (cfrm == 2) return dodiag(job, n, asin, msin, cov, det);
  return covinv_packed(job, n, kCovScalingModest, vsin, cov, det, cdia, work, iwk);
}

}  // namespace robmat
