// TableCreationLock: keeps the first start of several instances on one data
// folder from building its tables more than once or opening them half
// built. While one object holds the lock on a folder, any other (in this
// process or another) waits for it in its constructor; checking for the
// tables and creating them under the lock makes the first instance build
// them and the others find them complete.
//
// The lock is an advisory lock on the folder itself (no file is added to
// it; on Windows a mutex named after the folder's full path), released when
// the object goes or the process ends, however it ends.
// Where the folder cannot be opened or the file system cannot lock it, no
// lock is taken and the object only reports so (Held): creating the tables
// then fails or succeeds on its own.
#pragma once

#include <cstdint>
#include <string>

namespace quoldex::data {

class TableCreationLock {
 public:
  // Waits until the lock on `folder` is free and takes it.
  explicit TableCreationLock(const std::string& folder);
  ~TableCreationLock();
  TableCreationLock(const TableCreationLock&) = delete;
  TableCreationLock& operator=(const TableCreationLock&) = delete;

  bool Held() const { return held_; }

 private:
  bool held_ = false;
  intptr_t lock_ = -1;  // the system's descriptor or handle of the lock
};

}  // namespace quoldex::data
