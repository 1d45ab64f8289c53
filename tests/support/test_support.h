/*
** Shared helpers for the tests: capturing failure reports, failing the
** N-th allocation, temporary folders, running the executables and reading
** files.
**
** Every test binary replaces the global operator new (test_support.cpp):
** it counts against the runtime's allocation seam (runtime/base/
** allocation.h) and throws std::bad_alloc when the seam fails it, so an
** out-of-memory loop reaches the runtime's std::string and std::vector
** allocations as well as its own blocks.
*/
#ifndef QUENDAL_TESTS_TEST_SUPPORT_H
#define QUENDAL_TESTS_TEST_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

namespace quendal::test {

/* Collects every failure report made while it lives. */
class FailureCapture {
 public:
  FailureCapture();
  ~FailureCapture();
  FailureCapture(const FailureCapture&) = delete;
  FailureCapture& operator=(const FailureCapture&) = delete;
  const std::vector<std::string>& reports() const { return reports_; }
  std::string all() const;
  bool Contains(const std::string& text) const { return all().find(text) != std::string::npos; }

 private:
  static void Sink(const char* text, void* context);
  std::vector<std::string> reports_;
};

/* The source a failure report names ("<source>: <line>"): the named line
** of the runtime file of that name and the two lines on either side (a
** call may spread its arguments over several lines, and compilers differ
** on which of them __LINE__ names); "" when no folder of runtime/
** holds such a file or it has no such line. */
std::string SourceAtReport(const std::string& report);

/* While it lives, the n-th allocation from its creation on fails (the
** runtime's blocks and every operator new).  Fired() tells whether the
** operation got that far; a loop that arms 1, 2, 3, ... ends with the first
** n an operation completes without reaching. */
class AllocationFailure {
 public:
  explicit AllocationFailure(int32_t n);
  ~AllocationFailure();
  AllocationFailure(const AllocationFailure&) = delete;
  AllocationFailure& operator=(const AllocationFailure&) = delete;
  bool Fired() const;
};

/* A fresh folder under /tmp, removed with its contents on destruction. */
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

/* Runs argv[0] with the other arguments in folder cwd, with standard input
** from stdinText; collects both output streams and the exit code. */
RunResult RunProgram(const std::vector<std::string>& argv, const std::string& cwd,
                     const std::string& stdinText = "");

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
void CopyFile(const std::string& from, const std::string& to);

/* build/bin/<name>, and the folder of a test image built by the tests'
** CMake (build/test_images/<name>). */
std::string BinPath(const std::string& name);
std::string TestImageDir(const std::string& name);

/* Copies the six development files of a test image into folder. */
void CopyDevelopmentFiles(const std::string& image, const std::string& folder);

/* Runs build/bin/quendal, with args after the program name, on the
** development files of a test image copied into a fresh folder.  Console
** output is converted to the system encoding, so LC_ALL is pinned to
** locale: the bytes a test expects do not depend on where it runs. */
RunResult RunImage(const std::string& image, const std::vector<std::string>& args = {},
                   const std::string& locale = "C.UTF-8");

} // namespace quendal::test

#endif
