// The iteration history tables of the searches and of the exchange; see iteration.h.
#include "reports/iteration.h"

namespace robmat {

namespace {
constexpr int kIterHistLabel = 705;
}  // namespace

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

void iterhist0_add(IterHist0* t) { t->table.append(); }

void iterhist0_close(LMTSTR* str, IterHist0* t) {
  t->table.close();
  str->ithis = nullptr;
}

void iterhist1_open(LMTSTR* str, IterHist1* t) {
  t->table = TableWriter(str->rpx);
  t->table.create("IterHist1", kIterHistLabel, &str->ithis1)
      .column(kColLong, "Subset", &t->subset)
      .column(kColInt, "Branch", &t->branch)
      .column(kColDouble, "CurrCrit", &t->curr)
      .column(kColDouble, "BestBr", &t->bestbr)
      .column(kColDouble, "BestCrit", &t->best)
      .bind("IterHist1", &str->out);
}

void iterhist1_add(IterHist1* t) { t->table.append(); }

void iterhist1_close(LMTSTR* str, IterHist1* t) {
  t->table.close();
  str->ithis1 = nullptr;
}

}  // namespace robmat
