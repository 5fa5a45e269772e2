// Whole-file reads through POSIX calls: fstat on the open descriptor tells a regular file from a
// device, pipe or directory without a window between the check and the read.
#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "robmat/host/session.h"

namespace robmat::host {

void check_path(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) {
    throw Error("the file name holds a NUL byte, which no file name can contain");
  }
}

std::string read_text_file(const std::string& path) {
  check_path(path);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) throw Error("cannot open " + path + " for reading: " + std::strerror(errno));
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) throw Error("cannot read " + path + ": " + std::strerror(errno));
  if (S_ISDIR(st.st_mode)) throw Error("cannot read " + path + ": it is a directory, not a file");
  if (!S_ISREG(st.st_mode)) {
    throw Error("cannot read " + path + ": it is not a regular file (a device, a pipe or a socket)");
  }
  std::string text;
  text.reserve(static_cast<size_t>(st.st_size));
  char buf[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      throw Error("cannot read " + path + ": " + std::strerror(errno));
    }
    text.append(buf, static_cast<size_t>(n));
  }
  return text;
}

}  // namespace robmat::host
