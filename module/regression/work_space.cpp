// The work-space layout of one LMS/LTS call: how many doubles and integers each block needs
// and where the subset search finds its vectors in them. The front end, the engine and the
// tests share these formulas, so a change of layout happens in one place.
#include "regression/regression.h"

namespace robmat {

long lmts_fast_jbst(long n, int p) { return 4 * n > p ? 4 * n : p; }

LmtsSizes lmts_sizes(long n, int p, int ilsq, int flts, int nsds, int lsds, int signif) {
  const long pp = p;
  const long nn = pp * (pp + 1) / 2;
  LmtsSizes s{};
  s.names = pp + 1;
  s.est_rows = ilsq == 0 ? 2 : (signif != 0 ? 8 : 4);
  s.obs_rows = ilsq == 0 ? 3 : 4;
  if (flts == 0) {
    s.doubles = nn + (n + 2 * pp) + pp + (pp + 1) * (pp + 2) + 4 + n * (pp + 2);
    if (ilsq == 0) s.doubles += n + 2 * pp;
    s.longs = 2 * (pp + n) + 4;
    return s;
  }
  // The FAST scheme forms no subdataset larger than the data and no more of them than fit,
  // so a huge opt 17 asks for no work space that no subdataset could use.
  const long ls = lsds > n ? n : lsds;
  const long ns = ls >= 1 && nsds > n / ls ? n / ls : nsds;
  s.doubles = nn + 4 * n * (pp + 1) + pp + 4 + pp * (10 * ns + 12);
  s.longs = 11 * ns + 5 * n + 4 + 2 * ls * (ns + 1) + (lmts_fast_jbst(n, p) - 4 * n);
  s.doubles3 = (pp + 1) * n + pp + n * pp + 20 * ns + 4 + 6 * n + 12 * pp;
  s.doubles3 += nn + kLtsSwapCandidates * (pp + 2);
  s.longs += 2 * kLtsSwapCandidates;
  return s;
}

void lmts_place_h(LMTSTR* str) {
  const long p = str->nvar;
  str->h = str->c + (str->flts == 0 ? (p + 2) * (p + 1) / 2 : str->ncas * (p + 1));
}

bool lmts_carve_search(LMTSTR* str, Arena<double> dbl, Arena<long> lng) {
  const long n = str->ncas;
  const long p = str->nvar;
  str->inca = p;
  str->incb = 1;
  str->a = dbl.take(n * p);
  str->b = dbl.take(n);
  str->amad = dbl.take(p);
  str->amed = dbl.take(p);
  str->c = dbl.take((p + 2) * (p + 1));
  str->rupd = dbl.take(p * (p + 1) / 2);
  str->aw = dbl.take(2 * n);
  str->work = dbl.take(p);
  if (str->ilsq == 0) {
    str->x = dbl.take(p);
    str->ster = dbl.take(p);
    str->qres = dbl.take(n);
  }
  str->jsub = lng.take(p);
  str->jbst = lng.take(p);
  str->iw = lng.take(2 * n + 4);
  if (str->work == nullptr || (str->ilsq == 0 && str->qres == nullptr) || str->iw == nullptr) return false;
  lmts_place_h(str);
  return true;
}

bool lmts_carve_fast(LMTSTR* str, Arena<double> dbl, Arena<long> lng, Arena<double> dbl3) {
  const long n = str->ncas;
  const long p = str->nvar;
  str->inca = p;
  str->incb = 1;
  str->a = dbl.take(n * p);
  str->b = dbl.take(n);
  str->amad = dbl.take(p);
  str->amed = dbl.take(p);
  str->c = dbl.take(dbl.left());
  str->jbst = lng.take(lmts_fast_jbst(n, str->nvar));
  str->iw = lng.take(lng.left());
  const long tail = 2 * n + 3 * p + n;
  if (str->a == nullptr || str->b == nullptr || str->amad == nullptr || str->amed == nullptr ||
      str->c == nullptr || str->jbst == nullptr || str->iw == nullptr || dbl3.left() < tail)
    return false;
  str->work = dbl3.take(dbl3.left() - tail);
  str->aw = dbl3.take(2 * n);
  str->lsqx = dbl3.take(p);
  str->x = dbl3.take(p);
  str->ster = dbl3.take(p);
  str->qres = dbl3.take(n);
  lmts_place_h(str);
  return true;
}

FastLengths lmts_fast_lengths(long n, int p, int nsds, int lsds) {
  const LmtsSizes sz = lmts_sizes(n, p, 0, 1, nsds, lsds, 0);
  FastLengths l{};
  l.c = sz.doubles - (n * p + n + 2L * p);
  l.work = sz.doubles3 - (2 * n + 3L * p + n);
  l.iw = sz.longs - lmts_fast_jbst(n, p);
  return l;
}

}  // namespace robmat
