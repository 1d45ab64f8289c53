/*
** The block store of a virtual volume: one host file divided into blocks,
** each block belonging to one numbered internal file.
**
** Host file (every integer big-endian):
**
**   0   "VFSv" (0x56465376)
**   4   format version, 1 to 3 (new volumes: 3)
**   8   blocks, one after another to the end of the file
**
** Block (its length counts all three parts; data capacity = length - 32):
**
**   0   "BlkS" (0x426C6B53)
**   4   internal file id owning the block; 0 = free
**   8   sequence number of the block within its file, from 0
**   12  block length, a double
**   20  reserved double, written as 0
**   28  data area
**   length - 4   "BlkE" (0x426C6B45)
**
** Doubles of the block headers are big-endian from version 2 on and
** little-endian (the host order of the format's first machines) in
** version 1.  Map offsets are 32-bit, so a host file never grows past
** 4 GiB.
**
** Internal file 1 is the volume's own: its first block starts at offset 8
** and holds, in its data, the next free internal file id (4 bytes), the
** size N of the block map (4 bytes) and the block map itself: "BMap", a
** count, then count entries {block offset, owning file id, sequence}, all
** big-endian in every version.  The map is written on Flush and Close,
** again and again (at most 100 times) while writing it changes it (file 1
** may need blocks of its own to hold it).
**
** Opening walks the chain of blocks from offset 8 to the end of the file
** once.  That walk is how file 1's own blocks are found (the map lives in
** them), and it checks every block up front: magic, a length of at least
** 32 that stays inside the file, the trailer.  The stored map is then
** used when it matches the blocks exactly; when it is missing, damaged or
** stale it is rebuilt from the walk (in file order) and written back.  So
** every block the store ever touches is known to be sound, and a block's
** header is always the truth about its owner: freeing a block rewrites its
** header as well as its map entry.
**
** Invariants after a successful Format or Open:
**   - every internal file's blocks have the sequence numbers 0..n-1, no
**     more and no less; file 1 starts at offset 8;
**   - the next free id is above every id that owns a block;
**   - the host file ends exactly after its last block.
** A volume that breaks them is refused at open (nil, last error
** kVolumeDamagedError); the damage found inside a recognised volume is
** reported through the failure report with the source "VFSCore".
**
** Allocation: the first free block in map order whose length lies
** between 256 and 16384 bytes is reused; otherwise a new block of 1024
** bytes is appended.  Either way the whole block is written at once,
** header, zero-filled data area and trailer, so no stale bytes of a
** deleted file ever show through a new one.
**
** Handles: at most 0x7FFF internal files are open at once through
** handles (streams); any number of handles may read a file, or one may
** write it and no other is open (ERROR_SHARING_VIOLATION otherwise).  A
** file with an open handle cannot be freed.
**
** Errors: operations return false (or -1) and leave a Win32 error in
** lastError(): the host file's own error, ERROR_DISK_FULL when the 4 GiB
** bound is reached, ERROR_WRITE_PROTECT on a read-only volume,
** ERROR_FILE_NOT_FOUND for an id without blocks.  The store owns its host
** file and closes it with itself.  Single-threaded, as the runtime's
** cooperative threads are; the host file's own lock serialises its I/O.
*/
#ifndef QUENDAL_FILES_VOLUME_STORE_H
#define QUENDAL_FILES_VOLUME_STORE_H

#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <unordered_map>
#include <vector>

#include "runtime/files/data_file.h"

namespace quendal {

inline constexpr uint32_t kVolumeMagic = 0x56465376;     /* "VFSv" */
inline constexpr uint32_t kBlockStartMagic = 0x426C6B53; /* "BlkS" */
inline constexpr uint32_t kBlockEndMagic = 0x426C6B45;   /* "BlkE" */
inline constexpr uint32_t kBlockMapMagic = 0x424D6170;   /* "BMap" */

inline constexpr int32_t kNewVolumeVersion = 3;
inline constexpr int32_t kNewestVolumeVersion = 3;

inline constexpr uint32_t kVolumeHeaderSize = 8;
inline constexpr uint32_t kBlockHeaderSize = 28;
inline constexpr uint32_t kBlockTrailerSize = 4;
inline constexpr uint32_t kBlockOverhead = kBlockHeaderSize + kBlockTrailerSize;

inline constexpr uint32_t kVolumeFileId = 1;
inline constexpr uint32_t kFirstBlockOffset = kVolumeHeaderSize;
/* The first block of file 1 as formatted: header, the next-free-id
** counter, the map size, trailer. */
inline constexpr uint32_t kFirstBlockLength = kBlockOverhead + 8;
inline constexpr uint32_t kMinFirstBlockLength = 36;

inline constexpr uint32_t kMinReusableBlock = 256;
inline constexpr uint32_t kNewBlockLength = 1024;
inline constexpr uint32_t kMaxReusableBlock = 16384;

inline constexpr int32_t kMaxOpenInternalFiles = 0x7FFF;
inline constexpr int32_t kMaxBlockMapRounds = 100;

/* The error of a file that is not a volume (Win32 ERROR_BAD_FORMAT). */
inline constexpr uint32_t kNotAVolumeError = 11;
/* The error of a damaged volume (Win32 ERROR_FILE_CORRUPT). */
inline constexpr uint32_t kVolumeDamagedError = 1392;

/* ---- byte order of the format's fields ---- */

inline uint32_t LoadU32(const uint8_t* p, bool bigEndian) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return bigEndian ? __builtin_bswap32(v) : v;
}

inline void StoreU32(uint8_t* p, uint32_t v, bool bigEndian) {
  if (bigEndian) v = __builtin_bswap32(v);
  std::memcpy(p, &v, 4);
}

inline double LoadDouble(const uint8_t* p, bool bigEndian) {
  uint64_t bits;
  std::memcpy(&bits, p, 8);
  if (bigEndian) bits = __builtin_bswap64(bits);
  double v;
  std::memcpy(&v, &bits, 8);
  return v;
}

inline void StoreDouble(uint8_t* p, double v, bool bigEndian) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  if (bigEndian) bits = __builtin_bswap64(bits);
  std::memcpy(p, &bits, 8);
}

/* One block as the map and the walk know it. */
struct VolumeBlock {
  uint32_t offset;   /* of the block header in the host file */
  uint32_t fileId;   /* 0 = free */
  uint32_t sequence;
  uint32_t length;   /* header, data area and trailer */
};

class VolumeStore {
 public:
  /* Formats a new, empty volume of version 1..3 over host (owned; an
  ** empty file open for writing): the header and file 1, 48 bytes.  Null
  ** with *error set on failure. */
  static std::unique_ptr<VolumeStore> Format(std::unique_ptr<DataFile> host, int32_t version, uint32_t* error);

  /* Opens the volume in host (owned).  Null with *error set: not a volume
  ** (kNotAVolumeError), damaged (kVolumeDamagedError) or the host's own
  ** error.  A map that has to be rebuilt is written back when writable. */
  static std::unique_ptr<VolumeStore> Open(std::unique_ptr<DataFile> host, bool writable, uint32_t* error);

  /* Closes (the map is written first). */
  ~VolumeStore();
  VolumeStore(const VolumeStore&) = delete;
  VolumeStore& operator=(const VolumeStore&) = delete;

  int32_t version() const { return version_; }
  bool writable() const { return writable_; }
  bool isOpen() const { return host_ != nullptr; }
  uint32_t lastError() const { return lastError_; }

  /* Writes the block map (when it changed since it was last written) and
  ** flushes the host file. */
  bool Flush();
  /* Flush, then close the host file; later operations fail. */
  bool Close();

  /* ---- internal files by id ---- */

  /* A new internal file of one block; its id in *id. */
  bool NewFile(uint32_t* id);
  bool HasFile(uint32_t id) const;
  /* Bytes the file's blocks hold (0 for an id without blocks). */
  int64_t Capacity(uint32_t id) const;
  /* Reads up to count (> 0) bytes at position; *got is short only at the
  ** end of the file's blocks. */
  bool ReadAt(uint32_t id, int64_t position, void* out, int32_t count, int32_t* got);
  /* Writes count (> 0) bytes at position, adding blocks as needed. */
  bool WriteAt(uint32_t id, int64_t position, const void* bytes, int32_t count);
  /* Frees the blocks that hold nothing of the first `bytes` bytes (the
  ** first block always stays).  The caller checks the file's handles: the
  ** one writer may shrink its own file. */
  bool ShrinkTo(uint32_t id, int64_t bytes);
  /* Frees every block of the file, which no handle may have open; the id
  ** owns nothing afterwards. */
  bool FreeFile(uint32_t id);

  /* ---- handles ---- */

  /* A handle on the file for reading, or for writing; -1 with lastError. */
  int32_t OpenHandle(uint32_t id, bool write);
  void CloseHandle(int32_t handle);
  bool IsOpenThroughHandle(uint32_t id) const;

  /* ---- the block map ---- */
  bool WriteBlockMap();
  /* The map in map order (for tests and the fuzz target). */
  const std::vector<VolumeBlock>& blocks() const { return map_; }
  int64_t hostLength() const { return hostLength_; }

 private:
  struct FileBlocks {
    std::vector<uint32_t> blocks; /* map indexes, by sequence */
    std::vector<int64_t> ends;    /* capacity up to and including each block */
  };
  struct Handle {
    uint32_t id = 0; /* 0 = slot unused */
    bool write = false;
  };
  struct Piece {
    uint32_t hostOffset;
    int32_t length;
  };

  VolumeStore(std::unique_ptr<DataFile> host, int32_t version, bool writable);

  bool Fail(uint32_t error);
  bool FailFromHost();
  bool Damaged(const char* condition);
  bool BlockDoublesBigEndian() const { return version_ >= 2; }

  bool HostRead(uint64_t offset, void* out, int32_t count);
  bool HostWrite(uint64_t offset, const void* bytes, int32_t count);

  bool WalkBlocks(std::vector<VolumeBlock>* walked);
  bool ReadStoredMap(const std::vector<VolumeBlock>& walked, std::vector<VolumeBlock>* stored, uint32_t* nextId);
  bool IndexFiles();
  void IndexFreeBlock(uint32_t index);

  /* The host position of a file position inside the file's blocks. */
  bool Locate(const FileBlocks& file, int64_t position, Piece* piece, int64_t remaining);
  bool AllocateBlock(uint32_t owner);
  bool WriteWholeBlock(const VolumeBlock& block);
  bool ReleaseBlock(uint32_t index);
  bool WriteNextId();

  std::unique_ptr<DataFile> host_;
  int32_t version_;
  bool writable_;
  int64_t hostLength_ = 0;
  uint32_t nextId_ = 2;
  std::vector<VolumeBlock> map_;
  std::unordered_map<uint32_t, FileBlocks> files_;
  std::set<uint32_t> reusable_;  /* free blocks of a reusable length, map order */
  uint64_t changes_ = 0;         /* bumped by every change of map_ */
  uint64_t changesWritten_ = 0;  /* changes_ when the map was last written */
  std::vector<Handle> handles_;
  uint32_t lastError_ = 0;
};

} // namespace quendal

#endif
