// Exact LMS through the origin with one regressor. The objective is one order statistic (or
// the mean of the two middle ones) of the parabolas (y_i - x_i m)^2; between two crossings of
// the parabola that holds it, it is that parabola, so walking from crossing to crossing over
// the range of the point slopes and trying each piece's vertex finds the exact minimum.
#include "regression/lms1d.h"

#include <cfloat>
#include <cmath>

#include "kernels/machine.h"
#include "kernels/select.h"
#include "regression/regression.h"

namespace robmat {

namespace {

// Relative resolution of slopes: crossings closer than this times the slope range coincide.
constexpr double kSlopeTol = 1.110223024625157e-13;

// The next crossing after mLimit among the two slopes at which observations i and j have
// equal squared residuals, or DBL_MAX.
double pair_crossing(const LMS1DNOINT* l, long i, long j, double mLimit) {
  const double xi = l->x[i];
  const double yi = l->y[i];
  const double xj = l->x[j];
  const double yj = l->y[j];
  double s;
  if (xi != 0.0 && std::fabs(xi - xj) < kSlopeTol) {
    s = (yj + yi) / (2.0 * xi);
  } else if (xi != 0.0 && std::fabs(xi + xj) < kSlopeTol) {
    s = (yi - yj) / (2.0 * xi);
  } else {
    const double s1 = (yi - yj) / (xi - xj);
    const double s2 = (yi + yj) / (xi + xj);
    s = (s1 <= mLimit || s2 <= mLimit) ? std::fmax(s1, s2) : std::fmin(s1, s2);
  }
  return s > mLimit ? s : DBL_MAX;
}

}  // namespace

void lms1dDev(LMS1DPtr lPtr, double m) {
  for (long i = 0; i < lPtr->n; ++i) {
    const double r = lPtr->y[i] - lPtr->x[i] * m;
    lPtr->dev[i] = r * r;
  }
}

double lms1dDevOne(LMS1DPtr lPtr, long iIn, double m) {
  const double r = lPtr->y[iIn] - lPtr->x[iIn] * m;
  return r * r;
}

double lms1dGetLoHiDev(LMS1DPtr lPtr, double m) {
  if (lPtr->n % 2 == 0) return (lms1dDevOne(lPtr, lPtr->lo, m) + lms1dDevOne(lPtr, lPtr->hi, m)) / 2.0;
  return lms1dDevOne(lPtr, lPtr->lo, m);
}

double lms1dMedDev(LMS1DPtr lPtr, double m) {
  lms1dDev(lPtr, m);
  lmsQSort(lPtr->dev, lPtr->n, nullptr);
  if (lPtr->hiPos != 0) return (lPtr->dev[lPtr->loPos] + lPtr->dev[lPtr->hiPos]) / 2.0;
  return lPtr->dev[lPtr->loPos];
}

int lms1dGetLoHiReps(LMS1DPtr lPtr, double m) {
  const long n = lPtr->n;
  lms1dDev(lPtr, m);
  for (long i = 0; i < n; ++i) lPtr->index[i] = i;
  lmsQSort(lPtr->dev, n, lPtr->index);
  const long first = lPtr->hiPos != 0 ? lPtr->hiPos - 1 : lPtr->loPos;
  const long last = lPtr->hiPos != 0 ? lPtr->hiPos : lPtr->loPos;
  lPtr->lo = lPtr->index[first];
  lPtr->hi = lPtr->index[last];
  const double tol = lPtr->mRange * kSlopeTol;
  for (long pos = first; pos <= last; ++pos) {
    if (pos > 0 && std::fabs(lPtr->dev[pos] - lPtr->dev[pos - 1]) < tol) return 1;
    if (pos + 1 < n && std::fabs(lPtr->dev[pos + 1] - lPtr->dev[pos]) < tol) return 1;
  }
  return 0;
}

void lms1dGetLoHi(LMS1DPtr lPtr, double m) {
  if (lms1dGetLoHiReps(lPtr, m) != 0) lms1dGetLoHiReps(lPtr, m + lPtr->mRange * kSlopeTol);
}

double lms1dIntersect(LMS1DPtr lPtr, double mIn, long iIn) {
  const double limit = mIn + lPtr->mRange * kSlopeTol + kHalfEps;
  const bool zero = lPtr->x[iIn] == 0.0;
  double best = DBL_MAX;
  for (long j = 0; j < lPtr->n; ++j) {
    if (zero && lPtr->x[j] == 0.0) continue;
    const double s = pair_crossing(lPtr, iIn, j, limit);
    if (s < best) best = s;
  }
  return best;
}

void lmsQSort(double* v, long n, long* index) {
  long g = 1;
  while (g < n) g *= 2;
  for (long gap = g / 2; gap >= 1; gap /= 2)
    for (long i = gap; i < n; ++i)
      for (long j = i; j >= gap && v[j] < v[j - gap]; j -= gap) {
        const double t = v[j];
        v[j] = v[j - gap];
        v[j - gap] = t;
        if (index != nullptr) {
          const long k = index[j];
          index[j] = index[j - gap];
          index[j - gap] = k;
        }
      }
}

int sublms1dnoint(LMTSTR* str) {
  const long n = str->ncas;
  const long h = str->jqu;
  LMS1DNOINT l;
  l.x = str->a;
  l.y = str->b;
  l.dev = str->sres;
  l.index = str->iw;
  l.n = n;
  if (n % 2 == 0 && str->noint == 999) {
    l.loPos = n / 2 - 1;
    l.hiPos = n / 2;
  } else {
    l.loPos = h - 1;
    l.hiPos = 0;
  }
  double mMin = DBL_MAX;
  double mMax = -DBL_MAX;
  for (long i = 0; i < n; ++i) {
    if (l.x[i] == 0.0) continue;
    const double s = l.y[i] / l.x[i];
    mMin = std::fmin(mMin, s);
    mMax = std::fmax(mMax, s);
  }
  if (mMin > mMax) mMin = mMax = 0.0;  // no regressor value: every slope fits alike
  l.mRange = mMax - mMin;
  double m = mMin;
  double best_m = mMin;
  lms1dGetLoHi(&l, m);
  double best = lms1dGetLoHiDev(&l, m);
  for (;;) {
    const double mLo = lms1dIntersect(&l, m, l.lo);
    const double mHi = l.hiPos != 0 ? lms1dIntersect(&l, m, l.hi) : DBL_MAX;
    // The vertex of the piece's parabola (of the mean of the two when averaged).
    double vertex = m;
    if (l.hiPos == 0) {
      if (l.x[l.lo] != 0.0) vertex = l.y[l.lo] / l.x[l.lo];
    } else {
      const double den = l.x[l.lo] * l.x[l.lo] + l.x[l.hi] * l.x[l.hi];
      if (den != 0.0) vertex = (l.x[l.lo] * l.y[l.lo] + l.x[l.hi] * l.y[l.hi]) / den;
    }
    const double v = lms1dMedDev(&l, vertex);
    if (v < best) {
      best = v;
      best_m = vertex;
    }
    const double next = std::fmin(mLo, mHi);
    // A walk that does not move on repeats the same step for ever (a slope that is not a
    // number, or crossings closer than the spacing of the doubles there); every walk that
    // ends moves on at each step, so stopping here changes none of them.
    if (!(next > m)) break;
    m = next;
    if (m > mMax) break;
    lms1dGetLoHi(&l, m);
    const double d = lms1dGetLoHiDev(&l, m);
    if (d < best) {
      best = d;
      best_m = m;
    }
  }
  const double dn = static_cast<double>(n);
  const double dh = static_cast<double>(h);
  str->coef[0] = best_m;
  str->fckw = std::sqrt(best);
  const double small = 1.0 + (10.0 / (dn - 1.0)) * (1.0 - dh / dn);
  str->psca = str->fact * str->fckw * small;
  double* ay = str->sres;
  for (long i = 0; i < n; ++i) ay[i] = std::fabs(str->b[i] * str->bmad + str->bmed);
  const double sy = str->fact * small * pull(h - 1, n, ay);
  double r2 = 1.0;
  if (std::fabs(sy) >= kHalfEps) {
    const double ratio = str->bmad * str->psca / sy;
    r2 = 1.0 - ratio * ratio;
  }
  str->rsqu = r2 < 0.0 ? 0.0 : (r2 > 1.0 ? 1.0 : r2);
  double s;
  restt(str, 0, 1, 1, &s, str->psca);
  str->fctw = s;
  return 0;
}

}  // namespace robmat
