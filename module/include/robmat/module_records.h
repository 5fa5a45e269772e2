// The records the host reads from the module: module control, program control and the
// function table. Layouts are fixed by the host's loader, so sizes and offsets are pinned by
// static_asserts; host and module include this same header.
#pragma once

#include <cstddef>
#include <cstdint>

struct DULSYM;

extern "C" {

struct WIPGMCON {
  int64_t stacksize;
  int64_t isa;
  int64_t osa;
  char name[8];  // "vorilmts", not zero-terminated
  int64_t flags;
  void* (*ep)(int64_t);  // entry point of the program
  int64_t imgtype;
  int64_t support;
  int64_t prodid;
  int64_t cntlc;
};

struct VIMODCON {
  char tag[24];
  uint64_t modconmagic;  // 0xB0BDEBED
  uint64_t compat_flags;
  char portver[6];
  char portverl[20];
  char builddate[24];
  WIPGMCON** pgmcons;  // null-terminated list
  const char* notice;
  char releasenum[4];
};

struct FNCSTR {
  int16_t fpack;
  int16_t fnum;
  int16_t fmin;    // least number of input arguments
  int16_t fmax;    // greatest number of input arguments
  char fprod;      // product letter
  uint64_t fdesc;  // 0 function, 1 call routine
  int64_t fargi;   // 3 bits per argument: 1 numeric, 2 character
};

struct FNCITEM {
  char fncname[17];
  FNCSTR fstr;
};

struct FNCUSR {
  int32_t nfnc;
  FNCITEM* fncitem;
};

// Every front end: the argument records (null for an omitted optional one) and the count given.
typedef int32_t (*RobmatFrontEnd)(DULSYM** arg, int32_t* to_n);

}  // extern "C"

inline constexpr uint64_t kModconMagic = 0xB0BDEBEDull;
inline constexpr int kFargNumeric = 1;
inline constexpr int kFargCharacter = 2;

static_assert(sizeof(WIPGMCON) == 80);
static_assert(offsetof(WIPGMCON, name) == 24 && offsetof(WIPGMCON, ep) == 40);
static_assert(offsetof(WIPGMCON, cntlc) == 72);
static_assert(offsetof(VIMODCON, modconmagic) == 24 && offsetof(VIMODCON, compat_flags) == 32);
static_assert(offsetof(VIMODCON, portver) == 40 && offsetof(VIMODCON, portverl) == 46);
static_assert(offsetof(VIMODCON, builddate) == 66 && offsetof(VIMODCON, pgmcons) == 96);
static_assert(offsetof(VIMODCON, notice) == 104 && offsetof(VIMODCON, releasenum) == 112);
static_assert(sizeof(VIMODCON) == 120);
static_assert(sizeof(FNCSTR) == 32 && offsetof(FNCSTR, fprod) == 8);
static_assert(offsetof(FNCSTR, fdesc) == 16 && offsetof(FNCSTR, fargi) == 24);
static_assert(sizeof(FNCITEM) == 56 && offsetof(FNCITEM, fstr) == 24);
static_assert(sizeof(FNCUSR) == 16 && offsetof(FNCUSR, fncitem) == 8);
