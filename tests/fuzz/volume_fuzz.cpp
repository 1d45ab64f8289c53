/*
** Fuzz target: virtual volumes on untrusted bytes.
**
** The input is a volume file.  It is written to a scratch file and opened
** as a volume; the target walks the whole tree (each folder once, however
** the catalog links them), reads every file and asks every item its path,
** parent, length and dates, then changes the volume as a program would (a
** folder, a file written across blocks, a rename, a move, a shrink and a
** delete) and closes it.  Failure reports are expected and dropped.
**
** Invariants checked beyond the sanitizers: a volume that opened once
** opens again after our changes (they keep the block store sound whatever
** the catalog holds), and a file this target wrote reads back as written.
*/
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>

#include "runtime/base/failure_report.h"
#include "runtime/files/folder_item.h"
#include "runtime/files/virtual_volume.h"
#include "runtime/text/string_core.h"
#include "runtime/text/encoding_tags.h"

namespace {

using quendal::DataFile;
using quendal::FolderItemImp;

void DropReport(const char*, void*) {}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "volume_fuzz: %s\n", what);
  std::abort();
}

/* An owned FolderItem or VirtualVolume, released at the end of scope. */
struct Object {
  explicit Object(void* object) : ref(static_cast<ObjectHeader*>(object)) {}
  quendal::ObjectRef ref;
  FolderItemObject* item() const { return reinterpret_cast<FolderItemObject*>(ref.get()); }
  FolderItemImp* imp() const { return ref ? item()->mImp : nullptr; }
};

std::string ScratchPath() {
  const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(folder) + "/quendal_volume_fuzz_" + std::to_string(getpid()) + ".vol";
}

Object HostItem(const std::string& path) {
  quendal::StringRef text(quendal::StringCreate(path, kEncodingUTF8));
  return Object(RuntimeGetFolderItem(text.get(), 0));
}

std::string ReadContent(FolderItemImp* item) {
  std::unique_ptr<DataFile> file(item->Open(true));
  std::string bytes;
  if (file == nullptr) return bytes;
  char buffer[4096];
  int32_t got = 0;
  while (file->Read(buffer, sizeof buffer, &got) && got > 0) bytes.append(buffer, size_t(got));
  return bytes;
}

/* Visits every item below folder once; the budget bounds the work on a
** catalog that lists thousands of children. */
void Walk(FolderItemImp* folder, std::set<int32_t>* seen, int32_t* budget) {
  if (!seen->insert(folder->DirID()).second) return;
  int32_t count = folder->Count();
  for (int32_t i = 0; i < count && (*budget)-- > 0; i++) {
    std::unique_ptr<FolderItemImp> child(folder->Item(i, 0));
    if (child == nullptr) continue;
    (void)child->AbsolutePath();
    (void)child->Length();
    double seconds = 0;
    (void)child->ModificationSeconds(&seconds);
    std::unique_ptr<FolderItemImp> parent(child->Parent());
    if (child->IsDirectory()) {
      Walk(child.get(), seen, budget);
    } else {
      (void)ReadContent(child.get());
    }
  }
}

bool WriteContent(FolderItemImp* item, const std::string& bytes) {
  std::unique_ptr<DataFile> file(item->CreateFile(""));
  return file != nullptr && file->Write(bytes.data(), int32_t(bytes.size()));
}

/* Changes the volume; true when the file "fuzz.bin" was written whole. */
bool Change(FolderItemImp* root, const std::string& content) {
  std::unique_ptr<FolderItemImp> folder(root->Child("fz", 0));
  if (folder) folder->CreateAsFolder();
  std::unique_ptr<FolderItemImp> file(root->Child("fuzz.bin", 0));
  bool written = file && !file->Exists() && WriteContent(file.get(), content);
  std::unique_ptr<FolderItemImp> scratch(root->Child("scratch", 0));
  if (scratch && !scratch->Exists() && WriteContent(scratch.get(), content + content)) {
    scratch->SetName("scratch2");
    if (folder) scratch->MoveFileTo(folder.get());
    std::unique_ptr<FolderItemImp> moved(folder ? folder->Child("scratch2", 0) : nullptr);
    if (moved) {
      std::unique_ptr<DataFile> shrink(moved->Open(false));
      if (shrink) shrink->SetLength(3);
      shrink.reset();
      moved->Delete();
    }
  }
  if (root->Count() > 0) {
    std::unique_ptr<FolderItemImp> first(root->Item(0, 0));
    if (first && !first->IsDirectory() && first->Name() != "fuzz.bin") first->Delete();
  }
  return written;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = [] {
    quendal::SetFailureSink(DropReport, nullptr);
    return ScratchPath();
  }();
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) Fail("no scratch file");
  if (size > 0 && std::fwrite(data, 1, size, out) != size) Fail("scratch file not written");
  std::fclose(out);

  std::string content(size_t(size % 3000) + 1, '\0');
  for (size_t i = 0; i < content.size(); i++) content[i] = char(i * 31 + size);
  bool written = false;
  {
    Object host = HostItem(path);
    Object volume(FolderItemOpenAsVirtualVolume(host.item()));
    if (!volume.ref) return 0;
    Object root(VirtVolRootGetter(reinterpret_cast<VirtualVolumeObject*>(volume.ref.get())));
    std::set<int32_t> seen;
    int32_t budget = 2000;
    Walk(root.imp(), &seen, &budget);
    written = Change(root.imp(), content);
  }
  Object host = HostItem(path);
  Object volume(FolderItemOpenAsVirtualVolume(host.item()));
  if (!volume.ref) Fail("a volume that opened does not open after our changes");
  Object root(VirtVolRootGetter(reinterpret_cast<VirtualVolumeObject*>(volume.ref.get())));
  std::unique_ptr<FolderItemImp> file(root.imp()->Child("fuzz.bin", 0));
  if (written && (file == nullptr || ReadContent(file.get()) != content)) Fail("a file written reads back otherwise");
  return 0;
}
