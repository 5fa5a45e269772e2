// A minimal stand-in for the host, for tests that drive kernels and engines directly: it
// installs a control block whose services log into memory and allocate with malloc.
#pragma once

#include <string>
#include <vector>

namespace robmat::testing {

struct FakeHost {
  std::vector<std::string> log;  // every line the module logged, catalogue messages as "549/N: args"
  int exit_code = 0;
};

// Installs the fake control block (idempotent) and clears its log.
FakeHost& install_fake_host();

// Thrown by the fake xexit so a test can catch an unwinding exit.
struct FakeExit {
  int code;
};

}  // namespace robmat::testing
