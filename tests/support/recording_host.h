// The fake host (fake_host.h) plus the services kernel, engine and printing tests look at:
// one recording decoder of the output-object service that keeps every call with its records
// decoded at the moment of the call (texts behind handles, matrices behind pointers, bound
// variables read at each append), message texts from the host's catalogue, memory pools, the
// host's own serial sweep, worker pool and events, a configurable CPU count, and a count of
// the services called from a thread where the real host has no call.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/fake_host.h"

namespace robmat::testing {

// One parameter record as the host saw it.
struct WobRecord {
  int tag;
  int type;
  std::string text;  // kinds 1, 20, 66 (a null text handle reads "(null)")
  long i = 0;        // kind 3
  const void* p = nullptr;
};

struct WobCall {
  int method;
  void* object;
  std::vector<WobRecord> recs;
  std::string parms;                            // "method: tag:type[=value] ..."
  std::vector<double> values;                   // a matrix as sent
  std::vector<std::string> rownames, colnames;  // a matrix's names, comma-joined or fixed-width
};

struct Recording {
  FakeHost* host = nullptr;                    // its log holds catalogued messages as "549/N: text"
  std::vector<WobCall> calls;                  // every output call
  std::vector<std::string> outputs;            // names of tables and matrices, in order
  std::vector<std::string> lines;              // text lines
  std::vector<std::vector<std::string>> rows;  // rows appended to tables, rendered
  std::map<const void*, std::vector<std::vector<double>>> table_rows;  // numeric cells by table
  std::vector<double> on_plane;        // the values of every ObsLieSubData matrix
  std::vector<int> unknown;            // set * 10000 + number of messages without a text
  std::map<int, std::string> formats;  // texts of messages outside the host catalogue
  int fail_method = 0;                 // this selector returns -5
  int rpx = 0;                         // an output object to hand to the module
  void* table = nullptr;               // the last table and output handles handed out
  void* output = nullptr;
  int64_t cpucount = 2;  // "host.cpucount"
  int extloads = 0;
  bool ext_missing = false;                                     // the worker pool extension cannot be loaded
  bool pool_refused = false;                                    // the extension creates no pool
  std::map<void*, std::vector<std::unique_ptr<char[]>>> pools;  // live memory pools

  bool logged(const std::string& prefix) const;
  // Calls of the services that act on the call (log, texts, output objects, memory pools,
  // configuration, the sweep) from another thread than the one that installed the host.
  int foreign_calls() const;
};

// Installs the fake host with these services (idempotent) and clears the recording.
Recording& install_recording_host();

}  // namespace robmat::testing
