// An exclusive advisory lock on a file or folder, held for as long as the
// FileLock object lives. It is what keeps two conversion runs, in two
// terminals or the window and a terminal, from writing the same outputs: the
// second one finds the lock taken and stops before it changes anything.
//
//   platform::FileLock lock;
//   if (lock.try_lock(folder) == platform::LockResult::Busy) ... in use ...
//
// The lock belongs to the open file, not to the process, so two locks taken
// on the same path in one process exclude each other as well. On POSIX it is
// flock() on the folder itself; on Windows a hidden ".mirutone.lock" in the
// folder, held open without sharing and deleted when it is let go.
#pragma once

#include <cstdint>
#include <string>

namespace mirutone::platform {

enum class LockResult {
  Locked,  // this object now holds the lock
  Busy,    // someone else holds it
  Failed,  // the path could not be opened or locked (see error())
};

class FileLock {
 public:
  FileLock() = default;
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Never waits. A lock already held by this object is released first.
  LockResult try_lock(const std::string& path);
  void unlock();
  bool held() const { return handle_ >= 0; }
  // Why the last try_lock failed, as the system tells it.
  const std::string& error() const { return error_; }

 private:
  std::intptr_t handle_ = -1;  // a descriptor, or a Windows handle
  std::string error_;
};

}  // namespace mirutone::platform
