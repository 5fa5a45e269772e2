// Selection and sorting shared by every engine: order statistics by Hoare's selection (with
// or without an index permutation carried along), the median and the module's quartile rule,
// and ascending/descending sorts of integers and doubles.
// Everything works in place on caller memory and allocates nothing; positions are 0-based.
#pragma once

namespace robmat {

// pull: k-th order statistic by Hoare's selection (Wirth's form), partial reordering in place.
//   k   in      0-based position in ascending order, 0 <= k < m
//   m   in      number of values, m >= 1
//   aw  in,out  m doubles; on exit aw[k] is the result, aw[0..k-1] <= aw[k] <= aw[k+1..m-1]
// Returns the value at position k of the ascending order.
double pull(long k, long m, double* aw);

// findq: pull that also reports where the values went.
//   k, m, aw  as for pull; aw is reordered exactly as pull reorders it
//   indx      out  m indices, set to 0..m-1 and permuted along with aw, so indx[0..k] index
//                  the k+1 smallest values
// Returns aw[k]. The permutation it leaves decides which cases a search keeps, so it is that
// of pull's exchanges, step for step.
double findq(long k, long m, double* aw, long* indx);

// median: the middle value of n values (odd n), or the mean of the two middle values
// computed as (upper + lower) * 0.5 (even n), by selection.
//   job  in      unused (0)
//   n    in      number of values; n < 1 gives 0
//   w    in,out  n doubles, partly reordered
double median(int job, long n, double* w);

// medqua: median, or lower quartile, median and upper quartile.
//   job  in      unused (every caller passes 1)
//   imq  in      0: median only; otherwise the three quartiles
//   m    in      number of values
//   aw   in,out  m doubles, partly reordered by the selections
//   rqn  out     imq = 0: rqn[0] = median. Otherwise rqn[0..2] = lower quartile, median,
//                upper quartile. With h = m/2, q = h/2 and x(i) the i-th value in ascending
//                order: the median is x(h) (m odd) or (x(h-1)+x(h))/2; the lower quartile is
//                the median of the h smallest values, the upper quartile the median of the
//                h values at positions h..2h-1 (m = 7 gives x(4), not x(5)).
// m = 1 gives the single value for every requested statistic; m < 1 gives zeros.
void medqua(int job, int imq, long m, double* aw, double* rqn);

// lsort: sorts 64-bit integers in place.
//   asde  in      0: descending; otherwise ascending
//   n     in      number of values; n < 2 leaves ldat unchanged
//   ldat  in,out  n integers
void lsort(int asde, long n, long* ldat);

// lsort_marked: sorts k distinct indices below m ascending in O(m) time.
//   k     in      number of indices
//   m     in      range
//   ix    in,out  k distinct indices in [0, m)
//   mark  work    m longs, all 0 on entry and on exit
void lsort_marked(long k, long m, long* ix, long* mark);

// rsort: sorts doubles in place. The result is exactly that of a Shell sort with gaps n/2,
// n/4, ..., 1 that exchanges only strictly out-of-order neighbours (this fixes where +0 and
// -0, and NaNs, end up).
//   asde  in      0: descending; otherwise ascending
//   n     in      number of values; n < 2 leaves rdat unchanged
//   rdat  in,out  n doubles
void rsort(int asde, long n, double* rdat);

// rsort_work: rsort with a work area of n doubles, for callers that have one; same result,
// in linear time for the common case.
//   asde  in      as for rsort
//   n     in      number of values
//   rdat  in,out  n doubles
//   work  out     n doubles of scratch, contents undefined on exit
void rsort_work(int asde, long n, double* rdat, double* work);

}  // namespace robmat
