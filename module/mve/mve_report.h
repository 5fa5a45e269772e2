// The MVE engine's own printed output: its matrices and its notes. What MVE shares with MCD
// and the regression engine is in reports/multivariate.h.
#pragma once

#include "reports/multivariate.h"

namespace robmat {

inline constexpr MatrixId kMveBestSubset{"BestSubset", 811, 810};
inline constexpr MatrixId kMveLoc{"MVELoc", 813, 812};
inline constexpr MatrixId kMveScatter{"MVEScatter", 815, 814};
inline constexpr MatrixId kRobustMveLoc{"RobustMVELoc", 817, 816};
inline constexpr MatrixId kRobustMveScatter{"RobustMVEScatter", 819, 818};
inline constexpr MatrixId kEigenRobust{"EigenRobust", 821, 820};
inline constexpr MatrixId kRobustCorr{"RobustCorr", 823, 822};

// MVE notes of set 549. Each takes exactly the arguments of its catalogue format.
//   mve_note          390 (opens the section), 394, 398, 400, 401, 462: none
//   mve_note_count    391 h, 395 observations kept, 399 observations of weight 0: long
//   mve_note_value    392, 403 criterion, 396 cutoff: double
//   mve_note_subsets  393: subsets tried and singular subsets, long each
//   mve_note_percent  402: percent done, int
//   mve_note_cutoff_df 397: degrees of freedom p of the default cutoff, int
//   mve_note_exchange 461: exchange variant, int (followed by the text "MVE")
void mve_note(void* rpx, int number);
void mve_note_count(void* rpx, int number, long v);
void mve_note_value(void* rpx, int number, double v);
void mve_note_subsets(void* rpx, long jlp, long jerd);
void mve_note_percent(void* rpx, int pct);
void mve_note_cutoff_df(void* rpx, int p);
void mve_note_exchange(void* rpx, int variant);

}  // namespace robmat
