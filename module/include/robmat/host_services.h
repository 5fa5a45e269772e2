// The plugin boundary: the records the host passes to the module and the numbered service
// vectors of the global control block. The module reaches every host service through these
// vectors (see services.h); it never links against the host. Host and module share this file.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// One argument of a routine call. The module reads type, rows, cols and addr only.
struct DULSYM {
  char type;  // 'n' numeric matrix, 'c' character value
  char reserved[7];
  int32_t rows;
  int32_t cols;
  void* addr;    // row-major doubles, or the characters of a character value
  int64_t elen;  // element length: 8 for numbers, the number of characters for a text
  void* host;    // the host's own value behind this record
};

// Name record: a 16-bit length and up to 32 characters; 34 bytes, packed by construction.
struct U_SNAME {
  int16_t len;
  char name[32];
};

// One parameter of an output-object method call.
struct WOB_PARM_BLK_STR {
  int16_t tag;
  int8_t type;
  uint8_t flags;
  int32_t rc;  // set by the host
  union {
    char c;
    int32_t i;
    int64_t l;
    double d;
    void* p;
    unsigned char raw[24];
  } value;
};

// Character-array value (type 20).
struct WOB_ARRAY_PARM_STR {
  int64_t maxlen;
  int64_t len;
  const char* ptr;
};

// --- thread-pool extension ("rzepdl") -------------------------------------------------
struct TPDLCallBacks {
  void* done;
  void* pool;
  void* lock;
};
typedef void (*TPDLRequestFn)(void* context, void* request, void* thread, TPDLCallBacks* cb);

struct TPDLCreateParms {
  int32_t min;
  int32_t max;
  int32_t more;
  TPDLRequestFn logic;
  void* failure;
  void* ctxt;
  uint32_t flags;
  void* jnl;
  int64_t timeout;
  int64_t stackSize;
  uint32_t tFlags;
  void* poolParms;
  void* lockParms;
};

struct Puddle;
struct PuddleGeneric {
  int32_t (*destroy)(Puddle* pool);
};
// The pool's table of operations, in the order the extension provides them.
struct Puddle {
  PuddleGeneric gen;
  int32_t (*enqueue)(Puddle* pool, void* request, void* owner, int64_t flags, void* reserved);
  int32_t (*quiesce)(Puddle* pool);
  int32_t (*reset)(Puddle* pool);
  int32_t (*stats)(Puddle* pool, void* out);
  int32_t (*wait)(Puddle* pool, void* event);  // post `event` when all queued requests are done
  int32_t (*enqueueOwner)(Puddle* pool, void* request, void* owner);
  int32_t (*quiesceOwner)(Puddle* pool, void* owner);
  int32_t (*quiesceStatus)(Puddle* pool);
  int32_t (*stats2)(Puddle* pool, void* out);
  int32_t (*wait2)(Puddle* pool, void* event, int64_t timeout);
};

struct RzThreadExtension {
  Puddle* (*tpdlCreate)(const TPDLCreateParms* parms);
};

// --- service vectors -------------------------------------------------------------------
struct RzDulVector {  // arguments, results, work space
  int32_t (*duwarg2)(DULSYM* arg, int32_t* rows, int32_t* cols, int64_t* elen, void** addr);
  void* (*duwres)(int32_t k, int32_t rows, int32_t cols);
  double* (*duwresp)(int32_t k);
  void* (*duwalo2)(void** p, int64_t bytes);
  void (*duwfre2)(void** p);
  int32_t (*dulmiss)(DULSYM* arg);
};

struct RzLogVector {  // log, catalogue, exit
  void (*xpslog)(const char* format, ...);
  int32_t (*xpsstr)(char* buffer, int32_t capacity, const char* format, ...);
  void (*xpmlog)(int32_t set, int32_t number, ...);
  void (*xprrlog)(void* reserved, int32_t status);
  int32_t (*xpselec)(void* reserved, int32_t what);
  void (*xpoflsh)(void* reserved);
  void (*xexit)(int32_t code, int32_t detail);  // never returns
  void (*xebug)(const char* format, ...);
};

struct RzSysVector {  // names, text, clock, memory, configuration, sweep
  void (*znamfix)(int32_t mode,
                  const char* prefix,
                  int32_t plen,
                  int64_t number,
                  int32_t flags,
                  char* buffer,
                  int32_t buflen);
  void (*wzstrup)(char* text, int32_t length);
  int64_t (*ztime)(void);
  double (*zdattim)(void);
  void* (*xmalloc)(int64_t bytes, uint64_t flags);      // lives as long as the module
  void* (*xmpoolc)(int64_t bytes);                      // a memory pool of at least `bytes`
  void* (*xmpalloc)(void* pool, int64_t bytes);         // a block from a pool, null when exhausted
  void (*xmpoold)(void* pool);                          // releases the pool and all its blocks
  int32_t (*xcfgint)(const char* key, int64_t* value);  // 0 when the key is known
  void (*zsweep)(double* x, int32_t k, int32_t n, char* df, double* work, double tol);
};

struct RzObjVector {  // output objects
  int32_t (*xobinit)(void** rootclass, void* reserved);
  int32_t (*wobmth)(void* object, void* cls, int32_t method, int32_t nparm, WOB_PARM_BLK_STR* parms);
  void (*wobrel)(void* object);  // release entry of an object
  void* (*rpxmsg)(int32_t set, int32_t number);
  void* (*rpxmsgs)(int32_t set, int32_t number, ...);
  void* (*rpxtxt)(const char* text, int32_t length);
  void* (*rpxtxts)(const char* format, int32_t length, ...);
};

struct RzThrVector {                     // extensions, events and gates
  void* (*rzextload)(const char* name);  // null when the extension cannot be loaded
  void (*rzextunload)(void* handle);
  void* (*wtevcreate)(void);
  void (*wtevfree)(void* event);
  int32_t (*wtforev)(void* event);  // post
  int32_t (*wtgwait)(void* event);  // block until posted
  int32_t (*wtpoll)(void* event);   // nonzero when posted
};

enum RzVectorNumber { kVecDul = 0, kVecLog = 1, kVecSys = 2, kVecObj = 3, kVecThr = 4, kVecCount = 5 };

// Global control block handed to mcn_main.
struct RZGCB {
  uint64_t magic;  // kGcbMagic
  void* kernel_handle;
  const void* vec[kVecCount];
};

}  // extern "C"

inline constexpr uint64_t kGcbMagic = 0x52474342524f424dull;  // "MBORBCGR"
inline constexpr uint64_t kMissingBits = 0xFFFFFE0000000000ull;
inline constexpr int32_t kWobNoMethod = static_cast<int32_t>(0x80008001u);
// Message sets of the catalogue: the module's log lines, notes, and labels and titles of its
// tables (549); labels and titles of its matrices (0).
inline constexpr int kSetModule = 549;
inline constexpr int kSetLabels = 0;

static_assert(sizeof(U_SNAME) == 34);
static_assert(sizeof(WOB_PARM_BLK_STR) == 32 && offsetof(WOB_PARM_BLK_STR, value) == 8);
static_assert(offsetof(WOB_PARM_BLK_STR, rc) == 4);
static_assert(offsetof(DULSYM, rows) == 8 && offsetof(DULSYM, addr) == 16);
