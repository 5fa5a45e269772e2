// The MCD engine around its search: the covariance inversion with determinant that every
// C-step uses, moments of index subsets, Mahalanobis and hyperplane distances, the exact-fit
// estimate with its completion, and the back transformation.
#include <cmath>
#include <cstring>

#include "kernels/eigen.h"
#include "kernels/lindep.h"
#include "kernels/machine.h"
#include "kernels/udu.h"
#include "mcd/mcd_internal.h"
#include "robmat/services.h"

namespace robmat {
namespace mcd {

int ccinv(McdWork* w, double* covm, double* cdet) {
  const int p = w->p;
  LMTSTR* str = w->str;
  if (p == 1) {
    if (std::fabs(covm[0]) < kSqrtDblMin) {
      *cdet = 0.0;
      return -1;
    }
    *cdet = covm[0];
    covm[0] = 1.0 / covm[0];
    return 0;
  }
  // The factorisation overwrites the matrix; the dependency analysis needs it as it was.
  std::memcpy(w->z, covm, static_cast<size_t>(w->nn) * sizeof(double));
  const double tol = std::fmax(10.0 * kHalfEps, str->sing * 0.0001);
  const int rc = covinv_packed(0, p, kCovScalingWide, tol, covm, w->dtin, w->wv, w->wv + p, w->piv);
  // A worker lane only needs to know that the matrix is singular (the start then runs again
  // serially); the dependency analysis sweeps through the host's service, which is the
  // calling thread's.
  if (rc < 0 && w->start != nullptr) {
    *cdet = 0.0;
    return -1;
  }
  if (rc < 0) {
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
  const double expo = w->dtin[1];
  *cdet = expo > 308.0 ? kDblMax : std::exp(expo * 2.302585092994046) * w->dtin[0];
  return rc;
}

void order_subset(McdWork* w, long k, long m) {
  long* ix = w->indx;
  if (w->mark == nullptr) {
    lsort(1, k, ix);
    return;
  }
  lsort_marked(k, m, ix, w->mark);
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
           double* wgts) {
  const int p = w->p;
  const long n = w->n;
  long* on_plane = w->indx;
  long kount = 0;
  for (long i = 0; i < n; ++i) {
    wgts[i] = ndst[i] <= cutof ? 1.0 : 0.0;
    if (std::fabs(ndst[i]) < 1e-7) on_plane[kount++] = i;
  }
  if (kount > 0) subset_moments(p, dat, on_plane, kount, mu, cov, w->wv);
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
    lsort(1, h, w->indx);
    for (long i = 0; i < h; ++i) str->jbst[i] = w->indx[i] + 1;
    if (str->ipri >= 2) mcd_print_best_half(w, w->d2);
  }
  double* wgts = w->d2;
  double* sd = w->wv + 2 * p;
  exact(w->cq, w, job, w->dd, str->a, mu, cov, sd, wgts);
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
}  // namespace robmat
