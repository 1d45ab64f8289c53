/*
** The app image's byte format: encoders for the resource and option
** segments and the whole-image container.  See image_format.h.
*/
#include "tools/imagebuild/image_format.h"

#include <cassert>
#include <cstring>
#include <limits>

#include "tools/imagebuild/refusal.h"

namespace imagebuild {

const char* const kDevFileNames[kSegmentCount] = {"code.dat",    "data.dat", "import.dat",
                                                  "symbols.dat", "rsrc.dat", "options.dat"};

static const char* const kSegmentNames[kSegmentCount] = {"code",   "data",     "import",
                                                         "symbol", "resource", "option"};

void PutU8(std::vector<uint8_t>& out, uint8_t value) { out.push_back(value); }

void PutU16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutBytes(std::vector<uint8_t>& out, const void* bytes, size_t length) {
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  out.insert(out.end(), p, p + length);
}

void StoreU32(std::vector<uint8_t>& out, size_t offset, uint32_t value) {
  assert(offset <= out.size() && out.size() - offset >= 4);
  for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t LoadU32(const uint8_t* bytes) {
  return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
         uint32_t(bytes[3]) << 24;
}

static bool FitsU32(size_t length) { return length <= std::numeric_limits<uint32_t>::max(); }

uint32_t FourCharCode(const std::string& text) {
  assert(text.size() == 4);
  uint32_t code = 0;
  for (unsigned char c : text) code = code << 8 | c;
  return code;
}

std::vector<uint8_t> PluginResourceData(const std::string& fileName,
                                        const std::vector<uint8_t>& library) {
  if (fileName.empty() || fileName.size() > 255)
    throw Refusal("plugin file name must be 1 to 255 bytes long, not " +
                  std::to_string(fileName.size()));
  std::vector<uint8_t> data;
  PutU8(data, static_cast<uint8_t>(fileName.size()));
  PutBytes(data, fileName.data(), fileName.size());
  PutBytes(data, library.data(), library.size());
  return data;
}

std::vector<uint8_t> EncodeResourceSegment(const std::vector<Resource>& resources) {
  std::vector<uint8_t> out;
  for (const Resource& r : resources) {
    if (!FitsU32(r.data.size()))
      throw Refusal("a resource of " + std::to_string(r.data.size()) + " bytes does not fit the image");
    PutU32(out, r.type);
    PutU16(out, r.id);
    PutU32(out, 0);
    PutU32(out, static_cast<uint32_t>(r.data.size()));
    PutBytes(out, r.data.data(), r.data.size());
  }
  return out;
}

std::vector<uint8_t> EncodeOptionSegment(const std::vector<std::string>& options) {
  std::vector<uint8_t> out;
  for (const std::string& text : options) {
    if (!FitsU32(text.size())) throw Refusal("option text too long for the image");
    PutU8(out, 0);
    PutU32(out, static_cast<uint32_t>(text.size()));
    if (text.empty()) continue;
    PutBytes(out, text.data(), text.size());
    PutU32(out, kEncodingUTF8);
  }
  return out;
}

std::vector<uint8_t> SerializeImage(const ImageSegments& segments) {
  std::vector<uint8_t> image;
  PutBytes(image, kImageMagic, kImageMagicLength);
  for (int s = 0; s < kSegmentCount; ++s) {
    // The loader reads a length with the top bit set as "no bytes".
    if (segments[s].size() > 0x7FFFFFFFu)
      throw Refusal(std::string("the ") + kSegmentNames[s] + " segment exceeds 2 GiB");
    PutU32(image, static_cast<uint32_t>(segments[s].size()));
    PutBytes(image, segments[s].data(), segments[s].size());
  }
  return image;
}

ImageSegments ParseImage(const std::vector<uint8_t>& image) {
  if (image.size() < kImageMagicLength || memcmp(image.data(), kImageMagic, kImageMagicLength) != 0)
    throw Refusal("not an app image (no \"112358\" magic at its start)");
  ImageSegments segments;
  size_t at = kImageMagicLength;
  for (int s = 0; s < kSegmentCount; ++s) {
    if (image.size() - at < 4)
      throw Refusal(std::string("truncated app image: no length word for the ") +
                    kSegmentNames[s] + " segment");
    uint32_t length = LoadU32(image.data() + at);
    at += 4;
    if (length > 0x7FFFFFFFu) length = 0;
    if (image.size() - at < length)
      throw Refusal(std::string("truncated app image: the ") + kSegmentNames[s] + " segment needs " +
                    std::to_string(length) + " bytes, " + std::to_string(image.size() - at) +
                    " remain");
    segments[s].assign(image.begin() + at, image.begin() + at + length);
    at += length;
  }
  if (at != image.size())
    throw Refusal(std::to_string(image.size() - at) +
                  " stray bytes after the option segment of the app image");
  return segments;
}

} // namespace imagebuild
