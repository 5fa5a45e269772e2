// The elemental-subset search of LMS and LTS: how many subsets, the exact solve of one subset
// (LU, or QR for the enumeration), the box of the ten best subsets for a later exchange, the
// search itself (complete lexicographic enumeration or random subsets from either generator)
// and sublms, which turns the best fit into criterion, scales, R-square and weights.
#include <cassert>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "kernels/draws.h"
#include "kernels/lu.h"
#include "kernels/machine.h"
#include "kernels/qr.h"
#include "kernels/random.h"
#include "kernels/select.h"
#include "regression/engine_report.h"
#include "regression/exchange.h"
#include "regression/fast_lts.h"
#include "regression/regression.h"
#include "robmat/services.h"

namespace robmat {

using namespace lmts_report;

namespace {

// Subsets of k = min(p, 50) observations: random ones when n exceeds replo[k-1], reptb[k-1]
// of them by default.
constexpr long replo[50] = {500, 50, 22, 17, 15, 14};
constexpr long reptb[50] = {500,  1000, 1500, 2000, 2500, 3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000,
                            3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000,
                            3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000,
                            3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000};

// Residuals at or below this are zero: a few units of rounding of standardized data.
constexpr double kZeroResidual = 3.330669073875471e-16;

void copy_longs(long* to, const long* from, long k) {
  std::memcpy(to, from, static_cast<size_t>(k) * sizeof(long));
}

void copy_doubles(double* to, const double* from, long k) {
  std::memcpy(to, from, static_cast<size_t>(k) * sizeof(double));
}

// The one-regressor subset: y/x, and 0 for x = 0 (a horizontal fit rather than a failure).
void solve_single(LMTSTR* str) {
  const double x = str->a[str->jsub[0] * str->inca];
  str->work[0] = x != 0.0 ? str->b[str->jsub[0] * str->incb] / x : 0.0;
}

// The next subset of the lexicographic enumeration. Sets *obin/*obout to the observations
// that entered and left when only the last member moved, -1 after a carry. Returns false when
// the enumeration is complete.
bool next_combination(long* jsub, long n, int p, long* obin, long* obout) {
  int k = p - 1;
  ++jsub[k];
  bool carried = false;
  while (k > 0 && jsub[k] > n - p + k) {
    --k;
    ++jsub[k];
    for (int j = k + 1; j < p; ++j) jsub[j] = jsub[j - 1] + 1;
    carried = true;
  }
  if (jsub[0] > n - p) return false;
  *obin = carried ? -1 : jsub[p - 1];
  *obout = carried ? -1 : jsub[p - 1] - 1;
  return true;
}

// The uniform stream turned into an index below m.
long uniform_index(long* seed, long m) {
  const long j = static_cast<long>(zranuni(seed) * static_cast<double>(m));
  return j < m ? j : m - 1;
}

bool member(const long* jsub, int p, long j) {
  for (int k = 0; k < p; ++k)
    if (jsub[k] == j) return true;
  return false;
}

// A new random subset: a whole one from the 16-bit generator (copr = 0), or the previous one
// with one member replaced from the uniform stream.
void draw_subset(LMTSTR* str, long* seed) {
  const long n = str->ncas;
  const int p = str->nvar;
  if (str->copr == 0) {
    ranpro(p, n, seed, str->jsub);
    return;
  }
  long j;
  do {
    j = uniform_index(seed, n);
  } while (member(str->jsub, p, j));
  str->jsub[uniform_index(seed, p)] = j;
}

// The exchange refinement of the box (variants 1-3: xchlmts1, xchlmts2, xchlmts3).
void exchange(LMTSTR* str, int variant) { lmts_exchange(str, variant); }

// FAST-LTS (regression/fast_lts.h): the best h-subset's coefficients and criterion; no
// exchange follows.
int fast_lts(LMTSTR* str, int* doim) { return doflts(str, doim); }

// Progress of the search: percent thresholds advance by the step; print level 1 prints a
// note at every other threshold, level 2 and above add a history row; level 5 a row for
// every subset.
struct Progress {
  lmts_report::IterHist0 hist;
  int step;
  int threshold;
};

void progress(LMTSTR* str, Progress* pg, long it, double crit) {
  const int pct = static_cast<int>(100.0 * static_cast<double>(it + 1) / static_cast<double>(str->nrep));
  bool row = str->ipri >= 5;
  if (pct >= pg->threshold) {
    pg->threshold += pg->step;
    if (str->ipri == 1) {
      lmts_report::percent_done(str, pct);
      pg->threshold += pg->step;
    } else {
      row = true;
    }
  }
  if (!row) return;
  pg->hist.subset = it + 1;
  pg->hist.singular = str->jerd;
  pg->hist.curr = crit;
  pg->hist.best = str->fctw;
  pg->hist.pct = pct;
  lmts_report::iterhist0_add(str, &pg->hist);
}

}  // namespace

void chrep(LMTSTR* str, int nimx) {
  const long n = str->ncas;
  const long count = ncomb(nimx, n);
  if (str->nrep == 0) {
    const int k = nimx < 50 ? nimx : 50;
    str->nrep = n > replo[k - 1] ? reptb[k - 1] : count;
  }
  if (str->nrep < count) {
    str->algo = 1;
  } else {
    str->algo = 0;
    str->nrep = count;
  }
  lmts_report::subset_plan(str, count, nimx);
  lmts_report::subset_count_warning(str, nimx);
}

int getlis1(LMTSTR* str, double* fctw) {
  const int p = str->nvar;
  if (p == 1) {
    solve_single(str);
  } else {
    for (int k = 0; k < p; ++k) {
      copy_doubles(str->c + static_cast<long>(k) * p, str->a + str->jsub[k] * str->inca, p);
      str->work[k] = str->b[str->jsub[k] * str->incb];
    }
    const double sing = str->sing > 0.0 ? str->sing : 1e-8;
    if (zludec(p, p, sing, nullptr, str->c, str->iw) != 0) return -1;
    zlusol(0, p, 1, p, 1, str->c, str->work, str->iw);
  }
  *fctw = oflmts(str, 1, str->work);
  return 0;
}

int getlis2(LMTSTR* str, int* /*doup*/, long /*obin*/, long /*obout*/, double* fctw) {
  const int p = str->nvar;
  if (p == 1) {
    solve_single(str);
  } else {
    double* y = str->aw;
    double* row = str->aw + p;
    double* w = str->aw + 2 * p;
    for (int k = 0; k < p; ++k) {
      copy_doubles(row, str->a + str->jsub[k] * str->inca, p);
      if (qrupd(p, k, row, str->c, str->rupd, w) != 0) return -1;
    }
    for (int k = 0; k < p; ++k) y[k] = str->b[str->jsub[k] * str->incb];
    if (fosubd(p, str->rupd, y) != 0) return -2;
    // The subset design is R'Q', so its solution is Q z with R'z = y.
    for (int i = 0; i < p; ++i) {
      double s = 0.0;
      for (int k = 0; k < p; ++k) s += str->c[static_cast<long>(i) * p + k] * y[k];
      str->work[i] = s;
    }
  }
  *fctw = oflmts(str, 1, str->work);
  return 0;
}

void inbox(LMTSTR* str, int job, double fctw) {
  const long m = job > 1 ? str->nvar + 1 : str->nvar;
  int i = 0;
  while (i < str->nbox && fctw > str->dwim[i]) ++i;
  if (i == 10) return;
  lsort(1, m, str->jsub);
  const int kept = str->nbox == 10 ? 9 : str->nbox;
  if (i < kept && std::memcmp(str->lwim + i * m, str->jsub, static_cast<size_t>(m) * sizeof(long)) == 0)
    return;
  for (int k = kept - 1; k >= i; --k) {
    str->dwim[k + 1] = str->dwim[k];
    copy_longs(str->lwim + (k + 1) * m, str->lwim + k * m, m);
  }
  str->dwim[i] = fctw;
  copy_longs(str->lwim + i * m, str->jsub, m);
  str->nbox = kept + 1;
  str->of10 = str->dwim[kept];
}

void restt(LMTSTR* str, int jobr, int jabs, int jopt, double* scal, double quan) {
  const long n = str->ncas;
  const int p = str->nvar;
  const bool absolute = jabs == 1 && jopt != 1;
  long zeros = 0;
  for (long i = 0; i < n; ++i) {
    const double* ai = str->a + i * str->inca;
    double r;
    if (jobr == 1) {
      double fit = 0.0;
      for (int j = 0; j < p; ++j) fit += (ai[j] * str->amad[j] + str->amed[j]) * str->coef[j];
      r = (str->b[i * str->incb] * str->bmad + str->bmed) - fit;
    } else {
      double fit = 0.0;
      for (int j = 0; j < p; ++j) fit += ai[j] * str->coef[j];
      r = str->b[i * str->incb] - fit;
    }
    if (absolute) r = std::fabs(r);
    if (std::fabs(r) < kZeroResidual) {
      r = 0.0;
      ++zeros;
    }
    str->sres[i] = r;
  }
  const double dn = static_cast<double>(n);
  if (jopt == 0) {
    *scal = 0.0;
    str->nzwe = zeros;
    str->avw = static_cast<double>(zeros) / dn;
    return;
  }
  const double cut = quan * str->ztst;
  long k = 0;
  double ss = 0.0;
  for (long i = 0; i < n; ++i) {
    const double r = str->sres[i];
    if (std::fabs(r) <= cut) {
      ++k;
      ss += r * r;
    }
  }
  const double d = k > p ? static_cast<double>(k - p) : 1.0;
  const double s = std::sqrt(ss / d);
  *scal = s;
  long ones = 0;
  for (long i = 0; i < n; ++i) {
    const bool in = std::fabs(str->sres[i]) <= str->ztst * s;
    str->wgts[i] = in ? 1.0 : 0.0;
    ones += in ? 1 : 0;
  }
  str->nzwe = ones;
  str->avw = static_cast<double>(ones) / dn;
}

int dolmts(LMTSTR* str, int* doim) {
  const long n = str->ncas;
  const int p = str->nvar;
  chrep(str, p);
  const bool random = str->algo == 1;
  *doim = random ? str->doim : 0;
  lmts_report::note(str, random ? kMsgRandomSearch : kMsgFullSearch);
  const bool use_lu = random || str->noup != 0 || p < 2;
  const long nrep = str->nrep;
  Progress pg{};
  pg.step = nrep > 10000 ? 10 : 25;
  pg.threshold = pg.step;
  str->nbox = 0;
  str->of10 = DBL_MAX;
  str->jerd = 0;
  if (!random) {
    // One step of the enumeration from here gives (0, 1, ..., p-1).
    for (int k = 0; k < p - 1; ++k) str->jsub[k] = k;
    str->jsub[p - 1] = p - 2;
  }
  const bool history = str->ipri >= 2;
  if (history) lmts_report::iterhist0_open(str, &pg.hist);
  // The generators work on a copy: the descriptor's seed stays as given.
  long seed = str->seed;
  assert(str->copr == 0 || (static_cast<unsigned long>(seed) & 0xFFFFFFFFul) % 2147483647ul != 0);
  long draws = 0;
  const int box_job = str->ilts != 0 ? 1 : 0;
  long it = 0;
  while (it < nrep) {
    long obin = -1;
    long obout = -1;
    if (!random) {
      if (!next_combination(str->jsub, n, p, &obin, &obout)) break;
    } else if (it == 0) {
      for (int k = 0; k < p; ++k) str->jsub[k] = k;
      ++draws;
    } else if (it == 1) {
      for (int k = 0; k < p; ++k) str->jsub[k] = n - 1 - k;
      ++draws;
    } else {
      if (draws >= 3 * nrep) break;
      ++draws;
      draw_subset(str, &seed);
    }
    double crit;
    int doup = 0;
    const int rc = use_lu ? getlis1(str, &crit) : getlis2(str, &doup, obin, obout, &crit);
    if (rc != 0) {
      ++str->jerd;
      // The first two random subsets are fixed, so a singular one still uses up its turn.
      if (!random || it < 2) ++it;
      continue;
    }
    if (crit < str->prec) {
      str->jhyb = 0;
      str->jlp = random ? draws : it + 1;
      str->fctw = str->psca = str->fckw = crit;
      copy_longs(str->jbst, str->jsub, p);
      copy_doubles(str->coef, str->work, p);
      double unused;
      restt(str, 0, 1, 0, &unused, 0.0);
      if (history) lmts_report::iterhist0_close(str, &pg.hist);
      return 1;
    }
    // Strictly smaller: of equal criteria the earlier subset stays.
    if (crit < str->fctw) {
      str->fctw = crit;
      copy_longs(str->jbst, str->jsub, p);
      copy_doubles(str->coef, str->work, p);
    }
    if (*doim != 0 && crit <= str->of10) inbox(str, box_job, crit);
    if (str->ipri != 0) progress(str, &pg, it, crit);
    if (str->jhyb != 0)
      for (long i = 0; i < n; ++i) {
        const double u = std::fabs(str->sres[i]) / crit;
        if (u > str->uhyb[i]) str->uhyb[i] = u;
      }
    ++it;
  }
  if (history) lmts_report::iterhist0_close(str, &pg.hist);
  str->jlp = random ? draws : nrep;
  lmts_report::note_value(str, kMsgBestCriterion, str->fctw);
  if (str->jerd == str->jlp) {
    lmts_report::all_singular(str);
    abort_run();
  }
  return 0;
}

int sublms(LMTSTR* str) {
  const long n = str->ncas;
  const int p = str->nvar;
  const long h = str->jqu;
  str->fctw = DBL_MAX;
  str->nbox = 0;
  const int box_job = str->ilts != 0 ? 1 : 0;
  if (str->cofo == 0) {
    str->jhyb = str->jdia;
    int variant = 0;
    const int rc = str->flts != 0 ? fast_lts(str, &variant) : dolmts(str, &variant);
    if (rc < 0) return rc;
    if (rc == 1) return 0;
    exchange(str, variant);
  } else if (str->cofo == 1) {
    const int variant = str->doim;
    str->jhyb = 0;
    str->jlp = 1;
    str->jerd = 0;
    copy_longs(str->jsub, str->jbst, p);
    if (getlis1(str, &str->fctw) != 0) {
      const double miss = missing_value();
      str->fctw = miss;
      str->jerd = 1;
      for (int j = 0; j < p; ++j) str->coef[j] = miss;
      for (long i = 0; i < n; ++i) str->sres[i] = miss;
      lmts_report::message(kMsgStartSingular);
      return -1;
    }
    copy_doubles(str->coef, str->work, p);
    if (variant != 0) inbox(str, box_job, str->fctw);
    lmts_report::note_value(str, kMsgStartCriterion, str->fctw);
    exchange(str, variant);
  } else {
    irtran(str, 1);
    str->fctw = oflmts(str, 0, str->coef);
    lmts_report::note_value(str, kMsgStartCriterion, str->fctw);
  }
  str->fckw = str->fctw;
  const double dn = static_cast<double>(n);
  const double dh = static_cast<double>(h);
  const double small = 1.0 + (10.0 / static_cast<double>(n - p)) * (1.0 - dh / dn);
  str->psca = str->ilts != 0 ? str->fact * str->fckw : small * str->fact * str->fckw;
  // Robust R-square: the preliminary scale against the same robust scale of the response
  // alone (around its robust location with an intercept, around 0 without).
  double* y = str->sres;
  double num;
  double sy;
  if (str->noint == 0) {
    for (long i = 0; i < n; ++i) y[i] = str->b[i * str->incb];
    rsort_work(1, n, y, str->aw);
    double loc;
    double scale;
    if (str->ilts == 0) {
      lmsloc(str, &loc, &scale, y);
      sy = small * scale;
    } else {
      ltsloc(str, &loc, &scale, y);
      sy = scale;
    }
    num = str->psca;
  } else {
    for (long i = 0; i < n; ++i) {
      const double v = str->b[i * str->incb] * str->bmad + str->bmed;
      y[i] = str->ilts == 0 ? std::fabs(v) : v * v;
    }
    const double q = pull(h - 1, n, y);
    if (str->ilts == 0) {
      sy = small * str->fact * q;
    } else {
      double s = 0.0;
      for (long i = 0; i < h; ++i) s += y[i];
      sy = str->fact * std::sqrt(s / dh);
    }
    num = str->bmad * str->psca;
  }
  double r2 = 1.0;
  if (std::fabs(sy) >= kHalfEps) r2 = 1.0 - (num / sy) * (num / sy);
  str->rsqu = r2 < 0.0 ? 0.0 : (r2 > 1.0 ? 1.0 : r2);
  double s;
  restt(str, 0, 1, 1, &s, str->psca);
  str->fctw = s;
  return 0;
}

}  // namespace robmat
