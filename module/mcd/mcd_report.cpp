// The MCD engine's printed output: the run header FastMCD, the median/MAD table, the best
// solutions of the subdatasets, the best half, the raw, consistent and reweighted
// estimates with their notes, the exact-fit report and the distances. Callers check levels.
#include <cmath>
#include <cstring>

#include "mcd/mcd_internal.h"
#include "reports/fast_report.h"
#include "reports/multivariate.h"
#include "reports/output.h"
#include "robmat/services.h"

namespace robmat {
namespace mcd {

namespace {

// Matrices of the MCD engine: label and title are messages of set 0.
constexpr MatrixId kMedianMad{"MedianMAD", 861, 860};
constexpr MatrixId kMcdLoc{"MCDLocEst", 863, 862};
constexpr MatrixId kMcdScatter{"MCDScatterEst", 865, 864};
constexpr MatrixId kMcdCorrId{"MCDCorr", 867, 866};
constexpr MatrixId kConsScatter{"ConsScatter", 869, 868};
constexpr MatrixId kRewgtLoc{"RewgtLocEst", 871, 870};
constexpr MatrixId kRewgtScatter{"RewgtScatter", 873, 872};
constexpr MatrixId kMcdEigenId{"MCDEigen", 875, 874};
constexpr MatrixId kRewgtCorr{"RewgtCorr", 877, 876};
constexpr MatrixId kMeanSubData{"MeanSubData", 879, 878};
constexpr MatrixId kCovSubData{"CovSubData", 881, 880};
constexpr MatrixId kExactMean{"Mean", 885, 884};
constexpr MatrixId kExactCov{"Cov", 887, 886};

// Row tables and notes, messages of set 549.
constexpr int kHeaderLabel = 476;
constexpr int kHeaderTitle = 477;
constexpr int kBestHalfLabel = 728;

}  // namespace

void mcd_print_header(McdWork* w, const double* uni) {
  const FastHeader hd{
      kHeaderLabel, kHeaderTitle, w->p, w->n, w->hdef, w->h, w->bper, w->p == 1, uni[0], uni[1]};
  print_fast_header(w->str, hd);
}

void mcd_print_median_mad(McdWork* w, double* work) {
  const int p = w->p;
  for (int j = 0; j < p; ++j) {
    work[2 * j] = w->med[j];
    work[2 * j + 1] = w->mad[j];
  }
  static const char* const kNames[2] = {"Median", "MAD"};
  char names[16];
  fixed_width_names(names, 8, kNames, 2);
  pmat2(w->str->rpx, kMedianMad.name, p, 2, w->str->pnam, names, 8, work, kMedianMad.titl, kMedianMad.label);
}

void mcd_print_subdata(McdWork* w) {
  LMTSTR* str = w->str;
  const int p = w->p;
  for (int g = 0; g < w->fs.scheme.ngrp; ++g) {
    note_args(str->rpx, kNoteOpensSection, kMsgSubdataBest, g + 1);
    int count = 0;
    for (int s = 0; s < 10; ++s) {
      if (fast_slot_empty(&w->lists, g, s)) break;
      const double* loc = fast_slot(&w->lists, g, s);
      print_location(str, kMeanSubData, loc);
      print_scatter(str, kCovSubData, loc + p);
      ++count;
    }
    if (count > 0) print_subdata_counts(str->rpx, w->lists.count + 10 * g, count);
  }
}

void mcd_print_best_half(McdWork* w, double* work) {
  LMTSTR* str = w->str;
  const long h = w->h;
  for (long i = 0; i < h; ++i) work[i] = static_cast<double>(str->jbst[i]);
  static const char kTitle[] = "%s %li %s";
  text_line(str->rpx,
            rpxtxts(kTitle, static_cast<int32_t>(sizeof kTitle - 1), "Entire Set of", w->n, "Observations"),
            kNoteOpensSection);
  MatrixOptions opt;
  opt.has_title = false;
  opt.names = false;
  opt.index_matrix = true;
  print_matrix(str->rpx, "BestHalf", rpxmsg(kSetModule, kBestHalfLabel), 1, static_cast<int>(h), work, opt);
}

void mcd_print_matrix(McdWork* w, int which, const double* v) {
  const LMTSTR* str = w->str;
  switch (which) {
    case kMcdClassicalMean:
      print_location(str, kClassicalMean, v);
      break;
    case kMcdClassicalCov:
      print_scatter(str, kClassicalCov, v);
      break;
    case kMcdClassicalCorr:
      print_scatter(str, kClassicalCorr, v);
      break;
    case kMcdLocEst:
      print_location(str, kMcdLoc, v);
      break;
    case kMcdScatterEst:
      print_scatter(str, kMcdScatter, v);
      break;
    case kMcdCorr:
      print_scatter(str, kMcdCorrId, v);
      break;
    case kMcdConsScatter:
      print_scatter(str, kConsScatter, v);
      break;
    case kMcdRewgtLoc:
      print_location(str, kRewgtLoc, v);
      break;
    case kMcdRewgtScatter:
      print_scatter(str, kRewgtScatter, v);
      break;
    case kMcdEigen:
      print_location(str, kMcdEigenId, v);
      break;
    case kMcdRewgtCorr:
      print_scatter(str, kRewgtCorr, v);
      break;
    default:
      break;
  }
}

void mcd_note_value(McdWork* w, int number, double v) { note_args(w->str->rpx, kNoteInSection, number, v); }

void mcd_note_count(McdWork* w, int number, long v) { note_args(w->str->rpx, kNoteInSection, number, v); }

void mcd_note_cons(McdWork* w, double factor, double det) {
  note_args(w->str->rpx, kNoteInSection, kMsgConsistency, factor, det);
}

void mcd_print_exact(McdWork* w, int job, long kount, const double* mu, const double* cov) {
  LMTSTR* str = w->str;
  void* rpx = str->rpx;
  const int p = w->p;
  const double* v = w->z + static_cast<long>(p - 1) * p;
  const int opening = p == 2 ? kMsgOnLine : (p == 3 ? kMsgOnPlane : kMsgOnHyperplane);
  note_args(rpx, kNoteOpensSection, opening, kount, w->n);
  auto sign = [](double c) { return c >= 0.0 ? "+" : "-"; };
  if (p == 2) note_args(rpx, kNoteInSection, kMsgLineEquation, v[0], sign(v[1]), std::fabs(v[1]));
  if (p == 3)
    note_args(rpx,
              kNoteInSection,
              kMsgPlaneEquation,
              v[0],
              sign(v[1]),
              std::fabs(v[1]),
              sign(v[2]),
              std::fabs(v[2]));
  note_args(
      rpx, kNoteInSection, p == 2 ? kMsgLineMean : kMsgPlaneMean, job == 1 ? "is the MCD location:" : "is:");
  print_location(str, kExactMean, mu);
  note_args(rpx, kNoteInSection, kMsgExactCov, job == 1 ? "the scatter matrix:" : ":");
  if (str->pcov != 0) print_scatter(str, kExactCov, cov);
  if (job == 1) {
    note(rpx, kMsgExactSingular, kNoteInSection);
    note(rpx, kMsgExactInfinite, kNoteInSection);
    const char* closing = p == 2 ? "ellipse becomes the line of exact fit."
                                 : (p == 3 ? "ellipsoid becomes the plane of exact fit."
                                           : "ellipsoid becomes the hyperplane of exact fit.");
    note_args(rpx, kNoteInSection, kMsgExactClosing, closing);
  }
}

void print_distances_mcd(McdWork* w) {
  LMTSTR* str = w->str;
  print_distances(str, &str->mrdis2, str->maha, str->maha + w->n, str->maha + 2 * w->n);
}

}  // namespace mcd
}  // namespace robmat
