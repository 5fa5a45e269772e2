// The iteration histories of the elemental searches and of the pairwise exchange: the row
// tables IterHist0 (one row per progress step of a search) and IterHist1 (one row per moved
// or settled branch of the exchange). Each record holds the variables its table reads at
// every append, and the writer of the open table; it must live until the table is closed.
#pragma once

#include "reports/output.h"
#include "robmat/lmtstr.h"

namespace robmat {

// IterHist0: "Subset", "Singular", "CurrCrit" (only at ipri >= 5), "BestCrit", "Pct".
struct IterHist0 {
  long subset = 0;
  long singular = 0;
  double curr = 0.0;
  double best = 0.0;
  int pct = 0;
  TableWriter table{nullptr};
};
// Creates the table on str->rpx (label 705) into str->ithis, binds it into str->out.
void iterhist0_open(LMTSTR* str, IterHist0* t);
void iterhist0_add(IterHist0* t);
// Finishes and renders the table; str->ithis is cleared.
void iterhist0_close(LMTSTR* str, IterHist0* t);

// IterHist1: "Subset" (running count of trial subsets), "Branch" (box entry, from 1),
// "CurrCrit", "BestBr" (best criterion of the branch), "BestCrit" (best over the branches).
struct IterHist1 {
  long subset = 0;
  int branch = 0;
  double curr = 0.0;
  double bestbr = 0.0;
  double best = 0.0;
  TableWriter table{nullptr};
};
// Creates the table on str->rpx (label 705) into str->ithis1, binds it into str->out.
void iterhist1_open(LMTSTR* str, IterHist1* t);
void iterhist1_add(IterHist1* t);
// Finishes and renders the table; str->ithis1 is cleared.
void iterhist1_close(LMTSTR* str, IterHist1* t);

}  // namespace robmat
