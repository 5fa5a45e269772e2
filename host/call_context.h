// Everything one routine call owns on the host side: its work space, its results, the text
// handles and output objects it created, and what it logged. The services reach the active
// call through a thread-local pointer, set by the dispatcher for the duration of a call.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "robmat/host/output.h"
#include "robmat/host/session.h"
#include "robmat/host_services.h"
#include "work_space.h"

namespace robmat::host {

struct OutputObjectBase;  // objects.h

// Thrown by xexit inside a routine and caught by the dispatcher of that call.
struct ExitUnwind {
  int code;
  int detail;
};

// Thrown by the first service the module calls after the session was interrupted.
struct InterruptUnwind {};

// A result matrix as the module sees it. Earlier results are moved to new storage whenever
// a later one is created; the old storage is kept, filled with a canary, until the call
// ends, so a front end that writes through a stale address is caught.
struct ResultSlot {
  bool created = false;
  int32_t rows = 0;
  int32_t cols = 0;
  std::vector<double> data;                  // rows * cols + 1: never empty
  std::vector<std::vector<double>> retired;  // stale storage with canaries
};

struct TextHandle {
  int set = -1;  // -1 for a literal
  int number = 0;
  std::string text;
};

// A live work-space block: the size asked for, and the size of the block that serves it.
struct WorkBlock {
  int64_t bytes;
  size_t capacity;
};

struct CallContext {
  CallContext();
  ~CallContext();  // out of line: the objects are complete only in objects.h
  std::string routine;
  WorkSpace* space = nullptr;       // the session's kept blocks; null: malloc and free
  std::map<void*, WorkBlock> work;  // live work-space blocks
  size_t large_in_use = 0;          // capacity of the live blocks the session may keep
  size_t large_peak = 0;            // the most of it at any time during the call
  int64_t work_requests = 0;
  int fail_nth = 0;       // fail this work-space request (1-based), 0 never
  int fail_manager = 0;   // test hook: 1 null manager, -1 negative status
  ResultSlot results[4];  // 1..3
  std::vector<std::unique_ptr<TextHandle>> texts;
  std::vector<std::unique_ptr<OutputObjectBase>> objects;
  std::vector<void*> pools;
  std::vector<LogEntry> log;
  OutputSink* sink = nullptr;
  std::function<void(const LogEntry&)> log_handler;
  std::atomic<bool>* interrupt = nullptr;  // the session's flag, checked at each service entry

  void add_log(LogEntry::Severity s, std::string text);
};

// Frees the memory pools a call did not destroy itself.
void release_pools(CallContext& c);

// Frees a work-space block of the call: back to the session's kept blocks, or to malloc.
void free_work_block(CallContext& c, void* block, const WorkBlock& b);

CallContext* current_call();
void set_current_call(CallContext* c);

// The global control block that the host hands to every module's mcn_main.
::RZGCB* host_gcb();

// Canary written into retired result storage.
inline constexpr uint64_t kStaleCanary = 0x7FF8DEADBEEF5A5Aull;

}  // namespace robmat::host
