// Random draws and combinatorial helpers of the MCD engine (shared with FAST-LTS): the
// engine's 16-bit generator, elemental subsets by rejection, random groups and one-more-case
// draws into ascending lists, lexicographic enumeration, binomial counts, breakdown value and
// Hoare selection with an index permutation. A seed reproduces every draw on every platform.
#include <cmath>

#include "kernels/random.h"
#include "mcd/mcd.h"

namespace robmat {

double uniran(long* seed) {
  // Unsigned arithmetic: the low 16 bits of the wrapped product are the residue mod 65536
  // for every long, negative or huge, without overflow.
  const unsigned long s = (5761ul * static_cast<unsigned long>(*seed) + 999ul) & 0xFFFFul;
  *seed = static_cast<long>(s);
  return static_cast<double>(s) / 65536.0;
}

namespace {

bool drawn_before(const long* jsub, long i, long r) {
  for (long j = 0; j < i; ++j)
    if (jsub[j] == r) return true;
  return false;
}

// The r-th (0-based) index not in the ascending list of k drawn indices, and the position at
// which it keeps the list ascending. drawn[i] - i never decreases, so the count of drawn
// indices at or below the answer is found by bisection.
long place_after_drawn(const long* drawn, long k, long r, long* value) {
  long lo = 0;
  long hi = k;
  while (lo < hi) {
    const long mid = lo + (hi - lo) / 2;
    if (drawn[mid] - mid <= r)
      lo = mid + 1;
    else
      hi = mid;
  }
  *value = r + lo;
  return lo;
}

}  // namespace

void ranpro(long k, long m, long* seed, long* jsub) {
  for (long i = 0; i < k; ++i) {
    long r;
    do {
      r = static_cast<long>(uniran(seed) * static_cast<double>(m));
      if (r >= m) r = m - 1;
    } while (drawn_before(jsub, i, r));
    jsub[i] = r;
  }
}

void ranpn(long k, long m, long* seed, long* jsub) {
  for (long i = 0; i < k; ++i) {
    long r;
    do {
      r = static_cast<long>(zranuni(seed) * static_cast<double>(m));
      if (r >= m) r = m - 1;
    } while (drawn_before(jsub, i, r));
    jsub[i] = r;
  }
}

void rdraw(long m, int ngrp, const long* mini, long* seed, long* a, long inca) {
  long total = 0;
  for (int k = 0; k < ngrp; ++k) {
    for (long j = 0; j < mini[k]; ++j) {
      long r = static_cast<long>(uniran(seed) * static_cast<double>(m - total));
      if (r >= m - total) r = m - total - 1;
      long v;
      const long pos = place_after_drawn(a, total, r, &v);
      for (long i = total; i > pos; --i) {
        a[i] = a[i - 1];
        a[inca + i] = a[inca + i - 1];
      }
      a[pos] = v;
      a[inca + pos] = k;
      ++total;
    }
  }
}

void prdraw(long m, long k, long* seed, long* list) {
  long r = static_cast<long>(uniran(seed) * static_cast<double>(m - k));
  if (r >= m - k) r = m - k - 1;
  long v;
  const long pos = place_after_drawn(list, k, r, &v);
  for (long i = k; i > pos; --i) list[i] = list[i - 1];
  list[pos] = v;
}

int genpn(long k, long m, long* jsub, long* enter, long* leave) {
  long i = k - 1;
  while (i >= 0 && jsub[i] == m - k + i) --i;
  if (i < 0) return 1;
  *leave = jsub[i];
  ++jsub[i];
  *enter = jsub[i];
  for (long j = i + 1; j < k; ++j) jsub[j] = jsub[j - 1] + 1;
  return 0;
}

long ncomb(long k, long m) {
  constexpr double kTwo53 = 9007199254740992.0;
  double c = 1.0;
  for (long i = 0; i < k; ++i) {
    c *= static_cast<double>(m - i) / static_cast<double>(k - i);
    if (c >= kTwo53) return 9007199254740992L;
  }
  return static_cast<long>(c + 0.5);
}

long nbreak2(long h, long n, long p, double* bper) {
  const long k = (n + p + 1) / 2;
  const long count = h > k ? n - h + 1 : h - p;
  *bper = static_cast<double>(count) / static_cast<double>(n) * 100.0;
  return count;
}

double findq(long k, long m, double* aw, long* indx) {
  for (long i = 0; i < m; ++i) indx[i] = i;
  long l = 0;
  long r = m - 1;
  while (l < r) {
    const double x = aw[k];
    long i = l;
    long j = r;
    do {
      while (aw[i] < x) ++i;
      while (x < aw[j]) --j;
      if (i <= j) {
        const double t = aw[i];
        aw[i] = aw[j];
        aw[j] = t;
        const long u = indx[i];
        indx[i] = indx[j];
        indx[j] = u;
        ++i;
        --j;
      }
    } while (i <= j);
    if (j < k) l = i;
    if (k < i) r = j;
  }
  return aw[k];
}

}  // namespace robmat
