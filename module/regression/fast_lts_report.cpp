// What FAST-LTS prints of its search: the kept solutions of each subdataset (coefficients and
// the cases on each fit) and the list that starts the final stage with the criterion of each
// solution, all on the standardized scale of the search. Callers check the print levels.
#include "kernels/fast_search.h"
#include "regression/fast_lts_internal.h"
#include "reports/fast_report.h"
#include "reports/multivariate.h"
#include "reports/output.h"
#include "robmat/services.h"

namespace robmat {
namespace flts {

namespace {
// Matrices: label and title are messages of set 0.
constexpr MatrixId kCoeffSubData{"CoeffSubData", 889, 888};
constexpr MatrixId kEstCoeff{"EstCoeff", 828, 828};
}  // namespace

void flts_print_subdata(FltsWork* w) {
  LMTSTR* str = w->str;
  const FastLists* lists = &w->lists;
  for (int g = 0; g < w->fs.scheme.ngrp; ++g) {
    note_args(str->rpx, kNoteOpensSection, kMsgSubdataBest, g + 1);
    const int count = static_cast<int>(fast_list_kept(lists, g, 10));
    if (count == 0) continue;
    // The kept coefficient vectors of a list are consecutive rows.
    pmat(str->rpx,
         kCoeffSubData.name,
         count,
         w->p,
         nullptr,
         str->pnam,
         fast_slot(lists, g, 0),
         kCoeffSubData.titl,
         kCoeffSubData.label);
    print_subdata_counts(str->rpx, lists->count + 10 * g, count);
  }
}

void flts_print_kept(FltsWork* w, const FastStage& st) {
  LMTSTR* str = w->str;
  const FastLists* lists = &w->lists;
  const bool merged = static_cast<long>(str->nsds) * str->lsds < w->n;
  note_args(str->rpx,
            kNoteOpensSection,
            kMsgSetTitle,
            merged ? "Merged Set of" : "Entire Set of",
            st.m,
            "Observations");
  const int count = static_cast<int>(fast_list_kept(lists, st.list, 10));
  for (int s = 0; s < count; ++s) {
    note_args(str->rpx,
              kNoteInSection,
              s == 0 ? kMsgKeptFirst : kMsgKeptNext,
              s + 1,
              lists->crit[10 * st.list + s]);
    pmat(str->rpx,
         kEstCoeff.name,
         1,
         w->p,
         nullptr,
         str->pnam,
         fast_slot(lists, st.list, s),
         kEstCoeff.titl,
         kEstCoeff.label);
  }
}

}  // namespace flts
}  // namespace robmat
