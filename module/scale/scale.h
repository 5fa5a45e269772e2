// Univariate robust scales of one sample: the median absolute deviation (raw or normalized)
// and the Rousseeuw-Croux estimators Sn and Qn, in O(n log n) time on caller work areas.
// Every entry point overwrites its sample and allocates nothing.
#pragma once

namespace robmat {

// whimed: weighted high median, the smallest value t with sum of weights of values <= t
// greater than half the total weight.
//   n     in      number of values, n >= 1
//   a     in,out  n values, reordered and overwritten
//   iwgt  in,out  n positive weights paired with a, reordered and overwritten
//   jw    out     n integers of scratch (kept weights of a pass)
//   w     out     n doubles of scratch (the copy that the trial value is selected from,
//                 then the kept values of a pass)
// Returns the weighted high median; it is one of the values of a.
double whimed(long n, double* a, long* iwgt, long* jw, double* w);

// zmad: median absolute deviation MAD = med |x_i - med x|.
//   isc  in      0: raw MAD; otherwise normalized, (1 / Phi^-1(0.75)) * MAD
//   n    in      number of values; n < 2 gives 0
//   x    in,out  n values; on exit the absolute deviations, partly reordered
// Returns the MAD.
double zmad(int isc, long n, double* x);

// zs_n: Sn = c_n * 1.1926 * lomed_i himed_j |x_i - x_j| (j over all n values, j = i too).
// lomed of m values is the ((m+1)/2)-th smallest, himed the (m/2+1)-th smallest. c_n is the
// small-sample factor (0.743, 1.851, 0.954, 1.351, 0.993, 1.198, 1.005, 1.131 for n = 2..9;
// n/(n-0.9) for odd n >= 10, 1 for even n >= 10).
//   n  in      number of values; n < 2 gives 0
//   x  in,out  n values; sorted ascending on exit
//   w  out     n doubles of work
// Returns Sn, exactly: the order statistics are exact distances between sample values.
double zs_n(long n, double* x, double* w);

// zq_n: Qn = d_n * 2.2219 * the k-th smallest of the n(n-1)/2 distances |x_i - x_j|, i < j,
// with h = n/2 + 1 and k = h(h-1)/2. d_n is the small-sample factor (0.399, 0.994, 0.512,
// 0.844, 0.611, 0.857, 0.669, 0.872 for n = 2..9; n/(n+1.4) for odd n >= 10, n/(n+3.8) for
// even n >= 10).
//   n   in      number of values; n < 2 gives 0
//   x   in,out  n values; sorted ascending on exit
//   w   out     2n doubles of work: first n the candidate values of a pass (then the
//               radix-sort scratch and the final candidates), second n the weighted
//               median's scratch or a pass's sample
//   iw  out     6n 64-bit integers of work, six blocks of n: candidate weights, kept
//               weights, left and right bound of each row, and the counts below and up to
//               a trial value per row
// Returns Qn, exactly: the k-th smallest distance whatever trial values the search meets.
// Buffer strategy: the search narrows the candidate set until at most n candidates remain
// and only then enumerates them, so w never needs more than n doubles for that step, at
// any n. Narrowing passes use sample quantiles as trial values and fall back to the
// weighted high median of the row medians (which removes at least a quarter of the
// candidates) whenever a pass fails to halve them, so the number of passes is O(log n)
// in the worst case and three or four for n = 1e6 in practice. With infinite values in x
// (distances inf - inf are NaN) the result may be NaN.
double zq_n(long n, double* x, double* w, long* iw);

}  // namespace robmat
