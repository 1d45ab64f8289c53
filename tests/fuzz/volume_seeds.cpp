/*
** Writes the seed corpus of the volume fuzz target into a folder:
**   volume_seeds DIR
** an empty volume, a small tree in each format version (folders, a file
** across two blocks, an empty file), one with a freed block, and one
** whose block map is missing.
*/
#include <cstdio>
#include <memory>
#include <string>

#include "runtime/files/folder_item_virtual.h"
#include "runtime/files/volume_catalog.h"
#include "runtime/platform/paths.h"

namespace {

using namespace quendal;

bool Write(FolderItemImp* folder, const std::string& name, const std::string& bytes) {
  std::unique_ptr<FolderItemImp> item(folder->Child(name, 0));
  std::unique_ptr<DataFile> file(item ? item->CreateFile("") : nullptr);
  return file && (bytes.empty() || file->Write(bytes.data(), int32_t(bytes.size())));
}

bool MakeVolume(const std::string& path, int32_t version, bool tree, bool deleteOne) {
  uint32_t error = 0;
  std::string windows = platform::WindowsPathFromPosix(path);
  std::unique_ptr<DataFile> host(CreateHostDataFile(windows, &error));
  std::shared_ptr<VolumeCatalog> volume = VolumeCatalog::Create(std::move(host), windows, version, &error);
  if (volume == nullptr) return false;
  std::unique_ptr<FolderItemImp> root(FolderItemImpVirtual::Root(volume));
  if (!tree) return true;
  std::unique_ptr<FolderItemImp> a(root->Child("a", 0));
  if (!a || !a->CreateAsFolder()) return false;
  std::unique_ptr<FolderItemImp> b(a->Child("b", 0));
  return b && b->CreateAsFolder() && Write(a.get(), "x.txt", std::string(1500, 'x')) &&
         Write(root.get(), "b.txt", "0123456789") && Write(b.get(), "c", "") &&
         (!deleteOne || std::unique_ptr<FolderItemImp>(a->Child("x.txt", 0))->Delete());
}

/* Wipes the "BMap" magic of a closed volume of version 3. */
bool WipeMap(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "r+b");
  if (file == nullptr) return false;
  std::string bytes;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, n);
  size_t map = bytes.rfind("BMap");
  bool wiped = map != std::string::npos && std::fseek(file, long(map), SEEK_SET) == 0 && std::fputs("XXXX", file) >= 0;
  return std::fclose(file) == 0 && wiped;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: volume_seeds DIR\n");
    return 2;
  }
  std::string dir = argv[1];
  bool made = MakeVolume(dir + "/empty-v3.vol", 3, false, false) && MakeVolume(dir + "/tree-v3.vol", 3, true, false) &&
              MakeVolume(dir + "/tree-v2.vol", 2, true, false) && MakeVolume(dir + "/tree-v1.vol", 1, true, false) &&
              MakeVolume(dir + "/freed-v3.vol", 3, true, true) && MakeVolume(dir + "/nomap-v3.vol", 3, true, false) &&
              WipeMap(dir + "/nomap-v3.vol");
  if (!made) std::fprintf(stderr, "volume_seeds: a seed could not be made\n");
  return made ? 0 : 1;
}
