/*
** The file-type list.  See file_types.h.
*/
#include "runtime/files/file_types.h"

#include <vector>

#include "runtime/files/folder_item.h"
#include "runtime/text/encoding_tags.h"
#include "runtime/objects/text_encoding.h"

namespace quendal {

namespace {

std::vector<FileTypeRecord>& FileTypes() {
  static auto* list = new std::vector<FileTypeRecord>();
  return *list;
}

bool EqualIgnoringAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

bool ListsExtension(ORVAstring extensions, const std::string& extension) {
  StringRef text(StringConvertedOrKept(extensions, kEncodingUTF8));
  std::string list(StringView(text.get()));
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find_first_of(";, ", start);
    if (end == std::string::npos) end = list.size();
    std::string item = list.substr(start, end - start);
    size_t skip = item.find_first_not_of("*.");
    if (skip != std::string::npos && EqualIgnoringAsciiCase(item.substr(skip), extension)) return true;
    start = end + 1;
  }
  return false;
}

} // namespace

const FileTypeRecord* FileTypeOfFileName(const std::string& fileName) {
  size_t dot = fileName.rfind('.');
  if (dot == std::string::npos || dot + 1 == fileName.size()) return nullptr;
  std::string extension = fileName.substr(dot + 1);
  for (const FileTypeRecord& record : FileTypes()) {
    if (ListsExtension(record.extensions.get(), extension)) return &record;
  }
  return nullptr;
}

size_t FileTypeCount() { return FileTypes().size(); }

} // namespace quendal

using namespace quendal;

extern "C" void RuntimeRegisterFileType(ORVAstring name, ORVAstring creator, ORVAstring type,
                                        ORVAstring extensions) {
  FileTypes().push_back(FileTypeRecord{StringRef::Borrow(name), StringRef::Borrow(creator), StringRef::Borrow(type),
                                       StringRef::Borrow(extensions)});
}

extern "C" void RuntimeDeregisterFileType(ORVAstring name) {
  auto& list = FileTypes();
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (RuntimeStringCompare(it->name.get(), name) == 0) {
      list.erase(it);
      return;
    }
  }
}
