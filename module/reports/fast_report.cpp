// The shared reports of the FAST searches: the scheme notes are one log line each, with the
// text pieces as arguments of one format; the sizes go through the row-table writer.
#include "reports/fast_report.h"

#include "reports/output.h"
#include "robmat/services.h"

namespace robmat {

namespace {
// Headings of the header's values.
constexpr int kLabelVariables = 469;
constexpr int kLabelObservations = 470;
constexpr int kLabelDefaultH = 471;
constexpr int kLabelH = 472;
constexpr int kLabelBreakdown = 473;
constexpr int kLabelLocation = 474;
constexpr int kLabelSquaredScale = 475;
constexpr int kSizesLabel = 478;
constexpr int kSizesTitle = 479;
constexpr int kObsLieLabel = 883;  // set 0
constexpr int kObsLieTitle = 882;  // set 0
}  // namespace

void fast_settle_print_flags(LMTSTR* str) {
  if (str->ipri == 0) {
    str->pcov = 0;
    str->pcor = 0;
  } else if (str->ipri > 2) {
    str->pcov = 1;
    if (str->pcor < 1) str->pcor = 1;
  }
}

void print_fast_header(LMTSTR* str, const FastHeader& hd) {
  // The table reads its bound variables at the append.
  FastHeader v = hd;
  TableWriter t(str->rpx);
  t.create("FastMCD", v.label, &str->fctd)
      .title(rpxmsg(kSetModule, v.title))
      .labelled_column(kColInt, kLabelVariables, &v.p)
      .labelled_column(kColLong, kLabelObservations, &v.n)
      .labelled_column(kColLong, kLabelDefaultH, &v.hdef)
      .labelled_column(kColLong, kLabelH, &v.h)
      .labelled_column(kColDouble, kLabelBreakdown, &v.bper);
  if (v.univariate)
    t.labelled_column(kColDouble, kLabelLocation, &v.loc)
        .labelled_column(kColDouble, kLabelSquaredScale, &v.scale2);
  t.bind("FastMCD", &str->out).append().close();
}

void fast_log_scheme(const FastScheme& sc, long n, long k, double alpha, long nsds, long lsds) {
  const int ik = static_cast<int>(k);
  xpslog("%3z%s %g %s", "Considered 'halves' containing", alpha * 100.0, "percent of the cases.");
  if (!sc.subds && sc.enumerate)
    xpslog("%3z%s %li %s %i %s %li %s",
           "All",
           sc.ntrial,
           "trial subsamples of",
           ik,
           "out of",
           n,
           "cases are constructed.");
  else if (!sc.subds)
    xpslog("%3z%s %li %s %i %s %li %s",
           "The program has drawn",
           sc.ntrial,
           "random trial subsamples of",
           ik,
           "cases out of",
           n,
           "cases.");
  else if (nsds * lsds < n)
    xpslog("%3z%s %li %s %s %li %s",
           "The program has started by drawing",
           static_cast<long>(sc.ngrp),
           "random and nonoverlapping subdatasets of the",
           "following sizes which together form a merged set of",
           sc.nmerged,
           "observations.");
  else
    xpslog("%3z%s %li %s %i %s",
           "The program has started by randomly dividing the",
           n,
           "cases into",
           sc.ngrp,
           "nonoverlapping subdatasets.");
  xpslog("%3zThe program now carries out the actual %s", "computations. This may take some time...");
}

void print_subdata_sizes(void* rpx, void** out, int ngrp, const long* mini) {
  int group = 0;
  long size = 0;
  TableWriter t(rpx);
  t.create("SizeSubData", kSizesLabel)
      .title(rpxmsg(kSetModule, kSizesTitle))
      .column(kColInt, "Subdataset", &group)
      .column(kColLong, "Size", &size)
      .bind("SizeSubData", out);
  for (int g = 0; g < ngrp && t.ok(); ++g) {
    group = g + 1;
    size = mini[g];
    t.append();
  }
  t.close();
}

void print_subdata_counts(void* rpx, const double* counts, int count) {
  pmat(rpx, "ObsLieSubData", 1, count, nullptr, nullptr, counts, kObsLieTitle, kObsLieLabel);
}

}  // namespace robmat
