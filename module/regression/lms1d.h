// The walk of the exact univariate LMS through the origin. Its objective, an order statistic
// of the parabolas (y_i - x_i m)^2, follows one parabola between the slopes where that
// parabola crosses another; these helpers find the crossings, identify which observation
// holds the order statistic, and evaluate the objective.
#pragma once

namespace robmat {

// The state of one walk.
struct LMS1DNOINT {
  double* x;      // regressor values (n)
  double* y;      // response values (n)
  double* dev;    // squared residuals at the current slope (n)
  double mRange;  // spread of the point slopes y/x; scales every tolerance
  long* index;    // observation numbers sorted with dev (n)
  long loPos;     // 0-based position of the order statistic among the sorted dev
  long hiPos;     // 0, or the position of the second of two averaged order statistics
  long lo;        // observation at loPos (at hiPos - 1 when two are averaged)
  long hi;        // observation at hiPos (lo when one order statistic is used)
  long n;         // observations
};
typedef LMS1DNOINT* LMS1DPtr;

// lms1dDev: dev_i = (y_i - x_i m)^2 for every observation.
void lms1dDev(LMS1DPtr lPtr, double m);

// lms1dDevOne: (y_i - x_i m)^2 of observation iIn.
double lms1dDevOne(LMS1DPtr lPtr, long iIn, double m);

// lms1dGetLoHiDev: the objective through the tracked observations: the mean of the squared
// residuals of lo and hi when n is even, that of lo when n is odd (lo = hi unless averaged).
double lms1dGetLoHiDev(LMS1DPtr lPtr, double m);

// lms1dMedDev: the objective by full evaluation: dev at m sorted, dev[loPos], or the mean of
// dev[loPos] and dev[hiPos] when hiPos != 0. Leaves index stale.
double lms1dMedDev(LMS1DPtr lPtr, double m);

// lms1dGetLoHiReps: sorts the squared residuals at m with their observation numbers and sets
// lo and hi. Returns 1 when a tracked order statistic ties with a neighbour (difference below
// mRange * 1.1e-13), else 0.
int lms1dGetLoHiReps(LMS1DPtr lPtr, double m);

// lms1dGetLoHi: lms1dGetLoHiReps at m, and on a tie again just right of m (m + mRange *
// 1.1e-13), where the crossing parabolas have separated.
void lms1dGetLoHi(LMS1DPtr lPtr, double m);

// lms1dIntersect: the smallest slope beyond mIn + eps (eps = mRange * 1.1e-13 + 1.1e-16) at
// which the squared residual of observation iIn equals that of another, or DBL_MAX.
double lms1dIntersect(LMS1DPtr lPtr, double mIn, long iIn);

// lmsQSort: sorts v ascending by insertion sorts with gaps g/2, g/4, ..., 1 (g the smallest
// power of two >= n), exchanging only strictly smaller later elements.
//   v      in,out  n values
//   n      in      count
//   index  in,out  n values permuted along with v, or null
void lmsQSort(double* v, long n, long* index);

}  // namespace robmat
