// Symmetric eigen decomposition, two solver pairs: Householder tridiagonalization with the
// transformation accumulated, then QL with shifts (ztred2 + ztql2, all eigenvectors), and the
// packed reduction with implicit QL for eigenvalues only (ztred3 + zimtqlv). Eigenvalues come
// out in descending order and eigenvector k is the contiguous row k of z.
#pragma once

#include "robmat/lmtstr.h"

namespace robmat {

// eigen2: all eigenvalues and eigenvectors of a packed symmetric matrix.
//   str  in   uses nvar (order n) and aw (at least 2n doubles)
//   cov  in   packed symmetric matrix, lower triangle by rows (element (i,j), j <= i, at
//             i(i+1)/2 + j)
//   z    out  n x n: eigenvector k in z[k*n .. k*n+n-1]
// Returns 0 with the eigenvalues, descending, in aw[0..n-1] (aw[n..2n-1] is work); -3 when
// the QL iteration did not converge (aw and z are then partial).
int eigen2(LMTSTR* str, double* cov, double* z);

// ztred2: orthogonal reduction of a symmetric matrix to tridiagonal form, Q'AQ = T.
//   n  in      order
//   z  in,out  n x n symmetric matrix on entry (both triangles); Q' on exit (row k of z is
//              column k of Q)
//   d  out     n diagonal elements of T
//   e  out     n subdiagonal elements of T: e[i] couples rows i-1 and i; e[0] = 0
void ztred2(long n, double* z, double* d, double* e);

// ztql2: eigenvalues, and optionally eigenvectors, of a symmetric tridiagonal matrix by QL
// iterations with implicit origin shifts.
//   n      in      order
//   z      in,out  n x n: Q' from ztred2 (or the identity) on entry; with evbit, eigenvector k
//                  in row k on exit
//   d      in,out  diagonal on entry; eigenvalues in descending order on exit (ties keep the
//                  order in which the QL phase left them)
//   e      in,out  subdiagonal as from ztred2 on entry; destroyed
//   evbit  in      nonzero: rotate and reorder the rows of z as well
// Returns 0, or -(l+1) when eigenvalue l did not converge within 50 iterations.
int ztql2(long n, double* z, double* d, double* e, int evbit);

// ztred3: orthogonal reduction of a packed symmetric matrix to tridiagonal form.
//   n    in      order
//   a    in,out  packed symmetric matrix, lower triangle by rows; holds the Householder
//                vectors on exit
//   tri  out     3n doubles: diagonal d at 0..n-1, subdiagonal e at n..2n-1 (e[0] = 0,
//                e[i] couples rows i-1 and i), the squares of e at 2n..3n-1
void ztred3(long n, double* a, double* tri);

// zimtqlv: eigenvalues of a symmetric tridiagonal matrix by implicit QL.
//   n    in      order
//   tri  in,out  from ztred3; its squared-subdiagonal part is used and modified
//   d    out     n eigenvalues in descending order
//   ind  out     n block tags: eigenvalues from the same unreduced diagonal block share a tag
//   e    work    n doubles
// Returns 0, or -(l+1) when eigenvalue l did not converge within 50 iterations or the
// iteration stalled on a subdiagonal element that is not negligible.
int zimtqlv(long n, double* tri, double* d, int* ind, double* e);

}  // namespace robmat
