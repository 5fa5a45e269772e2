// Pairwise exchange refinement of the MVE search's box of best subsets: every pass moves each
// active entry to its best neighbour (one member exchanged for one outside observation)
// until no entry moves. The three variants differ only in which exchanges they try and when
// an entry's scan may stop early, so they share one loop.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "kernels/draws.h"
#include "kernels/machine.h"
#include "mve/mve_internal.h"
#include "mve/mve_report.h"
#include "reports/iteration.h"
#include "robmat/services.h"

namespace robmat {

namespace {

using mve::Factoring;
using mve::Scratch;
using mve::Trial;

constexpr int kBox = 10;
// An exchange must lower the objective by more than a relative 1.1e-12: rounding of two
// evaluations of one subset by different factorizations must not count as progress.
constexpr double kAccept = 0.9999999999988898;

// Sorts the k indices in v ascending by the squared distance of the observation they name
// (of the member at that position when pos is given), ties by observation number.
void sort_by_distance(const double* d2, const long* jsub, long* v, long k) {
  std::sort(v, v + k, [d2, jsub](long x, long y) {
    const long ox = jsub != nullptr ? jsub[x] : x;
    const long oy = jsub != nullptr ? jsub[y] : y;
    return d2[ox] != d2[oy] ? d2[ox] < d2[oy] : ox < oy;
  });
}

struct Exchange {
  LMTSTR* str;
  Scratch s;
  int variant;
  long k;              // subset size p + 1
  long outside;        // n - p - 1
  double stop;         // variant 2: an exchange below stop times the objective ends the scan
  bool settled[kBox];  // the entry cannot move any more (or duplicates another)
  IterHist1 hist;
  bool history;
};

void history_row(Exchange* x, int entry, double curr, double bestbr, double best) {
  x->hist.subset = x->str->jlp;
  x->hist.branch = entry + 1;
  x->hist.curr = curr;
  x->hist.bestbr = bestbr;
  x->hist.best = best;
  iterhist1_add(&x->hist);
}

// Positions to try (into order, farthest member first) and the number of outside
// observations to try (lsub reordered, nearest first) for the entry loaded in jsub.
void plan(Exchange* x, long* npos, long* ncand) {
  LMTSTR* str = x->str;
  const long k = x->k;
  long* order = x->s.order;
  for (long j = 0; j < k; ++j) order[j] = j;
  *npos = k;
  *ncand = x->outside;
  if (x->variant == 1) {
    // Positions from the last to the first, outside observations in ascending order.
    std::reverse(order, order + k);
    return;
  }
  double ldet;
  if (getlog1(str, &ldet) != 0) abort_run();
  sort_by_distance(str->dmve, str->jsub, order, k);
  std::reverse(order, order + k);
  sort_by_distance(str->dmve, nullptr, str->lsub, x->outside);
  if (x->variant != 3) return;
  *npos = k <= 3 ? k : (k <= 10 ? k / 2 : k / 4);
  if (x->outside <= 9) return;
  // Outside observations at most as far out as the nearest member tried.
  const double tau = str->dmve[str->jsub[order[*npos - 1]]];
  long count = 0;
  while (count < x->outside && str->dmve[str->lsub[count]] <= tau) ++count;
  *ncand = count < 10 ? 10 : std::min(count, x->outside / 4);
}

// One entry's scan. Returns true when the entry moved.
bool scan_entry(Exchange* x, int e) {
  LMTSTR* str = x->str;
  const long k = x->k;
  long* row = str->lwim + e * k;
  std::memcpy(str->jsub, row, static_cast<size_t>(k) * sizeof(long));
  subset_complement(str->ncas, k, str->jsub, str->lsub);
  long npos;
  long ncand;
  plan(x, &npos, &ncand);
  Factoring f;
  f.update = str->noup == 0 && str->nvar > 1;
  bool moved = false;
  for (long q = 0; q < npos; ++q) {
    const long j = x->s.order[q];
    const long member = str->jsub[j];
    long prev = member;
    f.doup = 0;
    for (long c = 0; c < ncand; ++c) {
      const long l = str->lsub[c];
      str->jsub[j] = l;
      ++str->jlp;
      const double before = str->dwim[e];
      Trial t;
      const int rc = mve::evaluate(str, x->s, &f, l, prev, before * kAccept, &t);
      prev = l;
      if (rc != 0) {
        ++str->jerd;
        continue;
      }
      if (!(t.obj < before * kAccept)) continue;
      str->dwim[e] = t.obj;
      std::memcpy(row, str->jsub, static_cast<size_t>(k) * sizeof(long));
      std::sort(row, row + k);
      moved = true;
      if (x->history && str->ipri >= 3) history_row(x, e, t.obj, t.obj, missing_value());
      if (x->variant == 2 && t.obj < x->stop * before) {
        str->jsub[j] = member;
        return true;
      }
    }
    str->jsub[j] = member;
  }
  return moved;
}

bool same_subset(const LMTSTR* str, long k, int e, int g) {
  return std::memcmp(str->lwim + e * k, str->lwim + g * k, static_cast<size_t>(k) * sizeof(long)) == 0;
}

void exchange(LMTSTR* str, int variant) {
  if (str->nbox == 0) return;
  Exchange x{};
  x.str = str;
  x.s = mve::scratch(str);
  x.variant = variant;
  x.k = str->nvar + 1;
  x.outside = str->ncas - x.k;
  const double f = 1.0 - str->trex;
  x.stop = str->trex < 0.0 ? 1.0 : (f > 0.0 ? f : 0.0);
  const int nbox = str->nbox;
  for (int e = 0; e < nbox; ++e) x.settled[e] = wzmis(str->dwim[e]);
  if (str->ipri != 0) mve_note_exchange(str->rpx, variant);
  x.history = str->ipri >= 2;
  if (x.history) iterhist1_open(str, &x.hist);
  for (bool any = true; any;) {
    any = false;
    for (int e = 0; e < nbox; ++e) {
      if (x.settled[e]) continue;
      if (!scan_entry(&x, e)) {
        x.settled[e] = true;
        if (x.history) history_row(&x, e, missing_value(), str->dwim[e], str->dwim[e]);
        continue;
      }
      any = true;
      for (int g = 0; g < nbox; ++g) {
        if (g == e || !same_subset(str, x.k, e, g)) continue;
        str->dwim[e] = missing_value();
        x.settled[e] = true;
        break;
      }
    }
  }
  if (x.history) iterhist1_close(str, &x.hist);
  int b = -1;
  for (int e = 0; e < nbox; ++e)
    if (!wzmis(str->dwim[e]) && (b < 0 || str->dwim[e] < str->dwim[b])) b = e;
  if (b < 0) return;
  std::memcpy(str->jsub, str->lwim + b * x.k, static_cast<size_t>(x.k) * sizeof(long));
  double ldet;
  if (getlog1(str, &ldet) != 0) abort_run();
  str->volm = ofmve(str, ldet, &str->dism);
  std::memcpy(str->jbst, str->jsub, static_cast<size_t>(x.k) * sizeof(long));
}

}  // namespace

void xchmve1(LMTSTR* str) { exchange(str, 1); }
void xchmve2(LMTSTR* str) { exchange(str, 2); }
void xchmve3(LMTSTR* str) { exchange(str, 3); }

}  // namespace robmat
