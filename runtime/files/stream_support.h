/*
** What the three stream modules share: the checked access to a stream's
** file object and closing.  Internal to runtime/files.
*/
#ifndef QUENDAL_FILES_STREAM_SUPPORT_H
#define QUENDAL_FILES_STREAM_SUPPORT_H

#include <string>

#include "runtime/base/failure_report.h"
#include "runtime/files/data_file.h"
#include "runtime/text/string_core.h"
#include "runtime/objects/text_encoding.h"

namespace quendal {

/* Source name of the streams' failure reports. */
inline constexpr char kStreamSource[] = "runFileAccess";

/* The stream's open file, or null: a nil stream is reported with
** condition, a closed one answers null quietly. */
template <typename Stream>
DataFile* StreamFile(Stream* stream, const char* condition = "obj") {
  if (stream == nullptr) {
    QUENDAL_REPORT(kStreamSource, condition, nullptr);
    return nullptr;
  }
  return stream->file;
}

/* Closes and deletes the stream's file object, keeping its last error. */
template <typename Stream>
void CloseStreamFile(Stream* stream) {
  if (stream == nullptr || stream->file == nullptr) return;
  stream->file->Close();
  stream->savedError = stream->file->lastError;
  delete stream->file;
  stream->file = nullptr;
}

/* Replaces the stream's file object (the handle constructors). */
template <typename Stream>
void AdoptStreamFile(Stream* stream, DataFile* file) {
  CloseStreamFile(stream);
  stream->file = file;
  stream->savedError = 0;
}

/* Reads from file until count bytes are had or the file ends, in chunks,
** so a large count costs only what the file really holds. */
std::string ReadUpTo(DataFile* file, int64_t count);

} // namespace quendal

#endif
