/*
** The block store of a virtual volume ("VFSCore").  See volume_store.h.
**
** In memory the store keeps the map in map order (map_), and for every
** internal file the map indexes of its blocks by sequence with the running
** sums of their capacities (files_), so that a file position finds its
** block by binary search.  reusable_ holds the free blocks that may be
** handed out again, in map order, so the first of them is the one the
** allocation rule asks for.  changes_ counts every change of the map;
** the map is written when it differs from changesWritten_.
*/
#include "runtime/files/volume_store.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <string>

#include "runtime/base/failure_report.h"
#include "runtime/platform/win32_types.h"

namespace quendal {

namespace p = quendal::platform;

namespace {

constexpr char kSource[] = "VFSCore";
constexpr uint64_t kMaxHostLength = 0xFFFFFFFFull;

/* A block length read from a header: a whole number of at least 32 bytes
** that fits the 32-bit offsets; 0 when it is none. */
uint32_t BlockLengthOf(double length) {
  if (!std::isfinite(length) || length < double(kBlockOverhead) || length > double(kMaxHostLength)) return 0;
  if (length != std::floor(length)) return 0;
  return uint32_t(length);
}

bool IsReusableLength(uint32_t length) { return length >= kMinReusableBlock && length <= kMaxReusableBlock; }

} // namespace

VolumeStore::VolumeStore(std::unique_ptr<DataFile> host, int32_t version, bool writable)
    : host_(std::move(host)), version_(version), writable_(writable) {}

VolumeStore::~VolumeStore() { Close(); }

bool VolumeStore::Fail(uint32_t error) {
  lastError_ = error;
  return false;
}

bool VolumeStore::FailFromHost() {
  uint32_t error = host_ && host_->lastError != 0 ? uint32_t(host_->lastError) : uint32_t(p::ERROR_GEN_FAILURE);
  return Fail(error);
}

bool VolumeStore::Damaged(const char* condition) {
  QUENDAL_REPORT(kSource, condition, "The virtual volume file is damaged.");
  return Fail(kVolumeDamagedError);
}

bool VolumeStore::HostRead(uint64_t offset, void* out, int32_t count) {
  if (!host_->SetPosition(int64_t(offset))) return FailFromHost();
  int32_t got = 0;
  if (!host_->Read(out, count, &got)) return FailFromHost();
  /* Every block was seen inside the file when it was opened: a short read
  ** means the file changed under the volume. */
  if (got != count) return Damaged("the host file holds every block of the map");
  return true;
}

bool VolumeStore::HostWrite(uint64_t offset, const void* bytes, int32_t count) {
  if (!host_->SetPosition(int64_t(offset)) || !host_->Write(bytes, count)) return FailFromHost();
  return true;
}

/* ---- formatting and opening ------------------------------------------------ */

std::unique_ptr<VolumeStore> VolumeStore::Format(std::unique_ptr<DataFile> host, int32_t version, uint32_t* error) {
  if (host == nullptr || version < 1 || version > kNewestVolumeVersion) {
    *error = p::ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  std::unique_ptr<VolumeStore> store(new VolumeStore(std::move(host), version, true));
  uint8_t bytes[kVolumeHeaderSize + kFirstBlockLength] = {};
  StoreU32(bytes, kVolumeMagic, true);
  StoreU32(bytes + 4, uint32_t(version), true);
  uint8_t* block = bytes + kFirstBlockOffset;
  StoreU32(block, kBlockStartMagic, true);
  StoreU32(block + 4, kVolumeFileId, true);
  StoreU32(block + 8, 0, true);
  StoreDouble(block + 12, double(kFirstBlockLength), store->BlockDoublesBigEndian());
  StoreDouble(block + 20, 0.0, store->BlockDoublesBigEndian());
  StoreU32(block + kBlockHeaderSize, 2, true); /* the next free id */
  StoreU32(block + kBlockHeaderSize + 4, 0, true); /* no map yet */
  StoreU32(block + kFirstBlockLength - kBlockTrailerSize, kBlockEndMagic, true);
  if (!store->HostWrite(0, bytes, int32_t(sizeof bytes))) {
    *error = store->lastError_;
    return nullptr;
  }
  store->hostLength_ = sizeof bytes;
  store->nextId_ = 2;
  store->map_.push_back(VolumeBlock{kFirstBlockOffset, kVolumeFileId, 0, kFirstBlockLength});
  store->IndexFiles();
  store->changes_ = 1; /* the map is still to be written */
  return store;
}

std::unique_ptr<VolumeStore> VolumeStore::Open(std::unique_ptr<DataFile> host, bool writable, uint32_t* error) {
  if (host == nullptr) {
    *error = p::ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  std::unique_ptr<VolumeStore> store(new VolumeStore(std::move(host), 0, writable));
  auto refuse = [&](uint32_t code) {
    *error = code;
    store->host_.reset(); /* nothing to write back */
    return nullptr;
  };
  store->hostLength_ = store->host_->Length();
  if (store->host_->lastError != 0) return refuse(uint32_t(store->host_->lastError));
  if (store->hostLength_ < int64_t(kVolumeHeaderSize + kMinFirstBlockLength)) return refuse(kNotAVolumeError);

  uint8_t head[kVolumeHeaderSize + kBlockHeaderSize];
  if (!store->HostRead(0, head, int32_t(sizeof head))) return refuse(store->lastError_);
  uint32_t version = LoadU32(head + 4, true);
  if (LoadU32(head, true) != kVolumeMagic || version < 1 || version > uint32_t(kNewestVolumeVersion)) {
    return refuse(kNotAVolumeError);
  }
  store->version_ = int32_t(version);
  const uint8_t* first = head + kFirstBlockOffset;
  if (LoadU32(first, true) != kBlockStartMagic || LoadU32(first + 4, true) != kVolumeFileId ||
      LoadU32(first + 8, true) != 0 ||
      BlockLengthOf(LoadDouble(first + 12, store->BlockDoublesBigEndian())) < kMinFirstBlockLength) {
    return refuse(kNotAVolumeError);
  }
  if (uint64_t(store->hostLength_) > kMaxHostLength) {
    store->Damaged("the host file stays below 4 GiB");
    return refuse(store->lastError_);
  }

  std::vector<VolumeBlock> walked;
  if (!store->WalkBlocks(&walked)) return refuse(store->lastError_);
  store->map_ = walked;
  if (!store->IndexFiles()) return refuse(store->lastError_);

  std::vector<VolumeBlock> stored;
  uint32_t storedNextId = 0;
  bool useStored = store->ReadStoredMap(walked, &stored, &storedNextId);
  if (store->lastError_ != 0) return refuse(store->lastError_);
  if (useStored) {
    store->map_ = std::move(stored);
    store->IndexFiles();
  }
  uint32_t maxOwner = 0;
  for (const VolumeBlock& block : store->map_) maxOwner = std::max(maxOwner, block.fileId);
  if (maxOwner == UINT32_MAX) {
    store->Damaged("fileID < kMaxFileID");
    return refuse(store->lastError_);
  }
  /* A counter at or below an id in use would hand that id out again. */
  store->nextId_ = std::max({storedNextId, maxOwner + 1, kVolumeFileId + 1});
  store->changes_ = useStored && store->nextId_ == storedNextId ? 0 : 1;
  store->changesWritten_ = 0;
  if (store->writable_ && !store->WriteBlockMap()) return refuse(store->lastError_);
  return store;
}

/* Walks the blocks from offset 8 to the end, reading the host file in
** windows of 64 KiB: one read serves the headers and trailers of many
** blocks. */
bool VolumeStore::WalkBlocks(std::vector<VolumeBlock>* walked) {
  static constexpr uint64_t kWindow = 64 * 1024;
  uint64_t end = uint64_t(hostLength_);
  std::vector<uint8_t> window;
  uint64_t windowStart = 0;
  auto bytesAt = [&](uint64_t offset, uint32_t count) -> const uint8_t* {
    if (offset < windowStart || offset + count > windowStart + window.size()) {
      window.resize(size_t(std::min(kWindow, end - offset)));
      windowStart = offset;
      if (!HostRead(offset, window.data(), int32_t(window.size()))) return nullptr;
    }
    return window.data() + (offset - windowStart);
  };
  for (uint64_t offset = kFirstBlockOffset; offset < end;) {
    if (end - offset < kBlockOverhead) return Damaged("a whole block header follows every block");
    const uint8_t* header = bytesAt(offset, kBlockHeaderSize);
    if (header == nullptr) return false;
    if (LoadU32(header, true) != kBlockStartMagic) return Damaged("blockHeader.mMagic == kBlockStartMagic");
    uint32_t length = BlockLengthOf(LoadDouble(header + 12, BlockDoublesBigEndian()));
    if (length == 0) return Damaged("blockHeader.mBlockLength >= kBlockHeaderSize + kBlockTrailerSize");
    if (length > end - offset) return Damaged("the last block ends with the host file");
    VolumeBlock block{uint32_t(offset), LoadU32(header + 4, true), LoadU32(header + 8, true), length};
    const uint8_t* trailer = bytesAt(offset + length - kBlockTrailerSize, kBlockTrailerSize);
    if (trailer == nullptr) return false;
    if (LoadU32(trailer, true) != kBlockEndMagic) return Damaged("blockTrailer == kBlockEndMagic");
    walked->push_back(block);
    offset += length;
  }
  return true;
}

/* The map stored in file 1, when it describes exactly the walked blocks;
** false when it is missing or does not.  *nextId receives the stored next
** free id. */
bool VolumeStore::ReadStoredMap(const std::vector<VolumeBlock>& walked, std::vector<VolumeBlock>* stored,
                                uint32_t* nextId) {
  uint8_t fields[8] = {};
  int32_t got = 0;
  if (!ReadAt(kVolumeFileId, 0, fields, 8, &got)) return false;
  *nextId = LoadU32(fields, true);
  uint32_t size = got == 8 ? LoadU32(fields + 4, true) : 0;
  int64_t room = Capacity(kVolumeFileId) - 8;
  if (size < 8 || int64_t(size) > room) return false;

  std::vector<uint8_t> bytes(size);
  if (!ReadAt(kVolumeFileId, 8, bytes.data(), int32_t(size), &got) || got != int32_t(size)) return false;
  uint32_t count = LoadU32(bytes.data() + 4, true);
  if (LoadU32(bytes.data(), true) != kBlockMapMagic || count != walked.size() ||
      uint64_t(count) > (size - 8) / 12) {
    return false;
  }
  std::unordered_map<uint32_t, size_t> byOffset;
  for (size_t i = 0; i < walked.size(); i++) byOffset.emplace(walked[i].offset, i);
  std::vector<bool> seen(walked.size(), false);
  for (uint32_t i = 0; i < count; i++) {
    const uint8_t* entry = bytes.data() + 8 + 12 * size_t(i);
    auto found = byOffset.find(LoadU32(entry, true));
    if (found == byOffset.end() || seen[found->second]) return false;
    const VolumeBlock& block = walked[found->second];
    if (block.fileId != LoadU32(entry + 4, true) || block.sequence != LoadU32(entry + 8, true)) return false;
    seen[found->second] = true;
    stored->push_back(block);
  }
  return true;
}

/* Rebuilds files_ and reusable_ from map_; false when a file's sequence
** numbers are not 0..n-1 or file 1 does not start at offset 8. */
bool VolumeStore::IndexFiles() {
  files_.clear();
  reusable_.clear();
  for (uint32_t i = 0; i < map_.size(); i++) {
    const VolumeBlock& block = map_[i];
    if (block.fileId == 0) {
      IndexFreeBlock(i);
      continue;
    }
    files_[block.fileId].blocks.push_back(i);
  }
  for (auto& [id, file] : files_) {
    std::sort(file.blocks.begin(), file.blocks.end(),
              [this](uint32_t a, uint32_t b) { return map_[a].sequence < map_[b].sequence; });
    int64_t capacity = 0;
    for (size_t k = 0; k < file.blocks.size(); k++) {
      const VolumeBlock& block = map_[file.blocks[k]];
      if (block.sequence != k) return Damaged("every block of an internal file has its own sequence number");
      capacity += block.length - kBlockOverhead;
      file.ends.push_back(capacity);
    }
  }
  auto volumeFile = files_.find(kVolumeFileId);
  if (volumeFile == files_.end() || map_[volumeFile->second.blocks[0]].offset != kFirstBlockOffset) {
    return Damaged("the volume's own file starts at offset 8");
  }
  return true;
}

void VolumeStore::IndexFreeBlock(uint32_t index) {
  if (IsReusableLength(map_[index].length)) reusable_.insert(index);
}

/* ---- the block map ------------------------------------------------------------ */

bool VolumeStore::WriteBlockMap() {
  if (host_ == nullptr) return Fail(p::ERROR_INVALID_HANDLE);
  if (!writable_) return true;
  for (int32_t round = 0; round < kMaxBlockMapRounds; round++) {
    if (changes_ == changesWritten_) return true;
    uint64_t before = changes_;
    std::vector<uint8_t> bytes(16 + 12 * map_.size());
    StoreU32(bytes.data(), nextId_, true);
    StoreU32(bytes.data() + 4, uint32_t(bytes.size() - 8), true);
    StoreU32(bytes.data() + 8, kBlockMapMagic, true);
    StoreU32(bytes.data() + 12, uint32_t(map_.size()), true);
    uint8_t* entry = bytes.data() + 16;
    for (const VolumeBlock& block : map_) {
      StoreU32(entry, block.offset, true);
      StoreU32(entry + 4, block.fileId, true);
      StoreU32(entry + 8, block.sequence, true);
      entry += 12;
    }
    if (!WriteAt(kVolumeFileId, 0, bytes.data(), int32_t(bytes.size()))) return false;
    changesWritten_ = before; /* writing may have added blocks to file 1: then again */
  }
  QUENDAL_REPORT(kSource, "the block map settles within 100 rounds", nullptr);
  return Fail(p::ERROR_GEN_FAILURE);
}

bool VolumeStore::Flush() {
  if (host_ == nullptr) return Fail(p::ERROR_INVALID_HANDLE);
  if (!writable_) return true;
  if (!WriteBlockMap()) return false;
  return host_->Flush() || FailFromHost();
}

bool VolumeStore::Close() {
  if (host_ == nullptr) return true;
  bool closed = Flush();
  host_->lastError = 0;
  host_->Close();
  if (closed && host_->lastError != 0) closed = FailFromHost();
  host_.reset();
  return closed;
}

/* ---- blocks ---------------------------------------------------------------------- */

bool VolumeStore::WriteWholeBlock(const VolumeBlock& block) {
  std::vector<uint8_t> bytes(block.length, 0);
  StoreU32(bytes.data(), kBlockStartMagic, true);
  StoreU32(bytes.data() + 4, block.fileId, true);
  StoreU32(bytes.data() + 8, block.sequence, true);
  StoreDouble(bytes.data() + 12, double(block.length), BlockDoublesBigEndian());
  StoreDouble(bytes.data() + 20, 0.0, BlockDoublesBigEndian());
  StoreU32(bytes.data() + block.length - kBlockTrailerSize, kBlockEndMagic, true);
  return HostWrite(block.offset, bytes.data(), int32_t(block.length));
}

bool VolumeStore::AllocateBlock(uint32_t owner) {
  FileBlocks& file = files_[owner];
  VolumeBlock block{0, owner, uint32_t(file.blocks.size()), kNewBlockLength};
  uint32_t index;
  if (!reusable_.empty()) {
    index = *reusable_.begin();
    block.offset = map_[index].offset;
    block.length = map_[index].length;
    if (!WriteWholeBlock(block)) return false;
    reusable_.erase(reusable_.begin());
    map_[index] = block;
  } else {
    if (uint64_t(hostLength_) + kNewBlockLength > kMaxHostLength) return Fail(p::ERROR_DISK_FULL);
    block.offset = uint32_t(hostLength_);
    if (!WriteWholeBlock(block)) {
      host_->SetLength(hostLength_); /* no partial block is left at the end */
      return false;
    }
    hostLength_ += kNewBlockLength;
    index = uint32_t(map_.size());
    map_.push_back(block);
  }
  file.blocks.push_back(index);
  file.ends.push_back((file.ends.empty() ? 0 : file.ends.back()) + (block.length - kBlockOverhead));
  changes_++;
  return true;
}

bool VolumeStore::ReleaseBlock(uint32_t index) {
  uint8_t owner[8] = {}; /* file id 0, sequence 0 */
  if (!HostWrite(uint64_t(map_[index].offset) + 4, owner, int32_t(sizeof owner))) return false;
  map_[index].fileId = 0;
  map_[index].sequence = 0;
  IndexFreeBlock(index);
  changes_++;
  return true;
}

bool VolumeStore::Locate(const FileBlocks& file, int64_t position, Piece* piece, int64_t remaining) {
  size_t k = size_t(std::upper_bound(file.ends.begin(), file.ends.end(), position) - file.ends.begin());
  assert(k < file.blocks.size());
  const VolumeBlock& block = map_[file.blocks[k]];
  int64_t start = k == 0 ? 0 : file.ends[k - 1];
  int64_t within = kBlockHeaderSize + (position - start);
  if (!(within >= kBlockHeaderSize && within < int64_t(block.length) - int64_t(kBlockTrailerSize))) {
    QUENDAL_REPORT(kSource,
                   "finfo->mPosWithinBlock >= kBlockHeaderSize and finfo->mPosWithinBlock < "
                   "finfo->mBlockStart + finfo->mBlockHeader.mBlockLength",
                   nullptr);
    return Fail(p::ERROR_GEN_FAILURE);
  }
  piece->hostOffset = uint32_t(block.offset + within);
  piece->length = int32_t(std::min(remaining, file.ends[k] - position));
  return true;
}

/* ---- internal files ----------------------------------------------------------------- */

bool VolumeStore::HasFile(uint32_t id) const { return files_.count(id) != 0; }

int64_t VolumeStore::Capacity(uint32_t id) const {
  auto found = files_.find(id);
  return found == files_.end() ? 0 : found->second.ends.back();
}

bool VolumeStore::WriteNextId() {
  uint8_t counter[4];
  StoreU32(counter, nextId_, true);
  return WriteAt(kVolumeFileId, 0, counter, 4);
}

bool VolumeStore::NewFile(uint32_t* id) {
  if (host_ == nullptr) return Fail(p::ERROR_INVALID_HANDLE);
  if (!writable_) return Fail(p::ERROR_WRITE_PROTECT);
  if (nextId_ == UINT32_MAX) return Fail(p::ERROR_DISK_FULL);
  uint32_t newId = nextId_++;
  if (!WriteNextId()) {
    nextId_--;
    return false;
  }
  if (!AllocateBlock(newId)) {
    files_.erase(newId); /* the id stays used up: the counter is on disk */
    return false;
  }
  *id = newId;
  return true;
}

bool VolumeStore::ReadAt(uint32_t id, int64_t position, void* out, int32_t count, int32_t* got) {
  *got = 0;
  if (count <= 0) {
    QUENDAL_REPORT(kSource, "ioBytes", nullptr);
    return Fail(p::ERROR_INVALID_PARAMETER);
  }
  if (out == nullptr) {
    QUENDAL_REPORT(kSource, "outBuffer", nullptr);
    return Fail(p::ERROR_INVALID_PARAMETER);
  }
  if (host_ == nullptr) return Fail(p::ERROR_INVALID_HANDLE);
  if (position < 0) return Fail(p::ERROR_NEGATIVE_SEEK);
  auto found = files_.find(id);
  if (found == files_.end()) return Fail(p::ERROR_FILE_NOT_FOUND);
  const FileBlocks& file = found->second;
  auto* bytes = static_cast<uint8_t*>(out);
  while (*got < count && position < file.ends.back()) {
    Piece piece;
    if (!Locate(file, position, &piece, count - *got)) return false;
    if (!HostRead(piece.hostOffset, bytes + *got, piece.length)) return false;
    *got += piece.length;
    position += piece.length;
  }
  return true;
}

bool VolumeStore::WriteAt(uint32_t id, int64_t position, const void* bytes, int32_t count) {
  if (count <= 0 || bytes == nullptr) {
    QUENDAL_REPORT(kSource, "ioBytes", nullptr);
    return Fail(p::ERROR_INVALID_PARAMETER);
  }
  if (host_ == nullptr) return Fail(p::ERROR_INVALID_HANDLE);
  if (!writable_) return Fail(p::ERROR_WRITE_PROTECT);
  if (position < 0) return Fail(p::ERROR_NEGATIVE_SEEK);
  if (uint64_t(position) + uint64_t(count) > kMaxHostLength) return Fail(p::ERROR_DISK_FULL);
  auto found = files_.find(id);
  if (found == files_.end()) return Fail(p::ERROR_FILE_NOT_FOUND);
  FileBlocks& file = found->second;
  int64_t end = position + count;
  while (file.ends.back() < end) {
    if (!AllocateBlock(id)) return false;
  }
  auto* from = static_cast<const uint8_t*>(bytes);
  for (int32_t done = 0; done < count;) {
    Piece piece;
    if (!Locate(file, position, &piece, count - done)) return false;
    if (!HostWrite(piece.hostOffset, from + done, piece.length)) return false;
    done += piece.length;
    position += piece.length;
  }
  return true;
}

bool VolumeStore::ShrinkTo(uint32_t id, int64_t bytes) {
  if (host_ == nullptr) return Fail(p::ERROR_INVALID_HANDLE);
  if (!writable_) return Fail(p::ERROR_WRITE_PROTECT);
  auto found = files_.find(id);
  if (found == files_.end()) return Fail(p::ERROR_FILE_NOT_FOUND);
  FileBlocks& file = found->second;
  size_t keep = size_t(std::lower_bound(file.ends.begin(), file.ends.end(), bytes) - file.ends.begin()) + 1;
  /* From the last block down, so the file keeps sequences 0..n-1 even
  ** when a write fails half way. */
  while (file.blocks.size() > keep) {
    if (!ReleaseBlock(file.blocks.back())) return false;
    file.blocks.pop_back();
    file.ends.pop_back();
  }
  return true;
}

bool VolumeStore::FreeFile(uint32_t id) {
  if (id == kVolumeFileId) {
    QUENDAL_REPORT(kSource, "fileID != kVolumeFileID", nullptr);
    return Fail(p::ERROR_ACCESS_DENIED);
  }
  if (IsOpenThroughHandle(id)) return Fail(p::ERROR_SHARING_VIOLATION);
  if (!ShrinkTo(id, 0)) return false;
  FileBlocks& file = files_[id];
  if (!ReleaseBlock(file.blocks.back())) return false;
  files_.erase(id);
  return true;
}

/* ---- handles ------------------------------------------------------------------------ */

int32_t VolumeStore::OpenHandle(uint32_t id, bool write) {
  if (host_ == nullptr) return Fail(p::ERROR_INVALID_HANDLE), -1;
  if (!HasFile(id)) return Fail(p::ERROR_FILE_NOT_FOUND), -1;
  if (write && !writable_) return Fail(p::ERROR_WRITE_PROTECT), -1;
  int32_t freeSlot = -1;
  for (size_t h = 0; h < handles_.size(); h++) {
    if (handles_[h].id == id && (write || handles_[h].write)) return Fail(p::ERROR_SHARING_VIOLATION), -1;
    if (handles_[h].id == 0 && freeSlot < 0) freeSlot = int32_t(h);
  }
  if (freeSlot < 0) {
    if (handles_.size() >= size_t(kMaxOpenInternalFiles)) return Fail(p::ERROR_TOO_MANY_OPEN_FILES), -1;
    freeSlot = int32_t(handles_.size());
    handles_.emplace_back();
  }
  handles_[size_t(freeSlot)] = Handle{id, write};
  return freeSlot;
}

void VolumeStore::CloseHandle(int32_t handle) {
  if (handle < 0 || size_t(handle) >= handles_.size() || handles_[size_t(handle)].id == 0) {
    QUENDAL_REPORT(kSource, "(handle & 0x8000) == 0 && handle < mOpenFiles.size()", nullptr);
    return;
  }
  handles_[size_t(handle)] = Handle{};
}

bool VolumeStore::IsOpenThroughHandle(uint32_t id) const {
  return std::any_of(handles_.begin(), handles_.end(), [id](const Handle& h) { return h.id == id; });
}

} // namespace quendal
