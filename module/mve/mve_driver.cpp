// zminvol, the MVE driver: checks, defaults and h; the classical statistics and distances;
// the subset search with its exchange refinement, or a given subset; the MVE estimate with
// its consistency factor; the reweighting, eigenvalues, correlations, robust distances and
// weights; and all the MVE output, in the order it is printed.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "kernels/distrib.h"
#include "kernels/eigen.h"
#include "kernels/lindep.h"
#include "kernels/moments.h"
#include "kernels/udu.h"
#include "mve/mve_internal.h"
#include "mve/mve_report.h"
#include "regression/regression.h"
#include "robmat/services.h"

namespace robmat {

using mve::Scratch;

void stat2(LMTSTR* str, double* mu, double* sd, double* sscp, double* covm, double* corr) {
  const int p = str->nvar;
  subset_moments(p, str->a, nullptr, str->ncas, mu, covm, sscp);
  for (int j = 0; j < p; ++j) sd[j] = std::sqrt(std::fmax(covm[j * (j + 3) / 2], 0.0));
  if (str->pcor != 0) cov2cor(p, covm, corr, sscp);
  if (str->ipri != 0) print_location(str, kClassicalMean, mu);
  if (str->pcov != 0) print_scatter(str, kClassicalCov, covm);
  if (str->pcor == 1 || str->pcor == 3) print_scatter(str, kClassicalCorr, corr);
}

int mahadi(LMTSTR* str, const double* mu, const double* covm, double* maha) {
  const Scratch s = mve::scratch(str);
  const int p = str->nvar;
  const size_t bytes = static_cast<size_t>(str->nnva) * sizeof(double);
  const double asin = 1e-12;
  const double msin = std::fmax(1e-8, str->sing * 1e-4);
  const double vsin = str->sing;
  std::memcpy(s.fac, covm, bytes);
  const int rc = covinv(0, 0, p, asin, msin, vsin, s.fac, s.dtin, s.wv, s.rhs, str->iw);
  if (rc < 0) {
    // Which variables depend on which: nothing is printed, the caller reports the failure.
    std::memcpy(s.fac, covm, bytes);
    zcovlid(0,
            0,
            p,
            asin,
            msin,
            vsin,
            str->pnam,
            nullptr,
            s.fac,
            s.rhs,
            s.wv,
            s.e,
            reinterpret_cast<char*>(s.tags),
            str->rpx,
            &str->lide,
            &str->out);
    return rc;
  }
  for (long i = 0; i < str->ncas; ++i) maha[i] = mahad(p, str->a + i * p, mu, s.fac, s.dv);
  return rc;
}

namespace {

// The MVE scatter's inverse is taken on the unit-diagonal scale whenever the diagonal allows.
constexpr CovScaling kUnitDiagonal{0.0, kUnderflowLimit};

void run_exchange(LMTSTR* str, int variant) {
  if (variant == 1) xchmve1(str);
  if (variant == 2) xchmve2(str);
  if (variant == 3) xchmve3(str);
}

// h: (n + p + 1)/2, or the given value moved into [n/2 + 1, max(n/2 + 1, 3n/4 + (p+1)/4)]
// with a message.
void choose_h(LMTSTR* str) {
  const long n = str->ncas;
  const long p = str->nvar;
  long h = (n + p + 1) / 2;
  if (str->jqu != 0) {
    const long lo = n / 2 + 1;
    // For n = 2 the upper bound (1) falls below the lower one: only h = n holds a majority.
    const long hi = std::max((3 * n) / 4 + (p + 1) / 4, lo);
    h = str->jqu;
    if (h < lo || h > hi) {
      h = h < lo ? lo : hi;
      xpmlog(kSetModule, mve::kMsgHRange, lo, hi, h);
    }
  }
  str->jqu = h;
}

// The cutoff of the squared robust distances: the 0.975 chi-square quantile (its root is
// stored in cutof), or the given cutof itself.
double prepare_cutoff(LMTSTR* str, bool* by_default) {
  *by_default = !(str->cutof > 0.0);
  if (!*by_default) return str->cutof;
  double q = 0.0;
  zqc(0.975, str->nvar, &q);
  str->cutof = std::sqrt(q);
  return q;
}

void prepare_seed(LMTSTR* str) {
  if (str->seed >= 1) return;
  if (str->copr == 0) {
    str->seed = 0;
    return;
  }
  // The uniform stream sticks at 0 from a multiple of 2^31 - 1.
  str->seed = ztime();
  if ((static_cast<unsigned long>(str->seed) & 0xFFFFFFFFul) % 2147483647ul == 0) str->seed = 1;
}

// The MVE estimate of the best subset: its mean and covariance scaled for consistency, with
// the inverse in h.
void mve_estimate(LMTSTR* str, const Scratch& s) {
  const int p = str->nvar;
  const long nn = str->nnva;
  subset_moments(p, str->a, str->jbst, p + 1, str->xmve, str->c, s.dv);
  std::memcpy(str->h, str->c, static_cast<size_t>(nn) * sizeof(double));
  if (covinv_packed(0, p, kUnitDiagonal, mve::tolerance(str), str->h, s.dtin, s.wv, s.rhs, str->iw) < 0) {
    xpmlog(kSetModule, mve::kMsgScatterSingular, str->sing);
    abort_run();
  }
  double chi_med = 0.0;
  zqc(0.5, p, &chi_med);
  str->fact = str->cnp * str->cnp / chi_med;
  const double m = str->fact * str->dism * str->dism;
  const double inv = m > 0.0 ? 1.0 / m : 1.0;
  for (long e = 0; e < nn; ++e) {
    str->c[e] *= m;
    str->h[e] *= inv;
  }
}

// The observations within the cutoff q of the MVE estimate: their mean and covariance
// replace xmve and c. Returns their number.
long reweight(LMTSTR* str, const Scratch& s, double q) {
  const int p = str->nvar;
  const long n = str->ncas;
  const long nn = str->nnva;
  double* d2 = str->dmve;
  long m = 0;
  for (long i = 0; i < n; ++i) {
    d2[i] = mahad(p, str->a + i * p, str->xmve, str->h, s.dv);
    if (d2[i] <= q) ++m;
  }
  double* mu = str->xmve;
  double* cov = str->c;
  for (int j = 0; j < p; ++j) mu[j] = 0.0;
  for (long e = 0; e < nn; ++e) cov[e] = 0.0;
  if (m == 0) return 0;
  for (long i = 0; i < n; ++i) {
    if (!(d2[i] <= q)) continue;
    for (int j = 0; j < p; ++j) mu[j] += str->a[i * p + j];
  }
  for (int j = 0; j < p; ++j) mu[j] /= static_cast<double>(m);
  // Centred cross products: the mean is subtracted before multiplying, which keeps the
  // scatter accurate far from the origin.
  for (long i = 0; i < n; ++i) {
    if (!(d2[i] <= q)) continue;
    for (int j = 0; j < p; ++j) s.dv[j] = str->a[i * p + j] - mu[j];
    double* e = cov;
    for (int a = 0; a < p; ++a) {
      for (int b = 0; b <= a; ++b) e[b] += s.dv[a] * s.dv[b];
      e += a + 1;
    }
  }
  const double div = m > 1 ? static_cast<double>(m - 1) : 1.0;
  for (long e = 0; e < nn; ++e) cov[e] /= div;
  return m;
}

// Eigenvalues of the reweighted scatter, descending, into eval. Returns 0 or -3.
int eigenvalues(LMTSTR* str, const Scratch& s) {
  const int p = str->nvar;
  std::memcpy(s.fac, str->c, static_cast<size_t>(str->nnva) * sizeof(double));
  ztred3(p, s.fac, s.tri);
  return zimtqlv(p, s.tri, str->eval, reinterpret_cast<int*>(s.tags), s.e) == 0 ? 0 : -3;
}

void print_final(LMTSTR* str, bool cut_default, long zeros) {
  if (str->ipri >= 2) print_distances(str, &str->mrdist, str->maha, str->dmve, str->wgts);
  print_distance_summary(str, str->dmve, str->aw);
  mve_note_value(str->rpx, mve::kNoteCutoff, str->cutof);
  if (cut_default)
    mve_note_cutoff_df(str->rpx, str->nvar);
  else
    mve_note(str->rpx, mve::kNoteCutoffGiven);
  mve_note_count(str->rpx, mve::kNoteWeightZero, zeros);
}

}  // namespace

int mve_check_problem(long n, long p) {
  if (n <= p) {
    xpmlog(kSetModule, mve::kMsgTooFewCases);
    return -1;
  }
  if (p < 1) {
    xpmlog(kSetModule, mve::kMsgNoVariables, static_cast<int>(p));
    return -2;
  }
  return 0;
}

int zminvol(LMTSTR* str, int job) {
  const long n = str->ncas;
  const int p = str->nvar;
  str->mvar = 50;
  str->nnva = static_cast<long>(p) * (p + 1) / 2;
  if (const int rc = mve_check_problem(n, p); rc != 0) return rc;
  const Scratch s = mve::scratch(str);
  bool cut_default = false;
  const double q = prepare_cutoff(str, &cut_default);
  if (!(str->cnp > 0.0)) str->cnp = 1.0 + 15.0 / static_cast<double>(n - p);
  if (str->inca < 1) str->inca = p;
  prepare_seed(str);
  if (str->ipri == 0) {
    str->pcov = 0;
    if (str->pcor == 1) str->pcor = 0;
    if (str->pcor == 3) str->pcor = 2;
  }
  choose_h(str);
  const bool print = str->ipri != 0;
  if (print) {
    mve_note(str->rpx, mve::kNoteHeading);
    mve_note_count(str->rpx, mve::kNoteCoverage, str->jqu);
  }

  stat2(str, str->xmve, str->dmve, s.dv, str->c, str->h);
  if (mahadi(str, str->xmve, str->c, str->maha) < 0) {
    xpmlog(kSetModule, mve::kMsgClassicalSingular);
    return -2;
  }

  str->volm = DBL_MAX;
  str->nbox = 0;
  const long k = p + 1;
  if (str->cofo == 0) {
    int variant = 0;
    domve(str, job, &variant);
    run_exchange(str, variant);
  } else {
    str->jlp = 1;
    str->jerd = 0;
    std::memcpy(str->jsub, str->jbst, static_cast<size_t>(k) * sizeof(long));
    double ldet;
    if (getlog1(str, &ldet) != 0) {
      const double miss = missing_value();
      str->volm = miss;
      for (int j = 0; j < p; ++j) str->xmve[j] = miss;
      for (long i = 0; i < n; ++i) str->dmve[i] = miss;
      str->jerd = 1;
      xpmlog(kSetModule, mve::kMsgStartSingular);
      return -2;
    }
    str->volm = ofmve(str, ldet, &str->dism);
    if (str->doim != 0) {
      inbox(str, 2, str->volm);
      run_exchange(str, str->doim);
    }
    if (print) mve_note_value(str->rpx, mve::kNoteGivenSubset, str->volm);
  }

  mve_estimate(str, s);
  if (print) {
    if (str->jlp > 1) mve_note_subsets(str->rpx, str->jlp, str->jerd);
    if (str->ipri >= 2) print_best_subset(str, kMveBestSubset, str->jbst, k, s.tri);
    print_location(str, kMveLoc, str->xmve);
    if (str->pcov != 0) print_scatter(str, kMveScatter, str->c);
    mve_note(str->rpx, mve::kNoteMveEstimate);
  }

  const long m = reweight(str, s, q);
  if (print) {
    mve_note_count(str->rpx, mve::kNoteReweighted, m);
    print_location(str, kRobustMveLoc, str->xmve);
    if (str->pcov != 0) print_scatter(str, kRobustMveScatter, str->c);
  }
  if (eigenvalues(str, s) != 0) return -3;
  if (print) print_location(str, kEigenRobust, str->eval);
  if (str->pcor == 1 || str->pcor == 3) {
    cov2cor(p, str->c, s.cov, s.wv);
    print_scatter(str, kRobustCorr, s.cov);
  }
  if (mahadi(str, str->xmve, str->c, str->dmve) < 0) {
    xpmlog(kSetModule, mve::kMsgReweightedSingular);
    return -4;
  }
  if (str->pcor != 0) cov2cor(p, str->c, str->h, s.wv);

  long zeros = 0;
  for (long i = 0; i < n; ++i) {
    const bool out = str->dmve[i] > q;
    str->wgts[i] = out ? 0.0 : 1.0;
    if (out) ++zeros;
  }
  str->nzwe = n - zeros;
  if (print) print_final(str, cut_default, zeros);
  return 0;
}

}  // namespace robmat
