/*
** Output writing: temporaries beside their destinations, renamed at the
** end; the appended executable with its stamped "PICKLE" record.  See
** output_writer.h.
*/
#include "tools/imagebuild/output_writer.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "tools/imagebuild/elf_object.h"
#include "tools/imagebuild/image_format.h"
#include "tools/imagebuild/refusal.h"

namespace imagebuild {
namespace {

constexpr char kPickleSection[] = ".quendal_pickle";
constexpr size_t kPickleLength = 8;

std::string SystemError() { return strerror(errno); }

mode_t CurrentUmask() {
  mode_t mask = umask(0);
  umask(mask);
  return mask;
}

/* Writes bytes to a fresh temporary beside path; returns the temporary's
** name.  Throws Refusal; the temporary is gone then. */
std::string WriteTemporary(const OutputFile& file) {
  std::string temp = file.path + ".tmpXXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) throw Refusal(file.path, "cannot create a temporary file: " + SystemError());
  const uint8_t* p = file.bytes.data();
  size_t left = file.bytes.size();
  bool ok = true;
  while (ok && left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (ok) {
    mode_t mode = file.mode ? *file.mode : 0666 & ~CurrentUmask();
    ok = fchmod(fd, mode) == 0 && fsync(fd) == 0;
  }
  std::string reason = ok ? "" : SystemError();
  if (close(fd) != 0 && ok) {
    ok = false;
    reason = SystemError();
  }
  if (!ok) {
    unlink(temp.c_str());
    throw Refusal(file.path, "cannot write: " + reason);
  }
  return temp;
}

} // namespace

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw Refusal(path, "cannot open: " + SystemError());
  struct stat info;
  if (fstat(fd, &info) != 0) {
    std::string reason = SystemError();
    close(fd);
    throw Refusal(path, "cannot examine: " + reason);
  }
  if (!S_ISREG(info.st_mode)) {
    close(fd);
    throw Refusal(path, "not a regular file");
  }
  std::vector<uint8_t> bytes;
  uint8_t buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      std::string reason = SystemError();
      close(fd);
      throw Refusal(path, "read error: " + reason);
    }
    if (n == 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  close(fd);
  return bytes;
}

OutputFile AppendImage(const std::string& exePath, const std::string& outputPath,
                       const std::vector<uint8_t>& image) {
  struct stat info;
  if (stat(exePath.c_str(), &info) != 0) throw Refusal(exePath, "cannot open: " + SystemError());
  OutputFile out{outputPath, ReadWholeFile(exePath), static_cast<mode_t>(info.st_mode & 07777)};

  std::optional<ElfSection> pickle;
  try {
    pickle = FindElfSection(out.bytes, kPickleSection);
  } catch (const Refusal& r) {
    throw Refusal(exePath, r.what());
  }
  if (!pickle)
    throw Refusal(exePath, std::string("no ") + kPickleSection +
                               " section to stamp (is this the Quendal runtime executable?)");
  if (pickle->type == SHT_NOBITS || pickle->size < kPickleLength)
    throw Refusal(exePath, std::string("the ") + kPickleSection + " section holds " +
                               (pickle->type == SHT_NOBITS ? "no file bytes"
                                                           : std::to_string(pickle->size) + " bytes") +
                               ", not the 8-byte locating record");

  size_t offset = out.bytes.size();
  if (offset > std::numeric_limits<uint32_t>::max() ||
      image.size() - kImageMagicLength > std::numeric_limits<uint32_t>::max())
    throw Refusal(exePath, "executable or image too large for the 32-bit locating record");
  StoreU32(out.bytes, pickle->fileOffset, static_cast<uint32_t>(offset));
  StoreU32(out.bytes, pickle->fileOffset + 4, static_cast<uint32_t>(image.size() - kImageMagicLength));
  PutBytes(out.bytes, image.data(), image.size());
  return out;
}

void WriteAllOrNothing(const std::vector<OutputFile>& files) {
  std::vector<std::string> temps;
  try {
    for (const OutputFile& file : files) temps.push_back(WriteTemporary(file));
  } catch (...) {
    for (const std::string& temp : temps) unlink(temp.c_str());
    throw;
  }
  for (size_t i = 0; i < files.size(); ++i) {
    if (rename(temps[i].c_str(), files[i].path.c_str()) != 0) {
      std::string reason = SystemError();
      for (size_t k = i; k < files.size(); ++k) unlink(temps[k].c_str());
      throw Refusal(files[i].path, "cannot rename the finished temporary into place: " + reason);
    }
  }
}

} // namespace imagebuild
