#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "data/table_creation_lock.h"

namespace quoldex::data {

TableCreationLock::TableCreationLock(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  // Each open of the folder is a lock of its own, so two objects in one
  // process exclude each other as two processes do.
  int result;
  do {
    result = flock(fd, LOCK_EX);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    close(fd);
    return;
  }
  lock_ = fd;
  held_ = true;
}

TableCreationLock::~TableCreationLock() {
  if (held_) close(static_cast<int>(lock_));  // closing the last descriptor releases the lock
}

}  // namespace quoldex::data
