// The regression engine's notes, log messages and iteration history, through the module's
// printing layer. Argument types follow the catalogue's formats: counts are long, values
// double, the number of subset members and percentages int.
#include "regression/engine_report.h"

#include "reports/output.h"
#include "robmat/services.h"

namespace robmat {
namespace lmts_report {

void note(const LMTSTR* str, int number) {
  if (str->ipri != 0) robmat::note(str->rpx, number, kNoteInSection);
}

void heading(const LMTSTR* str, int number) {
  if (str->ipri != 0) robmat::note(str->rpx, number, kNoteOpensSection);
}

void note_value(const LMTSTR* str, int number, double v) {
  if (str->ipri != 0) note_args(str->rpx, kNoteInSection, number, v);
}

void note_count(const LMTSTR* str, int number, long v) {
  if (str->ipri != 0) note_args(str->rpx, kNoteInSection, number, v);
}

void note_values(const LMTSTR* str, int number, double v1, double v2) {
  if (str->ipri != 0) note_args(str->rpx, kNoteInSection, number, v1, v2);
}

void message(int number) { xpmlog(kSetModule, number); }

void message_count(int number, long v) { xpmlog(kSetModule, number, v); }

void percent_done(const LMTSTR* str, int pct) {
  if (str->ipri != 0) note_args(str->rpx, kNoteInSection, kMsgPercentDone, pct);
}

void subset_plan(const LMTSTR* str, long count, int nimx) {
  if (str->ipri == 0) return;
  note_args(str->rpx, kNoteOpensSection, kMsgSubsetCount, count, nimx, str->ncas);
  if (str->algo == 1)
    note_args(str->rpx, kNoteInSection, kMsgRandomSubsets, str->nrep, nimx);
  else
    note_args(str->rpx, kNoteInSection, kMsgAllSubsets, str->nrep);
}

void subset_count_warning(const LMTSTR* str, int nimx) {
  if (str->nrep > 1000000)
    xpmlog(kSetModule, kMsgVeryManySubsets, str->ncas, str->nrep, nimx);
  else if (str->nvar > 2 && str->nrep > 100000)
    xpmlog(kSetModule, kMsgManySubsets, nimx, str->ncas);
}

void iterhist0_open(LMTSTR* str, IterHist0* t) {
  t->table = TableWriter(str->rpx);
  t->table.create("IterHist0", kLabelIterHist, &str->ithis)
      .column(kColLong, "Subset", &t->subset)
      .column(kColLong, "Singular", &t->singular);
  if (str->ipri >= 5) t->table.column(kColDouble, "CurrCrit", &t->curr);
  t->table.column(kColDouble, "BestCrit", &t->best)
      .column(kColInt, "Pct", &t->pct)
      .bind("IterHist0", &str->out);
}

void iterhist0_add(LMTSTR* /*str*/, IterHist0* t) { t->table.append(); }

void iterhist0_close(LMTSTR* str, IterHist0* t) {
  t->table.close();
  str->ithis = nullptr;
}

void all_singular(const LMTSTR* str) {
  if (str->ipri != 0) robmat::note(str->rpx, kMsgAllSingular, kNoteInSection);
  xpmlog(kSetModule, kMsgAllSingular);
}

}  // namespace lmts_report
}  // namespace robmat
