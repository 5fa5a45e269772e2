// What the regression engine prints while it computes: notes of set 549 in the output, log
// messages, and the iteration history of the subset search. One small function per print,
// so the computing routines say only what happened and the printing layer can change below.
// Notes print only when ipri != 0; log messages always go out.
#pragma once

#include "reports/output.h"
#include "robmat/lmtstr.h"

namespace robmat {
namespace lmts_report {

// Messages of the regression engine (set 549): the log, the notes of its reports and the
// labels and titles of its row tables. Argument types in parentheses.
enum LmtsMessage : int {
  // Log.
  kMsgInterceptColumn = 950,     // the last design column is not all ones
  kMsgHRange = 951,              // h clamped into its bounds (lower, upper: long)
  kMsgLsSingular = 952,          // X'WX singular, estimates from a generalized inverse
  kMsgStartSingular = 956,       // the given start subset is singular
  kMsgLocationTooFew = 960,      // intercept-only model with n < 3
  kMsgResponseMadZero = 961,     // intercept-only model, MAD of y is 0
  kMsgFewWeights = 962,          // (long)
  kMsgVeryManySubsets = 963,     // n, nrep (long), subset size (int)
  kMsgManySubsets = 964,         // subset size (int), n (long)
  kMsgNoParameters = 965,        // (int)
  kMsgLocationScaleZero = 966,   // intercept-only model, robust scale 0
  kMsgTooFewCases = 967,         // n (long), p (int)
  kMsgRegressorScaleZero = 968,  // column (int)
  kMsgResponseScaleZero = 969,
  // Notes.
  kMsgInterceptOnly = 384,
  kMsgLtsObjective = 385,  // h (long)
  kMsgLmsObjective = 386,  // h (long)
  kMsgOlsHeading = 387,
  kMsgRlsHeading = 388,
  kMsgClosing = 389,
  kMsgPercentDone = 402,    // (int)
  kMsgBestCriterion = 403,  // (double)
  kMsgLsLocation = 405,     // mean, standard deviation (double)
  kMsgLtsHeading = 406,
  kMsgLmsHeading = 407,
  kMsgLmsRank = 408,           // h (long)
  kMsgLtsCount = 409,          // h (long)
  kMsgBreakdownHighest = 410,  // percent (double)
  kMsgBreakdown = 411,         // percent (double)
  kMsgLmsCriterion = 412,      // the values of 412-423: double, 422: long
  kMsgLmsPreliminary = 414,
  kMsgLtsCriterion = 415,
  kMsgLtsPreliminary = 417,
  kMsgLtsFinal = 418,
  kMsgLmsFinal = 419,
  kMsgWlsLocation = 420,
  kMsgWlsScale = 421,
  kMsgWlsCount = 422,
  kMsgMeanWeight = 423,
  kMsgStartCriterion = 424,  // (double)
  kMsgRandomSearch = 425,
  kMsgFullSearch = 426,
  kMsgGivenStart = 427,
  kMsgRandomDone = 428,  // subsets (long)
  kMsgAllDone = 429,     // subsets (long), p (int), n (long)
  kMsgAllSingular = 430,
  kMsgSomeSingular = 431,
  kMsgNoneSingular = 432,  // subsets (long)
  kMsgExactFit = 433,
  kMsgExactScale = 434,     // (double)
  kMsgExactCount = 435,     // (long)
  kMsgRobustR2 = 436,       // (double)
  kMsgDiagMedian = 437,     // (double)
  kMsgSubsetCount = 438,    // subsets (long), subset size (int), n (long)
  kMsgAllSubsets = 439,     // (long)
  kMsgRandomSubsets = 440,  // subsets (long), subset size (int)
  kMsgLsSse = 443,          // (double)
  kMsgRlsSse = 444,
  kMsgDegreesOfFreedom = 445,  // (long)
  kMsgLsScale = 446,           // (double)
  kMsgRlsScale = 447,
  kMsgLsR2 = 448,
  kMsgRlsR2 = 449,
  kMsgFTest = 450,          // numerator and denominator degrees of freedom (long), F (double)
  kMsgFProbability = 451,   // (double)
  kMsgRlsCount = 452,       // (long)
  kMsgRlsMeanWeight = 453,  // (double)
  kMsgResidualSummary = 463,
  kMsgFastLtsAll = 509,
  kMsgFastLtsSteps = 510,  // (int)
  // Labels and titles of the row tables.
  kLabelParmEst = 465,
  kLabelRlsParmEst = 707,
  kTitleLsParmEst = 454,
  kTitleRlsParmEstLms = 455,
  kTitleRlsParmEstLts = 456,
  kTitleLsResiduals = 457,
  kTitleWlsResiduals = 458,
  kTitleLmsResiduals = 459,
  kTitleLtsResiduals = 460,
  kLabelIterHist = 705,
  kLabelResDiag = 706,
  kLabelResiduals = 708,
  kLabelBestHalf = 728,
};

// Catalogued notes of set 549 by number, without a value, with a double, with a count, with
// two doubles.
void note(const LMTSTR* str, int number);
// A note that opens a section (a heading).
void heading(const LMTSTR* str, int number);
void note_value(const LMTSTR* str, int number, double v);
void note_count(const LMTSTR* str, int number, long v);
void note_values(const LMTSTR* str, int number, double v1, double v2);

// Catalogued messages of set 549 to the log, without arguments and with one count.
void message(int number);
void message_count(int number, long v);

// Progress of the subset search in percent (402).
void percent_done(const LMTSTR* str, int pct);

// chrep: how many subsets exist (438), the choice (439 all, 440 random), and the warnings
// about very long searches (963, 964).
void subset_plan(const LMTSTR* str, long count, int nimx);
void subset_count_warning(const LMTSTR* str, int nimx);

// The iteration history IterHist0 of the subset search: the bound variables of its row
// ("Subset", "Singular", "CurrCrit" at ipri >= 5, "BestCrit", "Pct"), which the table reads at
// every append, and whatever the printing layer keeps for an open table. It must live until
// the table is closed.
struct IterHist0 {
  long subset = 0;
  long singular = 0;
  double curr = 0.0;
  double best = 0.0;
  int pct = 0;
  TableWriter table{nullptr};
};
void iterhist0_open(LMTSTR* str, IterHist0* t);
void iterhist0_add(LMTSTR* str, IterHist0* t);
void iterhist0_close(LMTSTR* str, IterHist0* t);

// Every subset was singular: note 430 (when printing) and message 430.
void all_singular(const LMTSTR* str);

}  // namespace lmts_report
}  // namespace robmat
