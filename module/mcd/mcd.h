// The MCD engine: minimum covariance determinant location and scatter by FAST-MCD (random
// elemental starts, concentration steps, subdatasets and a merged set for large n), with
// exact-fit detection, consistency correction, reweighting and robust distances. Also the
// engine's random draws and small combinatorial helpers, which FAST-LTS shares.
#pragma once

#include "robmat/lmtstr.h"

namespace robmat {

// zmcd: MCD estimate for the data in the run descriptor.
//   str  in,out  reads nvar (p), ncas (n), ipri, pcov, pcor, ocor, jqu, nrep, nsds, lsds,
//                seed, copr, cofo, cutof, sing, pnam, rpx and the vectors carved by the MCD
//                front end:
//                  a     n x p data (row-major); standardized during the search, restored
//                  b     n x p doubles of work
//                  c     10p + 10*nsds*p + (10*nsds + 12)*p(p+1)/2 doubles; on exit the
//                        packed reweighted scatter in c[0 .. p(p+1)/2 - 1]
//                  work  dneed doubles (p^2 + 10p + 20*nsds + 2n)
//                  jbst  n longs, at position n of an integer block of lneed longs
//                        (11*nsds + 5n + 2*lsds*(nsds + 1)); iw at its position 2n
//                  xmve  row 1 and 2 of the second result, and the rows after them: on exit
//                        the reweighted location in xmve[0..p-1], the eigenvalues of the
//                        reweighted scatter in xmve[p..2p-1] (missing when they cannot be
//                        had) and, with ocor, the packed reweighted correlation matrix at
//                        xmve[2p + p(p+1)/2]
//                  maha  3n doubles: on exit the classical squared distances, the robust
//                        squared distances and the 0/1 weights, n each; a value that does
//                        not exist (singular classical covariance, exact fit) is missing
//                writes jqu (h used), nrep, algo, jlp, jerd, nzwe (weights 1), fact, volm
//                (determinant of the raw scatter), dism, cutof, aw (points into work) and
//                jbst (the best h-subset, 1-based and ascending)
// Returns 0; -1 when n <= p (549/953); -2 when p < 1 (549/965); -3 when an eigen
// decomposition that an exact fit needs fails. Work space smaller than the engine needs ends
// the run through xexit(9999, 0). Allocates nothing.
int zmcd(LMTSTR* str);

// uniran: the engine's own 16-bit congruential generator.
//   seed  in,out  state; seed <- (5761*seed + 999) mod 65536 (low 16 bits, so any long is
//                 a valid state)
// Returns the new state divided by 65536, in [0, 1).
double uniran(long* seed);

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

// nbreak2: breakdown point of an estimate from h of n cases in p dimensions.
//   bper  out  the breakdown value in percent of n
// Returns the number of cases that can be replaced: n - h + 1 when h > (n+p+1)/2, else h - p.
long nbreak2(long h, long n, long p, double* bper);

// findq: k-th smallest (0-based) of aw[0..m-1] by Hoare's selection.
//   aw    in,out  m values, partly reordered: aw[0..k] are the k+1 smallest
//   indx  out     m indices, set to 0..m-1 and permuted along with aw
// Returns aw[k].
double findq(long k, long m, double* aw, long* indx);

// mcduni: the exact univariate MCD: the window of h consecutive sorted values with the
// smallest sum of squared deviations from its mean.
//   fact    in   scale factor
//   str     in   ncas (n) and jqu (h), 1 <= h <= n
//   x       in   n values in ascending order
//   slutn   out  slutn[0]: mean of the chosen window (the middle of tied windows)
//   bstd    out  fact * sqrt(minimum / h), 0 when the minimum is negative
//   ties    work 2(n - h + 1) doubles (sums and starts of the tied minimal windows)
//   wstart  out  0-based start of the chosen window
void mcduni(
    double fact, const LMTSTR* str, const double* x, double* slutn, double* bstd, double* ties, long* wstart);

}  // namespace robmat
