#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <initializer_list>

// While it lives, the calling thread obeys file permissions even as root, so that tests of
// read-only folders and unreadable files also run where the suite runs as root (CI does).
// The capabilities that bypass permissions leave the thread's effective set but stay in its
// permitted set, from which the destructor takes them back. Capabilities belong to one
// thread: the code under test must run on the thread that made this object.
class ObeyFilePermissions {
 public:
  ObeyFilePermissions() {
    if (::geteuid() != 0) {
      binding_ = true;
      return;
    }
    header_.version = _LINUX_CAPABILITY_VERSION_3;
    header_.pid = 0;
    if (::syscall(SYS_capget, &header_, saved_) != 0) {
      return;
    }
    __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
    for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
      lowered[CAP_TO_INDEX(capability)].effective &= ~CAP_TO_MASK(capability);
    }
    lowered_ = ::syscall(SYS_capset, &header_, lowered) == 0;
    binding_ = lowered_;
  }

  ~ObeyFilePermissions() {
    if (lowered_) {
      ::syscall(SYS_capset, &header_, saved_);
    }
  }

  ObeyFilePermissions(const ObeyFilePermissions&) = delete;
  ObeyFilePermissions& operator=(const ObeyFilePermissions&) = delete;

  // False only when the thread runs as root and could not give the capabilities up.
  bool binding() const { return binding_; }

 private:
  __user_cap_header_struct header_{};
  __user_cap_data_struct saved_[2]{};
  bool lowered_ = false;
  bool binding_ = false;
};
