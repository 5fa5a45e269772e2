// zmcd, the MCD driver: checks, h and its bounds, the cutoff and the seeds; the work space
// carved from the front end's blocks; the classical statistics and their exact fits; the
// univariate MCD, the classical path of h = n, or the FAST-MCD search; then the raw report,
// the consistency factor, the reweighting, the robust distances and the weights.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "kernels/distrib.h"
#include "kernels/eigen.h"
#include "kernels/select.h"
#include "mcd/mcd_internal.h"
#include "reports/fast_report.h"
#include "robmat/services.h"

namespace robmat {

McdSizes mcd_sizes(long n, long p, long nsds, long lsds, int ocor, int starts) {
  const long nn = p * (p + 1) / 2;
  if (lsds > n) lsds = n;
  if (lsds >= 1 && nsds > n / lsds) nsds = n / lsds;
  if (nsds < 0) nsds = 0;
  if (lsds < 0) lsds = 0;
  McdSizes sz;
  sz.data = 2 * n * p;
  sz.c = 10 * p + 10 * nsds * p + (10 * nsds + 12) * nn;
  sz.work = p * p + 10 * p + 30 * (nsds + 1) + 2 * n;
  sz.ints = 11 * nsds + 5 * n + 2 * lsds * (nsds + 1);
  if (starts != 0) {
    sz.work += n * p + 3 * n + p * p + nn + 3 * p;
    sz.ints += 6 * n;
  }
  sz.names = p + 1;
  sz.est_rows = static_cast<int32_t>(ocor != 0 ? 2 * p + 2 : p + 2);
  return sz;
}

int mcd_check_problem(long n, long p) {
  if (p < 1) {
    xpmlog(kSetModule, mcd::kMsgNoVariables, static_cast<int>(p));
    return -2;
  }
  if (n <= p) {
    xpmlog(kSetModule, mcd::kMsgTooFewCases);
    return -1;
  }
  return 0;
}

namespace mcd {

long* take_longs(McdWork* w, long k) { return w->ints.take(k); }

double* take_doubles(McdWork* w, long k) {
  if (double* v = w->work.take(k)) return v;
  if (double* v = w->c.take(k)) return v;
  return w->b.take(k);
}

namespace {

// The vectors whose place is fixed, and the bookkeeping of what remains. Sizes follow the
// front end's blocks; a block too small for them ends the run.
void carve(McdWork* w) {
  LMTSTR* str = w->str;
  const int p = w->p;
  const long n = w->n;
  const long nn = w->nn;
  w->ints = Arena<long>{str->iw, str->lneed - 2 * n};
  w->work = Arena<double>{str->work, str->dneed};
  w->c = Arena<double>{
      str->c,
      mcd_sizes(n, p, str->nsds, str->lsds, str->ocor, (str->imve & kImveDeterministic) != 0 ? 1 : 0).c,
      2 * nn};
  w->b = Arena<double>{str->b, n * p};
  const long fixed = static_cast<long>(p) * p + 5L * p + 5;
  // The end needs c for the reweighted scatter, its inverse, the raw inverse and one more
  // packed matrix.
  if (w->work.cap < fixed || w->c.cap < 4 * nn) abort_run();
  w->z = take_doubles(w, static_cast<long>(p) * p);
  w->med = take_doubles(w, p);
  w->mad = take_doubles(w, p);
  w->wv = take_doubles(w, 3L * p);
  w->dtin = take_doubles(w, 5);
  w->indx = take_longs(w, n);
  w->comb = take_longs(w, p + 1);
  w->piv = take_longs(w, p);
  long* lind = take_longs(w, (p + 7) / 8);
  if (w->indx == nullptr || w->comb == nullptr || w->piv == nullptr || lind == nullptr) abort_run();
  w->lind = reinterpret_cast<char*>(lind);
  w->mu = str->xmve;
  w->bmu = str->xmve + p;
  w->bestS = str->xmve + 2 * p;
  w->S = str->c;
  w->Sinv = str->c + nn;
  w->dd = str->maha + n;
  w->d2 = str->maha + 2 * n;
  str->aw = w->wv;
}

// The cases at positions ws..ws+h-1 of the data ordered by value, ties by case number, in
// ascending case order: every case strictly inside the window's values, the last of the
// cases tied at its lower end and the first of those tied at its upper end.
void window_cases(const double* x, long n, const double* sorted, long ws, long h, long* cases) {
  const double lo = sorted[ws];
  const double hi = sorted[ws + h - 1];
  long skip_lo = 0;  // cases of value lo ordered before the window
  for (long i = ws - 1; i >= 0 && sorted[i] == lo; --i) ++skip_lo;
  long take_hi = 0;  // cases of value hi inside it
  for (long i = ws + h - 1; i >= ws && sorted[i] == hi; --i) ++take_hi;
  long r = 0;
  for (long i = 0; i < n; ++i) {
    const double v = x[i];
    if (v < lo || v > hi) continue;
    if (v == lo && skip_lo > 0) {
      --skip_lo;
      continue;
    }
    if (v == hi) {
      if (take_hi == 0) continue;
      --take_hi;
    }
    cases[r++] = i;
  }
}

// The univariate MCD of the single variable: location, scale, and the best window's cases
// as the best h-subset.
void univariate(McdWork* w, double* loc, double* scale) {
  LMTSTR* str = w->str;
  const long n = w->n;
  const long h = w->h;
  std::memcpy(w->dd, str->a, static_cast<size_t>(n) * sizeof(double));
  rsort(1, n, w->dd);
  const double q = zprobit(static_cast<double>(h + n) / (2.0 * static_cast<double>(n)));
  const double v = 1.0 - (2.0 * static_cast<double>(n) / static_cast<double>(h)) * q *
                             (std::exp(-q * q / 2.0) / 2.5066282746310002);
  const double consistency = v < str->prec ? 0.0 : 1.0 / std::sqrt(v);
  long i = static_cast<long>((w->alpha - 0.5) * 40.0 + 0.5);
  if (i > 10) i = 10;
  if (i < 0) i = 0;
  str->fact = str->copr == 0 ? consistency : kFltsFactor[i];
  // The tied windows take two doubles per window, n + 1 for an odd n with the default h: more
  // than any row of the distances holds, so they come from the work block (2n left for p = 1).
  const long nties = 2 * (n - h + 1);
  double* ties = w->work.take(nties);
  if (ties == nullptr) abort_run();
  long ws = 0;
  mcduni(str->fact, n, h, w->dd, loc, scale, ties, &ws);
  w->work.give_back(nties);
  window_cases(str->a, n, w->dd, ws, h, str->jbst);
  for (long r = 0; r < h; ++r) ++str->jbst[r];
}

int exact_from(McdWork* w) {
  // Location and scatter are in xmve and c on the data's scale.
  LMTSTR* str = w->str;
  str->aw = w->wv;
  if (eigen2(str, str->c, w->z) != 0) return kMcdEigenFail;
  return finish_exact(w, 1, false);
}

// No observation lies within the cutoff of the raw estimate (a cutoff below every squared
// distance): the reweighted location, scatter, eigenvalues, correlations and robust
// distances cannot be formed and are missing, every weight is 0, and the log says why.
int no_reweighted_set(McdWork* w) {
  LMTSTR* str = w->str;
  const int p = w->p;
  const long n = w->n;
  const double miss = missing_value();
  xpslog(
      "%2zNo observation lies within the cutoff of the raw MCD estimate (%g on the squared scale), so "
      "the reweighted location and scatter cannot be formed: they, the eigenvalues and the robust "
      "distances are missing, and every observation has weight 0.",
      w->cq);
  for (int j = 0; j < 2 * p; ++j) str->xmve[j] = miss;
  for (long e = 0; e < w->nn; ++e) str->c[e] = miss;
  if (str->ocor != 0)
    for (long e = 0; e < w->nn; ++e) str->xmve[2 * p + w->nn + e] = miss;
  for (long i = 0; i < n; ++i) {
    w->dd[i] = miss;
    w->d2[i] = 0.0;
  }
  str->nzwe = 0;
  if (str->ipri >= 2) print_distances_mcd(w);
  return 0;
}

// Raw report, consistency, reweighting, robust distances and weights, from the raw estimate
// in bmu and bestS on the data's scale. search_det: volm becomes the raw determinant.
int finish(McdWork* w, double cfac, bool search_det) {
  LMTSTR* str = w->str;
  const int p = w->p;
  const long n = w->n;
  const long nn = w->nn;
  const double* a = str->a;
  double* rinv = str->c + 2 * nn;
  double* scratch = str->c + 3 * nn;
  std::memcpy(rinv, w->bestS, static_cast<size_t>(nn) * sizeof(double));
  if (p == 1) {
    rinv[0] = w->bestS[0] != 0.0 ? 1.0 / w->bestS[0] : 0.0;
  } else {
    double rdet;
    if (ccinv(w, rinv, &rdet) < 0) {
      // Regular on the standardized scale but not here: the raw estimate is degenerate.
      std::memcpy(str->xmve, w->bmu, static_cast<size_t>(p) * sizeof(double));
      std::memcpy(str->c, w->bestS, static_cast<size_t>(nn) * sizeof(double));
      return exact_from(w);
    }
    if (search_det) str->volm = rdet;
  }

  if (str->ipri != 0) mcd_print_matrix(w, kMcdLocEst, w->bmu);
  if (str->pcov != 0) {
    mcd_print_matrix(w, kMcdScatterEst, w->bestS);
    if (p > 1) mcd_note_value(w, kMsgRawDeterminant, str->volm);
    mcd_note_count(w, kMsgRawH, w->h);
  }
  if (str->pcor != 0) {
    cov2cor(p, w->bestS, scratch, w->wv);
    mcd_print_matrix(w, kMcdCorr, scratch);
  }
  if (!(cfac > 0.0) || !std::isfinite(cfac)) cfac = 1.0;
  for (long e = 0; e < nn; ++e) {
    w->bestS[e] *= cfac;
    rinv[e] /= cfac;
  }
  if (str->pcov != 0) {
    mcd_print_matrix(w, kMcdConsScatter, w->bestS);
    if (p > 1) mcd_note_cons(w, cfac, str->volm * cfac);
  }

  // Reweighting: the cases within the cutoff of the consistent raw estimate.
  long k = 0;
  for (long i = 0; i < n; ++i) {
    const double d = mahad(p, a + i * p, w->bmu, rinv, w->wv);
    if (d <= w->cq) w->indx[k++] = i;
  }
  double* mu = str->xmve;
  double* cov = str->c;
  if (k < 1) return no_reweighted_set(w);
  subset_moments(p, a, w->indx, k, mu, cov, w->wv);
  double* winv = str->c + nn;
  std::memcpy(winv, cov, static_cast<size_t>(nn) * sizeof(double));
  double wdet;
  const int rc = ccinv(w, winv, &wdet);
  if (str->ipri != 0) mcd_print_matrix(w, kMcdRewgtLoc, mu);
  if (str->pcov != 0) {
    mcd_print_matrix(w, kMcdRewgtScatter, cov);
    mcd_note_value(w, kMsgRewgtDeterminant, wdet);
  }
  str->aw = w->wv;
  if (eigen2(str, cov, w->z) == 0)
    for (int j = 0; j < p; ++j) mu[p + j] = w->wv[j];
  else
    for (int j = 0; j < p; ++j) mu[p + j] = missing_value();
  if (str->ipri != 0) mcd_print_matrix(w, kMcdEigen, mu + p);
  double* cor = str->ocor != 0 ? mu + 2 * p + nn : scratch;
  if (str->ocor != 0 || str->pcor != 0) cov2cor(p, cov, cor, w->wv);
  if (str->pcor != 0) mcd_print_matrix(w, kMcdRewgtCorr, cor);
  if (rc < 0) {
    xpmlog(kSetModule, kMsgReweightedSingular);
    str->aw = w->wv;
    if (eigen2(str, cov, w->z) != 0) return kMcdEigenFail;
    finish_exact(w, 2, false);
    return 0;
  }

  long zeros = 0;
  for (long i = 0; i < n; ++i) {
    const double d = mahad(p, a + i * p, mu, winv, w->wv);
    w->dd[i] = d;
    const bool in = d <= w->cq;
    w->d2[i] = in ? 1.0 : 0.0;
    if (!in) ++zeros;
  }
  str->nzwe = n - zeros;
  if (str->ipri >= 2) print_distances_mcd(w);
  return 0;
}

// h (the default, or the given one clamped into its bounds), its breakdown value and h/n.
void choose_h(McdWork* w) {
  LMTSTR* str = w->str;
  const long n = w->n;
  const int p = w->p;
  w->hdef = (n + p + 1) / 2;
  long h = w->hdef;
  if (str->jqu != 0) {
    const long lo = n / 2 + 1;
    // For n = 2 the upper bound (1) falls below the lower one: only h = n holds a majority.
    const long hi = std::max((3 * n) / 4 + (p + 1) / 4, lo);
    h = str->jqu;
    if (h < lo || h > hi) {
      h = h < lo ? lo : hi;
      xpmlog(kSetModule, kMsgHRange, lo, hi);
    }
  }
  str->jqu = h;
  w->h = h;
  nbreak2(h, n, p, &w->bper);
  w->alpha = static_cast<double>(h) / static_cast<double>(n);
}

// The reweighting cutoff compared with squared distances: the user's, or the 0.975
// chi-square quantile, whose root is then reported.
void prepare_cutoff(McdWork* w) {
  LMTSTR* str = w->str;
  if (str->cutof > 0.0) {
    w->cq = str->cutof;
  } else {
    double q = 0.0;
    zqc(0.975, w->p, &q);
    w->cq = q;
    str->cutof = std::sqrt(q);
  }
}

// What the classical estimate leaves for the raw estimate.
struct Classical {
  double det = 0.0;   // determinant of the covariance
  double dmax = 0.0;  // largest squared Mahalanobis distance
};

// Classical mean and covariance (xmve, c) with their reports, the medians and MADs, and the
// classical squared distances (maha). A constant variable or a singular covariance is an
// exact fit, which ends the run: kMcdExact or kMcdEigenFail then, else kMcdGoOn.
int classical_statistics(McdWork* w, Classical* cl) {
  LMTSTR* str = w->str;
  const int p = w->p;
  const long n = w->n;
  const long nn = w->nn;
  double* cm = str->xmve;
  double* csd = str->xmve + p;
  double* ccov = str->c;
  double* cinv = str->c + nn;
  for (long i = 0; i < n; ++i) w->indx[i] = i;
  subset_moments(p, str->a, w->indx, n, cm, ccov, w->wv);
  if (str->ipri != 0) mcd_print_matrix(w, kMcdClassicalMean, cm);
  if (str->pcov != 0) mcd_print_matrix(w, kMcdClassicalCov, ccov);
  for (int j = 0; j < p; ++j) {
    for (long i = 0; i < n; ++i) w->dd[i] = str->a[i * p + j];
    w->med[j] = median(0, n, w->dd);
    for (long i = 0; i < n; ++i) w->dd[i] = std::fabs(str->a[i * p + j] - w->med[j]);
    w->mad[j] = median(0, n, w->dd);
  }
  if (str->ipri != 0) mcd_print_median_mad(w, w->dd);
  for (int j = 0; j < p; ++j)
    if (ccov[j * (j + 3) / 2] == 0.0) {
      if (str->ipri != 0) xpmlog(kSetModule, kMsgClassicalSingular);
      return exact_from(w);
    }
  if (str->pcor != 0) {
    cov2cor(p, ccov, str->c + 2 * nn, csd);
    mcd_print_matrix(w, kMcdClassicalCorr, str->c + 2 * nn);
  }
  std::memcpy(cinv, ccov, static_cast<size_t>(nn) * sizeof(double));
  if (ccinv(w, cinv, &cl->det) < 0) {
    if (str->ipri != 0) xpmlog(kSetModule, kMsgClassicalSingular);
    return exact_from(w);
  }
  for (long i = 0; i < n; ++i) {
    str->maha[i] = mahad(p, str->a + i * p, cm, cinv, w->wv);
    if (str->maha[i] > cl->dmax) cl->dmax = str->maha[i];
  }
  return kMcdGoOn;
}

// The raw MCD into bmu and bestS on the data's scale, and its consistency factor: the
// univariate window (p = 1), the classical estimate (h = n), or the FAST-MCD search.
// search_det: the determinant is to be taken from the raw inverse. kMcdGoOn, or how the
// search ended the run.
int raw_estimate(McdWork* w, const double* uni, const Classical& cl, double* cfac, bool* search_det) {
  LMTSTR* str = w->str;
  const int p = w->p;
  const long n = w->n;
  *cfac = 1.0;
  *search_det = false;
  if (p == 1) {
    w->bmu[0] = uni[0];
    w->bestS[0] = uni[1];
    str->volm = missing_value();
    str->dism = missing_value();
    return kMcdGoOn;
  }
  if (w->h == n) {
    // The only h-subset is the whole data set: the raw MCD is the classical estimate.
    if (str->ipri != 0) xpmlog(kSetModule, kMsgHIsN);
    std::memcpy(w->bmu, str->xmve, static_cast<size_t>(p) * sizeof(double));
    std::memcpy(w->bestS, str->c, static_cast<size_t>(w->nn) * sizeof(double));
    for (long i = 0; i < n; ++i) str->jbst[i] = i + 1;
    str->volm = cl.det;
    str->dism = std::sqrt(cl.dmax);
    str->fact = 1.0;
    return kMcdGoOn;
  }
  const int rc = mcd_search(w);
  if (rc != kMcdGoOn) return rc;
  if (str->ipri > 2) xpmlog(kSetModule, kMsgWorkCount, w->wcount);
  transf(p, n, w->med, w->mad, w->bmu, w->bestS, str->a);
  double chi_med = 0.0;
  if (zqc(0.5, p, &chi_med) == 0 && chi_med > 0.0) *cfac = w->med_d2 / chi_med;
  str->fact = *cfac;
  *search_det = true;
  return kMcdGoOn;
}

// The engine's return code of a run that ended early.
int engine_status(int rc) { return rc == kMcdEigenFail ? -3 : 0; }

}  // namespace

int run(LMTSTR* str) {
  if (const int rc = mcd_check_problem(str->ncas, str->nvar); rc != 0) return rc;
  fast_settle_print_flags(str);
  str->jerd = 0;
  str->jlp = 0;
  const int p = str->nvar;
  str->nnva = static_cast<long>(p) * (p + 1) / 2;
  if (str->cofo != 0) xpmlog(kSetModule, kMsgStartIgnored);

  McdWork wk{};
  McdWork* w = &wk;
  w->str = str;
  w->n = str->ncas;
  w->p = p;
  w->nn = str->nnva;
  carve(w);
  // A zero MAD is judged on the scale of rounding errors of p-dimensional sums.
  w->eps = p < 5 ? 1e-12 : (p < 9 ? 1e-14 : 1e-16);
  choose_h(w);
  prepare_cutoff(w);
  fast_seeds(str->seed, str->copr, &w->useed, &w->rseed);

  double uni[2] = {0.0, 0.0};  // p = 1: location and squared scale of the best window
  if (p == 1) {
    if (str->ipri >= 5)
      xpslog("%3zThe program carries out the actual computations.%s", " This may take some time...");
    double scale = 0.0;
    univariate(w, &uni[0], &scale);
    uni[1] = scale * scale;
  }
  if (str->ipri != 0) mcd_print_header(w, uni);

  Classical cl;
  if (const int rc = classical_statistics(w, &cl); rc != kMcdGoOn) return engine_status(rc);
  double cfac = 1.0;
  bool search_det = false;
  if (const int rc = raw_estimate(w, uni, cl, &cfac, &search_det); rc != kMcdGoOn) return engine_status(rc);
  // The best subset, whichever way it was found (the window for p = 1, all cases for h = n).
  if (str->ipri >= 2) mcd_print_best_half(w, w->dd);
  return engine_status(finish(w, cfac, search_det));
}

}  // namespace mcd

int zmcd(LMTSTR* str) { return mcd::run(str); }

}  // namespace robmat
