// The worker pool under the parallel sweep: a "puddle" of host threads from the host's
// thread-pool extension "rzepdl". Create it, queue requests, wait for all of them, destroy
// it. A failure that leaves the pool unusable ends the run through the host (code 1012).
#pragma once

#include "robmat/host_services.h"

namespace robmat {

typedef int rctype;
typedef void* RZMemPtr;
typedef void* RZGenerich;
typedef void* RZThreadh;
typedef TPDLCallBacks* TPDLCallBacksp;
// A request callback of the pool: (context, request, worker thread, callbacks).
typedef void fnptr(RZMemPtr context, RZGenerich request, RZThreadh thread, TPDLCallBacksp cb);

struct PuddleControl {
  void* extHandle;  // the loaded extension (an RzThreadExtension*)
  Puddle* puddle;   // the pool
};

// zpudi: loads the extension and creates a pool of exactly numThreads workers.
//   control       out  extHandle and puddle
//   numThreads    in   number of workers (the pool's min and max)
//   errorFlags    in   bit 0 set: a failure is fatal (debug log, then xexit(1012, 0))
//   userCallBack  in   the callback that runs each queued request
// Returns 0; 1 when the extension cannot be loaded, 2 when the pool cannot be created (the
// extension is then unloaded again and both fields are null).
rctype zpudi(PuddleControl* control, int numThreads, int errorFlags, fnptr* userCallBack);

// zpudenq: queues one request; a refusal is fatal (xexit(1012, 0)).
//   parms  in  the request handed to the callback
void zpudenq(PuddleControl* control, void* parms);

// zpudtry: queues one request like zpudenq, but a refusal is the caller's to handle.
// Returns 0, or 1 when the pool refused the request (it will not run).
rctype zpudtry(PuddleControl* control, void* parms);

// zpudidle: blocks until every queued request has run (the pool's quiesce: no event, nothing
// that can fail).
void zpudidle(PuddleControl* control);

// zpudwt: blocks until every queued request has run, then resets the pool for the next
// round. Any failure of the event, the wait or the reset is fatal (xexit(1012, 0)).
void zpudwt(PuddleControl* control);

// zpudt: waits for the pool to go idle, destroys it and unloads the extension; both fields
// are null afterwards.
void zpudt(PuddleControl* control);

}  // namespace robmat
