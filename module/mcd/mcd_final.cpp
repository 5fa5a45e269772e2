// The MCD engine around its search: the covariance inversion with determinant that every
// C-step uses, moments of index subsets, Mahalanobis and hyperplane distances, the exact-fit
// estimate with its completion, the back transformation and the exact univariate MCD.
#include <cfloat>
#include <cmath>
#include <cstring>

#include "kernels/eigen.h"
#include "kernels/lindep.h"
#include "kernels/udu.h"
#include "mcd/mcd_internal.h"
#include "robmat/services.h"

namespace robmat {
namespace mcd {

int ccinv(McdWork* w, double* covm, double* cdet) {
  const int p = w->p;
  LMTSTR* str = w->str;
  if (p == 1) {
    if (std::fabs(covm[0]) < 1.491668147e-154) {
      *cdet = 0.0;
      return -1;
    }
    *cdet = covm[0];
    covm[0] = 1.0 / covm[0];
    return 0;
  }
  double* s = w->wv;
  double* tol = w->wv + p;
  double* inv_work = w->wv + 2 * p;
  // The factorisation overwrites the matrix; the dependency analysis needs it as it was.
  std::memcpy(w->z, covm, static_cast<size_t>(w->nn) * sizeof(double));
  double smin = DBL_MAX;
  for (int j = 0; j < p; ++j) {
    s[j] = std::sqrt(std::fabs(covm[j * (j + 3) / 2]));
    if (s[j] < smin) smin = s[j];
  }
  // Unit diagonal makes the pivot tolerance relative to each variable's own scale; below
  // about the square root of the smallest normal double the scaling itself would underflow.
  const bool scaled = smin > 1.491668147e-153;
  double dfac = 0.0;
  if (scaled) {
    for (int j = 0; j < p; ++j)
      if (s[j] > 2.2250738585072018e-307) dfac += 2.0 * std::log10(s[j]);
    double* e = covm;
    for (int i = 0; i < p; ++i)
      for (int j = 0; j <= i; ++j) *e++ /= s[i] * s[j];
  }
  const double t = std::fmax(1.110223024625157e-15, str->sing * 0.0001);
  for (int j = 0; j < p; ++j) tol[j] = t;
  if (zudude2(p, tol, w->dtin, covm, w->piv) != 0) {
    zcovlid(0,
            0,
            p,
            1e-12,
            std::fmax(1e-8, str->sing * 1e-4),
            str->sing,
            str->pnam,
            nullptr,
            w->z,
            w->wv,
            w->wv + p,
            w->wv + 2 * p,
            w->lind,
            str->rpx,
            &str->lide,
            &str->out);
    *cdet = 0.0;
    return -1;
  }
  zuduinv(p, covm, w->piv, inv_work);
  double expo = w->dtin[1];
  if (scaled) {
    double* e = covm;
    for (int i = 0; i < p; ++i)
      for (int j = 0; j <= i; ++j) *e++ /= s[i] * s[j];
    expo += dfac;
  }
  *cdet = expo > 308.0 ? DBL_MAX : std::exp(expo * 2.302585092994046) * w->dtin[0];
  return scaled ? 1 : 0;
}

void cov2cor(int p, const double* cov, double* cor, double* sd) {
  for (int j = 0; j < p; ++j) sd[j] = std::sqrt(std::fmax(cov[j * (j + 3) / 2], 0.0));
  long k = 0;
  for (int i = 0; i < p; ++i) {
    const double fi = sd[i] > 0.0 ? 1.0 / sd[i] : 1.0;
    for (int j = 0; j <= i; ++j, ++k) {
      const double fj = sd[j] > 0.0 ? 1.0 / sd[j] : 1.0;
      cor[k] = cov[k] * fi * fj;
    }
  }
}

double mahad(int p, const double* x, const double* mu, const double* cinv, double* dv) {
  double q = 0.0;
  const double* row = cinv;
  for (int i = 0; i < p; ++i) {
    const double di = x[i] - mu[i];
    dv[i] = di;
    double t = 0.0;
    for (int j = 0; j < i; ++j) t += row[j] * dv[j];
    q += di * (2.0 * t + row[i] * di);
    row += i + 1;
  }
  return q;
}

void dist2p(long m, int p, const double* dat, const double* z, const double* mu, double* ndst) {
  const double* v = z + static_cast<long>(p - 1) * p;
  for (long i = 0; i < m; ++i) {
    const double* x = dat + i * p;
    double s = 0.0;
    for (int j = 0; j < p; ++j) s += (x[j] - mu[j]) * v[j];
    ndst[i] = std::fabs(s);
  }
}

void subset_moments(int p, const double* x, const long* idx, long k, double* mu, double* cov, double* dv) {
  const long nn = static_cast<long>(p) * (p + 1) / 2;
  for (int j = 0; j < p; ++j) mu[j] = 0.0;
  for (long r = 0; r < k; ++r) {
    const double* xr = x + idx[r] * p;
    for (int j = 0; j < p; ++j) mu[j] += xr[j];
  }
  for (int j = 0; j < p; ++j) mu[j] /= static_cast<double>(k);
  for (long e = 0; e < nn; ++e) cov[e] = 0.0;
  // Centred cross products (two passes) keep the covariance accurate when the location is
  // far from zero relative to the spread.
  for (long r = 0; r < k; ++r) {
    const double* xr = x + idx[r] * p;
    for (int j = 0; j < p; ++j) dv[j] = xr[j] - mu[j];
    double* e = cov;
    for (int i = 0; i < p; ++i) {
      const double di = dv[i];
      for (int j = 0; j <= i; ++j) e[j] += di * dv[j];
      e += i + 1;
    }
  }
  const double f = k > 1 ? 1.0 / static_cast<double>(k - 1) : 0.0;
  for (long e = 0; e < nn; ++e) cov[e] *= f;
}

void sort_indices(long k, long* v) {
  // Heap sort: O(k log k) without work space; the keys are distinct, so any correct sort
  // gives the same order as the Shell sort of the index lists.
  auto sift = [v](long root, long end) {
    while (2 * root + 1 < end) {
      long child = 2 * root + 1;
      if (child + 1 < end && v[child] < v[child + 1]) ++child;
      if (v[root] >= v[child]) return;
      const long t = v[root];
      v[root] = v[child];
      v[child] = t;
      root = child;
    }
  };
  for (long i = k / 2 - 1; i >= 0; --i) sift(i, k);
  for (long end = k - 1; end > 0; --end) {
    const long t = v[0];
    v[0] = v[end];
    v[end] = t;
    sift(0, end);
  }
}

void order_subset(McdWork* w, long k, long m) {
  long* ix = w->indx;
  if (w->mark == nullptr) {
    sort_indices(k, ix);
    return;
  }
  long* mk = w->mark;
  for (long i = 0; i < k; ++i) mk[ix[i]] = 1;
  long j = 0;
  for (long i = 0; i < m; ++i)
    if (mk[i] != 0) {
      ix[j++] = i;
      mk[i] = 0;
    }
}

void transf(int p, long n, const double* med, const double* mad, double* mu, double* cov, double* dat) {
  if (mu != nullptr)
    for (int j = 0; j < p; ++j) mu[j] = mu[j] * mad[j] + med[j];
  if (cov != nullptr) {
    double* e = cov;
    for (int i = 0; i < p; ++i)
      for (int j = 0; j <= i; ++j) *e++ *= mad[i] * mad[j];
  }
  if (dat != nullptr)
    for (long i = 0; i < n; ++i) {
      double* x = dat + i * p;
      for (int j = 0; j < p; ++j) x[j] = x[j] * mad[j] + med[j];
    }
}

long exact(double cutof,
           McdWork* w,
           int job,
           const double* ndst,
           const double* dat,
           double* mu,
           double* cov,
           double* sd,
           const double* z,
           double* wgts) {
  (void)z;  // the report reads the same eigenvectors from w->z
  const int p = w->p;
  const long n = w->n;
  long kount = 0;
  for (long i = 0; i < n; ++i) {
    wgts[i] = ndst[i] <= cutof ? 1.0 : 0.0;
    if (std::fabs(ndst[i]) < 1e-7) ++kount;
  }
  if (kount > 0) {
    for (int j = 0; j < p; ++j) mu[j] = 0.0;
    for (long i = 0; i < n; ++i)
      if (std::fabs(ndst[i]) < 1e-7)
        for (int j = 0; j < p; ++j) mu[j] += dat[i * p + j];
    for (int j = 0; j < p; ++j) mu[j] /= static_cast<double>(kount);
    for (long e = 0; e < w->nn; ++e) cov[e] = 0.0;
    for (long i = 0; i < n; ++i) {
      if (!(std::fabs(ndst[i]) < 1e-7)) continue;
      const double* x = dat + i * p;
      double* e = cov;
      for (int a = 0; a < p; ++a) {
        const double da = x[a] - mu[a];
        for (int b = 0; b <= a; ++b) e[b] += da * (x[b] - mu[b]);
        e += a + 1;
      }
    }
    const double f = kount > 1 ? 1.0 / static_cast<double>(kount - 1) : 0.0;
    for (long e = 0; e < w->nn; ++e) cov[e] *= f;
  }
  for (int j = 0; j < p; ++j) {
    const double v = cov[j * (j + 3) / 2];
    sd[j] = v < 0.0 ? 0.0 : std::sqrt(v);
  }
  if (w->str->ipri != 0) mcd_print_exact(w, job, kount, mu, cov);
  return kount;
}

int finish_exact(McdWork* w, int job, bool restore) {
  LMTSTR* str = w->str;
  const int p = w->p;
  const long n = w->n;
  const long h = w->h;
  double* mu = str->xmve;
  double* cov = str->c;
  if (restore) transf(p, n, w->med, w->mad, nullptr, nullptr, str->a);
  dist2p(n, p, str->a, w->z, mu, w->dd);
  if (job == 1) {
    // The best h-subset of an exact fit: the h cases nearest to the hyperplane.
    std::memcpy(w->d2, w->dd, static_cast<size_t>(n) * sizeof(double));
    findq(h - 1, n, w->d2, w->indx);
    sort_indices(h, w->indx);
    for (long i = 0; i < h; ++i) str->jbst[i] = w->indx[i] + 1;
  }
  double* wgts = w->d2;
  double* sd = w->wv + 2 * p;
  exact(w->cq, w, job, w->dd, str->a, mu, cov, sd, w->z, wgts);
  const double miss = missing_value();
  long ones = 0;
  for (long i = 0; i < n; ++i) {
    w->dd[i] = miss;  // no robust distance exists off a degenerate scatter
    if (wgts[i] == 1.0) ++ones;
  }
  str->nzwe = ones;
  if (job == 1) {
    str->volm = 0.0;
    str->dism = miss;
  }
  str->aw = w->wv;
  if (eigen2(str, cov, w->z) == 0)
    for (int j = 0; j < p; ++j) mu[p + j] = w->wv[j];
  else
    for (int j = 0; j < p; ++j) mu[p + j] = miss;
  if (str->ocor != 0) cov2cor(p, cov, mu + 2 * p + w->nn, w->wv);
  if (str->ipri >= 2) print_distances_mcd(w);
  return kMcdExact;
}

}  // namespace mcd

void mcduni(double fact,
            const LMTSTR* str,
            const double* x,
            double* slutn,
            double* bstd,
            double* ties,
            long* wstart) {
  const long n = str->ncas;
  const long h = str->jqu;
  const long nw = n - h + 1;
  double* starts = ties + nw;
  double sum = 0.0;
  double sq = 0.0;
  for (long i = 0; i < h; ++i) {
    sum += x[i];
    sq += x[i] * x[i];
  }
  const double dh = static_cast<double>(h);
  double qmin = sq - sum * sum / dh;
  long t = 1;
  ties[0] = sum;
  starts[0] = 0.0;
  for (long j = 1; j < nw; ++j) {
    const double out = x[j - 1];
    const double in = x[j + h - 1];
    sum = sum - out + in;
    sq = sq - out * out + in * in;
    const double q = sq - sum * sum / dh;
    if (q < qmin) {
      qmin = q;
      t = 0;
    }
    if (q == qmin) {
      ties[t] = sum;
      starts[t] = static_cast<double>(j);
      ++t;
    }
  }
  const long mid = t / 2;
  slutn[0] = ties[mid] / dh;
  *wstart = static_cast<long>(starts[mid]);
  *bstd = qmin < 0.0 ? 0.0 : fact * std::sqrt(qmin / dh);
}

}  // namespace robmat
