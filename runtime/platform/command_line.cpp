/*
** The process command line in Windows form.  See command_line.h.
*/
#include "runtime/platform/command_line.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "runtime/platform/errors.h"
#include "runtime/platform/modules.h"
#include "runtime/platform/paths.h"

namespace quendal::platform {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

bool NeedsQuotes(const std::u16string& argument) {
  if (argument.empty()) return true;
  return argument.find_first_of(u" \t\n\v\"") != std::u16string::npos;
}

void AppendProgramName(std::u16string& line, const std::u16string& name) {
  std::u16string bare;
  for (char16_t c : name) {
    if (c != u'"') bare += c;
  }
  bool quote = bare.empty() || bare.find_first_of(u" \t") != std::u16string::npos;
  if (quote) line += u'"';
  line += bare;
  if (quote) line += u'"';
}

void AppendQuotedArgument(std::u16string& line, const std::u16string& argument) {
  if (!NeedsQuotes(argument)) {
    line += argument;
    return;
  }
  line += u'"';
  size_t backslashes = 0;
  for (char16_t c : argument) {
    if (c == u'\\') {
      backslashes++;
      continue;
    }
    if (c == u'"') {
      line.append(backslashes * 2 + 1, u'\\');
    } else {
      line.append(backslashes, u'\\');
    }
    line += c;
    backslashes = 0;
  }
  line.append(backslashes * 2, u'\\'); /* they stand before the closing quote */
  line += u'"';
}

/* The program name: up to a blank, or between quotes when it starts with one. */
const WCHAR* SplitProgramName(const WCHAR* s, std::u16string& name) {
  if (*s == u'"') {
    s++;
    while (*s && *s != u'"') name += *s++;
    if (*s == u'"') s++;
  } else {
    while (*s && !IsBlank(*s)) name += *s++;
  }
  return s;
}

/* The arguments after the program name.  quotes counts the quote
** characters of the current run (odd: inside a quoted part); backslashes
** counts the backslashes just appended. */
void SplitArguments(const WCHAR* s, std::vector<std::u16string>& out) {
  std::u16string current;
  bool started = false;
  int quotes = 0;
  size_t backslashes = 0;
  while (IsBlank(*s)) s++;
  while (*s) {
    if (IsBlank(*s) && quotes == 0) {
      out.push_back(current);
      current.clear();
      started = false;
      backslashes = 0;
      while (IsBlank(*s)) s++;
      continue;
    }
    started = true;
    if (*s == u'\\') {
      current += u'\\';
      backslashes++;
      s++;
      continue;
    }
    if (*s != u'"') {
      current += *s++;
      backslashes = 0;
      continue;
    }
    if (backslashes % 2 == 0) {
      current.erase(current.size() - backslashes / 2);
      quotes++;
    } else {
      current.erase(current.size() - backslashes / 2 - 1);
      current += u'"';
    }
    s++;
    backslashes = 0;
    while (*s == u'"') {
      if (++quotes == 3) {
        current += u'"';
        quotes = 0;
      }
      s++;
    }
    if (quotes == 2) quotes = 0;
  }
  if (started) out.push_back(current);
}

std::u16string ExecutablePath() {
  WCHAR buffer[4096];
  DWORD n = GetModuleFileNameW(nullptr, buffer, sizeof(buffer) / sizeof(buffer[0]));
  return std::u16string(buffer, n < sizeof(buffer) / sizeof(buffer[0]) ? n : 0);
}

/* One block: count + 1 pointers, then the zero-terminated texts. */
WCHAR** PackArguments(const std::vector<std::u16string>& arguments) {
  size_t pointerBytes = (arguments.size() + 1) * sizeof(WCHAR*);
  size_t textBytes = 0;
  for (const auto& a : arguments) textBytes += (a.size() + 1) * sizeof(WCHAR);
  void* block = std::malloc(pointerBytes + textBytes);
  if (!block) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  WCHAR** pointers = static_cast<WCHAR**>(block);
  WCHAR* text = reinterpret_cast<WCHAR*>(static_cast<char*>(block) + pointerBytes);
  for (size_t i = 0; i < arguments.size(); i++) {
    pointers[i] = text;
    std::memcpy(text, arguments[i].data(), arguments[i].size() * sizeof(WCHAR));
    text[arguments[i].size()] = 0;
    text += arguments[i].size() + 1;
  }
  pointers[arguments.size()] = nullptr;
  return pointers;
}

} // namespace

std::u16string WindowsCommandLineFromArguments(const std::vector<std::u16string>& arguments) {
  std::u16string line;
  for (size_t i = 0; i < arguments.size(); i++) {
    if (i == 0) {
      AppendProgramName(line, arguments[0]);
    } else {
      line += u' ';
      AppendQuotedArgument(line, arguments[i]);
    }
  }
  return line;
}

const WCHAR* GetCommandLineW() {
  static std::u16string line;
  static bool ready = false;
  if (ready) return line.c_str();
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  if (!in) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::u16string> arguments;
  size_t start = 0;
  while (start < raw.size()) {
    size_t end = raw.find('\0', start);
    if (end == std::string::npos) end = raw.size();
    arguments.push_back(Utf16FromUtf8(raw.substr(start, end - start)));
    start = end + 1;
  }
  line = WindowsCommandLineFromArguments(arguments);
  ready = true;
  return line.c_str();
}

WCHAR** CommandLineToArgvW(const WCHAR* commandLine, int* count) {
  if (count) *count = 0;
  if (!commandLine) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::vector<std::u16string> arguments;
  if (*commandLine == 0) {
    arguments.push_back(ExecutablePath());
  } else {
    std::u16string name;
    const WCHAR* rest = SplitProgramName(commandLine, name);
    arguments.push_back(name);
    SplitArguments(rest, arguments);
  }
  WCHAR** block = PackArguments(arguments);
  if (block && count) *count = static_cast<int>(arguments.size());
  return block;
}

void* LocalFree(void* block) {
  std::free(block);
  return nullptr;
}

} // namespace quendal::platform
