// Linear dependency analysis. The greedy sweep works on the correlation scale when it can
// (tolerances then mean the same for every variable) but ranks candidates by their residual
// variance on the data's scale, so the variables with the most variance explain the others.
#include "kernels/lindep.h"

#include <cmath>
#include <cstring>

#include "kernels/machine.h"
#include "reports/output.h"
#include "robmat/services.h"

namespace robmat {
namespace {

// Messages of the dependency analysis (set 549), and the LinDep table's label.
enum LinDepMessage : int {
  kMsgDependencies = 340,  // opens the report
  kMsgEquations = 206,     // the table of equations follows
  kMsgConstant = 204,      // a variable that is constant (its name)
  kMsgNoVariance = 205,    // every variance vanishes
  kLinDepLabel = 701,
};

// A term smaller than this share of the equation's total size is rounding noise of the sweep.
constexpr double kTermShare = 1.053671212772351e-08;
constexpr double kNegligibleConstant = 1e-6;

inline long tri(long i) { return i * (i + 1) / 2; }

struct Name {
  char text[33];
  int len;
};

Name name_of(const u_sname* vnam, long j) {
  Name nm{};
  if (vnam == nullptr) {
    nm.text[0] = 'X';
    nm.len = 1;
    return nm;
  }
  int len = vnam[j].len;
  if (len < 0) len = 0;
  if (len > 32) len = 32;
  std::memcpy(nm.text, vnam[j].name, static_cast<size_t>(len));
  nm.text[len] = '\0';
  nm.len = len;
  return nm;
}

void note_line(xobop rpx, void* text, NoteStyle style) { text_line(rpx, text, style, 'l'); }

void note_name(xobop rpx, int number, const u_sname* vnam, long j) {
  Name nm = name_of(vnam, j);
  note_line(rpx, rpxmsgs(kSetModule, number, static_cast<const char*>(nm.text)), kNoteInSection);
}

// The equation of dependent variable j: coefficients b_k of the independent variables into
// rhs (0 elsewhere), the constant, and the threshold below which a term is dropped.
struct Equation {
  double constant;
  double threshold;
};

Equation equation_of(
    long j, long n, long m, const double* x, const double* cov, const char* lind, double* rhs) {
  double c = x != nullptr ? x[j] : 0.0;
  double size = 0.0;
  for (long k = 0; k < n; ++k) {
    if (lind[k] != '1') {
      rhs[k] = 0.0;
      continue;
    }
    rhs[k] = k < j ? cov[tri(j) + k] : -cov[tri(k) + j];
    if (x != nullptr) c -= rhs[k] * x[k];
    size += std::fabs(rhs[k]);
  }
  const double big = std::fabs(c) > 1.0 ? std::fabs(c) : 1.0;
  return {c, kTermShare / static_cast<double>(m > 0 ? m : 1) * (big + size)};
}

bool kept(long k, const char* lind, const double* rhs, const Equation& eq) {
  return lind[k] == '1' && std::fabs(rhs[k]) >= eq.threshold;
}

void fill_text(char* field, int width, const char* text, int len) {
  std::memset(field, ' ', static_cast<size_t>(width));
  std::memcpy(field, text, static_cast<size_t>(len < width ? len : width));
}

}  // namespace

int lidprit(long n,
            long ndep,
            u_sname* vnam,
            double* x,
            double* cov,
            double* rhs,
            char* lind,
            xobop rpx,
            xobop* lidetab,
            xobop* out) {
  const long m = n - ndep;
  note_line(rpx, rpxmsg(kSetModule, kMsgDependencies), kNoteOpensSection);

  long groups = 0;
  int width = 8;
  for (long j = 0; j < n; ++j) {
    if (lind[j] == '1') continue;
    const Equation eq = equation_of(j, n, m, x, cov, lind, rhs);
    long terms = 0;
    for (long k = 0; k < n; ++k) {
      if (!kept(k, lind, rhs, eq)) continue;
      ++terms;
      const int len = name_of(vnam, k).len;
      if (len > width) width = len;
    }
    if (terms > 0 || std::fabs(eq.constant) >= kNegligibleConstant) {
      const int len = name_of(vnam, j).len;
      if (len > width) width = len;
    }
    if (terms > groups) groups = terms;
  }
  if (groups == 0) {
    // No equation has a term, so there is no table: every dependent variable is named.
    for (long j = 0; j < n; ++j)
      if (lind[j] != '1') note_name(rpx, kMsgConstant, vnam, j);
    return 0;
  }
  note_line(rpx, rpxmsg(kSetModule, kMsgEquations), kNoteInSection);

  // Bound variables: Variable, Equal, then Sign, Asterisk, Parameter per group; Constant and
  // the coefficients as doubles.
  constexpr int kNarrow = 3;
  const long nchars = width + kNarrow + groups * (2L * kNarrow + width);
  const long ndoubles = 1 + groups;
  void* pool = xmpoolc(nchars + ndoubles * static_cast<long>(sizeof(double)) + 64);
  char* chars = pool ? static_cast<char*>(xmpalloc(pool, nchars)) : nullptr;
  double* values =
      pool ? static_cast<double*>(xmpalloc(pool, ndoubles * static_cast<long>(sizeof(double)))) : nullptr;
  if (chars == nullptr || values == nullptr) {
    if (pool != nullptr) xmpoold(pool);
    xprrlog(nullptr, 1);
    return 1;
  }
  char* variable = chars;
  char* equal = variable + width;
  char* group_chars = equal + kNarrow;
  auto sign_of = [&](long g) { return group_chars + g * (2L * kNarrow + width); };
  auto asterisk_of = [&](long g) { return sign_of(g) + kNarrow; };
  auto parameter_of = [&](long g) { return sign_of(g) + 2 * kNarrow; };
  double* constant = values;
  double* coefficient = values + 1;

  TableWriter t(rpx, /*report=*/true);
  t.create("LinDep", kLinDepLabel, lidetab)
      .column(kColChars, "Variable", variable, 0, width)
      .column(kColChars, "Equal", equal, 0, kNarrow)
      .column(kColDouble, "Constant", constant);
  for (long g = 0; g < groups && t.ok(); ++g) {
    t.column(kColChars, "Sign", sign_of(g), 0, kNarrow, "Sign")
        .column(kColDouble, "Coefficient", coefficient + g, 0, 0, "Coefficient")
        .column(kColChars, "Asterisk", asterisk_of(g), 0, kNarrow, "Asterisk")
        .column(kColChars, "Parameter", parameter_of(g), 0, width, "Parameter");
  }
  t.bind("LinDep", out);
  for (long j = 0; j < n && t.ok(); ++j) {
    if (lind[j] == '1') continue;
    const Equation eq = equation_of(j, n, m, x, cov, lind, rhs);
    long g = 0;
    for (long k = 0; k < n; ++k) {
      if (!kept(k, lind, rhs, eq)) continue;
      const Name nm = name_of(vnam, k);
      fill_text(sign_of(g), kNarrow, rhs[k] < 0.0 ? "-" : "+", 1);
      coefficient[g] = std::fabs(rhs[k]);
      fill_text(asterisk_of(g), kNarrow, "*", 1);
      fill_text(parameter_of(g), width, nm.text, nm.len);
      ++g;
    }
    if (g == 0 && std::fabs(eq.constant) < kNegligibleConstant) {
      note_name(rpx, kMsgConstant, vnam, j);
      continue;
    }
    // Groups beyond this equation's own terms stay blank.
    for (long e = g; e < groups; ++e) {
      fill_text(sign_of(e), kNarrow, "", 0);
      coefficient[e] = missing_value();
      fill_text(asterisk_of(e), kNarrow, "", 0);
      fill_text(parameter_of(e), width, "", 0);
    }
    const Name nm = name_of(vnam, j);
    fill_text(variable, width, nm.text, nm.len);
    fill_text(equal, kNarrow, "=", 1);
    *constant = eq.constant;
    t.append();
  }
  const int rc = t.close();
  xmpoold(pool);
  return rc;
}

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
             xobop* out) {
  std::memset(lind, '0', static_cast<size_t>(n > 0 ? n : 0));

  if (cfrm == 2) {
    double dmax = 0.0;
    for (long j = 0; j < n; ++j)
      if (std::fabs(cov[j]) > dmax) dmax = std::fabs(cov[j]);
    const double tol = asin > msin * dmax ? asin : msin * dmax;
    long ndep = 0;
    for (long j = 0; j < n; ++j) {
      if (std::fabs(cov[j]) <= tol) {
        cov[j] = 0.0;
        ++ndep;
      } else {
        lind[j] = '1';
        cov[j] = 1.0 / cov[j];
      }
    }
    if (ipri != 0 && ndep > 0) {
      note_line(rpx, rpxmsg(kSetModule, kMsgDependencies), kNoteOpensSection);
      for (long j = 0; j < n; ++j)
        if (lind[j] == '0') note_name(rpx, kMsgConstant, vnam, j);
    }
    return ndep;
  }

  double dmax = 0.0;
  double hmin = 0.0;
  for (long j = 0; j < n; ++j) {
    const double v = std::fabs(cov[tri(j) + j]);
    cdia[j] = std::sqrt(v);
    if (v > dmax) dmax = v;
    if (j == 0 || cdia[j] < hmin) hmin = cdia[j];
  }
  if (dmax <= kSqrtDblMin) {
    xpmlog(kSetModule, kMsgNoVariance);
    if (ipri != 0) note_line(rpx, rpxmsg(kSetModule, kMsgNoVariance), kNoteOpensSection);
    return 0;
  }

  const bool scaled = hmin > kScalableRoot;
  for (long j = 0; j < n; ++j) {
    const double v = cov[tri(j) + j];
    double t;
    if (scaled) {
      t = asin / v;
      if (msin * dmax / v > t) t = msin * dmax / v;
      if (vsin > t) t = vsin;
    } else {
      t = vsin * v;
      if (msin * dmax > t) t = msin * dmax;
      if (asin > t) t = asin;
    }
    work[j] = t;
  }
  if (scaled) {
    for (long i = 0; i < n; ++i)
      for (long j = 0; j <= i; ++j) cov[tri(i) + j] /= cdia[i] * cdia[j];
  }

  for (long step = 0; step < n; ++step) {
    long best = -1;
    double best_variance = 0.0;
    for (long j = 0; j < n; ++j) {
      const double diag = cov[tri(j) + j];
      if (lind[j] != '0' || !(diag > work[j])) continue;
      const double variance = scaled ? diag * cdia[j] * cdia[j] : diag;
      if (best < 0 || variance > best_variance) {
        best = j;
        best_variance = variance;
      }
    }
    if (best < 0) break;
    zsweep(cov, static_cast<int32_t>(best), static_cast<int32_t>(n), lind, rhs, -kDblMin);
    if (lind[best] == '0') break;  // the host declined the pivot: nothing more can be swept
  }

  long ndep = 0;
  for (long j = 0; j < n; ++j) ndep += lind[j] == '0';
  for (long j = 0; j < n; ++j) {
    if (lind[j] != '0') continue;
    for (long k = 0; k < n; ++k) {
      if (k == j) continue;
      double& entry = k < j ? cov[tri(j) + k] : cov[tri(k) + j];
      if (lind[k] == '0') {
        entry = 0.0;
      } else if (scaled) {
        entry *= cdia[j] / cdia[k];
      }
    }
  }

  if (ipri != 0 && ndep > 0) lidprit(n, ndep, vnam, x, cov, rhs, lind, rpx, lidetab, out);
  return ndep;
}

}  // namespace robmat
