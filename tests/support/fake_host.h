// A minimal stand-in for the host, for tests that drive kernels and engines directly: it
// installs a control block whose services log into memory and allocate with malloc.
#pragma once

#include <string>
#include <vector>

namespace robmat::testing {

struct FakeHost {
  std::vector<std::string> log;  // every line the module logged, catalogue messages as "549/N: args"
  int exit_code = 0;
  long live_blocks = 0;            // work-space blocks obtained and not freed
  std::vector<double> results[4];  // results 1..3 as created (duwres), rows * cols + 1
  int result_rows[4] = {}, result_cols[4] = {};
};

// Installs the fake control block (idempotent) and clears its log, block count and results.
FakeHost& install_fake_host();

// Thrown by the fake xexit so a test can catch an unwinding exit.
struct FakeExit {
  int code;
};

}  // namespace robmat::testing
