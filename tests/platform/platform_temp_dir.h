/*
** A scratch folder for platform tests: created under /tmp with mkdtemp,
** removed with everything in it when the holder goes.
*/
#ifndef QUENDAL_TESTS_PLATFORM_TEMP_DIR_H
#define QUENDAL_TESTS_PLATFORM_TEMP_DIR_H

#include <ftw.h>
#include <stdlib.h>
#include <stdio.h>

#include <string>

#include "runtime/platform/paths.h"

class PlatformTempDir {
 public:
  PlatformTempDir() {
    char pattern[] = "/tmp/quendal-platform-XXXXXX";
    const char* made = mkdtemp(pattern);
    path_ = made ? made : "";
  }
  ~PlatformTempDir() {
    if (!path_.empty()) nftw(path_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
  }
  PlatformTempDir(const PlatformTempDir&) = delete;
  PlatformTempDir& operator=(const PlatformTempDir&) = delete;

  bool ok() const { return !path_.empty(); }
  /* POSIX path of name inside the folder (the folder itself for ""). */
  std::string Posix(const std::string& name = "") const {
    return name.empty() ? path_ : path_ + "/" + name;
  }
  /* The same as a Windows path ("Z:\tmp\...\name"). */
  std::string Windows(const std::string& name = "") const {
    return quendal::platform::WindowsPathFromPosix(Posix(name));
  }

 private:
  static int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    remove(path);
    return 0;
  }
  std::string path_;
};

#endif
