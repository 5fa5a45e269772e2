// The module's printing layer: every text line, matrix and row table goes to the host's
// output objects through wobmth with arrays of WOB_PARM_BLK_STR. One helper per selector, so
// tags, value kinds and record order are written once; the engines say only what to print.
// None of these checks a status except where one is returned for callers that do.
#pragma once

#include <cstdint>

#include "robmat/host_services.h"
#include "robmat/services.h"

namespace robmat {

// Value kinds of a parameter record.
enum WobType : int8_t {
  kWobChar = 1,
  kWobInt = 3,
  kWobFixedNames = 6,  // character buffer of fixed-width names
  kWobShortNames = 7,  // U_SNAME records
  kWobDoubles = 11,
  kWobObject = 12,
  kWobBound = 17,  // variable read at every row append
  kWobChars = 20,  // WOB_ARRAY_PARM_STR
  kWobText = 66,   // text handle
};

// Column types of a row table.
enum ColumnType : int {
  kColInt = 3,
  kColLong = 4,
  kColDouble = 5,
  kColChars = 20,
};

// Parameter records; every other byte is zero.
WOB_PARM_BLK_STR parm_char(int16_t tag, char c);
WOB_PARM_BLK_STR parm_int(int16_t tag, int32_t v);
WOB_PARM_BLK_STR parm_pointer(int16_t tag, WobType type, const void* p);  // kinds 6, 7, 11, 12, 17, 66
WOB_PARM_BLK_STR parm_chars(int16_t tag, const char* s, int64_t len);     // kind 20

// Text handles: a literal, and the template "Base.NLP.<name>" of an output name.
void* text_literal(const char* s);
void* template_name(const char* name);

// Display width of an observation-number column for n observations: 3 below 999, 4 below
// 9999, else 5.
int number_width(long n);

// How a note sits in its section: neither flag, flag 371 only, or flags 280 and 371.
enum NoteStyle : int {
  kNotePlain = 0,
  kNoteInSection = 1,
  kNoteOpensSection = 2,
};

// Selector 358: one text line. justify is 'c', or 'l' for the linear dependency notes.
int text_line(void* rpx, void* text, NoteStyle style, char justify = 'c');
// A note of message set 549 without arguments.
int note(void* rpx, int number, NoteStyle style = kNotePlain);
// A note of set 549 with arguments; their types must be those of the catalogue's format.
template <class... A>
int note_args(void* rpx, NoteStyle style, int number, A... a) {
  return text_line(rpx, rpxmsgs(549, number, a...), style);
}

// Matrix printing by selector 388.
//   rpx    in  output manager
//   onam   in  output name; the template is "Base.NLP." followed by it
//   nr     in  rows; 0 sends a square "sb" matrix and a negative count "db", both with nc rows
//   nc     in  columns
//   rnam   in  row names (U_SNAME), or null for numbered rows
//   cnam   in  pmat: column names (U_SNAME), or null; pmat2: a buffer of nc names, each clen
//              characters wide and right-justified (see fixed_width_names)
//   pd     in  values, row-major; packed lower triangle by rows for "sb"
//   titl   in  title, message of set 0 (pmat2: none when 0)
//   label  in  label, message of set 0
// Returns the status of wobmth.
int pmat(void* rpx,
         const char* onam,
         int nr,
         int nc,
         const U_SNAME* rnam,
         const U_SNAME* cnam,
         const double* pd,
         int titl,
         int label);
int pmat2(void* rpx,
          const char* onam,
          int nr,
          int nc,
          const U_SNAME* rnam,
          const char* cnam,
          int clen,
          const double* pd,
          int titl,
          int label);

// Writes count names side by side into buf (count*clen characters, no terminator), each
// right-justified in clen characters and cut to clen when longer.
void fixed_width_names(char* buf, int clen, const char* const* names, int count);

// Row tables, in the order they are written: create, optional title, columns, end of the
// definitions, bind, one append per row, finish, render. Each returns the status of wobmth.
//   table_create  name and label (message of set 549); the new table goes to *table
//   table_title   title text handle (e.g. rpxmsg(549, n)) under "TitleText"
//   table_column  var is read at every append; width, clen and tmpl (template column name of
//                 a repeated column) are sent only when nonzero / non-null
//   table_bind    binds to "Base.NLP.<name>"; the bound output goes to *out
//   table_finish  with_flag sends record 300 = 1
int table_create(void* rpx, const char* name, int label, void** table);
int table_title(void* table, void* title);
int table_column(void* table,
                 ColumnType type,
                 const char* name,
                 void* var,
                 int width = 0,
                 int clen = 0,
                 const char* tmpl = nullptr);
// The 64-bit observation-number column "Number", as wide as n observations need.
int table_number_column(void* table, long* var, long n);
int table_end_columns(void* table);
int table_bind(void* rpx, void* table, const char* name, void** out);
int table_append(void* table);
int table_finish(void* table, bool with_flag = false);
int table_render(void* rpx, void* out);

}  // namespace robmat
