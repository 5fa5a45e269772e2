// Random draws, enumeration and the constants of the FAST searches (FAST-MCD, FAST-LTS): the
// engines' 16-bit congruential generator, elemental subsets by rejection, disjoint random
// groups and one-more-case draws into ascending lists, lexicographic enumeration, binomial
// counts, breakdown values and the subdataset scheme. A seed reproduces every draw anywhere.
#pragma once

namespace robmat {

// Starts per stage of a FAST search: the random trials of the single-set scheme, and the
// trials shared out among the groups of the subdataset scheme.
inline constexpr long kFastStarts = 500;

// fast_enumeration_limit: the scheme enumerates all elemental subsets of size k when their
// number reaches n cases no further than this count would draw: 500, 50, 22, 17, 15, 14 for
// k = 1..6 and 0 beyond. Random starts are drawn when the limit is below n.
long fast_enumeration_limit(long k);

// Scale factors of the univariate LTS and MCD (copr != 0), by the coverage h/n in steps of
// 2.5 percent from one half: index floor((h/n - 0.5) * 40 + 0.5), at most 10.
inline constexpr double kFltsFactor[11] = {
    2.6477, 2.5092, 2.3826, 2.2662, 2.1587, 2.0589, 1.966, 1.879, 1.7973, 1.7203, 1.6473};

// fast_group_sizes: the groups of the subdataset scheme.
//   n     in   number of cases, n >= 2 * lsds
//   nsds  in   largest number of groups
//   lsds  in   size of a group
//   mini  out  the group sizes, min(nsds, n / lsds) of them: two, three or four groups share
//              all n cases when n is below 3, 4 or 5 times lsds; otherwise each has lsds cases
// Returns the number of groups.
int fast_group_sizes(long n, long nsds, long lsds, long* mini);

// fast_merged_cases: the sum of the sizes fast_group_sizes gives (n >= 2 * lsds), the cases
// of the merged set.
long fast_merged_cases(long n, long nsds, long lsds);

// uniran: the engines' own 16-bit congruential generator.
//   seed  in,out  state; seed <- (5761*seed + 999) mod 65536 (low 16 bits, so any long is
//                 a valid state)
// Returns the new state divided by 65536, in [0, 1).
double uniran(long* seed);

// fast_seeds: the states of both generators of a FAST search from the run's seed.
//   seed   in   the run's seed
//   copr   in   0: the engine's own generator draws the starts; otherwise the host-wide
//               stream does (and the own generator still draws the groups)
//   useed  out  uniran state: the seed
//   rseed  out  zranuni state: the seed, the clock when copr != 0 and the seed is below 1,
//               and 1 in place of a multiple of 2^31 - 1 (where the stream sticks at 0)
void fast_seeds(long seed, int copr, long* useed, long* rseed);

// ranpro: k distinct indices below m, drawn as floor(u*m) with u from uniran and repeats
// rejected, in drawing order.
//   k     in      number of indices, k <= m and k <= 65536
//   m     in      range
//   seed  in,out  uniran state
//   jsub  out     k indices
void ranpro(long k, long m, long* seed, long* jsub);

// ranpn: ranpro with u from the host-wide uniform stream zranuni; an index that reaches m
// is taken as m - 1. The state must not be a multiple of 2^31 - 1 (zranuni would stick at 0).
void ranpn(long k, long m, long* seed, long* jsub);

// ranrep: the next random subset of the searches that change one member at a time: an index
// floor(u*m) not in jsub (drawn again while it is), then a position floor(u*k) that receives
// it, both u from zranuni (an index that reaches its bound is taken one below).
//   k     in      subset size, k < m
//   m     in      range
//   seed  in,out  zranuni state, not a multiple of 2^31 - 1
//   jsub  in,out  k distinct indices below m
void ranrep(long k, long m, long* seed, long* jsub);

// rdraw: draws disjoint random groups of distinct indices below m.
//   m     in      range
//   ngrp  in      number of groups
//   mini  in      ngrp group sizes, sum <= m
//   seed  in,out  uniran state
//   a     out     the sum of mini drawn indices in ascending order in a[0..], and the
//                 group number (0-based) of each at a[inca + position]
//   inca  in      offset of the group numbers, >= the sum of mini
// Each draw is r = floor(u*(m - j)) with j the number drawn so far, moved past the drawn
// indices (the r-th index not yet drawn) and inserted into the ascending list.
void rdraw(long m, int ngrp, const long* mini, long* seed, long* a, long inca);

// prdraw: one more index below m, drawn as in rdraw, inserted into an ascending list.
//   m     in      range, m > k
//   k     in      length of list on entry
//   seed  in,out  uniran state
//   list  in,out  k ascending indices on entry, k + 1 on exit
void prdraw(long m, long k, long* seed, long* list);

// genpn: next k-combination of 0..m-1 in lexicographic order.
//   k      in      size of the combination
//   m      in      range
//   jsub   in,out  the current combination (ascending) on entry, the next on exit
//   enter  out     the index that entered at the first changed position
//   leave  out     the index that left that position
// Returns 0, or 1 (with jsub unchanged) when jsub was the last combination.
int genpn(long k, long m, long* jsub, long* enter, long* leave);

// ncomb: the binomial coefficient C(m, k) as the product of (m-i)/(k-i), i < k, in double
// precision, rounded; results of 2^53 and more are returned as 2^53.
long ncomb(long k, long m);

// subset_complement: the m - k indices 0..m-1 not in the ascending subset sub (k of them),
// ascending, into out. The exchange refinements try them as entering observations.
void subset_complement(long m, long k, const long* sub, long* out);

// nbreak2: breakdown point of an estimate from h of n cases in p dimensions.
//   bper  out  the breakdown value in percent of n
// Returns the number of cases that can be replaced: n - h + 1 when h > (n+p+1)/2, else h - p.
long nbreak2(long h, long n, long p, double* bper);

}  // namespace robmat
