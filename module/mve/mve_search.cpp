// The MVE subset search: the work-space layout, one subset's log determinant and distances
// from scratch (getlog1) or by updating a triangular factor (getlog2), the volume objective,
// and domve, which enumerates or draws the subsets. Distances of a subset that cannot beat
// the best so far are cut short: the objective grows with the h-th smallest distance, so
// once too many distances exceed the bound's limit the subset is decided.
#include <cfloat>
#include <cmath>
#include <cstring>

#include "kernels/draws.h"
#include "kernels/machine.h"
#include "kernels/moments.h"
#include "kernels/random.h"
#include "kernels/select.h"
#include "kernels/triangular.h"
#include "kernels/udu.h"
#include "mve/mve_internal.h"
#include "mve/mve_report.h"
#include "regression/regression.h"
#include "reports/iteration.h"
#include "robmat/services.h"

namespace robmat {

namespace {

long packed(long p) { return p * (p + 1) / 2; }
long scratch_doubles(long p) { return 2 * packed(p) + p * p + 9 * p + 5 + kScreenRows * p; }
// Components of every distance computed before any is completed.
constexpr int kScreen = 2;
constexpr long kBox = 10;  // entries of the box of best subsets
constexpr double kLn10 = 2.302585092994046;
// exp of more overflows; the objective then takes the largest double for the determinant.
constexpr double kLogDblMax = 709.782712893384;

}  // namespace

MveSizes mve_sizes(long n, long p, int ocor) {
  MveSizes s{};
  s.dneed = scratch_doubles(p) + kBox;
  s.doubles = n * p + (p + 2) * (p + 1) + s.dneed + n;
  s.longs = 4 * (p + 1) + 2 * n + kBox * (p + 1) + p;
  s.lneed = s.longs;
  s.names = p + 1;
  s.est_rows = static_cast<int32_t>(ocor != 0 ? 2 * p + 2 : p + 2);
  return s;
}

void mve_carve(LMTSTR* str, double* dbl, long* lng) {
  const long n = str->ncas;
  const long p = str->nvar;
  const MveSizes s = mve_sizes(n, p, str->ocor);
  str->dneed = s.dneed;
  str->lneed = s.lneed;
  str->inca = p;
  str->a = dbl;
  str->c = str->a + n * p;
  str->h = str->c + (p + 2) * (p + 1) / 2;
  str->work = str->c + (p + 2) * (p + 1);
  str->dwim = str->work + s.dneed - kBox;
  str->aw = str->work + s.dneed;
  str->jsub = lng;
  str->jbst = lng + (p + 1);
  str->iw = lng + 2 * (p + 1);
  str->lsub = lng + 4 * (p + 1);
  str->lwim = str->lsub + n;
}

namespace mve {

Scratch scratch(const LMTSTR* str) {
  const long p = str->nvar;
  const long n = str->ncas;
  const long nn = packed(p);
  if (str->dneed < scratch_doubles(p) + kBox || str->lneed < mve_sizes(n, p, 0).longs) abort_run();
  Scratch s{};
  double* d = str->work;
  s.cov = d;
  s.fac = d + nn;
  s.w = d + 2 * nn;
  d += 2 * nn + p * p;
  s.dv = d;
  s.cr = d + p;
  s.sr = d + 2 * p;
  s.wv = d + 3 * p;
  s.rhs = d + 4 * p;
  s.e = d + 5 * p;
  s.tri = d + 6 * p;
  s.dtin = d + 9 * p;
  s.block = d + 9 * p + 5;
  s.order = str->jsub + 3 * (p + 1);
  s.tags = str->jsub + 4 * (p + 1) + n + kBox * (p + 1);
  s.pending = s.tags + p;
  return s;
}

double tolerance(const LMTSTR* str) { return str->sing > 0.0 ? str->sing : 1e-8; }

double objective(const LMTSTR* str, double ldet, double d2, double* dist) {
  const double e = ldet < kLogDblMax ? std::exp(ldet) : DBL_MAX;
  *dist = d2 < 0.0 ? 0.0 : std::sqrt(d2);
  return std::exp(static_cast<double>(str->nvar) * std::log(*dist)) * std::sqrt(e);
}

namespace {

// The largest h-th squared distance whose objective can still be at most `bound`, with room
// for the rounding of the objective's exp and log; +infinity when nothing can be excluded.
double distance_limit(const LMTSTR* str, double ldet, double bound) {
  if (!(bound < DBL_MAX)) return INFINITY;
  const double root_det = std::sqrt(ldet < kLogDblMax ? std::exp(ldet) : DBL_MAX);
  if (root_det == 0.0) return INFINITY;  // every objective is 0
  if (!(bound > 0.0)) return 0.0;
  const double t = std::pow(bound / root_det, 2.0 / static_cast<double>(str->nvar));
  return std::isfinite(t) ? t * (1.0 + 1e-6) : INFINITY;
}

// getlog1's factorization: the mean of jsub into xmve, its covariance factored by zududec
// for the singularity verdict and the determinant, and the whitening factor of the
// distances (or, when rounding keeps the covariance from being positive definite, its UDU'
// inverse in fac). Returns 0 or -1 (singular).
int factor_scratch(LMTSTR* str, const Scratch& s, double* ldet, bool* whitened) {
  const int p = str->nvar;
  const long nn = packed(p);
  subset_moments(p, str->a, str->jsub, p + 1, str->xmve, s.cov, s.dv);
  std::memcpy(s.fac, s.cov, static_cast<size_t>(nn) * sizeof(double));
  if (zududec(p, tolerance(str), s.dtin, s.fac, str->iw) != 0) return -1;
  *ldet = std::log(std::fabs(s.dtin[0])) + s.dtin[1] * kLn10;
  *whitened = whitening_factor(p, s.cov, s.w, s.tri) == 0;
  if (!*whitened) zuduinv(p, s.fac, str->iw, s.wv);
  return 0;
}

// getlog2's factorization: R (raw cross products of jsub's rows, packed in c) and the sum of
// the rows (after R's copy) rebuilt or updated, then the copy centred and scaled to a factor
// of the covariance, whose inverse transpose whitens the distances.
int factor_update(LMTSTR* str, const Scratch& s, int* doup, long obin, long obout, double* ldet) {
  const int p = str->nvar;
  const long nn = packed(p);
  const double t = tolerance(str);
  double* r = str->c;
  double* rc = str->c + nn;
  double* sum = str->c + 2 * nn;
  double* a = str->a;
  if (*doup == 0) {
    for (long e = 0; e < nn; ++e) r[e] = 0.0;
    for (int j = 0; j < p; ++j) sum[j] = 0.0;
    for (int k = 0; k <= p; ++k) {
      double* row = a + str->jsub[k] * p;
      ztriup2(p, 1, r, row, s.cr, s.sr);
      for (int j = 0; j < p; ++j) sum[j] += row[j];
    }
    for (int j = 0; j < p; ++j)
      if (!(std::fabs(r[j * (j + 3) / 2]) > t)) return -3;
    *doup = 1;
  } else {
    double* in = a + obin * p;
    double* out = a + obout * p;
    ztriup2(p, 1, r, in, s.cr, s.sr);
    if (ztrido2(p, 1, t, r, out, s.cr, s.sr) != 0) {
      *doup = 0;  // R holds the entering row too: rebuild next time
      return -1;
    }
    for (int j = 0; j < p; ++j) sum[j] += in[j] - out[j];
  }
  const double k = static_cast<double>(p + 1);
  const double root_k = std::sqrt(k);
  for (int j = 0; j < p; ++j) {
    str->xmve[j] = sum[j] / k;
    s.dv[j] = root_k * str->xmve[j];
  }
  std::memcpy(rc, r, static_cast<size_t>(nn) * sizeof(double));
  // Removing sqrt(p+1) times the mean turns the raw cross products into centred ones.
  if (ztrido2(p, 1, 10.0 * t, rc, s.dv, s.cr, s.sr) != 0) return -2;
  const double scale = 1.0 / std::sqrt(static_cast<double>(p));
  double ld = 0.0;
  for (long e = 0; e < nn; ++e) rc[e] *= scale;
  for (int j = 0; j < p; ++j) {
    const double d = std::fabs(rc[j * (j + 3) / 2]);
    if (d == 0.0) return -3;
    ld += std::log(d);
  }
  *ldet = 2.0 * ld;
  s.cov[0] = rc[0] * rc[0];
  // R packed by columns is R' packed by rows: its inverse whitens the distances.
  invert_lower(p, rc);
  for (int i = 0; i < p; ++i)
    for (int j = 0; j < p; ++j) s.w[i * p + j] = j <= i ? rc[i * (i + 1) / 2 + j] : 0.0;
  return 0;
}

// Squared distances of every observation into dmve; those at most `limit` also into aw, in
// observation order, and only those are complete. A subset whose h-th distance exceeds the
// limit is decided once more than n - h distances do; the distances are therefore screened
// by their first components (the thinnest directions of the subset, where a distance grows
// fastest) before any is completed, and once decided the rest are followed only as far as
// the test for a vanishing distance needs. Returns the number copied to aw, or -2 when some
// squared distance is at most the smallest normal double.
long distances(LMTSTR* str, const Scratch& s, bool whitened, double limit) {
  const int p = str->nvar;
  const long n = str->ncas;
  const double* a = str->a;
  const double* mu = str->xmve;
  double* d2 = str->dmve;
  auto deviations = [&](long i) {
    for (int j = 0; j < p; ++j) s.dv[j] = a[i * p + j] - mu[j];
  };
  if (!whitened || !(limit < INFINITY)) {
    for (long i = 0; i < n; ++i) {
      double d;
      if (whitened) {
        deviations(i);
        d = whitened_components(p, s.dv, s.w, 0, p, 0.0, INFINITY);
      } else {
        d = mahad(p, a + i * p, mu, s.fac, s.dv);
      }
      if (d <= kDblMin) return -2;
      d2[i] = str->aw[i] = d;
    }
    return n;
  }
  const long spare = n - str->jqu;  // distances that may exceed the limit
  const double cut = limit > kDblMin ? limit : kDblMin;
  const int screen = p < kScreen ? p : kScreen;
  long* pending = s.pending;
  long np = 0;
  long over = 0;
  // A row whose first deviation alone gives a squared distance of a million times the
  // smallest normal double cannot vanish: (x-mu)' C^-1 (x-mu) >= (x_0-mu_0)^2 / C_00.
  const double nonzero = 1e6 * kDblMin * s.cov[0];
  auto complete_if_vanishing = [&](long i) {
    if (d2[i] > kDblMin) return true;
    deviations(i);
    d2[i] = whitened_components(p, s.dv, s.w, 0, p, 0.0, kDblMin);
    return d2[i] > kDblMin;
  };
  auto decided = [&](long from) {
    for (long t = 0; t < np; ++t)
      if (!complete_if_vanishing(pending[t])) return -2L;
    for (long i = from; i < n; ++i) {
      const double d0 = a[i * p] - mu[0];
      d2[i] = d0 * d0 > nonzero ? INFINITY : 0.0;
      if (!complete_if_vanishing(i)) return -2L;
    }
    return 0L;
  };
  for (long i0 = 0; i0 < n; i0 += kScreenRows) {
    const long m = n - i0 < kScreenRows ? n - i0 : kScreenRows;
    whitened_screen(p, m, a + i0 * p, mu, s.w, screen, d2 + i0, s.block);
    for (long i = i0; i < i0 + m; ++i) {
      if (d2[i] <= cut)
        pending[np++] = i;
      else
        ++over;
    }
    if (over > spare) return decided(i0 + m);
  }
  for (int k = screen; k < p && np > 0; ++k) {
    long kept = 0;
    for (long t = 0; t < np; ++t) {
      const long i = pending[t];
      deviations(i);
      d2[i] = whitened_components(p, s.dv, s.w, k, k + 1, d2[i], cut);
      if (d2[i] <= cut)
        pending[kept++] = i;
      else
        ++over;
    }
    np = kept;
    if (over > spare) return decided(n);
  }
  long kept = 0;
  for (long t = 0; t < np; ++t) {
    const double d = d2[pending[t]];
    if (d <= kDblMin) return -2;
    if (d <= limit) str->aw[kept++] = d;
  }
  return kept;
}

}  // namespace

int evaluate(LMTSTR* str, const Scratch& s, Factoring* f, long obin, long obout, double bound, Trial* t) {
  bool whitened = true;
  const int rc = f->update ? factor_update(str, s, &f->doup, obin, obout, &t->ldet)
                           : factor_scratch(str, s, &t->ldet, &whitened);
  if (rc != 0) return rc;
  const double limit = distance_limit(str, t->ldet, bound);
  const long kept = distances(str, s, whitened, limit);
  if (kept < 0) return -2;
  if (kept < str->jqu) {
    t->obj = INFINITY;
    t->dist = 0.0;
    return 0;
  }
  const double d2 = pull(str->jqu - 1, kept, str->aw);
  t->obj = objective(str, t->ldet, d2, &t->dist);
  return 0;
}

}  // namespace mve

using mve::Factoring;
using mve::Scratch;
using mve::Trial;

int getlog1(LMTSTR* str, double* ldet) {
  const Scratch s = mve::scratch(str);
  Factoring f;
  Trial t;
  const int rc = mve::evaluate(str, s, &f, -1, -1, INFINITY, &t);
  *ldet = t.ldet;
  return rc;
}

int getlog2(LMTSTR* str, int* doup, long obin, long obout, double* ldet) {
  const Scratch s = mve::scratch(str);
  Factoring f{true, *doup};
  Trial t;
  const int rc = mve::evaluate(str, s, &f, obin, obout, INFINITY, &t);
  *doup = f.doup;
  *ldet = t.ldet;
  return rc;
}

double ofmve(LMTSTR* str, double ldet, double* dist) {
  const long n = str->ncas;
  std::memcpy(str->aw, str->dmve, static_cast<size_t>(n) * sizeof(double));
  return mve::objective(str, ldet, pull(str->jqu - 1, n, str->aw), dist);
}

namespace {

// Progress of the search: percent thresholds advance by the step; print level 1 writes note
// 402 and skips a step, level 2 and above add a history row; level 5 a row every subset.
struct Progress {
  IterHist0 hist;
  int step = 25;
  int threshold = 25;
};

void progress(LMTSTR* str, Progress* pg, long it, double obj) {
  const int pct = static_cast<int>(static_cast<double>(it + 1) * 100.0 / static_cast<double>(str->nrep));
  bool row = str->ipri >= 5;
  if (pct >= pg->threshold) {
    pg->threshold += pg->step;
    if (str->ipri == 1) {
      mve_note_percent(str->rpx, pct);
      pg->threshold += pg->step;
    } else {
      row = true;
    }
  }
  if (!row) return;
  pg->hist.subset = it + 1;
  pg->hist.singular = str->jerd;
  pg->hist.curr = obj;
  pg->hist.best = str->volm;
  pg->hist.pct = pct;
  iterhist0_add(&pg->hist);
}

// A random subset: p + 1 distinct indices from the 16-bit generator (copr = 0), or the
// previous subset with one member replaced from the uniform stream.
void draw_subset(LMTSTR* str, long* seed) {
  const long k = str->nvar + 1;
  if (str->copr == 0)
    ranpro(k, str->ncas, seed, str->jsub);
  else
    ranrep(k, str->ncas, seed, str->jsub);
}

}  // namespace

int domve(LMTSTR* str, int job, int* doim) {
  const long n = str->ncas;
  const int p = str->nvar;
  const long k = p + 1;
  const Scratch s = mve::scratch(str);
  chrep(str, static_cast<int>(k));
  const bool random = str->algo != 0;
  *doim = str->doim != 0 && random ? str->doim : 0;
  if (str->ipri != 0) mve_note(str->rpx, random ? mve::kNoteRandom : mve::kNoteEnumeration);
  Factoring f;
  f.update = !random && str->noup == 0 && p > 1;
  const long nrep = str->nrep;
  Progress pg;
  pg.step = nrep > 10000 ? 10 : 25;
  pg.threshold = pg.step;
  str->nbox = 0;
  str->of10 = DBL_MAX;
  str->jerd = 0;
  for (long j = 0; j < k; ++j) str->jsub[j] = str->jbst[j] = j;
  const bool history = str->ipri >= 2;
  if (history) iterhist0_open(str, &pg.hist);
  // Below print level 5 no objective is shown unless it is the best, so distances are cut
  // short against the best (or the box's last entry while the box is being filled).
  const bool exact = str->ipri >= 5;
  long seed = str->seed;
  long draws = 0;
  long it = 0;
  while (it < nrep) {
    long obin = -1;
    long obout = -1;
    if (!random) {
      if (it > 0) {
        long enter;
        long leave;
        if (genpn(k, n, str->jsub, &enter, &leave) != 0) break;
        if (str->jsub[p] == enter) {
          obin = enter;
          obout = leave;
        } else {
          f.doup = 0;
        }
      }
    } else {
      if (draws >= 3 * nrep) break;
      ++draws;
      if (job != 0 && it == 0) {
        for (long j = 0; j < k; ++j) str->jsub[j] = j;
      } else if (job != 0 && it == 1) {
        for (long j = 0; j < k; ++j) str->jsub[j] = n - 1 - j;
      } else {
        draw_subset(str, &seed);
      }
    }
    const double bound = exact ? INFINITY : (*doim != 0 ? std::fmax(str->volm, str->of10) : str->volm);
    Trial t;
    if (mve::evaluate(str, s, &f, obin, obout, bound, &t) != 0) {
      ++str->jerd;
      // In the enumeration and for the first two random subsets a singular subset still
      // uses up its turn.
      if (!random || it < 2) ++it;
      continue;
    }
    // Strictly smaller: of equal objectives the earlier subset stays.
    if (t.obj < str->volm) {
      str->volm = t.obj;
      str->dism = t.dist;
      std::memcpy(str->jbst, str->jsub, static_cast<size_t>(k) * sizeof(long));
    }
    if (*doim != 0 && t.obj <= str->of10) inbox(str, 2, t.obj);
    if (str->ipri != 0) progress(str, &pg, it, t.obj);
    ++it;
  }
  if (history) iterhist0_close(str, &pg.hist);
  str->jlp = random ? draws : nrep;
  if (str->ipri != 0) mve_note_value(str->rpx, mve::kNoteBest, str->volm);
  if (str->jerd == str->jlp) {
    if (str->ipri != 0) mve_note(str->rpx, mve::kMsgAllSingular);
    xpmlog(kSetModule, mve::kMsgAllSingular);
    abort_run();
  }
  return 0;
}

}  // namespace robmat
