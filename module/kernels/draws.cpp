// Random draws and combinatorial helpers of the FAST searches. Indices come from floor(u*m)
// with u from one of two generators; rejection and insertion keep the draws in the order the
// seeds fix, so the same seed gives the same subsets on every platform.
#include "kernels/draws.h"

#include "kernels/random.h"
#include "robmat/services.h"

namespace robmat {

namespace {

constexpr long kReplo[6] = {500, 50, 22, 17, 15, 14};
constexpr long kTwoPow53 = 9007199254740992L;

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

// floor(u * m) for u in [0, 1), kept below m where rounding reaches it.
long index_below(double u, long m) {
  const long r = static_cast<long>(u * static_cast<double>(m));
  return r >= m ? m - 1 : r;
}

template <class Uniform>
void draw_distinct(long k, long m, long* seed, long* jsub, Uniform uniform) {
  for (long i = 0; i < k; ++i) {
    long r;
    do {
      r = index_below(uniform(seed), m);
    } while (drawn_before(jsub, i, r));
    jsub[i] = r;
  }
}

}  // namespace

long fast_enumeration_limit(long k) { return k >= 1 && k <= 6 ? kReplo[k - 1] : 0; }

int fast_group_sizes(long n, long nsds, long lsds, long* mini) {
  long g = n / lsds;
  if (nsds < g) g = nsds;
  if (g == 2 && n < 3 * lsds) {
    mini[0] = n / 2;
    mini[1] = n - n / 2;
  } else if (g == 3 && n < 4 * lsds) {
    const long q = n / 3;
    mini[0] = q;
    mini[1] = n == 3 * q ? q : q + 1;
    mini[2] = n == 3 * q ? q : n - 2 * q - 1;
  } else if (g == 4 && n < 5 * lsds) {
    const long q = n / 4;
    if (n == 4 * q) {
      mini[0] = mini[1] = mini[2] = mini[3] = q;
    } else {
      const long r = n - 2 * q - 1;
      mini[0] = q;
      mini[1] = q + 1;
      mini[2] = r / 2;
      mini[3] = r - r / 2;
    }
  } else {
    for (long k = 0; k < g; ++k) mini[k] = lsds;
  }
  return static_cast<int>(g);
}

long fast_merged_cases(long n, long nsds, long lsds) {
  long g = n / lsds;
  if (nsds < g) g = nsds;
  // Two, three or four groups share all n cases below 3, 4 or 5 times lsds.
  if (g >= 2 && g <= 4 && n < (g + 1) * lsds) return n;
  return g * lsds;
}

double uniran(long* seed) {
  // Unsigned arithmetic: the low 16 bits of the wrapped product are the residue mod 65536
  // for every long, negative or huge, without overflow.
  const unsigned long s = (5761ul * static_cast<unsigned long>(*seed) + 999ul) & 0xFFFFul;
  *seed = static_cast<long>(s);
  return static_cast<double>(s) / 65536.0;
}

void fast_seeds(long seed, int copr, long* useed, long* rseed) {
  *useed = seed;
  *rseed = seed;
  if (copr != 0) {
    if (*rseed < 1) *rseed = ztime();
    if ((static_cast<unsigned long>(*rseed) & 0xFFFFFFFFul) % 2147483647ul == 0) *rseed = 1;
  }
}

void ranpro(long k, long m, long* seed, long* jsub) { draw_distinct(k, m, seed, jsub, uniran); }

void ranpn(long k, long m, long* seed, long* jsub) { draw_distinct(k, m, seed, jsub, zranuni); }

void ranrep(long k, long m, long* seed, long* jsub) {
  long j;
  do {
    j = index_below(zranuni(seed), m);
  } while (drawn_before(jsub, k, j));
  jsub[index_below(zranuni(seed), k)] = j;
}

void rdraw(long m, int ngrp, const long* mini, long* seed, long* a, long inca) {
  long total = 0;
  for (int k = 0; k < ngrp; ++k) {
    for (long j = 0; j < mini[k]; ++j) {
      long v;
      const long pos = place_after_drawn(a, total, index_below(uniran(seed), m - total), &v);
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
  long v;
  const long pos = place_after_drawn(list, k, index_below(uniran(seed), m - k), &v);
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
    if (c >= kTwo53) return kTwoPow53;
  }
  return static_cast<long>(c + 0.5);
}

long nbreak2(long h, long n, long p, double* bper) {
  const long k = (n + p + 1) / 2;
  const long count = h > k ? n - h + 1 : h - p;
  *bper = static_cast<double>(count) / static_cast<double>(n) * 100.0;
  return count;
}

void subset_complement(long m, long k, const long* sub, long* out) {
  long j = 0;
  long n = 0;
  for (long i = 0; i < m; ++i) {
    if (j < k && sub[j] == i) {
      ++j;
      continue;
    }
    out[n++] = i;
  }
}

}  // namespace robmat
