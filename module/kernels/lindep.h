// Linear dependency analysis of a singular covariance matrix: a maximal independent set of
// variables by greedy sweeping, every other variable as a linear combination of that set,
// and the equations printed as the row table "LinDep".
#pragma once

#include "robmat/host_services.h"

namespace robmat {

typedef U_SNAME u_sname;
typedef void* xobop;

// zcovlid: finds the variables that depend linearly on the others.
//   ipri     in      nonzero: print notes (and, packed form, the LinDep table) on rpx when
//                    some variable is dependent, or note 205 when every variance vanishes
//   cfrm     in      2: cov holds the n diagonal values of a diagonal matrix; otherwise cov
//                    is packed (element (i,j), i <= j, at i + j(j+1)/2)
//   n        in      number of variables
//   asin     in      absolute tolerance
//   msin     in      tolerance relative to the largest diagonal value
//   vsin     in      tolerance relative to each variable's own variance
//   vnam     in      n names, or null (every variable is then called "X")
//   x        in      n location values from which the constants are formed; read only when
//                    printing, may be null otherwise
//   cov      in,out  the matrix. Diagonal form: dependent values set to 0, the others to their
//                    reciprocal. Packed form: swept on the independent variables; the entry
//                    between an independent k and a dependent j holds the coefficient of k
//                    in the equation of j (negated when k > j), on the scale of the data;
//                    entries between two dependent variables are 0
//   rhs      work    n doubles (sweep work vector; coefficients when printing)
//   cdia     out     n square roots of the absolute diagonal values (packed form)
//   work     out     n sweep tolerances, one per variable (packed form)
//   lind     out     n characters: '1' independent, '0' dependent
//   rpx      in      output manager (used when printing)
//   lidetab  out     null, or the slot that receives the LinDep table
//   out      out     null, or the slot that receives the table's bound output
// Returns the number of dependent variables; 0 also when every variance vanishes (message
// 205). Failing output calls end the printing (reported with xprrlog) but not the analysis.
long zcovlid(int ipri,
             int cfrm,
             long n,
             double asin,
             double msin,
             double vsin,
             u_sname* vnam,
             double* x,
             double* cov,
             double* rhs,
             double* cdia,
             double* work,
             char* lind,
             xobop rpx,
             xobop* lidetab,
             xobop* out);

// lidprit: prints the equations of the dependent variables after zcovlid's sweeps: note 340,
// then note 206 and the LinDep table when any equation keeps a term; a dependent variable
// whose equation keeps no term and whose constant is below 1e-6 is named by note 204.
//   n, vnam, x, lind  as for zcovlid; cov is the swept packed matrix
//   ndep              number of dependent variables
//   rhs               work, n doubles
//   rpx, lidetab, out as for zcovlid
// Returns 0, or the first failing status (negative from an output call, 1 when the table's
// memory pool could not be had), already reported with xprrlog.
int lidprit(long n,
            long ndep,
            u_sname* vnam,
            double* x,
            double* cov,
            double* rhs,
            char* lind,
            xobop rpx,
            xobop* lidetab,
            xobop* out);

}  // namespace robmat
