// What the regression engine prints while it computes: notes of set 549 in the output, log
// messages, and the iteration history of the subset search. One small function per print,
// so the computing routines say only what happened and the printing layer can change below.
// Notes print only when ipri != 0; log messages always go out.
#pragma once

#include "reports/output.h"
#include "robmat/lmtstr.h"

namespace robmat {
namespace lmts_report {

// Catalogued notes of set 549 by number, without a value, with a double, with a count, with
// two doubles.
void note(const LMTSTR* str, int number);
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
