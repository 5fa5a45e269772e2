// zlmts, the LMS/LTS engine: defaults and checks, h and the consistency factor, then the
// intercept-only model or the standardized data with up to three fits in a fixed order
// (ordinary least squares, the robust fit, least squares reweighted by it), each carried
// back to the input scale before it is reported.
#include <cmath>

#include "kernels/machine.h"
#include "regression/engine_report.h"
#include "regression/regression.h"
#include "reports/output.h"
#include "robmat/services.h"

namespace robmat {

using namespace lmts_report;

namespace {

// The intercept column holds ones up to this absolute difference.
constexpr double kOneTolerance = 1.110223024625157e-12;

constexpr long kStreamModulus = 2147483647;  // 2^31 - 1, the uniform stream's modulus

bool stream_sticks(long seed) {
  return (static_cast<unsigned long>(seed) & 0xFFFFFFFFul) % static_cast<unsigned long>(kStreamModulus) == 0;
}

void print_objective(LMTSTR* str) {
  const long n = str->ncas;
  if (str->noint == 999 && n % 2 == 0 && str->nvar == 1 && str->ilts == 0) {
    static const char kAverage[] =
        "LMS: The average of the %d and %d ordered squared residuals will be minimized";
    text_line(str->rpx,
              rpxtxts(kAverage,
                      static_cast<int32_t>(sizeof kAverage - 1),
                      static_cast<int>(n / 2),
                      static_cast<int>(n / 2 + 1)),
              kNoteInSection);
    return;
  }
  note_count(str, str->ilts == 0 ? kMsgLmsObjective : kMsgLtsObjective, str->jqu);
}

// One least squares fit (job 0 ordinary, 2 reweighted) with its report. Returns lsreg's
// result (1: singular cross products, 952 logged).
int least_squares(LMTSTR* str, int job) {
  heading(str, job == 0 ? kMsgOlsHeading : kMsgRlsHeading);
  int rc = 0;
  if (str->nvar == 1) {
    lsl(str);
  } else {
    rc = lsreg(str);
    if (rc != 0) {
      message(kMsgLsSingular);
      if (job != 0) return rc;
    }
  }
  rtran(str, job);
  trc(str);
  if (str->ipri == 0) {
    rsqu(str, job, str->fssq);
    const double d = static_cast<double>(str->ncas) * str->avw - str->nvar;
    str->fsce = std::sqrt(str->fssq / (d > 0.0 ? d : 1.0));
  } else {
    prils(str, job);
  }
  rdual(str, job);
  return rc;
}

}  // namespace

int zlmts(LMTSTR* str) {
  const long n = str->ncas;
  const int p = str->nvar;
  str->mvar = 50;
  str->nnva = static_cast<long>(p) * (p + 1) / 2;
  if (str->inca <= 0) str->inca = p;
  if (str->incb <= 0) str->incb = 1;
  lmts_place_h(str);
  const bool clock_seed = str->seed <= 0 && str->copr != 0;
  if (str->seed <= 0) str->seed = str->copr == 0 ? 0 : ztime();
  if (str->sing <= 0.0) str->sing = 1e-8;
  if (str->prec <= 0.0) str->prec = kPrecDefault;
  if (str->ztst <= 0.0) str->ztst = 2.5;
  if (str->ipri == 0) {
    str->pcor = 0;
    if (str->icov > 1) str->icov = 1;
    if (str->jdia > 1) str->jdia = 1;
  }
  str->maxpnam = 0;
  for (int j = 0; j < p; ++j)
    if (str->pnam[j].len > str->maxpnam) str->maxpnam = str->pnam[j].len;

  const double miss = missing_value();
  str->nzwe = str->jerd = str->jlp = 0;
  str->fctw = str->psca = str->fckw = str->fact = str->rsqu = miss;
  str->fval = str->rsql = str->fssq = str->fsce = miss;
  for (int j = 0; j < p; ++j) str->ster[j] = miss;
  for (long i = 0; i < n; ++i) str->uhyb[i] = str->sres[i] = 0.0;

  const bool location_only = str->noint == 0 && p == 1;
  if (location_only) heading(str, kMsgInterceptOnly);
  if (n <= 2L * p) {
    xpmlog(kSetModule, kMsgTooFewCases, n, p);
    return -1;
  }
  if (p < 1) {
    xpmlog(kSetModule, kMsgNoParameters, p);
    return -2;
  }
  if (str->noint == 0)
    for (long i = 0; i < n; ++i)
      if (std::fabs(str->a[i * str->inca + p - 1] - 1.0) > kOneTolerance) {
        message(kMsgInterceptColumn);
        return -4;
      }
  // The uniform stream reads the low 32 bits of its state, and a multiple of its modulus is
  // the absorbing state 0: a clock reading that sticks is moved on by one, a seed that was
  // asked for is refused rather than silently replaced.
  if (!location_only && str->copr != 0 && stream_sticks(str->seed)) {
    if (!clock_seed) {
      xpslog(
          "%1zThe seed %ld (option 20) cannot be used with the host's random stream (option 19): its low 32 "
          "bits are "
          "a multiple of 2147483647, which would make every draw 0. Choose another seed.",
          str->seed);
      return -3;
    }
    ++str->seed;
  }

  if (str->jqu == 0) {
    str->jqu = (n + p + 1) / 2;
  } else {
    const long lo = n / 2 + 1;
    const long hi = 3 * n / 4 + (p + 1) / 4;
    if (str->jqu < lo || str->jqu > hi) {
      xpmlog(kSetModule, kMsgHRange, lo, hi);
      str->jqu = str->jqu < lo ? lo : hi;
    }
  }
  lmts_consistency(str);
  if (str->ipri != 0) print_objective(str);

  if (location_only) {
    const int rc = lcat(str);
    str->jbst[0] = 0;
    return 100 + rc;
  }

  if (statis(str) < 0) abort_run();
  str->cnul = 0;
  for (long i = 0; i < n; ++i) str->wgts[i] = 1.0;
  str->nzwe = n;
  str->avw = 1.0;

  if (str->ilsq == 2 || str->ilsq == 3) {
    least_squares(str, 0);
    if (str->flts != 0 && str->ilsq == 2)
      for (int j = 0; j < p; ++j) str->lsqx[j] = str->x[j];
  }

  const bool walk = str->ilts == 0 && str->noint != 0 && p == 1;
  if ((walk ? sublms1dnoint(str) : sublms(str)) < 0) return -5;
  rtran(str, 1);
  str->fctw *= str->bmad;
  str->fckw /= str->bmad;
  str->psca *= str->bmad;
  if (str->ipri == 0)
    rdual(str, 1);
  else
    prilmts(str);
  // Every subset drawn was singular. Given coefficients draw none, so they never fail here.
  if (!walk && str->jlp > 0 && str->jerd == str->jlp) return -5;

  if (str->fctw <= str->prec) return 1;

  if (str->ilsq == 1 || str->ilsq == 3) {
    const int rc = least_squares(str, 2);
    if (rc != 0) return rc;
  }
  heading(str, kMsgClosing);
  return 0;
}

}  // namespace robmat
