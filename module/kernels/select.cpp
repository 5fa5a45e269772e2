// Selection and sorting shared by every engine. The sorts are defined by a Shell sort with
// halving gaps, which is quadratic on unlucky inputs; they reach the same array in
// O(n log n) (or linear time with a work area) whenever the outcome cannot depend on the
// algorithm, and run the Shell sort itself only when it can.
#include "kernels/select.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>

namespace robmat {

namespace {

// Hoare's selection in Wirth's form. kCarry moves indx along with aw; one body serves both,
// so the two orders of exchanges cannot drift apart.
template <bool kCarry>
double hoare_select(long k, long m, double* aw, long* indx) {
  long l = 0;
  long r = m - 1;
  while (l < r) {
    const double x = aw[k];
    long i = l;
    long j = r;
    do {
      // Strict comparisons: elements equal to the pivot stop both scans, which keeps the
      // scans inside [l, r] without bounds checks and splits runs of ties evenly.
      while (aw[i] < x) ++i;
      while (x < aw[j]) --j;
      if (i <= j) {
        const double t = aw[i];
        aw[i] = aw[j];
        aw[j] = t;
        if constexpr (kCarry) {
          const long u = indx[i];
          indx[i] = indx[j];
          indx[j] = u;
        }
        ++i;
        --j;
      }
    } while (i <= j);
    if (j < k) l = i;
    if (k < i) r = j;
  }
  return aw[k];
}

}  // namespace

double pull(long k, long m, double* aw) { return hoare_select<false>(k, m, aw, nullptr); }

double findq(long k, long m, double* aw, long* indx) {
  for (long i = 0; i < m; ++i) indx[i] = i;
  return hoare_select<true>(k, m, aw, indx);
}

double median(int /*job*/, long n, double* w) {
  if (n < 1) return 0.0;
  if (n % 2 == 1) return pull(n / 2, n, w);
  const double lower = pull(n / 2 - 1, n, w);
  const double upper = pull(n / 2, n, w);
  return (upper + lower) * 0.5;
}

void medqua(int /*job*/, int imq, long m, double* aw, double* rqn) {
  if (m < 1) {
    rqn[0] = 0.0;
    if (imq != 0) rqn[1] = rqn[2] = 0.0;
    return;
  }
  // One value has no quartiles by the rule below (it would read before the array); every
  // statistic of a single value is that value.
  if (m == 1) {
    rqn[0] = aw[0];
    if (imq != 0) rqn[1] = rqn[2] = aw[0];
    return;
  }
  const long h = m / 2;
  const long q = h / 2;
  // Each statistic is its own selection over the whole array, lower position first, so the
  // array ends in the same partial order whichever statistics are requested.
  auto mid = [aw, m](long pos, bool pair) {
    if (!pair) return pull(pos, m, aw);
    const double lo = pull(pos - 1, m, aw);
    const double hi = pull(pos, m, aw);
    return (lo + hi) * 0.5;
  };
  if (imq == 0) {
    rqn[0] = mid(h, m % 2 == 0);
    return;
  }
  rqn[0] = mid(q, h % 2 == 0);
  rqn[1] = mid(h, m % 2 == 0);
  rqn[2] = mid(h + q, h % 2 == 0);
}

namespace {

// The defining algorithm. Used only where a faster sort could order elements that compare
// equal differently: NaNs, or +0 and -0 together.
void shell_sort(int asde, long n, double* a) {
  for (long gap = n / 2; gap > 0; gap /= 2) {
    for (long i = gap; i < n; ++i) {
      for (long j = i - gap; j >= 0; j -= gap) {
        const bool out = asde != 0 ? a[j] > a[j + gap] : a[j] < a[j + gap];
        if (!out) break;
        const double t = a[j];
        a[j] = a[j + gap];
        a[j + gap] = t;
      }
    }
  }
}

// Elements of a[0..n-1] that compare equal without being the same bits: only then can two
// correct sorts disagree.
enum class Ties { kNone, kSignedZeros, kNaN };

Ties ambiguous_ties(long n, const double* a) {
  bool pos_zero = false;
  bool neg_zero = false;
  for (long i = 0; i < n; ++i) {
    const double v = a[i];
    if (v != v) return Ties::kNaN;
    if (v == 0.0) {
      if (std::signbit(v))
        neg_zero = true;
      else
        pos_zero = true;
    }
  }
  return pos_zero && neg_zero ? Ties::kSignedZeros : Ties::kNone;
}

bool has_ambiguous_ties(long n, const double* a) { return ambiguous_ties(n, a) != Ties::kNone; }

// The signs the Shell sort leaves on the zeros, when +0 and -0 are the only ties. A pass with
// gap g is an insertion sort, which is stable, of each class of positions i = r (mod g): it
// puts the class's values before the zeros first (the negative ones when ascending), then its
// zeros in the order they came, then the rest. Where each zero goes therefore depends only on
// which positions hold values below, at or above zero, and the passes are replayed on that
// pattern alone, in linear time each: w holds -1, the signed zero or +1 for each element.
// On return w[lead .. lead + zeros - 1] holds the zeros in the order the Shell sort leaves
// them, lead being the number of elements placed before the zeros.
void replay_zero_signs(int asde, long n, const double* a, double* w) {
  const double before = asde != 0 ? -1.0 : 1.0;
  const double after = -before;
  for (long i = 0; i < n; ++i) w[i] = a[i] == 0.0 ? a[i] : (a[i] < 0.0 ? -1.0 : 1.0);
  for (long gap = n / 2; gap > 0; gap /= 2) {
    for (long r = 0; r < gap; ++r) {
      long lead = 0;
      long zeros = 0;
      long m = 0;
      // The zeros move to the front of the class in their order, counting as they go.
      for (long i = r; i < n; i += gap, ++m) {
        const double v = w[i];
        if (v == 0.0)
          w[r + gap * zeros++] = v;
        else if (v == before)
          ++lead;
      }
      for (long k = zeros - 1; k >= 0 && lead > 0; --k) w[r + gap * (lead + k)] = w[r + gap * k];
      for (long k = 0; k < lead; ++k) w[r + gap * k] = before;
      for (long k = lead + zeros; k < m; ++k) w[r + gap * k] = after;
    }
  }
}

// Order-preserving map of a non-NaN double to an unsigned key.
inline uint64_t radix_key(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return (b & 0x8000000000000000ULL) != 0 ? ~b : b | 0x8000000000000000ULL;
}

// LSD radix sort on 8-bit digits, ascending; bytes on which every key agrees are skipped
// (the sign and exponent bytes of most data).
void radix_sort(long n, double* a, double* work) {
  long count[8][256];
  std::memset(count, 0, sizeof count);
  for (long i = 0; i < n; ++i) {
    const uint64_t key = radix_key(a[i]);
    for (int d = 0; d < 8; ++d) ++count[d][(key >> (8 * d)) & 0xFF];
  }
  double* src = a;
  double* dst = work;
  for (int d = 0; d < 8; ++d) {
    long* c = count[d];
    if (c[(radix_key(src[0]) >> (8 * d)) & 0xFF] == n) continue;
    long sum = 0;
    for (int b = 0; b < 256; ++b) {
      const long t = c[b];
      c[b] = sum;
      sum += t;
    }
    for (long i = 0; i < n; ++i) {
      const double v = src[i];
      dst[c[(radix_key(v) >> (8 * d)) & 0xFF]++] = v;
    }
    std::swap(src, dst);
  }
  if (src != a) std::memcpy(a, src, static_cast<size_t>(n) * sizeof(double));
}

}  // namespace

void lsort(int asde, long n, long* ldat) {
  if (n < 2) return;
  // Equal integers are indistinguishable, so any correct sort yields the Shell sort's array.
  if (asde != 0)
    std::sort(ldat, ldat + n);
  else
    std::sort(ldat, ldat + n, std::greater<long>());
}

void lsort_marked(long k, long m, long* ix, long* mark) {
  for (long i = 0; i < k; ++i) mark[ix[i]] = 1;
  long j = 0;
  for (long i = 0; i < m; ++i)
    if (mark[i] != 0) {
      ix[j++] = i;
      mark[i] = 0;
    }
}

void rsort(int asde, long n, double* rdat) {
  if (n < 2) return;
  if (has_ambiguous_ties(n, rdat)) {
    shell_sort(asde, n, rdat);
    return;
  }
  if (asde != 0)
    std::sort(rdat, rdat + n);
  else
    std::sort(rdat, rdat + n, std::greater<double>());
}

void rsort_work(int asde, long n, double* rdat, double* work) {
  // A few dozen values (the residuals of a small regression, sorted once per subset): a
  // straight insertion sort, whose result any correct sort shares without ambiguous ties.
  if (n <= 32 && asde != 0 && !has_ambiguous_ties(n, rdat)) {
    for (long i = 1; i < n; ++i) {
      const double v = rdat[i];
      long j = i;
      for (; j > 0 && rdat[j - 1] > v; --j) rdat[j] = rdat[j - 1];
      rdat[j] = v;
    }
    return;
  }
  // Below about 128 fresh values the radix passes cost more than a comparison sort (normal
  // samples, a new one per sort: 128 values 12 us either way, 1000 values radix 56 us against
  // 128 us). Timing one sample over and over lets the branch predictor learn the comparison
  // sort's branches and makes it look several times faster than it is.
  if (n < 128) {
    rsort(asde, n, rdat);
    return;
  }
  const Ties ties = ambiguous_ties(n, rdat);
  if (ties == Ties::kNaN) {
    shell_sort(asde, n, rdat);
    return;
  }
  if (ties == Ties::kSignedZeros) {
    // The zeros' signs first (work is free until the sort), then the values, then the signs
    // put on the zeros.
    replay_zero_signs(asde, n, rdat, work);
    long lead = 0;
    long zeros = 0;
    for (long i = 0; i < n; ++i) {
      if (rdat[i] == 0.0)
        ++zeros;
      else if ((rdat[i] < 0.0) == (asde != 0))
        ++lead;
    }
    if (asde != 0)
      std::sort(rdat, rdat + n);
    else
      std::sort(rdat, rdat + n, std::greater<double>());
    std::memcpy(rdat + lead, work + lead, static_cast<size_t>(zeros) * sizeof(double));
    return;
  }
  radix_sort(n, rdat, work);
  if (asde == 0) std::reverse(rdat, rdat + n);
}

}  // namespace robmat
