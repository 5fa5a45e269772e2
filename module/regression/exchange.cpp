// The pairwise exchange refinement of the LMS/LTS box: passes over the active branches, each
// scanning its exchanges (member out, outside observation in) and moving to the best one
// that improves it. With updating, the member leaves the QR factor once per position and each
// candidate enters as the last vector; otherwise each trial is an elemental LU solve.
#include "regression/exchange.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "kernels/draws.h"
#include "kernels/machine.h"
#include "kernels/qr.h"
#include "regression/regression.h"
#include "reports/iteration.h"
#include "reports/output.h"
#include "robmat/services.h"

namespace robmat {

namespace {

constexpr int kBox = 10;
// An exchange must lower the criterion by more than a relative 1.1e-12, so that the rounding
// of one fit by two factorizations never counts as progress.
constexpr double kAccept = 0.9999999999988898;
constexpr int kNoteVariant = 461;  // variant (int), the routine (text)
constexpr int kNoteResult = 442;   // criterion after the exchange (double)

struct Exchange {
  LMTSTR* str;
  int variant;
  bool updating;
  double stop;     // variant 2: a scan ends at an improvement below stop times the criterion
  double best;     // G: the best criterion over the branches
  int best_entry;  // b
  bool exact;      // a trial fitted exactly: the refinement is over
  IterHist1 hist;
  bool history;
};

long* row_of(LMTSTR* str, int e) { return str->lwim + static_cast<long>(e) * str->nvar; }

void history_row(Exchange* x, int entry, double curr, double bestbr, double best) {
  x->hist.subset = x->str->jlp;
  x->hist.branch = entry + 1;
  x->hist.curr = curr;
  x->hist.bestbr = bestbr;
  x->hist.best = best;
  iterhist1_add(&x->hist);
}

// Q and R of the subset jsub (rows of the design), in c and rupd.
void factor_subset(LMTSTR* str) {
  const int p = str->nvar;
  double* row = str->aw;
  double* w = str->aw + p;
  for (int k = 0; k < p; ++k) {
    std::memcpy(row, str->a + str->jsub[k] * str->inca, static_cast<size_t>(p) * sizeof(double));
    if (qrupd(p, k, row, str->c, str->rupd, w) != 0) abort_run();
  }
}

// The hyperplane through jsub with its last member entered into the factor whose first p - 1
// vectors are the others. Returns 0 with the estimates in work, -1 when the new row is
// dependent, -2 when the triangular solve meets a negligible diagonal.
int solve_updated(LMTSTR* str) {
  const int p = str->nvar;
  double* y = str->aw;
  double* row = str->aw + p;
  double* w = str->aw + 2 * p;
  std::memcpy(row, str->a + str->jsub[p - 1] * str->inca, static_cast<size_t>(p) * sizeof(double));
  if (qrupd(p, p - 1, row, str->c, str->rupd, w) != 0) return -1;
  for (int k = 0; k < p; ++k) y[k] = str->b[str->jsub[k] * str->incb];
  if (fosubd(p, str->rupd, y) != 0) return -2;
  for (int i = 0; i < p; ++i) {
    double s = 0.0;
    for (int k = 0; k < p; ++k) s += str->c[static_cast<long>(i) * p + k] * y[k];
    str->work[i] = s;
  }
  return 0;
}

// Positions to try (in order) and the number of outside observations (lsub, in the order to
// try) for the branch loaded in jsub. Variant 3 orders both by the absolute residuals of the
// branch's own fit.
void plan(Exchange* x, long* order, long* npos, long* ncand) {
  LMTSTR* str = x->str;
  const int p = str->nvar;
  const long outside = str->ncas - p;
  for (long j = 0; j < p; ++j) order[j] = p - 1 - j;
  *npos = p;
  *ncand = outside;
  if (x->variant != 3) return;
  double crit;
  if (getlis1(str, &crit) != 0) abort_run();
  const double* r = str->sres;
  const long* jsub = str->jsub;
  auto by_residual = [r](long u, long v) {
    const double ru = std::fabs(r[u]);
    const double rv = std::fabs(r[v]);
    return ru != rv ? ru < rv : u < v;
  };
  for (long j = 0; j < p; ++j) order[j] = j;
  std::sort(order, order + p, [&](long u, long v) { return by_residual(jsub[u], jsub[v]); });
  const long k = p <= 3 ? p : (p <= 10 ? p / 2 : p / 4);
  const double tau = std::fabs(r[jsub[order[p - k]]]);
  std::reverse(order, order + p);
  *npos = k;
  std::sort(str->lsub, str->lsub + outside, by_residual);
  if (outside <= 9) return;
  long count = 0;
  while (count < outside && std::fabs(r[str->lsub[count]]) <= tau) ++count;
  *ncand = count < 10 ? 10 : std::min(count, outside / 4);
}

// A trial fitted the data exactly: its subset and estimates end the refinement.
void finish_exact(Exchange* x, double crit) {
  LMTSTR* str = x->str;
  str->jhyb = 0;
  str->fctw = crit;
  std::memcpy(str->coef, str->work, static_cast<size_t>(str->nvar) * sizeof(double));
  std::memcpy(str->jbst, str->jsub, static_cast<size_t>(str->nvar) * sizeof(long));
  double unused;
  restt(str, 0, 1, 0, &unused, 0.0);
  x->exact = true;
}

// One branch's scan. Returns true when it recorded an exchange.
bool scan_branch(Exchange* x, int e, long* order) {
  LMTSTR* str = x->str;
  const int p = str->nvar;
  const long n = str->ncas;
  const long nn = static_cast<long>(p) * (p + 1) / 2;
  long* row = row_of(str, e);
  std::memcpy(str->jsub, row, static_cast<size_t>(p) * sizeof(long));
  subset_complement(str->ncas, str->nvar, str->jsub, str->lsub);
  long npos;
  long ncand;
  plan(x, order, &npos, &ncand);
  if (x->updating) factor_subset(str);
  bool moved = false;
  for (long q = 0; q < npos; ++q) {
    const long j = order[q];
    const long member = str->jsub[j];
    long slot = j;
    if (x->updating) {
      std::memcpy(str->cupd, str->c, static_cast<size_t>(p * p) * sizeof(double));
      std::memcpy(str->lupd, str->rupd, static_cast<size_t>(nn) * sizeof(double));
      qrdod(p, p, j, str->c, str->rupd, str->aw);
      std::memmove(str->jsub + j, str->jsub + j + 1, static_cast<size_t>(p - 1 - j) * sizeof(long));
      slot = p - 1;
    }
    bool stop = false;
    for (long c = 0; c < ncand && !stop; ++c) {
      const long l = str->lsub[c];
      str->jsub[slot] = l;
      ++str->jlp;
      double crit;
      if (x->updating) {
        const int rc = solve_updated(str);
        if (rc == -1) ++str->jerd;
        if (rc != 0) continue;
        crit = oflmts(str, 1, str->work);
      } else if (getlis1(str, &crit) != 0) {
        ++str->jerd;
        continue;
      }
      if (crit < str->prec) {
        finish_exact(x, crit);
        return moved;
      }
      const double before = str->dwim[e];
      if (crit < before * kAccept) {
        str->dwim[e] = crit;
        std::memcpy(row, str->jsub, static_cast<size_t>(p) * sizeof(long));
        std::sort(row, row + p);
        moved = true;
        if (x->history && str->ipri >= 3) history_row(x, e, crit, crit, missing_value());
        stop = x->variant == 2 && crit < x->stop * before;
      }
      if (str->jhyb != 0)
        for (long i = 0; i < n; ++i) {
          const double u = std::fabs(str->sres[i]) / crit;
          if (u > str->uhyb[i]) str->uhyb[i] = u;
        }
    }
    if (x->updating) {
      std::memmove(str->jsub + j + 1, str->jsub + j, static_cast<size_t>(p - 1 - j) * sizeof(long));
      std::memcpy(str->c, str->cupd, static_cast<size_t>(p * p) * sizeof(double));
      std::memcpy(str->rupd, str->lupd, static_cast<size_t>(nn) * sizeof(double));
    }
    str->jsub[j] = member;
    if (stop) break;
  }
  return moved;
}

bool same_subset(LMTSTR* str, int e, int g) {
  return std::memcmp(row_of(str, e), row_of(str, g), static_cast<size_t>(str->nvar) * sizeof(long)) == 0;
}

void exchange(LMTSTR* str, int variant) {
  if (str->nbox == 0) return;
  const int nbox = str->nbox;
  Exchange x{};
  x.str = str;
  x.variant = variant;
  x.updating = str->noup == 0 && str->nvar > 1;
  x.stop = str->trex < 0.0 ? 1.0 : std::fmax(1.0 - str->trex, 0.0);
  x.best = str->fctw;
  x.best_entry = 0;
  // Member positions in the order of trial: after the LU pivots in iw.
  long* order = str->iw + str->nvar;
  if (str->ipri != 0)
    note_args(str->rpx, kNoteInSection, kNoteVariant, variant, str->ilts != 0 ? "LTS" : "LMS");
  x.history = str->ipri >= 2;
  if (x.history) iterhist1_open(str, &x.hist);
  for (bool any = true; any && !x.exact;) {
    any = false;
    for (int e = 0; e < nbox && !x.exact; ++e) {
      if (wzmis(str->dwim[e])) continue;
      const bool moved = scan_branch(&x, e, order);
      if (x.exact) break;
      const double bb = str->dwim[e];
      if (!moved) {
        str->dwim[e] = missing_value();
        if (x.history) history_row(&x, e, missing_value(), bb, x.best);
        continue;
      }
      bool duplicate = false;
      for (int g = 0; g < nbox && !duplicate; ++g) duplicate = g != e && same_subset(str, e, g);
      if (duplicate) {
        str->dwim[e] = missing_value();
        continue;
      }
      any = true;
      const bool better = bb < x.best;
      if (better) {
        x.best = bb;
        x.best_entry = e;
      }
      if (x.history && (str->ipri >= 3 || better)) history_row(&x, e, bb, bb, x.best);
    }
  }
  if (x.history) iterhist1_close(str, &x.hist);
  if (x.exact) return;
  str->dwim[x.best_entry] = x.best;
  if (x.best < str->fctw) {
    str->fctw = x.best;
    std::memcpy(str->jsub, row_of(str, x.best_entry), static_cast<size_t>(str->nvar) * sizeof(long));
    std::memcpy(str->jbst, str->jsub, static_cast<size_t>(str->nvar) * sizeof(long));
    double crit;
    if (getlis1(str, &crit) != 0) abort_run();
    std::memcpy(str->coef, str->work, static_cast<size_t>(str->nvar) * sizeof(double));
  }
  if (str->ipri != 0) note_args(str->rpx, kNoteInSection, kNoteResult, str->fctw);
}

}  // namespace

LmtsExchangeSizes lmts_exchange_sizes(long n, int p) {
  const long pp = p;
  return {kBox + pp * pp + pp * (pp + 1) / 2, kBox * pp + (n - pp)};
}

void lmts_carve_exchange(LMTSTR* str, double* dbl, long* lng) {
  const long p = str->nvar;
  str->dwim = dbl;
  str->cupd = dbl + kBox;
  str->lupd = str->cupd + p * p;
  str->lwim = lng;
  str->lsub = lng + kBox * p;
}

void xchlmts1(LMTSTR* str) { exchange(str, 1); }
void xchlmts2(LMTSTR* str) { exchange(str, 2); }
void xchlmts3(LMTSTR* str) { exchange(str, 3); }

void lmts_exchange(LMTSTR* str, int variant) {
  if (variant == 1) xchlmts1(str);
  if (variant == 2) xchlmts2(str);
  if (variant == 3) xchlmts3(str);
}

}  // namespace robmat
