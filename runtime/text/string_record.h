/*
** String records: the runtime's one text type.
**
** A string handle (ORVAstring) points at a reference-counted record or is
** null; null is the empty string and no record of length 0 ever exists.
**
** Record layout (20 bytes, a stored format: the app image embeds literals
** as ready-made records; it is the same on every host):
**
**   offset 0   int32   reference count (1 at creation)
**   offset 4   uint32  data: the low 32 bits of the content buffer's address.
**                      The buffer is always at record + 20, so code never
**                      follows this word; it is kept for the stored format.
**   offset 8   int32   buffer size = length + 5
**   offset 12  int32   length in bytes
**   offset 16  uint32  encoding tag
**   offset 20          content buffer: Pascal length byte min(length, 255),
**                      the bytes, four zero bytes
**
** Ownership: arguments are borrowed; a returned string carries one
** reference owned by the caller; a C, Pascal or wide pointer into a string
** is valid only while the caller holds a reference to that string.
**
** Locking: allocation, release, assignment, slicing and concatenation run
** under one recursive process-wide critical section; retain is a plain
** increment (only a holder of a reference may retain).
*/
#ifndef QUENDAL_TEXT_STRING_RECORD_H
#define QUENDAL_TEXT_STRING_RECORD_H

#include <cstddef>
#include <cstdint>

struct StringRecord {
  int32_t refCount;
  uint32_t data;
  int32_t bufferSize;
  int32_t length;
  uint32_t encoding;
};
static_assert(sizeof(StringRecord) == 20, "string record is a 20-byte stored format");
static_assert(offsetof(StringRecord, length) == 12, "length at offset 12");
static_assert(offsetof(StringRecord, encoding) == 16, "encoding at offset 16");

typedef StringRecord* ORVAstring;

/* Encoding tags wired into the string core. */
enum : uint32_t {
  kEncodingUnknown = 0xFFFF,
  kEncodingASCII = 0x0600,
  kEncodingUTF8 = 0x08000100,
  kEncodingUTF16 = 0x0100,
};

/* Buffer of a record: Pascal byte at [0], content from [1], 4 zeros after. */
inline uint8_t* StringBuffer(ORVAstring s) { return reinterpret_cast<uint8_t*>(s) + 20; }
inline char* StringBytes(ORVAstring s) { return reinterpret_cast<char*>(s) + 21; }
inline int32_t StringLength(ORVAstring s) { return s ? s->length : 0; }
inline uint32_t StringEncoding(ORVAstring s) { return s ? s->encoding : kEncodingASCII; }

extern "C" {

/* ---- reference counts ---- */
void RuntimeLockString(ORVAstring s);            /* also ORVALockString */
void RuntimeUnlockString(ORVAstring s);          /* also ORVAUnlockString */
void RuntimeLockUnlockStrings(ORVAstring retained, ORVAstring released);
ORVAstring RuntimeAddString(ORVAstring a, ORVAstring b);

/* ---- creation and access ---- */
ORVAstring ORVABuildString(const void* bytes, int32_t length);
ORVAstring ORVABuildStringWithEncoding(const void* bytes, int32_t length, uint32_t encoding);
ORVAstring StringFromCString(const char* text);
ORVAstring StringFromPString(const uint8_t* text);
ORVAstring StringFromWString(const char16_t* text);
ORVAstring StringFromOSType(uint32_t code);
const char* StringGetCString(ORVAstring s);      /* also StringToCString */
const uint8_t* StringGetPString(ORVAstring s);   /* also StringToPString */
uint32_t StringToOSType(ORVAstring s);
char16_t* StringToWString(ORVAstring s);
void LockWString(char16_t* buffer);
void UnlockWString(char16_t* buffer);
void SwapWStringLocks(char16_t* locked, char16_t* unlocked);
void LockCFString(void* cf);
void UnlockCFString(void* cf);
void SwapCFStringLocks(void* locked, void* unlocked);
void* StringToCFString(ORVAstring s);
ORVAstring StringFromCFString(void* cf);
ORVAstring RuntimeGetStructureString(const void* base, int32_t offset, int32_t size);
ORVAstring RuntimeGetStructureContents(const void* bytes, int32_t length);
void RuntimeSetStructureString(void* base, int32_t offset, int32_t size, ORVAstring s);
void RuntimeSetStructureWString(void* base, int32_t offset, int32_t size, ORVAstring s);

/* ---- comparison ---- */
int32_t RuntimeStringCompare(ORVAstring a, ORVAstring b);
int32_t StringStrCompare(ORVAstring a, ORVAstring b, int32_t mode);

} // extern "C"

#endif
