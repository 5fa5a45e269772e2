// The MVE engine's notes: each passes exactly the arguments of its catalogue format.
#include "mve/mve_report.h"

#include "reports/output.h"

namespace robmat {

void mve_note(void* rpx, int number) { note(rpx, number, number == 390 ? kNoteOpensSection : kNotePlain); }

void mve_note_count(void* rpx, int number, long v) { note_args(rpx, kNotePlain, number, v); }

void mve_note_value(void* rpx, int number, double v) { note_args(rpx, kNotePlain, number, v); }

void mve_note_subsets(void* rpx, long jlp, long jerd) { note_args(rpx, kNotePlain, 393, jlp, jerd); }

void mve_note_percent(void* rpx, int pct) { note_args(rpx, kNotePlain, 402, pct); }

void mve_note_cutoff_df(void* rpx, int p) { note_args(rpx, kNotePlain, 397, p); }

void mve_note_exchange(void* rpx, int variant) { note_args(rpx, kNotePlain, 461, variant, "MVE"); }

}  // namespace robmat
