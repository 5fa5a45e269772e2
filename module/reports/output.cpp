// Selector calls of the printing layer. Records are built on the stack and handed to wobmth
// in the order the host's methods expect; handles of new objects come back in the records.
#include "reports/output.h"

#include <cstring>

#include "robmat/services.h"

namespace robmat {
namespace {

static_assert(sizeof(WOB_ARRAY_PARM_STR) == 24);

WOB_PARM_BLK_STR blank(int16_t tag, int8_t type) {
  WOB_PARM_BLK_STR b;
  std::memset(&b, 0, sizeof b);
  b.tag = tag;
  b.type = type;
  return b;
}

int32_t call(void* object, int32_t selector, int32_t n, WOB_PARM_BLK_STR* p) {
  return wobmth(object, nullptr, selector, n, p);
}

int32_t text_length(const char* s) { return static_cast<int32_t>(std::strlen(s)); }

}  // namespace

WOB_PARM_BLK_STR parm_char(int16_t tag, char c) {
  WOB_PARM_BLK_STR b = blank(tag, kWobChar);
  b.value.c = c;
  return b;
}

WOB_PARM_BLK_STR parm_int(int16_t tag, int32_t v) {
  WOB_PARM_BLK_STR b = blank(tag, kWobInt);
  b.value.i = v;
  return b;
}

WOB_PARM_BLK_STR parm_pointer(int16_t tag, WobType type, const void* p) {
  WOB_PARM_BLK_STR b = blank(tag, type);
  b.value.p = const_cast<void*>(p);  // the host only reads through input pointers
  return b;
}

WOB_PARM_BLK_STR parm_chars(int16_t tag, const char* s, int64_t len) {
  WOB_PARM_BLK_STR b = blank(tag, kWobChars);
  const WOB_ARRAY_PARM_STR a{len, len, s};
  std::memcpy(b.value.raw, &a, sizeof a);
  return b;
}

void* text_literal(const char* s) { return rpxtxt(s, text_length(s)); }

void* template_name(const char* name) {
  static const char kFormat[] = "Base.NLP.%*s";
  return rpxtxts(kFormat, static_cast<int32_t>(sizeof kFormat - 1), text_length(name), name);
}

int number_width(long n) {
  if (n < 999) return 3;
  if (n < 9999) return 4;
  return 5;
}

int32_t manager_create(void** rpx) {
  void* root = nullptr;
  xobinit(&root, nullptr);
  WOB_PARM_BLK_STR p[4] = {parm_chars(kTagClassName, "rpx", 3),
                           parm_chars(kTagInstance, "manager", 7),
                           parm_pointer(kTagNewObject, kWobObject, nullptr),
                           parm_int(kTagMessageSet, kSetModule)};
  const int32_t rc = wobmth(nullptr, root, kSelCreate, 4, p);
  *rpx = p[2].value.p;
  return rc;
}

int32_t manager_release(void** rpx) {
  if (*rpx == nullptr) return 0;
  WOB_PARM_BLK_STR close = blank(kTagCloseMode, kWobCloseMode);
  const int32_t rc = call(*rpx, kSelClose, 1, &close);
  wobrel(*rpx);
  *rpx = nullptr;
  return rc;
}

int text_line(void* rpx, void* text, NoteStyle style, char justify) {
  WOB_PARM_BLK_STR p[4];
  int n = 0;
  p[n++] = parm_pointer(kTagText, kWobText, text);
  if (style == kNoteOpensSection) p[n++] = parm_int(kTagOpensSection, 1);
  if (style != kNotePlain) p[n++] = parm_int(kTagInSection, 1);
  p[n++] = parm_char(kTagJustify, justify);
  return call(rpx, kSelTextLine, n, p);
}

int note(void* rpx, int number, NoteStyle style) { return text_line(rpx, rpxmsg(kSetModule, number), style); }

int print_matrix(
    void* rpx, const char* onam, void* label, int nr, int nc, const double* pd, const MatrixOptions& opt) {
  WOB_PARM_BLK_STR p[16];
  int n = 0;
  p[n++] = parm_pointer(kTagTemplate, kWobText, template_name(onam));
  p[n++] = parm_pointer(kTagName, kWobText, text_literal(onam));
  p[n++] = parm_pointer(kTagLabel, kWobText, label);
  if (opt.has_title) p[n++] = parm_pointer(kTagMatrixTitle, kWobText, opt.title);
  p[n++] = parm_pointer(kTagValues, kWobDoubles, pd);
  p[n++] = parm_int(kTagRows, nr > 0 ? nr : nc);
  p[n++] = parm_int(kTagCols, nc);
  if (opt.names) {
    p[n++] = parm_pointer(kTagRowNames, kWobShortNames, opt.rnam);
    if (opt.fixed != nullptr) {
      p[n++] = parm_pointer(kTagFixedNames, kWobFixedNames, opt.fixed);
      p[n++] = parm_int(kTagNameWidth, opt.clen);
      p[n++] = parm_int(kTagNameWidthToo, opt.clen);
    } else {
      p[n++] = parm_pointer(kTagColumnNames, kWobShortNames, opt.cnam);
    }
  }
  p[n++] = parm_chars(kTagShape, nr > 0 ? "rb" : (nr == 0 ? "sb" : "db"), 2);
  if (opt.index_matrix) {
    p[n++] = parm_int(kTagIndexMatrix, 1);
    p[n++] = parm_int(kTagIndexMatrixToo, 1);
  }
  p[n++] = parm_int(kTagOpensSection, 1);
  p[n++] = parm_int(kTagInSection, 1);
  return call(rpx, kSelPrintMatrix, n, p);
}

int pmat(void* rpx,
         const char* onam,
         int nr,
         int nc,
         const U_SNAME* rnam,
         const U_SNAME* cnam,
         const double* pd,
         int titl,
         int label) {
  MatrixOptions opt;
  opt.title = rpxmsg(kSetLabels, titl);
  opt.rnam = rnam;
  opt.cnam = cnam;
  return print_matrix(rpx, onam, rpxmsg(kSetLabels, label), nr, nc, pd, opt);
}

int pmat2(void* rpx,
          const char* onam,
          int nr,
          int nc,
          const U_SNAME* rnam,
          const char* cnam,
          int clen,
          const double* pd,
          int titl,
          int label) {
  MatrixOptions opt;
  opt.title = titl == 0 ? nullptr : rpxmsg(kSetLabels, titl);
  opt.rnam = rnam;
  opt.fixed = cnam;
  opt.clen = clen;
  return print_matrix(rpx, onam, rpxmsg(kSetLabels, label), nr, nc, pd, opt);
}

void fixed_width_names(char* buf, int clen, const char* const* names, int count) {
  for (int k = 0; k < count; ++k) {
    char* field = buf + static_cast<long>(k) * clen;
    int len = text_length(names[k]);
    if (len > clen) len = clen;
    std::memset(field, ' ', static_cast<size_t>(clen - len));
    std::memcpy(field + (clen - len), names[k], static_cast<size_t>(len));
  }
}

bool TableWriter::step(int rc) {
  if (rc < 0) {
    rc_ = rc;
    if (report_) xprrlog(nullptr, rc);
  }
  return rc_ >= 0;
}

TableWriter& TableWriter::create(const char* name, int label, void** slot) {
  if (!ok()) return *this;
  WOB_PARM_BLK_STR p[6] = {
      parm_chars(kTagClassName, "rpx", 3),
      parm_chars(kTagInstance, "data", 4),
      parm_pointer(kTagNewObject, kWobObject, nullptr),
      parm_int(kTagTableRows, -1),
      parm_pointer(kTagName, kWobText, text_literal(name)),
      parm_pointer(kTagLabel, kWobText, rpxmsg(kSetModule, label)),
  };
  const int rc = call(rpx_, kSelCreate, 6, p);
  table_ = p[2].value.p;
  if (step(rc) && slot != nullptr) *slot = table_;
  return *this;
}

TableWriter& TableWriter::title(void* text) {
  if (!ok()) return *this;
  WOB_PARM_BLK_STR p[2] = {
      parm_pointer(kTagTitleVariable, kWobText, text_literal("TitleText")),
      parm_pointer(kTagTitleText, kWobText, text),
  };
  step(call(table_, kSelTitle, 2, p));
  return *this;
}

TableWriter& TableWriter::column(
    ColumnType type, const char* name, void* var, int width, int clen, const char* tmpl) {
  if (!ok()) return *this;
  WOB_PARM_BLK_STR p[6];
  int n = 0;
  p[n++] = parm_int(kTagColumnType, type);
  p[n++] = parm_pointer(kTagName, kWobText, text_literal(name));
  p[n++] = parm_pointer(kTagBound, kWobBound, var);
  if (width != 0) p[n++] = parm_int(kTagWidth, width);
  if (clen != 0) p[n++] = parm_int(kTagCharLength, clen);
  if (tmpl != nullptr) p[n++] = parm_pointer(kTagTemplate, kWobText, text_literal(tmpl));
  step(call(table_, kSelDefineColumn, n, p));
  return *this;
}

TableWriter& TableWriter::labelled_column(ColumnType type, int label, void* var) {
  if (!ok()) return *this;
  WOB_PARM_BLK_STR p[3] = {
      parm_int(kTagColumnType, type),
      parm_pointer(kTagName, kWobText, rpxmsg(kSetModule, label)),
      parm_pointer(kTagBound, kWobBound, var),
  };
  step(call(table_, kSelDefineColumn, 3, p));
  return *this;
}

TableWriter& TableWriter::number_column(long* var, long n) {
  return column(kColLong, "Number", var, number_width(n));
}

TableWriter& TableWriter::bind(const char* name, void** out) {
  if (!ok() || !step(call(table_, kSelEndColumns, 0, nullptr))) return *this;
  WOB_PARM_BLK_STR p[3] = {
      parm_pointer(kTagObject, kWobObject, table_),
      parm_pointer(kTagObject, kWobObject, nullptr),
      parm_pointer(kTagTemplate, kWobText, template_name(name)),
  };
  const int rc = call(rpx_, kSelBind, 3, p);
  out_ = p[1].value.p;
  if (step(rc) && out != nullptr) *out = out_;
  return *this;
}

TableWriter& TableWriter::append() {
  if (ok()) step(call(table_, kSelAppend, 0, nullptr));
  return *this;
}

int TableWriter::close(bool flag) {
  WOB_PARM_BLK_STR p[1] = {parm_int(kTagFinishFlag, 1)};
  if (ok() && step(call(table_, kSelFinish, flag ? 1 : 0, flag ? p : nullptr))) {
    WOB_PARM_BLK_STR r[1] = {parm_pointer(kTagObject, kWobObject, out_)};
    step(call(rpx_, kSelRender, 1, r));
  }
  return rc_;
}

}  // namespace robmat
