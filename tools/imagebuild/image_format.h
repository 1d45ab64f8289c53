/*
** The app image's byte format, as far as the builder writes and reads it.
**
** An image is the magic "112358" followed by six segments, each a u32
** little-endian length and that many bytes, in the order of Segment below.
** This module encodes the segments that do not depend on the object file
** (resources, options) and serialises or parses a whole image; the code,
** data, import and symbol segments come from image_layout.h.
**
** Resource record: u32 type (four characters, the first one the most
** significant byte), u16 id, u32 reserved 0, u32 length L, L bytes.
** An embedded plugin ('QDPl') holds one byte k, k bytes of its file name,
** then the plugin file's bytes.
** Option record: opcode 0, u32 length n, and when n > 0 the n bytes and the
** u32 encoding tag.
*/
#ifndef QUENDAL_IMAGEBUILD_IMAGE_FORMAT_H
#define QUENDAL_IMAGEBUILD_IMAGE_FORMAT_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace imagebuild {

constexpr char kImageMagic[] = "112358";
constexpr size_t kImageMagicLength = 6;
constexpr uint32_t kEncodingUTF8 = 0x08000100;
constexpr uint32_t kPluginResourceType = 0x5144506C; /* 'QDPl' */

enum Segment { kCode, kData, kImport, kSymbol, kResource, kOption, kSegmentCount };

/* Bytes of each segment, without length words. */
using ImageSegments = std::array<std::vector<uint8_t>, kSegmentCount>;

/* File names of the development layout, by Segment. */
extern const char* const kDevFileNames[kSegmentCount];

/* ---- little-endian appending ---- */
void PutU8(std::vector<uint8_t>& out, uint8_t value);
void PutU16(std::vector<uint8_t>& out, uint16_t value);
void PutU32(std::vector<uint8_t>& out, uint32_t value);
void PutBytes(std::vector<uint8_t>& out, const void* bytes, size_t length);
/* Overwrites four bytes at offset (which must lie inside out). */
void StoreU32(std::vector<uint8_t>& out, size_t offset, uint32_t value);
uint32_t LoadU32(const uint8_t* bytes);

struct Resource {
  uint32_t type;
  uint16_t id;
  std::vector<uint8_t> data;
};

/* A four-character type code from its text ("QDPl" -> 0x5144506C); the text
** must be exactly four bytes (the caller checks). */
uint32_t FourCharCode(const std::string& text);

/* The data of a 'QDPl' record.  Throws Refusal when the name is empty or
** longer than 255 bytes. */
std::vector<uint8_t> PluginResourceData(const std::string& fileName,
                                        const std::vector<uint8_t>& library);

/* Throws Refusal when a record's data does not fit its u32 length. */
std::vector<uint8_t> EncodeResourceSegment(const std::vector<Resource>& resources);
std::vector<uint8_t> EncodeOptionSegment(const std::vector<std::string>& options);

/* Magic plus the six length-prefixed segments.  Throws Refusal when a
** segment does not fit its u32 length. */
std::vector<uint8_t> SerializeImage(const ImageSegments& segments);

/* The inverse of SerializeImage, for images built earlier.  A length word
** with the top bit set counts as 0 (no bytes), as the loader reads it.
** Throws Refusal on a wrong magic, a truncated segment or bytes after the
** last segment. */
ImageSegments ParseImage(const std::vector<uint8_t>& image);

} // namespace imagebuild

#endif
