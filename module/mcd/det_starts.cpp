// The deterministic starts of MCD (Hubert, Rousseeuw and Verdonck 2012): six robust scatter
// estimates of the data standardized by median and Qn, each turned into an initial subset of
// ceil(n/2) cases by its eigenvectors and the Qn scales of the data projected on them. Every
// step is a function of the set of cases, not of their order, so the starts do not depend
// on how the rows are arranged (see det_subset for the ties that do).
#include <cmath>
#include <cstring>

#include "kernels/distrib.h"
#include "kernels/eigen.h"
#include "kernels/moments.h"
#include "kernels/select.h"
#include "mcd/mcd_internal.h"
#include "robmat/services.h"
#include "scale/scale.h"

namespace robmat {
namespace mcd {

namespace {

// Qn of n values taken with stride `inc` from x; ds->col is overwritten.
double qn_of(DetStarts* ds, long n, const double* x, long inc) {
  for (long i = 0; i < n; ++i) ds->col[i] = x[i * inc];
  return zq_n(n, ds->col, ds->qw, ds->qiw);
}

double median_of(DetStarts* ds, long n, const double* x, long inc) {
  for (long i = 0; i < n; ++i) ds->col[i] = x[i * inc];
  return median(0, n, ds->col);
}

// The column j of ds->t as mid-ranks (1..n, tied values share their mean rank) of column j
// of z; ds->col holds the sorted column afterwards.
void midranks(DetStarts* ds, long n, int p, int j) {
  double* s = ds->col;
  for (long i = 0; i < n; ++i) s[i] = ds->z[i * p + j];
  rsort_work(1, n, s, ds->qw);
  for (long i = 0; i < n; ++i) {
    const double v = ds->z[i * p + j];
    long lo = 0;  // first position holding v
    long hi = n;
    while (lo < hi) {
      const long mid = lo + (hi - lo) / 2;
      if (s[mid] < v)
        lo = mid + 1;
      else
        hi = mid;
    }
    long up = lo;  // one past the last position holding v
    hi = n;
    while (up < hi) {
      const long mid = up + (hi - up) / 2;
      if (s[mid] <= v)
        up = mid + 1;
      else
        hi = mid;
    }
    ds->t[i * p + j] = 0.5 * static_cast<double>(lo + 1 + up);
  }
}

// The correlation matrix of the n rows of ds->t into ds->est.
void correlation_of_t(McdWork* w, DetStarts* ds) {
  subset_moments(w->p, ds->t, nullptr, w->n, ds->loc, ds->est, ds->tmp);
  cov2cor(w->p, ds->est, ds->est, ds->tmp);
}

// The raw orthogonalized Gnanadesikan-Kettenring estimate with Qn: pairwise covariances
// (Qn(z_j + z_k)^2 - Qn(z_j - z_k)^2) / 4 of the standardized variables, whose eigenvectors
// then take the squared Qn of the data projected on them as variances.
int ogk(McdWork* w, DetStarts* ds) {
  const int p = w->p;
  const long n = w->n;
  const double* z = ds->z;
  double* u = ds->est;
  for (int j = 0; j < p; ++j) {
    for (int k = 0; k < j; ++k) {
      for (long i = 0; i < n; ++i) ds->t[i] = z[i * p + j] + z[i * p + k];
      const double qs = qn_of(ds, n, ds->t, 1);
      for (long i = 0; i < n; ++i) ds->t[i] = z[i * p + j] - z[i * p + k];
      const double qd = qn_of(ds, n, ds->t, 1);
      u[j * (j + 1) / 2 + k] = 0.25 * (qs * qs - qd * qd);
    }
    // Each variable has Qn 1 after the standardization.
    u[j * (j + 3) / 2] = 1.0;
  }
  w->str->aw = w->wv;
  if (eigen2(w->str, u, ds->vec) != 0) return -1;
  for (int j = 0; j < p; ++j) {
    const double* e = ds->vec + static_cast<long>(j) * p;
    for (long i = 0; i < n; ++i) {
      double s = 0.0;
      for (int c = 0; c < p; ++c) s += z[i * p + c] * e[c];
      ds->t[i] = s;
    }
    const double q = qn_of(ds, n, ds->t, 1);
    ds->lam[j] = q * q;
  }
  for (long e = 0; e < w->nn; ++e) u[e] = 0.0;
  for (int j = 0; j < p; ++j) {
    const double* e = ds->vec + static_cast<long>(j) * p;
    long k = 0;
    for (int r = 0; r < p; ++r)
      for (int c = 0; c <= r; ++c) u[k++] += ds->lam[j] * e[r] * e[c];
  }
  return 0;
}

// Estimate k (0-5) of the scatter of z into ds->est. Returns 0, or -1 when an eigen
// decomposition fails.
int estimate(McdWork* w, DetStarts* ds, int k) {
  const int p = w->p;
  const long n = w->n;
  const double* z = ds->z;
  switch (k) {
    case 0:  // hyperbolic tangent: bounded, so that far cases cannot dominate
      for (long e = 0; e < n * p; ++e) ds->t[e] = std::tanh(z[e]);
      correlation_of_t(w, ds);
      return 0;
    case 1:  // Spearman correlation
      for (int j = 0; j < p; ++j) midranks(ds, n, p, j);
      correlation_of_t(w, ds);
      return 0;
    case 2: {  // normal scores of the ranks
      const double dn = static_cast<double>(n) + 1.0 / 3.0;
      for (int j = 0; j < p; ++j) midranks(ds, n, p, j);
      for (long e = 0; e < n * p; ++e) ds->t[e] = zprobit((ds->t[e] - 1.0 / 3.0) / dn);
      correlation_of_t(w, ds);
      return 0;
    }
    case 3: {  // spatial sign covariance: every case projected onto the unit sphere
      double* s = ds->est;
      for (long e = 0; e < w->nn; ++e) s[e] = 0.0;
      for (long i = 0; i < n; ++i) {
        const double* x = z + i * p;
        double r = 0.0;
        for (int j = 0; j < p; ++j) r += x[j] * x[j];
        if (r == 0.0) continue;  // the centre itself has no direction
        long e = 0;
        for (int a = 0; a < p; ++a)
          for (int b = 0; b <= a; ++b) s[e++] += x[a] * x[b] / r;
      }
      for (long e = 0; e < w->nn; ++e) s[e] /= static_cast<double>(n);
      return 0;
    }
    case 4: {  // the half of the cases nearest the coordinatewise median
      const long h0 = (n + 1) / 2;
      for (long i = 0; i < n; ++i) {
        double r = 0.0;
        for (int j = 0; j < p; ++j) r += z[i * p + j] * z[i * p + j];
        w->dd[i] = r;
      }
      findq(h0 - 1, n, w->dd, w->indx);
      order_subset(w, h0, n);
      subset_moments(p, z, w->indx, h0, ds->loc, ds->est, ds->tmp);
      return 0;
    }
    default:
      return ogk(w, ds);
  }
}

}  // namespace

void det_prepare(McdWork* w, DetStarts* ds) {
  const int p = w->p;
  const long n = w->n;
  const double* a = w->str->a;
  ds->z = w->b.take(n * p);
  ds->t = take_doubles(w, n * p);
  ds->col = take_doubles(w, n);
  ds->qw = take_doubles(w, 2 * n);
  ds->est = take_doubles(w, w->nn);
  ds->vec = take_doubles(w, static_cast<long>(p) * p);
  ds->lam = take_doubles(w, p);
  ds->loc = take_doubles(w, p);
  ds->tmp = take_doubles(w, p);
  ds->qiw = take_longs(w, 6 * n);
  if (ds->z == nullptr || ds->t == nullptr || ds->col == nullptr || ds->qw == nullptr || ds->est == nullptr ||
      ds->vec == nullptr || ds->lam == nullptr || ds->loc == nullptr || ds->tmp == nullptr ||
      ds->qiw == nullptr)
    abort_run();
  for (int j = 0; j < p; ++j) {
    const double m = median_of(ds, n, a + j, p);
    double q = qn_of(ds, n, a + j, p);
    // Qn can vanish where the MAD does not (two large groups of tied values); the data are
    // on the MAD's scale already, so a unit scale then keeps that.
    if (!(q > 0.0)) q = 1.0;
    for (long i = 0; i < n; ++i) ds->z[i * p + j] = (a[i * p + j] - m) / q;
  }
}

long det_subset(McdWork* w, DetStarts* ds, int k, long size) {
  const int p = w->p;
  const long n = w->n;
  const double* z = ds->z;
  if (estimate(w, ds, k) != 0) return 0;
  w->str->aw = w->wv;
  if (eigen2(w->str, ds->est, ds->vec) != 0) return 0;
  // The estimate gives the axes; the scales along them are the Qn of the projected data, so
  // that a start does not depend on how well its estimate captures the spread.
  bool regular = true;
  for (int j = 0; j < p; ++j) {
    const double* e = ds->vec + static_cast<long>(j) * p;
    for (long i = 0; i < n; ++i) {
      double s = 0.0;
      for (int c = 0; c < p; ++c) s += z[i * p + c] * e[c];
      ds->t[i * p + j] = s;
    }
    const double q = qn_of(ds, n, ds->t + j, p);
    ds->lam[j] = q * q;
    if (!(q > 0.0)) regular = false;
  }
  // Location: with S the estimate, S^(1/2) times the coordinatewise median of the data
  // transformed by S^(-1/2). Along an axis of zero scale the median of the projections is
  // taken instead, and only cases on the hyperplane it defines count as near.
  double* m = ds->loc;
  if (regular) {
    for (long i = 0; i < n; ++i) {
      double* u = ds->t + i * p;
      for (int j = 0; j < p; ++j) ds->tmp[j] = u[j] / std::sqrt(ds->lam[j]);
      for (int c = 0; c < p; ++c) {
        double s = 0.0;
        for (int j = 0; j < p; ++j) s += ds->tmp[j] * ds->vec[static_cast<long>(j) * p + c];
        u[c] = s;
      }
    }
    for (int c = 0; c < p; ++c) m[c] = median_of(ds, n, ds->t + c, p);
    // Back along the axes: coordinate j of the location on axis j, scaled by sqrt(lam_j).
    for (int j = 0; j < p; ++j) {
      double s = 0.0;
      for (int c = 0; c < p; ++c) s += m[c] * ds->vec[static_cast<long>(j) * p + c];
      ds->tmp[j] = s * std::sqrt(ds->lam[j]);
    }
  } else {
    for (int j = 0; j < p; ++j) ds->tmp[j] = median_of(ds, n, ds->t + j, p);
  }
  // ds->tmp holds the location's coordinates along the axes; ds->t may hold the transformed
  // data by now, so the projections are formed afresh.
  for (long i = 0; i < n; ++i) {
    double d = 0.0;
    for (int j = 0; j < p; ++j) {
      const double* e = ds->vec + static_cast<long>(j) * p;
      double s = 0.0;
      for (int c = 0; c < p; ++c) s += z[i * p + c] * e[c];
      const double dev = s - ds->tmp[j];
      if (ds->lam[j] > 0.0)
        d += dev * dev / ds->lam[j];
      else if (dev != 0.0)
        d = HUGE_VAL;
    }
    w->dd[i] = d;
  }
  findq(size - 1, n, w->dd, w->indx);
  order_subset(w, size, n);
  return size;
}

}  // namespace mcd
}  // namespace robmat
