// The regression engine's notes, log messages and iteration history, through the module's
// printing layer. Argument types follow the catalogue's formats: counts are long, values
// double, the number of subset members and percentages int.
#include "regression/engine_report.h"

#include "reports/output.h"
#include "robmat/services.h"

namespace robmat {
namespace lmts_report {

namespace {
constexpr int kIterHistLabel = 705;
}  // namespace

void note(const LMTSTR* str, int number) {
  if (str->ipri != 0) robmat::note(str->rpx, number, kNoteInSection);
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

void message(int number) { xpmlog(549, number); }

void message_count(int number, long v) { xpmlog(549, number, v); }

void percent_done(const LMTSTR* str, int pct) {
  if (str->ipri != 0) note_args(str->rpx, kNoteInSection, 402, pct);
}

void subset_plan(const LMTSTR* str, long count, int nimx) {
  if (str->ipri == 0) return;
  note_args(str->rpx, kNoteOpensSection, 438, count, nimx, str->ncas);
  if (str->algo == 1)
    note_args(str->rpx, kNoteInSection, 440, str->nrep, nimx);
  else
    note_args(str->rpx, kNoteInSection, 439, str->nrep);
}

void subset_count_warning(const LMTSTR* str, int nimx) {
  if (str->nrep > 1000000)
    xpmlog(549, 963, str->ncas, str->nrep, nimx);
  else if (str->nvar > 2 && str->nrep > 100000)
    xpmlog(549, 964, nimx, str->ncas);
}

void iterhist0_open(LMTSTR* str, IterHist0* t) {
  t->table = TableWriter(str->rpx);
  t->table.create("IterHist0", kIterHistLabel, &str->ithis)
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
  if (str->ipri != 0) robmat::note(str->rpx, 430, kNoteInSection);
  xpmlog(549, 430);
}

}  // namespace lmts_report
}  // namespace robmat
