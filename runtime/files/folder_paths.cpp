/*
** Native paths of FolderItems.  See folder_paths.h.
*/
#include "runtime/files/folder_paths.h"

#include <vector>

#include "runtime/files/folder_item.h"
#include "runtime/platform/errors.h"
#include "runtime/platform/files.h"
#include "runtime/platform/modules.h"
#include "runtime/platform/paths.h"
#include "runtime/text/encoding_tags.h"
#include "runtime/text/string_core.h"
#include "runtime/objects/text_encoding.h"

namespace quendal {

namespace p = quendal::platform;

namespace {

ApplicationPathSource gApplicationPathSource = nullptr;

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool HasDrive(std::string_view s) { return s.size() >= 2 && s[1] == ':' && IsAsciiLetter(s[0]); }
bool IsUNC(std::string_view s) { return s.size() >= 2 && s[0] == '\\' && s[1] == '\\'; }

std::string WithBackslashes(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

std::vector<std::string> SplitComponents(std::string_view rest) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find('\\', start);
    if (end == std::string_view::npos) end = rest.size();
    if (end > start) parts.emplace_back(rest.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

/* The drive or share a path begins with ("Z:", "\\server\share"), and the
** length of text it takes. */
std::string RootPrefix(std::string_view path, size_t* length) {
  if (HasDrive(path)) {
    *length = 2;
    return std::string(1, char(path[0] >= 'a' ? path[0] - 'a' + 'A' : path[0])) + ":";
  }
  if (IsUNC(path)) { /* "\\server\share": the server, then the share */
    size_t serverEnd = path.find('\\', 2);
    if (serverEnd == std::string_view::npos) serverEnd = path.size();
    std::string prefix = "\\\\" + std::string(path.substr(2, serverEnd - 2));
    size_t shareEnd = serverEnd;
    if (serverEnd < path.size()) {
      shareEnd = path.find('\\', serverEnd + 1);
      if (shareEnd == std::string_view::npos) shareEnd = path.size();
      if (shareEnd > serverEnd + 1) prefix += "\\" + std::string(path.substr(serverEnd + 1, shareEnd - serverEnd - 1));
    }
    *length = shareEnd;
    return prefix;
  }
  *length = 0;
  return "";
}

/* Step 4's text part: "." and ".." resolved, separators single. */
std::string Normalised(std::string_view path) {
  size_t prefixLength = 0;
  std::string out = RootPrefix(path, &prefixLength);
  std::vector<std::string> kept;
  for (std::string& part : SplitComponents(path.substr(prefixLength))) {
    if (part == ".") continue;
    if (part == "..") {
      if (!kept.empty()) kept.pop_back();
      continue;
    }
    kept.push_back(std::move(part));
  }
  for (const std::string& part : kept) out += "\\" + part;
  return out;
}

bool IsRoot(const std::string& path) {
  if (HasDrive(path)) return path.size() == 2;
  return IsUNC(path) && SplitComponents(std::string_view(path).substr(2)).size() == 2 &&
         path.find('\\', 2) != std::string::npos;
}

std::string CurrentFolder() {
  p::WCHAR buffer[4096];
  p::DWORD n = p::GetCurrentDirectoryW(4096, buffer);
  return n > 0 && n < 4096 ? p::Utf8FromUtf16(buffer, n) : std::string();
}

/* Steps 2 and 3: the path made absolute. */
std::string Absolute(const std::string& path) {
  if (HasDrive(path)) {
    if (path.size() > 2 && path[2] != '\\') { /* drive-relative: "Z:name" */
      std::string cwd = CurrentFolder();
      if (HasDrive(cwd) && (cwd[0] | 0x20) == (path[0] | 0x20)) return cwd + "\\" + path.substr(2);
    }
    return path;
  }
  if (IsUNC(path)) return path;
  std::string folder = ApplicationFolder();
  if (!path.empty() && path[0] == '\\') {
    size_t prefixLength = 0;
    return RootPrefix(folder, &prefixLength) + path;
  }
  return folder + "\\" + path;
}

std::string LongPath(const std::string& path) {
  std::u16string wide = p::Utf16FromUtf8(path);
  p::WCHAR buffer[1024];
  p::DWORD n = p::GetLongPathNameW(wide.c_str(), buffer, 1024);
  return n > 0 && n < 1024 ? p::Utf8FromUtf16(buffer, n) : path;
}

bool PassesValidation(const NativePath& native) {
  std::u16string wide = p::Utf16FromUtf8(native.root && HasDrive(native.path) ? native.path + "\\" : native.path);
  if (p::GetFileAttributesW(wide.c_str()) != p::INVALID_FILE_ATTRIBUTES) return true;
  p::DWORD error = p::GetLastError();
  return error == p::ERROR_FILE_NOT_FOUND || error == p::ERROR_NOT_READY;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); i++) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += char(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

} // namespace

void InstallApplicationPathSource(ApplicationPathSource source) { gApplicationPathSource = source; }

std::string ApplicationFolder() {
  std::string folder;
  if (gApplicationPathSource != nullptr) {
    StringRef path(StringConvertedOrKept(gApplicationPathSource(), kEncodingUTF8));
    folder = WithBackslashes(StringView(path.get()));
  }
  if (folder.empty()) {
    p::WCHAR buffer[4096];
    p::DWORD n = p::GetModuleFileNameW(nullptr, buffer, 4096);
    folder = n > 0 && n < 4096 ? PathFolderPart(p::Utf8FromUtf16(buffer, n)) : CurrentFolder();
  }
  while (folder.size() > 1 && folder.back() == '\\') folder.pop_back();
  return folder;
}

std::optional<NativePath> ParseNativePath(std::string_view text, PathValidation validation) {
  if (text.find('\0') != std::string_view::npos) return std::nullopt;
  std::string path = Normalised(Absolute(WithBackslashes(text)));
  if (path.empty()) return std::nullopt;
  NativePath native{LongPath(path), false};
  native.root = IsRoot(native.path);
  if (validation == PathValidation::kValidate && !PassesValidation(native)) return std::nullopt;
  return native;
}

bool IsAbsoluteShellPath(std::string_view text) {
  return HasDrive(text) || (!text.empty() && (text[0] == '\\' || text[0] == '/'));
}

std::optional<std::string> PathTextOfURL(std::string_view url) {
  if (url.size() < 5 || (url.substr(0, 5) != "file:" && url.substr(0, 5) != "FILE:")) return std::nullopt;
  std::string_view rest = url.substr(5);
  std::string path;
  if (rest.substr(0, 2) == "//") {
    rest = rest.substr(2);
    size_t slash = rest.find('/');
    std::string_view host = rest.substr(0, slash);
    std::string_view local = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    if (host.empty() || host == "localhost") {
      path = PercentDecoded(local);
    } else {
      path = "\\\\" + PercentDecoded(host) + PercentDecoded(local);
    }
  } else {
    path = PercentDecoded(rest);
  }
  /* "file:///C:/x" names a drive: drop the slash before it. */
  if (path.size() >= 3 && path[0] == '/' && HasDrive(std::string_view(path).substr(1))) path.erase(0, 1);
  return path;
}

std::string URLOfNativePath(const std::string& path, bool directory) {
  std::string local;
  std::optional<std::string> posix = p::PosixPathFromWindows(path + (HasDrive(path) && path.size() == 2 ? "\\" : ""));
  if (posix && !posix->empty() && (*posix)[0] == '/') {
    local = *posix;
  } else if (IsUNC(path)) {
    local = "//" + WithBackslashes(path.substr(2));
    for (char& c : local) c = c == '\\' ? '/' : c;
  } else {
    local = "/" + path;
    for (char& c : local) c = c == '\\' ? '/' : c;
  }
  static const char kHex[] = "0123456789ABCDEF";
  std::string url = IsUNC(path) ? "file:" : "file://";
  for (unsigned char c : local) {
    bool plain = IsAsciiLetter(char(c)) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
                 c == '/' || c == ':';
    if (plain) {
      url += char(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
  if (directory && url.back() != '/') url += '/';
  return url;
}

std::string LastPathComponent(const std::string& path) {
  size_t slash = path.rfind('\\');
  if (slash == std::string::npos) return path;
  return path.substr(slash + 1);
}

std::string PathFolderPart(const std::string& path) {
  size_t slash = path.rfind('\\');
  if (slash == std::string::npos) return path.substr(0, HasDrive(path) ? 2 : 0);
  return path.substr(0, slash);
}

} // namespace quendal
