// A folder that even root cannot write into: root's CAP_DAC_OVERRIDE is taken from the calling
// thread while the object lives, so a folder without write bits refuses new files.
#pragma once

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace ramovia::testing {

class WithoutDacOverride {
 public:
  WithoutDacOverride() {
    header_.version = _LINUX_CAPABILITY_VERSION_3;
    header_.pid = 0;
    if (syscall(SYS_capget, &header_, saved_) != 0) return;
    data_[0] = saved_[0];
    data_[1] = saved_[1];
    data_[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
    changed_ = syscall(SYS_capset, &header_, data_) == 0;
  }
  ~WithoutDacOverride() {
    if (changed_) syscall(SYS_capset, &header_, saved_);
  }
  WithoutDacOverride(const WithoutDacOverride&) = delete;
  WithoutDacOverride& operator=(const WithoutDacOverride&) = delete;

 private:
  __user_cap_header_struct header_{};
  __user_cap_data_struct data_[2]{};
  __user_cap_data_struct saved_[2]{};
  bool changed_ = false;
};

// Whether a file can still be created in dir (then the read-only test cannot run here).
inline bool CanCreateIn(const std::string& dir) {
  const std::string probe = dir + "/.probe";
  const bool ok = static_cast<bool>(std::ofstream(probe));
  if (ok) ::unlink(probe.c_str());
  return ok;
}

}  // namespace ramovia::testing
