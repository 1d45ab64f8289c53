/*
** Shared test helpers.  See test_support.h.
*/
#include "tests/support/test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <new>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "runtime/base/allocation.h"
#include "runtime/base/failure_report.h"

extern char** environ;

/* operator new of every test binary: one more client of the allocation
** seam.  Blocks come from malloc, so delete frees them. */
void* operator new(std::size_t n) {
  if (quendal::TakeInjectedAllocationFailure()) throw std::bad_alloc();
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return ::operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  if (quendal::TakeInjectedAllocationFailure()) return nullptr;
  return std::malloc(n == 0 ? 1 : n);
}
void* operator new[](std::size_t n, const std::nothrow_t& tag) noexcept { return ::operator new(n, tag); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace quendal::test {

FailureCapture::FailureCapture() { SetFailureSink(&FailureCapture::Sink, this); }
FailureCapture::~FailureCapture() { SetFailureSink(nullptr, nullptr); }

/* Keeping a report must not use up an armed allocation failure meant for
** the runtime, nor throw from the report path. */
void FailureCapture::Sink(const char* text, void* context) {
  const int32_t armed = AllocationsBeforeFailureForTesting();
  FailAllocationForTesting(0);
  static_cast<FailureCapture*>(context)->reports_.emplace_back(text);
  FailAllocationForTesting(armed);
}

AllocationFailure::AllocationFailure(int32_t n) { FailAllocationForTesting(n); }
AllocationFailure::~AllocationFailure() { FailAllocationForTesting(0); }
bool AllocationFailure::Fired() const { return AllocationsBeforeFailureForTesting() == 0; }

std::string FailureCapture::all() const {
  std::string joined;
  for (const std::string& r : reports_) joined += r;
  return joined;
}

std::string SourceAtReport(const std::string& report) {
  std::smatch where;
  if (!std::regex_search(report, where, std::regex("\n\n([^\n:]+): ([0-9]+)\nFailure Condition: "))) return "";
  const std::string name = where[1];
  const long line = std::stol(where[2]);
  for (const auto& folder : std::filesystem::directory_iterator(std::string(QUENDAL_SOURCE_DIR) + "/runtime")) {
    std::ifstream in(folder.path() / name);
    if (!in) continue;
    std::string text, lines;
    for (long n = 1; std::getline(in, text) && n < line + 3; n++) {
      if (n >= line - 2) lines += text + "\n";
    }
    return lines;
  }
  return "";
}

TempDir::TempDir() {
  char pattern[] = "/tmp/quendal-test-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void CopyFile(const std::string& from, const std::string& to) {
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(to, std::filesystem::status(from).permissions());
}

std::string BinPath(const std::string& name) { return std::string(QUENDAL_BIN_DIR) + "/" + name; }

std::string TestImageDir(const std::string& name) {
  return std::string(QUENDAL_TEST_IMAGE_DIR) + "/" + name;
}

void CopyDevelopmentFiles(const std::string& image, const std::string& folder) {
  for (const char* f : {"code.dat", "data.dat", "import.dat", "symbols.dat", "rsrc.dat", "options.dat"}) {
    CopyFile(TestImageDir(image) + "/" + f, folder + "/" + f);
  }
}

RunResult RunImage(const std::string& image, const std::vector<std::string>& args, const std::string& locale) {
  TempDir dir;
  CopyDevelopmentFiles(image, dir.path());
  std::vector<std::string> argv = {"/usr/bin/env", "LC_ALL=" + locale, BinPath("quendal")};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgram(argv, dir.path());
}

RunResult RunProgram(const std::vector<std::string>& argv, const std::string& cwd,
                     const std::string& stdinText) {
  std::signal(SIGPIPE, SIG_IGN);  /* a child that exits early must not kill the test */
  int in[2], out[2], err[2];
  if (pipe(in) || pipe(out) || pipe(err)) throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    if (chdir(cwd.c_str()) != 0) _exit(126);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  /* Feed standard input while reading both outputs, so a large output
  ** cannot block the child. */
  size_t fed = 0;
  if (stdinText.empty()) close(in[1]);
  RunResult result;
  bool outOpen = true, errOpen = true, inOpen = !stdinText.empty();
  while (outOpen || errOpen) {
    struct pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {inOpen ? in[1] : -1, POLLOUT, 0}};
    if (poll(fds, 3, 30000) <= 0) break;
    char buf[4096];
    for (int i = 0; i < 2; i++) {
      if (fds[i].revents & (POLLIN | POLLHUP)) {
        ssize_t n = read(fds[i].fd, buf, sizeof buf);
        if (n <= 0) {
          (i == 0 ? outOpen : errOpen) = false;
        } else {
          (i == 0 ? result.out : result.err).append(buf, static_cast<size_t>(n));
        }
      }
    }
    if (inOpen && (fds[2].revents & (POLLOUT | POLLERR))) {
      ssize_t n = write(in[1], stdinText.data() + fed, stdinText.size() - fed);
      if (n > 0) fed += static_cast<size_t>(n);
      if (n <= 0 || fed == stdinText.size()) {
        close(in[1]);
        inOpen = false;
      }
    }
  }
  if (inOpen) close(in[1]);
  close(out[0]);
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

} // namespace quendal::test
