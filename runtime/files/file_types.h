/*
** The file-type list: the types an app registers ({name, Macintosh
** creator, Macintosh type, extensions}), in order of registration.
**
** RuntimeRegisterFileType appends a record that keeps a reference to each
** of its four strings; RuntimeDeregisterFileType removes the first record
** whose name equals the given one (the language's string comparison,
** case ignored) and releases its strings.  The list is process-wide and
** unlocked (the runtime's threads are cooperative).
**
** Readers: the type of a file is the first record one of whose extensions
** is the file name's extension.  Extensions are listed separated by ";",
** "," or blanks, each with or without a leading "*" and "." ("apd",
** ".apd", "*.apd"), and compared without regard to ASCII case.
*/
#ifndef QUENDAL_FILES_FILE_TYPES_H
#define QUENDAL_FILES_FILE_TYPES_H

#include <string>

#include "runtime/text/string_core.h"

namespace quendal {

struct FileTypeRecord {
  StringRef name;
  StringRef creator;
  StringRef type;
  StringRef extensions;
};

/* The record whose extensions include the extension of fileName (UTF-8),
** or null.  Valid until the list next changes. */
const FileTypeRecord* FileTypeOfFileName(const std::string& fileName);

/* Number of registered records (for tests and listings). */
size_t FileTypeCount();

} // namespace quendal

#endif
