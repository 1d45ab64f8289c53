/*
** Output writing: all or nothing.
**
** The builder first prepares every output in memory (OutputFile), then
** writes each to a temporary file beside its destination and, only when
** all were written and flushed, renames them into place.  A refusal or an
** I/O failure before that point removes the temporaries and leaves every
** destination as it was.
**
** Appending to an executable: the executable's bytes, then the image; the
** 8-byte contents of the ELF section ".quendal_pickle" (the "PICKLE"
** locating record) are overwritten with the u32 file offset of the image's
** magic and the u32 image length behind the magic, little-endian.  The copy
** keeps the executable's permission bits.
*/
#ifndef QUENDAL_IMAGEBUILD_OUTPUT_WRITER_H
#define QUENDAL_IMAGEBUILD_OUTPUT_WRITER_H

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace imagebuild {

struct OutputFile {
  std::string path;
  std::vector<uint8_t> bytes;
  std::optional<mode_t> mode;  /* exact permission bits; none: 0666 less the umask */
};

/* Reads a whole file.  Throws Refusal naming the file when it cannot. */
std::vector<uint8_t> ReadWholeFile(const std::string& path);

/* The executable with the image appended and its "PICKLE" record stamped;
** the mode is the executable's.  Throws Refusal (naming exePath) when the
** executable is not an ELF64 x86-64 file, has no ".quendal_pickle" section
** of at least 8 file bytes, or is too large for 32-bit offsets. */
OutputFile AppendImage(const std::string& exePath, const std::string& outputPath,
                       const std::vector<uint8_t>& image);

/* Writes every file through a temporary and renames them all at the end.
** Throws Refusal naming the file that failed; then no destination changed
** (barring a failure among the final renames, which the OS makes unlikely). */
void WriteAllOrNothing(const std::vector<OutputFile>& files);

} // namespace imagebuild

#endif
