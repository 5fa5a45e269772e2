// The regression driver's own small routines: the consistency factor of the criterion, the
// model with only an intercept (solved exactly on the sorted response), the maps of estimates
// and their covariance between the standardized and the input scale, and R-square and F of a
// least squares fit.
#include <cfloat>
#include <cmath>

#include "kernels/distrib.h"
#include "kernels/select.h"
#include "regression/engine_report.h"
#include "regression/regression.h"
#include "robmat/services.h"

namespace robmat {

using namespace lmts_report;

namespace {

// Consistency factors of the LMS and LTS scales at the normal, by h/n = 0.5, 0.5125, ..., 0.75.
constexpr double flms[11] = {
    1.4826, 1.3998, 1.3238, 1.2535, 1.1882, 1.1272, 1.0700, 1.0160, 0.9648, 0.9161, 0.8693};
constexpr double flts[11] = {
    2.6477, 2.5092, 2.3826, 2.2662, 2.1587, 2.0589, 1.9660, 1.8790, 1.7973, 1.7203, 1.6473};

// A scale below this counts as zero for the intercept-only model (about the square root of the
// double precision).
constexpr double kTinyScale = 1.053671212772351e-08;

double median_copy(long n, const double* v, double* work) {
  for (long i = 0; i < n; ++i) work[i] = v[i];
  double m;
  medqua(1, 0, n, work, &m);
  return m;
}

// The mean weight-1 response and sqrt(sum of squared deviations / (m - 1)).
void weighted_moments(const LMTSTR* str, long m, double* mean, double* sd) {
  double s = 0.0;
  for (long i = 0; i < str->ncas; ++i) s += str->wgts[i] * str->b[i * str->incb];
  *mean = s / static_cast<double>(m);
  double ss = 0.0;
  for (long i = 0; i < str->ncas; ++i) {
    const double d = str->b[i * str->incb] - *mean;
    ss += str->wgts[i] * d * d;
  }
  *sd = std::sqrt(ss / static_cast<double>(m - 1));
}

}  // namespace

void lmts_consistency(LMTSTR* str) {
  const double n = static_cast<double>(str->ncas);
  const double h = static_cast<double>(str->jqu);
  long k = static_cast<long>((h / n - 0.5) * 40.0 + 0.5);
  if (k > 10) k = 10;
  const double q = zprobit((h + n) / (2.0 * n));
  if (str->ilts == 0) {
    str->fact = str->copr != 0 ? flms[k] : 1.0 / q;
  } else if (str->copr != 0) {
    str->fact = flts[k];
  } else {
    const double phi = std::exp(-q * q / 2.0) / 2.5066282746310002;
    const double v = 1.0 - (2.0 * n * q / h) * phi;
    str->fact = v < str->prec ? 0.0 : 1.0 / std::sqrt(v);
  }
  str->madc = 1.0 / zprobit(0.75);
  str->mavc = 1.2533141373155001;
}

int lcat(LMTSTR* str) {
  const long n = str->ncas;
  const int p = str->nvar;
  const long h = str->jqu;
  const bool lms = str->ilts == 0;
  const double dn = static_cast<double>(n);
  const double* b = str->b;
  const long incb = str->incb;
  if (n < 3) {
    lmts_report::message(kMsgLocationTooFew);
    return -1;
  }
  if (str->ilsq == 2 || str->ilsq == 3) {
    lmts_report::heading(str, kMsgOlsHeading);
    double s = 0.0;
    for (long i = 0; i < n; ++i) s += b[i * incb];
    const double mean = s / dn;
    str->x[0] = mean;
    double* w = str->aw;
    for (long i = 0; i < n; ++i) w[i] = b[i * incb];
    const double med = median_copy(n, w, w + n);
    for (long i = 0; i < n; ++i) str->sres[i] = std::fabs(b[i * incb] - med);
    str->amad[0] = median_copy(n, str->sres, w);
    if (str->amad[0] <= 1e-12) {
      lmts_report::message(kMsgResponseMadZero);
      return 1;
    }
    double ss = 0.0;
    for (long i = 0; i < n; ++i) ss += (b[i * incb] - mean) * (b[i * incb] - mean);
    str->fsce = std::sqrt(ss / (dn - 1.0));
    str->ster[0] = str->fsce / std::sqrt(dn);
    lmts_report::note_values(str, kMsgLsLocation, mean, str->fsce);
    rdual(str, 0);
  }
  lmts_report::heading(str, lms ? kMsgLmsHeading : kMsgLtsHeading);
  double* w = str->aw;
  for (long i = 0; i < n; ++i) w[i] = b[i * incb];
  rsort_work(1, n, w, str->sres);
  double t;
  double s;
  if (lms) {
    lmsloc(str, &t, &s, w);
    s *= 1.0 + (10.0 / static_cast<double>(n - p)) * (1.0 - static_cast<double>(h) / dn);
  } else {
    ltsloc(str, &t, &s, w);
  }
  if (str->ipri != 0) {
    lmts_report::note_count(str, lms ? kMsgLmsRank : kMsgLtsCount, h);
    double tb;
    const int top = nbreak(h, n, p, &tb);
    lmts_report::note_value(str, top == 0 ? kMsgBreakdown : kMsgBreakdownHighest, tb);
  }
  str->coef[0] = t;
  str->psca = s;
  str->fctw = DBL_MAX;
  str->fckw = oflmts(str, 0, str->coef);
  lmts_report::note_value(str, lms ? kMsgLmsCriterion : kMsgLtsCriterion, str->fckw);
  lmts_report::note_value(str, lms ? kMsgLmsPreliminary : kMsgLtsPreliminary, str->psca);
  if (s < kTinyScale) {
    lmts_report::message(kMsgLocationScaleZero);
    return -1;
  }
  long ones = 0;
  double ss = 0.0;
  for (long i = 0; i < n; ++i) {
    const double r = b[i * incb] - t;
    str->sres[i] = r / s;
    const bool in = std::fabs(str->sres[i]) <= str->ztst;
    str->wgts[i] = in ? 1.0 : 0.0;
    if (in) {
      ++ones;
      ss += r * r;
    }
  }
  str->nzwe = ones;
  str->avw = static_cast<double>(ones) / dn;
  str->fctw = std::sqrt(ss / (ones < 2 ? 1.0 : static_cast<double>(ones - 1)));
  lmts_report::note_value(str, lms ? kMsgLmsFinal : kMsgLtsFinal, str->fctw);
  rdual(str, 1);
  if (ones < 3) {
    lmts_report::message_count(kMsgFewWeights, ones);
    return 2;
  }
  if (str->ilsq == 1 || str->ilsq == 3) {
    lmts_report::heading(str, kMsgRlsHeading);
    double mean;
    weighted_moments(str, ones, &mean, &str->fsce);
    str->x[0] = mean;
    str->ster[0] = str->fsce / std::sqrt(static_cast<double>(ones));
    lmts_report::note_value(str, kMsgWlsLocation, mean);
    lmts_report::note_value(str, kMsgWlsScale, str->fsce);
    lmts_report::note_count(str, kMsgWlsCount, ones);
    lmts_report::note_value(str, kMsgMeanWeight, str->avw);
    rdual(str, 2);
  }
  return 0;
}

void rtran(LMTSTR* str, int job) {
  const int p = str->nvar;
  double* t = job == 1 ? str->coef : str->x;
  if (p == 1) {
    t[0] = t[0] * str->bmad / str->amad[0];
  } else {
    for (int j = 0; j < p; ++j) t[j] = t[j] * str->bmad / str->amad[j];
    if (str->noint == 0) {
      double s = 0.0;
      for (int j = 0; j < p - 1; ++j) s += t[j] * str->amed[j];
      t[p - 1] = t[p - 1] - s + str->bmed;
    }
  }
  const double b2 = str->bmad * str->bmad;
  if (job == 1)
    str->fckw *= b2;
  else
    str->fssq *= b2;
}

void irtran(LMTSTR* str, int job) {
  if (str->bmad == 0.0) return;
  const int p = str->nvar;
  double* t = job == 1 ? str->coef : str->x;
  if (p == 1) {
    t[0] = t[0] * str->amad[0] / str->bmad;
    return;
  }
  if (str->noint == 0) {
    double s = 0.0;
    for (int j = 0; j < p - 1; ++j) s += t[j] * str->amed[j];
    t[p - 1] = t[p - 1] + s - str->bmed;
  }
  for (int j = 0; j < p; ++j) t[j] = t[j] * str->amad[j] / str->bmad;
}

void trc(LMTSTR* str) {
  if (str->icov == 0) return;
  const int p = str->nvar;
  double* c = str->h;
  auto at = [c](int i, int j) -> double& {
    return i >= j ? c[static_cast<long>(i) * (i + 1) / 2 + j] : c[static_cast<long>(j) * (j + 1) / 2 + i];
  };
  // A missing variance (lsl without a usable regressor) stays missing.
  for (int i = 0; i < p; ++i)
    for (int j = 0; j <= i; ++j)
      if (!wzmis(at(i, j))) at(i, j) *= (str->bmad / str->amad[i]) * (str->bmad / str->amad[j]);
  if (p > 1 && str->noint == 0) {
    // The intercept is u'z with u = (-amed_0, ..., -amed_{q-1}, 1) over the scaled
    // coordinates z: its row becomes u'C and its variance u'Cu. The new variance needs the
    // old row, so the row's own entry is formed first.
    const int q = p - 1;
    double vq = at(q, q);
    for (int k = 0; k < q; ++k) vq -= str->amed[k] * at(k, q);
    double var = vq;
    for (int j = 0; j < q; ++j) {
      double v = at(q, j);
      for (int k = 0; k < q; ++k) v -= str->amed[k] * at(k, j);
      at(q, j) = v;
      var -= str->amed[j] * v;
    }
    at(q, q) = var;
  }
  for (int j = 0; j < p; ++j) {
    const double v = at(j, j);
    str->ster[j] = wzmis(v) ? missing_value() : std::sqrt(v < 0.0 ? 0.0 : v);
  }
}

void rsqu(LMTSTR* str, int job, double sse) {
  const long n = str->ncas;
  const int p = str->nvar;
  const double m = job == 0 ? static_cast<double>(n) : static_cast<double>(str->nzwe);
  const bool intercept = str->noint == 0;
  double mean = 0.0;
  if (intercept) {
    for (long i = 0; i < n; ++i) mean += str->wgts[i] * (str->b[i * str->incb] * str->bmad + str->bmed);
    mean /= m;
  }
  double sst = 0.0;
  for (long i = 0; i < n; ++i) {
    const double d = str->b[i * str->incb] * str->bmad + str->bmed - mean;
    sst += str->wgts[i] * d * d;
  }
  double r2 = sst < str->prec ? 1.0 : 1.0 - sse / sst;
  str->rsql = r2 < 0.0 ? 0.0 : (r2 > 1.0 ? 1.0 : r2);
  const double df1 = intercept ? p - 1 : p;
  const double df2 = m - p;
  if (df2 <= 0.0 || df1 <= 0.0) {
    str->fval = missing_value();
    return;
  }
  const double f = sse >= str->prec ? ((sst - sse) / df1) / (sse / df2) : 0.0;
  str->fval = f < 0.0 ? 0.0 : f;
}

}  // namespace robmat
