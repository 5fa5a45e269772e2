// Worker threads and events for the module's parallel sweep. The pool hands the module a
// Puddle* that is the first member of a standard-layout handle, so each operation finds its
// pool again from the table pointer alone.
#include "services/thread_pool.h"

#include <chrono>
#include <cstddef>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <new>
#include <thread>
#include <vector>

namespace robmat::host {

void Event::post() {
  // Notify under the lock: once the waiter sees `posted_` it may free the event at once.
  std::lock_guard lock(mutex_);
  posted_ = true;
  posted_cv_.notify_all();
}

void Event::wait() {
  std::unique_lock lock(mutex_);
  posted_cv_.wait(lock, [this] { return posted_; });
}

bool Event::poll() {
  std::lock_guard lock(mutex_);
  return posted_;
}

namespace {

class ThreadPuddle;

struct PuddleHandle {
  Puddle ops;  // first: the module's Puddle* is the address of this handle
  ThreadPuddle* self;
};
static_assert(offsetof(PuddleHandle, ops) == 0);

class ThreadPuddle {
 public:
  explicit ThreadPuddle(const TPDLCreateParms& p) : logic_(p.logic), ctxt_(p.ctxt) {
    handle_.ops = kOps;
    handle_.self = this;
  }
  ~ThreadPuddle() { stop(); }

  bool start(int32_t count) {
    try {
      ids_.resize(static_cast<size_t>(count));
      for (int32_t i = 0; i < count; ++i) {
        ids_[static_cast<size_t>(i)] = i;
        workers_.emplace_back([this, i] { run(&ids_[static_cast<size_t>(i)]); });
      }
    } catch (...) {
      stop();
      return false;
    }
    return true;
  }

  Puddle* table() { return &handle_.ops; }
  static ThreadPuddle* of(Puddle* pool) {
    return pool ? reinterpret_cast<PuddleHandle*>(pool)->self : nullptr;
  }

  int32_t enqueue(void* request, void* owner) {
    try {
      std::lock_guard lock(mutex_);
      if (stopping_) return 1;
      queue_.push_back({request, owner});
      ++pending_;
      ++owner_pending_[owner];
      ++enqueued_;
    } catch (...) {
      return 1;
    }
    work_cv_.notify_one();
    return 0;
  }

  int32_t quiesce(void* owner, bool by_owner) {
    std::unique_lock lock(mutex_);
    idle_cv_.wait(lock, [&] { return by_owner ? owner_pending(owner) == 0 : pending_ == 0; });
    return 0;
  }

  int32_t reset() {
    std::lock_guard lock(mutex_);
    if (pending_ != 0) return 1;
    enqueued_ = completed_ = 0;
    return 0;
  }

  int32_t stats(void* out) {
    if (out == nullptr) return 1;
    std::lock_guard lock(mutex_);
    PuddleStats s{static_cast<int64_t>(workers_.size()), enqueued_, completed_, pending_};
    std::memcpy(out, &s, sizeof s);
    return 0;
  }

  int32_t wait(void* event) {
    if (event == nullptr) return 1;
    try {
      std::lock_guard lock(mutex_);
      if (pending_ != 0) {
        waiters_.push_back(static_cast<Event*>(event));
        return 0;
      }
    } catch (...) {
      return 1;
    }
    static_cast<Event*>(event)->post();
    return 0;
  }

  int32_t wait_for(void* event, int64_t timeout_ms) {
    if (event == nullptr) return 1;
    std::unique_lock lock(mutex_);
    if (!idle_cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return pending_ == 0; }))
      return 1;
    lock.unlock();
    static_cast<Event*>(event)->post();
    return 0;
  }

  int32_t status() {
    std::lock_guard lock(mutex_);
    return pending_ == 0 ? 0 : 1;
  }

 private:
  struct Request {
    void* request;
    void* owner;
  };

  int64_t owner_pending(void* owner) const {
    auto it = owner_pending_.find(owner);
    return it == owner_pending_.end() ? 0 : it->second;
  }

  void run(int32_t* id) {
    TPDLCallBacks callbacks{nullptr, &handle_.ops, nullptr};
    std::unique_lock lock(mutex_);
    for (;;) {
      work_cv_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;  // stopping, and every queued request has run
      Request r = queue_.front();
      queue_.pop_front();
      lock.unlock();
      logic_(ctxt_, r.request, id, &callbacks);
      lock.lock();
      ++completed_;
      if (--owner_pending_[r.owner] == 0) owner_pending_.erase(r.owner);
      if (--pending_ == 0) {
        for (Event* e : waiters_) e->post();
        waiters_.clear();
        idle_cv_.notify_all();
      } else {
        idle_cv_.notify_all();  // an owner may have become idle
      }
    }
  }

  void stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    work_cv_.notify_all();
    for (auto& t : workers_)
      if (t.joinable()) t.join();
    workers_.clear();
  }

  static int32_t op_destroy(Puddle* pool) {
    if (pool == nullptr) return 1;
    delete of(pool);
    return 0;
  }
  static int32_t op_enqueue(Puddle* pool, void* request, void* owner, int64_t, void*) {
    return pool ? of(pool)->enqueue(request, owner) : 1;
  }
  static int32_t op_quiesce(Puddle* pool) { return pool ? of(pool)->quiesce(nullptr, false) : 1; }
  static int32_t op_reset(Puddle* pool) { return pool ? of(pool)->reset() : 1; }
  static int32_t op_stats(Puddle* pool, void* out) { return pool ? of(pool)->stats(out) : 1; }
  static int32_t op_wait(Puddle* pool, void* event) { return pool ? of(pool)->wait(event) : 1; }
  static int32_t op_enqueue_owner(Puddle* pool, void* request, void* owner) {
    return pool ? of(pool)->enqueue(request, owner) : 1;
  }
  static int32_t op_quiesce_owner(Puddle* pool, void* owner) {
    return pool ? of(pool)->quiesce(owner, true) : 1;
  }
  static int32_t op_quiesce_status(Puddle* pool) { return pool ? of(pool)->status() : 1; }
  static int32_t op_wait2(Puddle* pool, void* event, int64_t timeout) {
    return pool ? of(pool)->wait_for(event, timeout) : 1;
  }

  static constexpr Puddle kOps{{op_destroy},
                               op_enqueue,
                               op_quiesce,
                               op_reset,
                               op_stats,
                               op_wait,
                               op_enqueue_owner,
                               op_quiesce_owner,
                               op_quiesce_status,
                               op_stats,
                               op_wait2};

  PuddleHandle handle_{};
  TPDLRequestFn logic_;
  void* ctxt_;
  std::mutex mutex_;
  std::condition_variable work_cv_;
  std::condition_variable idle_cv_;
  std::deque<Request> queue_;
  std::map<void*, int64_t> owner_pending_;
  std::vector<Event*> waiters_;
  std::vector<int32_t> ids_;
  std::vector<std::thread> workers_;
  int64_t pending_ = 0;
  int64_t enqueued_ = 0;
  int64_t completed_ = 0;
  bool stopping_ = false;
};

Puddle* tpdl_create(const TPDLCreateParms* parms) {
  if (parms == nullptr || parms->logic == nullptr || parms->min > parms->max) return nullptr;
  int32_t count = parms->max > 1 ? parms->max : 1;
  try {
    auto pool = std::make_unique<ThreadPuddle>(*parms);
    if (!pool->start(count)) return nullptr;
    return pool.release()->table();
  } catch (...) {
    return nullptr;
  }
}

const RzThreadExtension kExtension{tpdl_create};

}  // namespace

const RzThreadExtension* thread_extension() { return &kExtension; }

extern "C" {

void* host_rzextload(const char* name) {
  if (name == nullptr || std::strcmp(name, "rzepdl") != 0) return nullptr;
  return const_cast<RzThreadExtension*>(&kExtension);
}

void host_rzextunload(void*) {}

void* host_wtevcreate(void) { return new (std::nothrow) Event; }

void host_wtevfree(void* event) { delete static_cast<Event*>(event); }

int32_t host_wtforev(void* event) {
  if (event == nullptr) return 1;
  static_cast<Event*>(event)->post();
  return 0;
}

int32_t host_wtgwait(void* event) {
  if (event == nullptr) return 1;
  static_cast<Event*>(event)->wait();
  return 0;
}

int32_t host_wtpoll(void* event) { return event != nullptr && static_cast<Event*>(event)->poll() ? 1 : 0; }

}  // extern "C"

}  // namespace robmat::host
