// MAD, Sn and Qn of one sample. Sn and Qn start from the sorted sample: Sn then needs one
// linear sweep (the nearest-neighbour window of each point only moves right), Qn the
// Croux-Rousseeuw search over the implicit sorted matrix of differences. Both return an
// exact order statistic of the differences, so any correct search gives the same double.
#include "scale/scale.h"

#include <cmath>

#include "kernels/distrib.h"
#include "kernels/select.h"

namespace robmat {

double whimed(long n, double* a, long* iwgt, long* jw, double* w) {
  long iwto = 0;
  for (long i = 0; i < n; ++i) iwto += iwgt[i];
  long iwre = 0;
  long nn = n;
  for (;;) {
    for (long i = 0; i < nn; ++i) w[i] = a[i];
    const double tr = pull(nn / 2, nn, w);
    // One sweep splits the pairs: those below tr compact to the front of a in place, those
    // above go to w/jw; only one side is kept, so the other is simply dropped.
    long iwle = 0;
    long iwmi = 0;
    long nlt = 0;
    long ngt = 0;
    for (long i = 0; i < nn; ++i) {
      const double v = a[i];
      if (v < tr) {
        iwle += iwgt[i];
        a[nlt] = v;
        iwgt[nlt] = iwgt[i];
        ++nlt;
      } else if (v > tr) {
        w[ngt] = v;
        jw[ngt] = iwgt[i];
        ++ngt;
      } else {
        iwmi += iwgt[i];
      }
    }
    if (2 * (iwre + iwle) > iwto) {
      nn = nlt;
    } else if (2 * (iwre + iwle + iwmi) > iwto) {
      return tr;
    } else {
      for (long i = 0; i < ngt; ++i) {
        a[i] = w[i];
        iwgt[i] = jw[i];
      }
      nn = ngt;
      iwre += iwle + iwmi;
    }
    // Only unordered values (NaN) can empty the set before the median is found.
    if (nn == 0) return tr;
  }
}

double zmad(int isc, long n, double* x) {
  if (n < 2) return 0.0;
  const double med = median(0, n, x);
  for (long i = 0; i < n; ++i) x[i] = std::fabs(x[i] - med);
  const double mad = median(0, n, x);
  if (isc == 0) return mad;
  return (1.0 / zprobit(0.75)) * mad;
}

double zs_n(long n, double* x, double* w) {
  if (n < 2) return 0.0;
  rsort_work(1, n, x, w);
  // himed_j |x_i - x_j| is the k-th smallest distance from x_i to the other n - 1 points,
  // k = n/2, i.e. the smallest radius of a window x[l..l+k] that contains i. Both radii
  // x[i] - x[l] and x[l+k] - x[i] are monotone in l and in i (rounded subtraction is
  // monotone), so the best l never decreases as i grows: l advances while the next window
  // is no wider, and every advance once made stays valid for later i.
  const long k = n / 2;
  long l = 0;
  for (long i = 0; i < n; ++i) {
    const long lo = i - k > 0 ? i - k : 0;
    const long hi = i < n - 1 - k ? i : n - 1 - k;
    if (l < lo) l = lo;
    while (l < hi && x[l + k + 1] - x[i] <= x[i] - x[l]) ++l;
    const double left = x[i] - x[l];
    const double right = x[l + k] - x[i];
    w[i] = left < right ? right : left;
  }
  static const double cn_small[10] = {0, 0, 0.743, 1.851, 0.954, 1.351, 0.993, 1.198, 1.005, 1.131};
  double cn;
  if (n < 10)
    cn = cn_small[n];
  else if (n % 2 == 1)
    cn = static_cast<double>(n) / (static_cast<double>(n) - 0.9);
  else
    cn = 1.0;
  const long h = (n + 1) / 2;
  return (cn * 1.1926) * pull(h - 1, n, w);
}

namespace {

// Counts of the entries of each row below and up to tr: iwp[i] = #{j : x[i] - x[n-j] < tr},
// iwq[i] = #{j : x[i] - x[n-j] <= tr}. Rows are increasing in j and shift up with i, so
// both counts grow as i falls and one sweep with two pointers finds all of them.
void count_rows(long n, const double* x, double tr, long* iwp, long* iwq, long* psum, long* qsum) {
  long jp = 0;
  long jq = 0;
  long ps = 0;
  long qs = 0;
  for (long i = n - 1; i >= 0; --i) {
    const double xi = x[i];
    while (jp < n && xi - x[n - 1 - jp] < tr) ++jp;
    if (jq < jp) jq = jp;
    while (jq < n && xi - x[n - 1 - jq] <= tr) ++jq;
    iwp[i] = jp;
    iwq[i] = jq;
    ps += jp;
    qs += jq;
  }
  *psum = ps;
  *qsum = qs;
}

// The search state of zq_n: row i keeps the candidates j = iwle[i]..iwri[i]; nl and nr
// count the entries before and up to those bounds, kn is the rank sought.
struct QnSearch {
  long n;
  const double* x;
  long* iwle;
  long* iwri;
  long* iwp;
  long* iwq;
  long nl;
  long nr;
  long kn;

  // Drops every candidate on the wrong side of tr. Returns 0 when tr is the answer, -1 when
  // the answer is below tr, 1 when it is above.
  int narrow(double tr) {
    long psum;
    long qsum;
    count_rows(n, x, tr, iwp, iwq, &psum, &qsum);
    if (kn <= psum) {
      for (long i = 0; i < n; ++i) iwri[i] = iwp[i];
      nr = psum;
      return -1;
    }
    if (kn > qsum) {
      for (long i = 0; i < n; ++i) iwle[i] = iwq[i] + 1;
      nl = qsum;
      return 1;
    }
    return 0;
  }

  // A sampling pass: an evenly spaced sample of the remaining candidates (in row order) in
  // kept (at most ns values), narrowed to the two sample quantiles that bracket the sought
  // rank with a margin of three standard errors; with ns samples about 6/sqrt(ns) of the
  // candidates survive. Returns 1 with *answer when a quantile is the answer, 0 after
  // narrowing, -1 when nothing could be sampled (only NaN distances do that).
  int sampling_pass(double* kept, long ns, double* answer) {
    const long m = nr - nl;
    // Sample ranks floor((t + 1/2) m / ns), t = 0..ns-1, walked along the rows.
    long t = 0;
    long base = 0;  // candidates in the rows before row i
    for (long i = 1; i < n && t < ns; ++i) {
      const long cnt = iwri[i] - iwle[i] + 1;
      if (cnt <= 0) continue;
      for (;;) {
        const long r = static_cast<long>((static_cast<double>(t) + 0.5) *
                                         (static_cast<double>(m) / static_cast<double>(ns)));
        if (r >= base + cnt || t >= ns) break;
        kept[t++] = x[i] - x[n - (iwle[i] + (r - base))];
      }
      base += cnt;
    }
    if (t == 0) return -1;
    double f = (static_cast<double>(kn - nl) - 0.5) / static_cast<double>(m);
    f = f < 0.0 ? 0.0 : (f > 1.0 ? 1.0 : f);
    const double pos = f * static_cast<double>(t);
    const double margin = 3.0 * std::sqrt(static_cast<double>(t) * f * (1.0 - f)) + 1.0;
    long ilo = static_cast<long>(std::floor(pos - margin));
    long ihi = static_cast<long>(std::ceil(pos + margin));
    if (ilo < 0) ilo = 0;
    if (ihi > t - 1) ihi = t - 1;
    const double lo = pull(ilo, t, kept);
    const double hi = pull(ihi, t, kept);
    const int side = narrow(lo);
    if (side == 0) {
      *answer = lo;
      return 1;
    }
    if (side > 0 && hi > lo && narrow(hi) == 0) {
      *answer = hi;
      return 1;
    }
    return 0;
  }

  // Croux and Rousseeuw's pass: the weighted high median of the row medians as the trial
  // value, which removes at least a quarter of the candidates whatever the data. True with
  // *answer when the trial value is the answer.
  bool median_pass(double* cand, long* weight, long* jw, double* kept, double* answer) {
    long cnt = 0;
    for (long i = 1; i < n; ++i) {
      if (iwle[i] <= iwri[i]) {
        const long wt = iwri[i] - iwle[i] + 1;
        cand[cnt] = x[i] - x[n - (iwle[i] + wt / 2)];
        weight[cnt] = wt;
        ++cnt;
      }
    }
    const double tr = whimed(cnt, cand, weight, jw, kept);
    if (narrow(tr) != 0) return false;
    *answer = tr;
    return true;
  }

  // The answer among the at most `room` remaining candidates, enumerated into w.
  double enumerate_rest(double* w, long room) const {
    long cnt = 0;
    for (long i = 1; i < n; ++i)
      for (long jj = iwle[i]; jj <= iwri[i] && cnt < room; ++jj) w[cnt++] = x[i] - x[n - jj];
    const long pos = kn - nl - 1;
    return pos >= 0 && pos < cnt ? pull(pos, cnt, w) : NAN;
  }
};

}  // namespace

double zq_n(long n, double* x, double* w, long* iw) {
  if (n < 2) return 0.0;
  rsort_work(1, n, x, w);
  double* const cand = w;      // candidate values of a pass
  double* const kept = w + n;  // whimed's scratch, or the sample of a sampling pass
  long* const weight = iw;     // candidate weights, or prefix counts of a sampling pass
  long* const jw = iw + n;

  // Row i (0-based) of the implicit matrix holds x[i] - x[n-j] for j = 1..n, increasing in
  // j; its positive part, j > n - i, is the candidate set.
  const long h = n / 2 + 1;
  const long k = h * (h - 1) / 2;
  QnSearch s{n, x, iw + 2 * n, iw + 3 * n, iw + 4 * n, iw + 5 * n, n * (n + 1) / 2, n * n, 0};
  s.kn = k + s.nl;
  for (long i = 0; i < n; ++i) {
    s.iwle[i] = n - i + 1;
    s.iwri[i] = n;
  }

  // Passes narrow the candidates until at most n are left, which then fit in w. Sampling
  // passes need three or four passes at n = 1e6; the weighted-median pass takes over
  // whenever a sampling pass failed to halve the candidates, so the number of passes is
  // O(log n) in the worst case. The answer is the exact k-th distance either way, so the
  // passes only decide the speed. The pass limit is only reached when NaN distances break
  // the ordering.
  const long sample_max = n / 16 < 1024 ? 1024 : (n / 16 > 65536 ? 65536 : n / 16);
  const long ns = sample_max < n ? sample_max : n;  // kept holds n values
  const int max_pass = 256;
  bool sampling = true;
  double answer = 0.0;
  bool found = false;
  for (int pass = 0; pass < max_pass && s.nr - s.nl > n && !found; ++pass) {
    const long before = s.nr - s.nl;
    if (sampling) {
      const int rc = s.sampling_pass(kept, ns, &answer);
      if (rc < 0) {
        sampling = false;
        continue;
      }
      found = rc == 1;
    } else {
      found = s.median_pass(cand, weight, jw, kept, &answer);
    }
    sampling = s.nr - s.nl <= before / 2;
  }
  if (!found) answer = s.nr - s.nl > n ? NAN : s.enumerate_rest(w, 2 * n);

  static const double dn_small[10] = {0, 0, 0.399, 0.994, 0.512, 0.844, 0.611, 0.857, 0.669, 0.872};
  double dn;
  if (n < 10)
    dn = dn_small[n];
  else if (n % 2 == 1)
    dn = static_cast<double>(n) / (static_cast<double>(n) + 1.4);
  else
    dn = static_cast<double>(n) / (static_cast<double>(n) + 3.8);
  return (dn * 2.2219) * answer;
}

}  // namespace robmat
