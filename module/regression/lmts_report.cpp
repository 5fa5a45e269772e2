// The printed reports of LMS and LTS: the descriptive statistics that also standardize the
// data (statis, corr), the robust fit (prilmts), the least squares fits (prils) and the
// residual tables with their summary (rdual). Everything prints on the input scale; the
// descriptor's data stay standardized, so values are carried back as they are printed.
#include <cmath>
#include <cstring>

#include "kernels/distrib.h"
#include "kernels/select.h"
#include "regression/engine_report.h"
#include "regression/lms1d.h"
#include "regression/regression.h"
#include "reports/multivariate.h"
#include "reports/output.h"
#include "robmat/services.h"

namespace robmat {

using namespace lmts_report;

namespace {

// A residual or scale below this is rounding of an exact fit.
constexpr double kExactResidual = 3.330669073875471e-14;

constexpr MatrixId kMedianMean{"MedianMean", 829, 829};
constexpr MatrixId kDispStdDev{"DispStdDev", 831, 831};
constexpr MatrixId kDispAbs{"DispAbs", 830, 830};
constexpr MatrixId kPearCorr{"PearCorr", 832, 832};
constexpr MatrixId kSpearCorr{"SpearCorr", 833, 833};
constexpr MatrixId kBestSubset{"BestSubset", 827, 826};
constexpr MatrixId kGivenSubset{"GivenSubset", 825, 824};
constexpr MatrixId kEstCoeff{"EstCoeff", 828, 828};
constexpr MatrixId kLsEst{"LSEst", 839, 838};
constexpr MatrixId kRlsEstLms{"RLSEstLMS", 841, 840};
constexpr MatrixId kRlsEstLts{"RLSEstLTS", 843, 842};
constexpr MatrixId kCovParm{"CovParm", 845, 844};

// The columns statis and corr describe: with an intercept the response takes the
// intercept's slot (p columns), without one it follows the regressors (p + 1).
struct Columns {
  const LMTSTR* str;
  int count;
  int response;  // slot of the response
  double value(int slot, long i) const {
    return slot == response ? str->b[i * str->incb] : str->a[i * str->inca + slot];
  }
  double location(int slot) const { return slot == response ? str->bmed : str->amed[slot]; }
  double scale(int slot) const { return slot == response ? str->bmad : str->amad[slot]; }
};

Columns columns_of(const LMTSTR* str) {
  const int p = str->nvar;
  return str->noint == 0 ? Columns{str, p, p - 1} : Columns{str, p + 1, p};
}

// With an intercept the printed matrices name the response in the intercept's place; the
// record is swapped in for the printing and back afterwards.
class ResponseName {
 public:
  explicit ResponseName(LMTSTR* str) : str_(str), swap_(str->noint == 0) {
    if (swap_) std::swap(str_->pnam[str_->nvar - 1], str_->pnam[str_->nvar]);
  }
  ~ResponseName() {
    if (swap_) std::swap(str_->pnam[str_->nvar - 1], str_->pnam[str_->nvar]);
  }
  ResponseName(const ResponseName&) = delete;
  ResponseName& operator=(const ResponseName&) = delete;

 private:
  LMTSTR* str_;
  bool swap_;
};

void print_two_columns(
    LMTSTR* str, MatrixId id, int rows, const double* v, const char* c1, const char* c2, int w) {
  const char* const names[2] = {c1, c2};
  char buf[2 * 16];
  fixed_width_names(buf, w, names, 2);
  pmat2(str->rpx, id.name, rows, 2, str->pnam, buf, w, v, id.titl, id.label);
}

// Median, mean and dispersions of the columns, carried back from the standardized data
// (the map is increasing, so the median maps to the median).
void print_statistics(LMTSTR* str) {
  const Columns cols = columns_of(str);
  const long n = str->ncas;
  const double dn = static_cast<double>(n);
  double* w = str->aw;
  double* mm = str->c;                     // count x 2: median, mean
  double* disp = str->c + 2 * cols.count;  // count x 2: dispersion, standard deviation or mean |x|
  for (int j = 0; j < cols.count; ++j) {
    const double loc = cols.location(j);
    const double sc = cols.scale(j);
    double sum = 0.0;
    double sabs = 0.0;
    for (long i = 0; i < n; ++i) {
      w[i] = cols.value(j, i);
      sum += w[i];
      sabs += std::fabs(w[i] * sc + loc);
    }
    const double mean = sum / dn;
    double ss = 0.0;
    for (long i = 0; i < n; ++i) ss += (w[i] - mean) * (w[i] - mean);
    double med;
    medqua(1, 0, n, w, &med);
    mm[2 * j] = med * sc + loc;
    mm[2 * j + 1] = mean * sc + loc;
    disp[2 * j] = sc;
    disp[2 * j + 1] = str->noint == 0 ? std::sqrt(ss / (dn - 1.0)) * sc : sabs / dn;
  }
  ResponseName swapped(str);
  print_two_columns(str, kMedianMean, cols.count, mm, "Median", "Mean", 8);
  if (str->noint == 0)
    print_two_columns(str, kDispStdDev, cols.count, disp, "Dispersion", "StdDev", 10);
  else
    print_two_columns(str, kDispAbs, cols.count, disp, "Dispersion", "MeanAbs", 10);
}

// Ranks 0..n-1 of column `slot` into r, ties sharing the mean of their ranks.
void ranks(const Columns& cols, int slot, double* r, double* v, long* idx) {
  const long n = cols.str->ncas;
  for (long i = 0; i < n; ++i) {
    v[i] = cols.value(slot, i);
    idx[i] = i;
  }
  lmsQSort(v, n, idx);
  for (long i = 0; i < n;) {
    long j = i + 1;
    while (j < n && v[j] == v[i]) ++j;
    const double mean_rank = 0.5 * static_cast<double>(i + j - 1);
    for (long k = i; k < j; ++k) r[idx[k]] = mean_rank;
    i = j;
  }
}

}  // namespace

int statis(LMTSTR* str) {
  const long n = str->ncas;
  const int p = str->nvar;
  const bool intercept = str->noint == 0;
  const double dn = static_cast<double>(n);
  double* w = str->aw;
  for (int j = 0; j <= p; ++j) {
    const bool response = j == p;
    if (intercept && j == p - 1) {
      str->amed[j] = 0.0;
      str->amad[j] = 1.0;
      continue;
    }
    double* v = response ? str->b : str->a + j;
    const long inc = response ? str->incb : str->inca;
    double loc = 0.0;
    if (intercept) {
      for (long i = 0; i < n; ++i) w[i] = v[i * inc];
      medqua(1, 0, n, w, &loc);
    }
    double sabs = 0.0;
    for (long i = 0; i < n; ++i) {
      w[i] = std::fabs(v[i * inc] - loc);
      sabs += w[i];
    }
    double scale;
    medqua(1, 0, n, w, &scale);
    scale *= str->madc;
    // More than half of the values equal: the mean absolute deviation still sees the rest.
    if (std::fabs(scale) <= str->prec) scale = sabs / dn * str->mavc;
    if (std::fabs(scale) <= str->prec) {
      if (response)
        message(kMsgResponseScaleZero);
      else
        xpmlog(kSetModule, kMsgRegressorScaleZero, j + 1);
      return -1;
    }
    for (long i = 0; i < n; ++i) v[i * inc] = (v[i * inc] - loc) / scale;
    if (response) {
      str->bmed = loc;
      str->bmad = scale;
    } else {
      str->amed[j] = loc;
      str->amad[j] = scale;
    }
  }
  if (str->ipri != 0) print_statistics(str);
  if (str->pcor != 0) corr(str);
  xpoflsh(nullptr);
  return 0;
}

void corr(LMTSTR* str) {
  const Columns cols = columns_of(str);
  const long n = str->ncas;
  const double dn = static_cast<double>(n);
  double* pear = str->h;
  double* spear = str->c;
  double* ri = str->aw;
  double* rj = str->aw + n;
  for (int i = 0; i < cols.count; ++i) {
    ranks(cols, i, ri, str->sres, str->iw);
    for (int j = 0; j <= i; ++j) {
      double mi = 0.0;
      double mj = 0.0;
      for (long k = 0; k < n; ++k) {
        mi += cols.value(i, k);
        mj += cols.value(j, k);
      }
      mi /= dn;
      mj /= dn;
      double sij = 0.0;
      double sii = 0.0;
      double sjj = 0.0;
      for (long k = 0; k < n; ++k) {
        const double di = cols.value(i, k) - mi;
        const double dj = cols.value(j, k) - mj;
        sij += di * dj;
        sii += di * di;
        sjj += dj * dj;
      }
      const double root = std::sqrt(sii * sjj);
      const long at = static_cast<long>(i) * (i + 1) / 2 + j;
      pear[at] = root > str->prec ? sij / root : missing_value();
      if (j != i) ranks(cols, j, rj, str->sres, str->iw);
      const double* rb = j != i ? rj : ri;
      double d2 = 0.0;
      for (long k = 0; k < n; ++k) d2 += (ri[k] - rb[k]) * (ri[k] - rb[k]);
      spear[at] = 1.0 - 6.0 * d2 / (dn * (dn * dn - 1.0));
    }
  }
  ResponseName swapped(str);
  if (str->pcor == 1 || str->pcor == 3)
    pmat(
        str->rpx, kPearCorr.name, 0, cols.count, str->pnam, str->pnam, pear, kPearCorr.titl, kPearCorr.label);
  if (str->pcor == 2 || str->pcor == 3)
    pmat(str->rpx,
         kSpearCorr.name,
         0,
         cols.count,
         str->pnam,
         str->pnam,
         spear,
         kSpearCorr.titl,
         kSpearCorr.label);
}

void rdual(LMTSTR* str, int job) {
  const long n = str->ncas;
  const int p = str->nvar;
  const bool location_only = p == 1 && str->noint == 0;
  const double* t = job == 1 ? str->coef : str->x;
  const double scale = job == 1 ? str->fctw : str->fsce;
  double* scaled = job == 1 ? str->sres : str->qres;
  const bool table = str->ipri >= 2;
  const char* name = job == 0
                         ? "LSResiduals"
                         : (job == 2 ? "WLSResiduals" : (str->ilts != 0 ? "LTSResiduals" : "LMSResiduals"));
  const int title =
      job == 0 ? kTitleLsResiduals
               : (job == 2 ? kTitleWlsResiduals : (str->ilts != 0 ? kTitleLtsResiduals : kTitleLmsResiduals));
  long number = 0;
  double observed = 0.0;
  double estimate = 0.0;
  double residual = 0.0;
  double over_s = 0.0;
  double weight = 0.0;
  TableWriter tw(str->rpx);
  if (table) {
    tw.create(name, kLabelResiduals, &str->presid)
        .title(rpxmsg(kSetModule, title))
        .number_column(&number, n)
        .column(kColDouble, "Observed", &observed);
    if (!location_only) tw.column(kColDouble, "Estimate", &estimate);
    tw.column(kColDouble, "Residual", &residual).column(kColDouble, "ResOverS", &over_s);
    if (job == 2) tw.column(kColDouble, "Weight", &weight);
    tw.bind(name, &str->out);
  }
  double* fit = str->aw;
  double* res = str->aw + n;
  for (long i = 0; i < n; ++i) {
    if (location_only) {
      observed = str->b[i * str->incb];
      residual = observed - t[0];
    } else {
      const double* ai = str->a + i * str->inca;
      estimate = 0.0;
      for (int j = 0; j < p; ++j) estimate += t[j] * (ai[j] * str->amad[j] + str->amed[j]);
      fit[i] = estimate;
      observed = str->b[i * str->incb] * str->bmad + str->bmed;
      residual = observed - estimate;
    }
    if (scale < kExactResidual) {
      if (std::fabs(residual) < kExactResidual) residual = 0.0;
      over_s = residual;
    } else {
      over_s = residual / scale;
    }
    scaled[i] = over_s;
    res[i] = residual;
    if (table) {
      number = i + 1;
      weight = str->wgts[i];
      tw.append();
    }
  }
  if (table) tw.close();
  if (str->ipri < 2) return;
  double v[6] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
  if (n > 0) {
    double lo = res[0];
    double hi = res[0];
    double sum = 0.0;
    for (long i = 0; i < n; ++i) {
      lo = std::fmin(lo, res[i]);
      hi = std::fmax(hi, res[i]);
      sum += res[i];
    }
    double q[3];
    medqua(1, 1, n, res, q);
    v[0] = lo;
    v[1] = q[0];
    v[2] = q[1];
    v[3] = sum / static_cast<double>(n);
    v[4] = q[2];
    v[5] = hi;
  }
  robmat::note(str->rpx, kMsgResidualSummary, kNoteOpensSection);
  print_distr_res(str->rpx, v);
}

void prils(LMTSTR* str, int job) {
  const long n = str->ncas;
  const int p = str->nvar;
  const bool rls = job != 0;
  const long df = (rls ? str->nzwe : n) - p + str->cnul;
  if (str->icov < 2) {
    const MatrixId id = !rls ? kLsEst : (str->ilts != 0 ? kRlsEstLts : kRlsEstLms);
    pmat(str->rpx, id.name, 1, p, nullptr, str->pnam, str->x, id.titl, id.label);
  } else {
    const char* name = rls ? "RLSParmEst" : "LSParmEst";
    const int title = !rls ? kTitleLsParmEst : (str->ilts != 0 ? kTitleRlsParmEstLts : kTitleRlsParmEstLms);
    int width = str->maxpnam > 10 ? str->maxpnam : 10;
    if (width > 32) width = 32;
    char variable[32];
    double est = 0.0, se = 0.0, tval = 0.0, prob = 0.0, lower = 0.0, upper = 0.0;
    TableWriter tw(str->rpx);
    tw.create(name, rls ? kLabelRlsParmEst : kLabelParmEst, &str->parest)
        .title(rpxmsg(kSetModule, title))
        .column(kColChars, "Variable", variable, 0, width)
        .column(kColDouble, "Estimate", &est)
        .column(kColDouble, "StdErr", &se)
        .column(kColDouble, "tValue", &tval)
        .column(kColDouble, "Probt", &prob)
        .column(kColDouble, "LowerWCI", &lower)
        .column(kColDouble, "UpperWCI", &upper)
        .bind(name, &str->out);
    const double z = zprobit(0.975);
    for (int j = 0; j < p && tw.ok(); ++j) {
      const int len = str->pnam[j].len < width ? str->pnam[j].len : width;
      std::memset(variable, ' ', sizeof variable);
      std::memcpy(variable, str->pnam[j].name, static_cast<size_t>(len));
      est = str->x[j];
      se = str->ster[j];
      if (wzmis(se) || std::fabs(se) <= str->prec) {
        tval = prob = lower = upper = missing_value();
      } else {
        tval = est / se;
        prob = df > 0 ? zpgt2(tval * tval, df) : missing_value();
        lower = est - z * se;
        upper = est + z * se;
      }
      tw.append();
    }
    tw.close();
  }
  rsqu(str, job, str->fssq);
  // Fewer weight-1 observations than parameters leave no degrees of freedom: the sum of
  // squares itself is then the scale's square.
  const double d = static_cast<double>(n) * str->avw - p;
  str->fsce = std::sqrt(str->fssq / (d > 0.0 ? d : 1.0));
  if (str->ipri == 0) return;
  note_value(str, rls ? kMsgRlsSse : kMsgLsSse, str->fssq);
  note_count(str, kMsgDegreesOfFreedom, df);
  note_value(str, rls ? kMsgRlsScale : kMsgLsScale, str->fsce);
  if (str->icov > 2)
    pmat(str->rpx, kCovParm.name, 0, p, str->pnam, str->pnam, str->h, kCovParm.titl, kCovParm.label);
  note_value(str, rls ? kMsgRlsR2 : kMsgLsR2, str->rsql);
  if (!wzmis(str->fval)) {
    const long df1 = str->noint == 0 ? p - 1 : p;
    note_args(str->rpx, kNoteInSection, kMsgFTest, df1, df, str->fval);
    const double pf =
        df > 0 ? zprbf(str->fval, static_cast<double>(df1), static_cast<double>(df)) : missing_value();
    note_value(str, kMsgFProbability, pf);
  }
  if (rls) {
    note_count(str, kMsgRlsCount, str->nzwe);
    note_value(str, kMsgRlsMeanWeight, str->avw);
  }
}

void prilmts(LMTSTR* str) {
  const long n = str->ncas;
  const int p = str->nvar;
  const long h = str->jqu;
  const bool lms = str->ilts == 0;
  const bool single = p == 1 && str->noint != 0;
  robmat::note(str->rpx, lms ? kMsgLmsHeading : kMsgLtsHeading, kNoteOpensSection);
  if (lms && str->noint == 999 && p == 1 && n % 2 == 0) {
    static const char kAverage[] = "Minimizing the average of the %d and %d Ordered Squared Residuals";
    text_line(str->rpx,
              rpxtxts(kAverage,
                      static_cast<int32_t>(sizeof kAverage - 1),
                      static_cast<int>(n / 2),
                      static_cast<int>(n / 2 + 1)),
              kNoteInSection);
  } else {
    note_count(str, lms ? kMsgLmsRank : kMsgLtsCount, h);
  }
  double tb;
  const int top = nbreak(h, n, p, &tb);
  note_value(str, top == 0 ? kMsgBreakdown : kMsgBreakdownHighest, tb);
  if (!single) {
    if (str->cofo != 0 && str->doim == 0)
      note(str, kMsgGivenStart);
    else if (str->algo == 0)
      note_args(str->rpx, kNoteInSection, kMsgAllDone, str->jlp, p, n);
    else
      note_count(str, kMsgRandomDone, str->jlp);
    if (str->jlp == 0) {
      // Given coefficients: no subset was solved.
    } else if (str->jerd < 1)
      note_count(str, kMsgNoneSingular, str->jlp);
    else if (str->jerd == str->jlp)
      note(str, kMsgAllSingular);
    else
      note(str, kMsgSomeSingular);
  }
  if (str->flts != 0) {
    if (n < 5001)
      note(str, kMsgFastLtsAll);
    else
      note_args(str->rpx, kNoteInSection, kMsgFastLtsSteps, str->step);
    // The best h-subset as 1-based observation numbers (FAST-LTS leaves them in iw).
    for (long i = 0; i < h; ++i) str->aw[i] = static_cast<double>(str->iw[i]);
    MatrixOptions opt;
    opt.has_title = false;
    opt.names = false;
    opt.index_matrix = true;
    print_matrix(
        str->rpx, "BestHalf", rpxmsg(kSetModule, kLabelBestHalf), 1, static_cast<int>(h), str->aw, opt);
  }
  // A subset exists only after the elemental search (or was given); the univariate walk and
  // FAST-LTS have none.
  if (str->cofo == 0 && str->flts == 0 && !single)
    print_best_subset(str, kBestSubset, str->jbst, p, str->work);
  else if (str->cofo == 1)
    print_best_subset(str, kGivenSubset, str->jbst, p, str->work);
  if (str->fctw <= str->prec) {
    note(str, kMsgExactFit);
    pmat(str->rpx, kEstCoeff.name, 1, p, nullptr, str->pnam, str->coef, kEstCoeff.titl, kEstCoeff.label);
    note_value(str, kMsgExactScale, str->fctw);
    note_count(str, kMsgExactCount, str->nzwe);
  } else {
    pmat(str->rpx, kEstCoeff.name, 1, p, nullptr, str->pnam, str->coef, kEstCoeff.titl, kEstCoeff.label);
    note_value(str, lms ? kMsgLmsCriterion : kMsgLtsCriterion, str->fckw);
    note_value(str, lms ? kMsgLmsPreliminary : kMsgLtsPreliminary, str->psca);
    note_value(str, kMsgRobustR2, str->rsqu);
    note_value(str, lms ? kMsgLmsFinal : kMsgLtsFinal, str->fctw);
  }
  rdual(str, 1);
  if (str->jhyb != 2 || str->flts != 0) return;
  double* w = str->aw;
  for (long i = 0; i < n; ++i) w[i] = str->uhyb[i];
  double med;
  medqua(1, 0, n, w, &med);
  long number = 0;
  double u = 0.0;
  double ratio = 0.0;
  TableWriter tw(str->rpx);
  tw.create("ResDiag", kLabelResDiag, &str->resdia)
      .number_column(&number, n)
      .column(kColDouble, "U", &u)
      .column(kColDouble, "ResDiag", &ratio)
      .bind("ResDiag", &str->out);
  for (long i = 0; i < n && tw.ok(); ++i) {
    number = i + 1;
    u = str->uhyb[i];
    ratio = med > str->prec ? u / med : missing_value();
    tw.append();
  }
  tw.close();
  note_value(str, kMsgDiagMedian, med);
}

}  // namespace robmat
