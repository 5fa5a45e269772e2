// The output-object protocol: the method selectors, parameter tags, value kinds and column
// types through which the module prints. The module's printing layer, the host's object
// service and the tests' decoders all include this one header, so a number is written once.
#pragma once

#include <cstdint>

#include "robmat/host_services.h"

namespace robmat {

// Method selectors.
enum WobSelector : int32_t {
  kSelCreate = 0x93,         // root class: the output manager; manager: a row table
  kSelEndColumns = 0x12A,    // row table: end of the column definitions
  kSelFinish = 0x12B,        // row table: no more rows
  kSelTitle = 0x13C,         // row table: set its title
  kSelAppend = 0x149,        // row table: one row from the bound variables
  kSelDefineColumn = 0x152,  // row table: the next column
  kSelTextLine = 0x166,      // manager: one text line
  kSelPrintMatrix = 0x184,   // manager: one matrix
  kSelBind = 0x1A6,          // manager: bind a row table to its template
  kSelRender = 0x1AC,        // manager: render a bound output
  kSelClose = 0x1B6,         // any object: close it before its release
};

// Parameter tags.
enum WobTag : int16_t {
  kTagObject = 0,            // bind and render: the object, and bind's new output
  kTagShape = 105,           // matrix: "rb" rows, "sb" packed symmetric, "db" diagonal
  kTagColumnType = 103,      // column: a ColumnType
  kTagName = 138,            // table, column or matrix name
  kTagClassName = 0x8F,      // create: the class, "rpx"
  kTagNewObject = 0x90,      // create: receives the new object
  kTagInstance = 0x92,       // create: "manager", or "data" for a row table
  kTagTableRows = 148,       // create a row table: -1, rows not known in advance
  kTagMatrixTitle = 267,     // matrix title
  kTagWidth = 272,           // column display width
  kTagJustify = 273,         // text line: 'c', or 'l' for the dependency notes
  kTagIndexMatrix = 278,     // observation-number matrix: 1
  kTagOpensSection = 280,    // text line or matrix: 1
  kTagBound = 285,           // column: the variable read at every append
  kTagTitleText = 287,       // title of a row table
  kTagCharLength = 289,      // character column: its length
  kTagLabel = 296,           // table or matrix label
  kTagFinishFlag = 300,      // finish: 1
  kTagTitleVariable = 311,   // title: "TitleText"
  kTagTemplate = 339,        // template name, or a repeated column's template column
  kTagInSection = 371,       // text line or matrix: 1
  kTagValues = 389,          // matrix values
  kTagRows = 390,            // matrix rows
  kTagCols = 391,            // matrix columns
  kTagIndexMatrixToo = 393,  // observation-number matrix: 1
  kTagFixedNames = 399,      // column names side by side, each kTagNameWidth wide
  kTagNameWidth = 400,
  kTagNameWidthToo = 401,
  kTagColumnNames = 402,   // U_SNAME column names
  kTagRowNames = 412,      // U_SNAME row names, or null for numbered rows
  kTagMessageSet = 0x17F,  // create the manager: the module's message set
  kTagCloseMode = 0x1B3,   // close: kWobCloseMode, value 0
  kTagText = 577,          // text line: the text
};

// Value kinds of a parameter record.
enum WobType : int8_t {
  kWobChar = 1,
  kWobInt = 3,
  kWobFixedNames = 6,  // character buffer of fixed-width names
  kWobShortNames = 7,  // U_SNAME records
  kWobDoubles = 11,
  kWobObject = 12,
  kWobCloseMode = 13,
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

}  // namespace robmat
