// What the FAST searches (FAST-MCD, FAST-LTS) report alike: the print flags of a level, the
// run header, the notes on the chosen scheme in the log, the table of the subdataset sizes
// and the counts of cases on the fits of their kept solutions. The engines decide when; these
// print unconditionally.
#pragma once

#include "kernels/fast_search.h"
#include "robmat/lmtstr.h"

namespace robmat {

// The values of the run header.
struct FastHeader {
  int label;  // label and title of the table, messages of set 549
  int title;
  int p;  // variables or coefficients
  long n;
  long hdef;  // default h
  long h;
  double bper;      // breakdown value in percent
  bool univariate;  // p = 1 of MCD: the location and squared scale follow
  double loc;
  double scale2;
};

// fast_settle_print_flags: the print flags of the level str->ipri: nothing is printed at
// level 0 (pcov, pcor 0); above level 2 the scatter and the correlations are (pcov 1, pcor at
// least 1).
void fast_settle_print_flags(LMTSTR* str);

// print_fast_header: the row table "FastMCD" (template "Base.NLP.FastMCD", one row) with the
// values of hd; the table goes to str->fctd, its bound output to str->out.
void print_fast_header(LMTSTR* str, const FastHeader& hd);

// fast_log_scheme: the notes on the scheme in the log: the coverage alpha in percent, then
// the enumeration, the random starts or the subdatasets (drawn from a larger set when
// nsds * lsds < n, else a division of all cases), then that the computation starts.
//   k  in  size of an elemental subset
void fast_log_scheme(const FastScheme& sc, long n, long k, double alpha, long nsds, long lsds);

// print_subdata_sizes: the row table "SizeSubData" (title "Sizes of Subdatasets"), one row per
// group with its number (from 1) and size.
//   out  out  the bound output
void print_subdata_sizes(void* rpx, void** out, int ngrp, const long* mini);

// print_subdata_counts: the matrix "ObsLieSubData", 1 x count: for each kept solution of a
// subdataset, the number of its cases that lie on its fit (hyperplane).
void print_subdata_counts(void* rpx, const double* counts, int count);

}  // namespace robmat
