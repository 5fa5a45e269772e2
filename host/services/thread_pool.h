// The host's worker threads and events behind RzThrVector: the thread-pool extension "rzepdl"
// (a Puddle of std::threads running queued requests through one callback) and events that
// one thread posts and another waits on. Nothing here throws into the module: every entry
// catches and reports failure through its return value.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "robmat/host_services.h"

namespace robmat::host {

// A one-shot event: posted once, waited on by any number of threads.
class Event {
 public:
  void post();
  void wait();
  bool poll();

 private:
  std::mutex mutex_;
  std::condition_variable posted_cv_;
  bool posted_ = false;
};

// What Puddle::stats and Puddle::stats2 write to their `out` argument.
struct PuddleStats {
  int64_t threads;    // worker threads
  int64_t enqueued;   // requests queued since creation or the last reset
  int64_t completed;  // requests the callback has finished since then
  int64_t pending;    // queued or running now
};

// The extension "rzepdl": tpdlCreate builds a pool of parms->max workers (at least
// parms->min and at least 1) that call parms->logic(parms->ctxt, request, thread, callbacks)
// for every queued request. Returns null for a null callback, min > max, or when the
// threads cannot be started. The pool's operations return 0 on success, nonzero otherwise:
//   gen.destroy     finishes the queued requests, stops and joins the workers, frees the pool
//   enqueue         queues a request (owner, flags and reserved are kept with it)
//   quiesce         blocks until no request is queued or running
//   reset           clears the counters; 1 while requests are pending
//   stats, stats2   fill a PuddleStats
//   wait            posts the event (an Event from host_wtevcreate) once no request is
//                   pending: at once when the pool is idle, else when the last one finishes
//   enqueueOwner    enqueue with an owner
//   quiesceOwner    blocks until no request of that owner is queued or running
//   quiesceStatus   0 when idle, 1 while requests are pending
//   wait2           as wait, but blocks at most `timeout` milliseconds and then returns 1
//                   without arranging the post
const RzThreadExtension* thread_extension();

extern "C" {
// The RzThrVector entries.
void* host_rzextload(const char* name);  // the extension for "rzepdl", null for any other
void host_rzextunload(void* handle);     // the extension is static: nothing to release
void* host_wtevcreate(void);             // a new Event, null when out of memory
void host_wtevfree(void* event);
int32_t host_wtforev(void* event);  // post; 0, or 1 for a null event
int32_t host_wtgwait(void* event);  // block until posted; 0, or 1 for a null event
int32_t host_wtpoll(void* event);   // 1 when posted, 0 when not (or null)
}

}  // namespace robmat::host
