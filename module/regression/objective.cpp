// The LMS/LTS objective of a coefficient vector, with the intercept moved to its best value
// for the given slopes, and the exact one-dimensional LMS and LTS (shortest window, window of
// least spread) that make this adjustment, the intercept-only model and the robust R-square.
#include <cmath>

#include "kernels/select.h"
#include "regression/regression.h"

namespace robmat {

namespace {

// The h-th smallest |w_k - t| of n ascending values w, merging outward from t: both sides are
// monotone in floating point (and t - w equals |w - t| exactly), so this is the order
// statistic a selection finds, in O(h) steps and without its mispredicted branches.
double hth_distance(const double* w, long n, long h, double t) {
  long lo = 0;
  long hi = n;
  while (lo < hi) {  // the first w >= t
    const long mid = lo + (hi - lo) / 2;
    if (w[mid] < t)
      lo = mid + 1;
    else
      hi = mid;
  }
  long left = lo - 1;
  long right = lo;
  double d = 0.0;
  for (long k = 0; k < h; ++k) {
    const double dl = left >= 0 ? t - w[left] : INFINITY;
    const double dr = right < n ? w[right] - t : INFINITY;
    if (dl <= dr) {
      d = dl;
      --left;
    } else {
      d = dr;
      ++right;
    }
  }
  return d;
}

}  // namespace

double oflmts(LMTSTR* str, int adjint, double* x) {
  const long n = str->ncas;
  const int p = str->nvar;
  const long h = str->jqu;
  double* r = str->sres;
  if (p == 1 && str->noint == 0) {
    for (long i = 0; i < n; ++i) r[i] = str->b[i * str->incb] - x[0];
  } else {
    for (long i = 0; i < n; ++i) {
      const double* ai = str->a + i * str->inca;
      double s = 0.0;
      for (int j = 0; j < p; ++j) s += ai[j] * x[j];
      r[i] = str->b[i * str->incb] - s;
    }
  }
  double* aw = str->aw;
  if (adjint != 0 && str->noint == 0) {
    for (long i = 0; i < n; ++i) aw[i] = r[i];
    rsort_work(1, n, aw, aw + n);
    double t;
    double scale;
    if (str->ilts == 0)
      lmsloc(str, &t, &scale, aw);
    else
      ltsloc(str, &t, &scale, aw);
    x[p - 1] += t;
    bool unit = true;  // the intercept column holds exact ones (as the front end builds it)
    for (long i = 0; i < n; ++i) {
      const double ai = str->a[i * str->inca + p - 1];
      unit = unit && ai == 1.0;
      r[i] -= ai * t;
    }
    // The adjusted residuals are then the sorted ones minus t.
    if (str->ilts == 0 && unit) return hth_distance(aw, n, h, t);
  }
  // Selection on a copy in the second half of aw keeps sres in observation order.
  double* q = aw + n;
  if (str->ilts == 0) {
    for (long i = 0; i < n; ++i) q[i] = std::fabs(r[i]);
    return pull(h - 1, n, q);
  }
  for (long i = 0; i < n; ++i) q[i] = r[i] * r[i];
  pull(h - 1, n, q);
  double s = 0.0;
  for (long i = 0; i < h; ++i) s += q[i];
  return std::sqrt(s / static_cast<double>(h));
}

void lmsloc(LMTSTR* str, double* slut, double* bstd, double* w) {
  const long n = str->ncas;
  const long h = str->jqu;
  double* ties = str->aw + n;
  double best = w[h - 1] - w[0];
  long t = 1;
  ties[0] = (w[0] + w[h - 1]) * 0.5;
  for (long j = 1; j <= n - h; ++j) {
    const double len = w[j + h - 1] - w[j];
    const double mid = (w[j] + w[j + h - 1]) * 0.5;
    if (std::fabs(len - best) <= str->prec) {
      ties[t++] = mid;
    } else if (len < best) {
      best = len;
      t = 1;
      ties[0] = mid;
    }
  }
  *slut = ties[(t - 1) / 2];
  *bstd = best * 0.5 * str->fact;
}

void ltsloc(LMTSTR* str, double* slut, double* bstd, double* w) {
  const long n = str->ncas;
  const long h = str->jqu;
  const double dh = static_cast<double>(h);
  double s = 0.0;
  double ss = 0.0;
  for (long i = 0; i < h; ++i) {
    s += w[i];
    ss += w[i] * w[i];
  }
  double q = ss - s * s / dh;
  double best_q = q;
  double best_s = s;
  // The window sums run along the windows with a compensation term (Neumaier's), so their
  // rounding does not accumulate: each is within a unit or two of the last place of the sum
  // formed afresh, at O(1) instead of O(h) per window (summing afresh made one call on
  // 10^5 values take a second).
  double run = s;
  double comp = 0.0;
  auto add = [&run, &comp](double v) {
    const double t = run + v;
    comp += std::fabs(run) >= std::fabs(v) ? (run - t) + v : (v - t) + run;
    run = t;
  };
  for (long j = 1; j <= n - h; ++j) {
    add(w[j + h - 1]);
    add(-w[j - 1]);
    const double sj = run + comp;
    const double last = w[j + h - 1];
    q = q + s * s / dh + last * last - sj * sj / dh - w[j - 1] * w[j - 1];
    s = sj;
    if (q < best_q) {
      best_q = q;
      best_s = s;
    }
  }
  if (best_q <= 0.0) best_q = 0.0;
  *slut = best_s / dh;
  *bstd = std::sqrt(best_q / dh) * str->fact;
}

int nbreak(long jqu, long m, int n, double* tb) {
  const long hstar = (m + n + 1) / 2;
  const long k = jqu < hstar ? jqu - n + 1 : m - jqu + 1;
  *tb = 100.0 * static_cast<double>(k) / static_cast<double>(m);
  return k == m - hstar + 1 ? 1 : 0;
}

}  // namespace robmat
