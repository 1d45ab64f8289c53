/*
** Tests of quendal-imagebuild, the tool that turns a relocatable object
** into an app image.
**
** The images built through tests/images/images.cmake are read back with
** readers written here from the image format (not the builder's own code):
**   - imagebuild_layout (assembly): every relocation kind at known code
**     offsets, renames, resources, an option; checked byte for byte;
**   - imagebuild_app (C through image_rt.h): loaded into low memory by a
**     miniature loader and run against fake runtime services.
** Refusals, damaged objects and --append run the builder at test time on
** sources compiled here, and check exit status, the one-line message and
** that no output file appears.
*/
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/text/string_record.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const std::string kBuilder = std::string(QUENDAL_BIN_DIR) + "/quendal-imagebuild";
const std::string kImages = std::string(QUENDAL_SOURCE_DIR) + "/tests/images/";

/* ---- files and processes ---- */

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read " << path;
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string SlurpText(const std::string& path) {
  Bytes bytes = ReadFile(path);
  return std::string(bytes.begin(), bytes.end());
}

struct TempDir {
  std::string path;
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "imagebuild_test.XXXXXX").string();
    path = mkdtemp(pattern.data()) ? pattern : "";
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

struct ProcessResult {
  int status = -1;  /* exit status, or 128 + signal */
  std::string out, err;
};

/* Runs argv[0] with standard output and error captured in files of dir.
** Sanitizer reports exit with 77, so a crash never passes for a refusal. */
ProcessResult RunProcess(const TempDir& dir, const std::vector<std::string>& argv) {
  std::string outPath = dir / ".stdout", errPath = dir / ".stderr";
  pid_t pid = fork();
  if (pid == 0) {
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(err, 2);
    setenv("ASAN_OPTIONS", "exitcode=77:detect_leaks=1", 1);
    setenv("UBSAN_OPTIONS", "exitcode=77:halt_on_error=1", 1);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  ProcessResult result;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid)
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = SlurpText(outPath);
  result.err = SlurpText(errPath);
  fs::remove(outPath);
  fs::remove(errPath);
  return result;
}

/* Compiles a source of tests/images with the flags of image code. */
std::string CompileImageSource(const TempDir& dir, const std::string& source) {
  std::string object = dir / (source + ".o");
  ProcessResult r = RunProcess(dir, {QUENDAL_C_COMPILER, "-c", "-O1", "-fno-pic", "-fno-pie", "-mcmodel=small",
                              "-ffunction-sections", "-fno-asynchronous-unwind-tables",
                              "-fno-stack-protector", "-fno-jump-tables", "-fno-builtin",
                              "-ffreestanding", "-fno-omit-frame-pointer", "-fcf-protection=none",
                              "-I", kImages, kImages + source, "-o", object});
  EXPECT_EQ(r.status, 0) << r.err;
  return object;
}

/* ---- an independent reader of the image format ---- */

uint32_t U32(const Bytes& b, size_t at) {
  EXPECT_LE(at + 4, b.size());
  if (at + 4 > b.size()) return 0;
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

struct Image {
  Bytes code, data, imports, symbols, resources, options;
  Bytes* segment(int i) { return std::array<Bytes*, 6>{&code, &data, &imports, &symbols, &resources, &options}[i]; }
};

Image ParseImage(const Bytes& file) {
  Image image;
  EXPECT_GE(file.size(), 6u);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 6), "112358");
  size_t at = 6;
  for (int i = 0; i < 6; ++i) {
    uint32_t length = U32(file, at);
    at += 4;
    EXPECT_LE(at + length, file.size());
    if (at + length > file.size()) return image;
    image.segment(i)->assign(file.begin() + at, file.begin() + at + length);
    at += length;
  }
  EXPECT_EQ(at, file.size()) << "bytes after the option segment";
  return image;
}

struct ImportRecord {
  uint8_t opcode;
  uint8_t mode;          /* opcode 1 */
  uint32_t offset;       /* chain head or site */
  std::string name, library;
  bool operator==(const ImportRecord&) const = default;
};

std::ostream& operator<<(std::ostream& os, const ImportRecord& r) {
  return os << "{op " << int(r.opcode) << " mode " << int(r.mode) << " @" << r.offset << " " << r.name
            << " " << r.library << "}";
}

std::string ReadName(const Bytes& b, size_t& at) {
  uint8_t n = b.at(at);
  std::string name(b.begin() + at + 1, b.begin() + at + 1 + n);
  EXPECT_EQ(b.at(at + 1 + n), 0) << "name " << name << " not followed by a zero byte";
  at += n + 2;
  return name;
}

std::vector<ImportRecord> ParseImports(const Bytes& b) {
  std::vector<ImportRecord> records;
  size_t at = 0;
  while (at < b.size()) {
    ImportRecord r{b[at++], 0, 0, "", ""};
    switch (r.opcode) {
      case 1:
        r.mode = b.at(at++);
        r.offset = U32(b, at);
        at += 4;
        r.name = ReadName(b, at);
        break;
      case 2: case 3: case 5:
        r.offset = U32(b, at);
        at += 4;
        break;
      case 4:
        r.offset = U32(b, at);
        at += 4;
        r.name = ReadName(b, at);
        r.library = ReadName(b, at);
        break;
      default:
        ADD_FAILURE() << "the builder wrote opcode " << int(r.opcode);
        return records;
    }
    records.push_back(r);
  }
  return records;
}

/* The sites of a chain, following the links in the code. */
std::vector<uint32_t> Chain(const Bytes& code, uint32_t head) {
  std::vector<uint32_t> sites;
  for (uint32_t s = head; s != 0 && sites.size() <= code.size(); s = U32(code, s)) sites.push_back(s);
  return sites;
}

struct SymbolEntry {
  uint32_t offset;
  std::string name;
  bool operator==(const SymbolEntry&) const = default;
};

std::ostream& operator<<(std::ostream& os, const SymbolEntry& e) {
  return os << "{" << e.offset << " " << e.name << "}";
}

std::vector<SymbolEntry> ParseSymbols(const Bytes& b) {
  std::vector<SymbolEntry> entries;
  uint32_t count = U32(b, 0);
  size_t names = 4 + 8 * size_t(count);
  EXPECT_LE(names, b.size());
  for (uint32_t i = 0; i < count && names <= b.size(); ++i) {
    size_t nameAt = names + U32(b, 8 + 8 * i);
    EXPECT_LT(nameAt, b.size());
    if (nameAt >= b.size()) break;
    entries.push_back({U32(b, 4 + 8 * i), reinterpret_cast<const char*>(b.data() + nameAt)});
  }
  return entries;
}

/* Checks the string record at a data offset and returns its length. */
void ExpectStringRecord(const Bytes& data, uint32_t at, const std::string& text) {
  SCOPED_TRACE("record \"" + text.substr(0, 20) + "\" at " + std::to_string(at));
  ASSERT_EQ(at % 4, 0u);
  ASSERT_LE(at + 20 + text.size() + 5, data.size());
  EXPECT_EQ(U32(data, at + 0), 1u);                           // reference count
  EXPECT_EQ(U32(data, at + 4), 0u);                           // data word, set at load
  EXPECT_EQ(U32(data, at + 8), text.size() + 5);              // buffer size
  EXPECT_EQ(U32(data, at + 12), text.size());                 // length
  EXPECT_EQ(U32(data, at + 16), uint32_t(kEncodingUTF8));     // tag
  EXPECT_EQ(data[at + 20], std::min<size_t>(text.size(), 255)); // Pascal byte
  EXPECT_EQ(std::string(data.begin() + at + 21, data.begin() + at + 21 + text.size()), text);
  for (size_t k = 0; k < 4; ++k) EXPECT_EQ(data[at + 21 + text.size() + k], 0);
}

/* ---- imagebuild_layout: the byte-exact image ---- */

class ImageBuildLayout : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::string(QUENDAL_TEST_IMAGE_DIR) + "/imagebuild_layout/";
    file_ = ReadFile(dir_ + "image.bin");
    image_ = ParseImage(file_);
    imports_ = ParseImports(image_.imports);
  }
  static std::string dir_;
  static Bytes file_;
  static Image image_;
  static std::vector<ImportRecord> imports_;

  /* Code offsets of imagebuild_layout.S. */
  static constexpr uint32_t kHelper = 80, kTail = 88, kCodeLength = 89;
  /* Data offsets: three records, then .data (align 4), then .bss (align 8). */
  static constexpr uint32_t kHello = 0, kWorld = 32, kLong = 64, kTable = 392, kCounter = 408,
                            kDataLength = 416;
};
std::string ImageBuildLayout::dir_;
Bytes ImageBuildLayout::file_;
Image ImageBuildLayout::image_;
std::vector<ImportRecord> ImageBuildLayout::imports_;

TEST_F(ImageBuildLayout, ContainerAndDevFilesHoldTheSameSegments) {
  EXPECT_EQ(image_.code.size(), kCodeLength);
  EXPECT_EQ(image_.data.size(), kDataLength);
  const char* names[6] = {"code.dat", "data.dat", "import.dat", "symbols.dat", "rsrc.dat", "options.dat"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(ReadFile(dir_ + names[i]), *image_.segment(i)) << names[i];
  // Gaps between code sections are int3.
  for (uint32_t at = kHelper + 6; at < kTail; ++at) EXPECT_EQ(image_.code[at], 0xCC);
}

TEST_F(ImageBuildLayout, ImportRecordsAscendAndCoverEveryRelocation) {
  std::vector<ImportRecord> expected = {
      {1, 1, 1, "RuntimeInit", ""},
      {5, 0, 6, "", ""},
      {1, 1, 11, "RuntimeConsolePrint", ""},
      {5, 0, 16, "", ""},
      {5, 0, 31, "", ""},
      {2, 0, 36, "", ""},
      {2, 0, 41, "", ""},
      {3, 0, 46, "", ""},
      {1, 0, 51, "RuntimeVersionTable", ""},
      {4, 0, 61, "LibraryCall", "libdemo.so"},
      {5, 0, 71, "", ""},
      {1, 1, 76, "RuntimeExit", ""},
  };
  EXPECT_EQ(imports_, expected);
}

TEST_F(ImageBuildLayout, StringConstantsAreSharedStoredRecords) {
  const Bytes& code = image_.code;
  EXPECT_EQ(U32(code, 6), kHello);
  EXPECT_EQ(U32(code, 16), kHello) << "an identical literal shares its record";
  EXPECT_EQ(U32(code, 31), kWorld);
  EXPECT_EQ(U32(code, 71), kLong);
  EXPECT_EQ(U32(code, 26), 0u) << "\"\" is the null handle";
  ExpectStringRecord(image_.data, kHello, "hello");
  ExpectStringRecord(image_.data, kWorld, "world");
  std::string digits;
  for (int i = 0; i < 30; ++i) digits += "0123456789";
  ExpectStringRecord(image_.data, kLong, digits);  // Pascal byte saturates at 255
  // Padding to the next record is zero: "hello" takes 30 bytes of 32.
  EXPECT_EQ(image_.data[30], 0);
  EXPECT_EQ(image_.data[31], 0);
}

TEST_F(ImageBuildLayout, ChainsThreadAscendingSitesToZero) {
  const Bytes& code = image_.code;
  EXPECT_EQ(Chain(code, 1), (std::vector<uint32_t>{1, kHelper + 1}));   // calls in two routines
  EXPECT_EQ(Chain(code, 11), (std::vector<uint32_t>{11, 21}));
  EXPECT_EQ(Chain(code, 76), (std::vector<uint32_t>{76}));
  EXPECT_EQ(code[75], 0xE9) << "a tail jump is a chain site too";
  EXPECT_EQ(Chain(code, 51), (std::vector<uint32_t>{51, 66}));          // mode 0: mov $name
  EXPECT_EQ(Chain(code, 61), (std::vector<uint32_t>{61}));              // library function
  for (uint32_t site : {1u, 11u, 21u, 61u, kHelper + 1}) EXPECT_EQ(code[site - 1], 0xE8) << site;
}

TEST_F(ImageBuildLayout, CodeAndDataReferencesHoldSegmentOffsets) {
  const Bytes& code = image_.code;
  EXPECT_EQ(U32(code, 36), kCounter);
  EXPECT_EQ(U32(code, 41), kTable + 4);
  EXPECT_EQ(U32(image_.data, kTable + 4), 22u);   // .data copied in place
  for (uint32_t at = kCounter; at < kDataLength; ++at) EXPECT_EQ(image_.data[at], 0);
  EXPECT_EQ(U32(code, 46), kHelper);
  EXPECT_EQ(int32_t(U32(code, 56)), int32_t(kHelper) - 60) << "local call resolved";
}

TEST_F(ImageBuildLayout, SymbolTableIsSortedWithEntryAndRenames) {
  std::vector<SymbolEntry> expected = {{0, "% main"}, {kHelper, "Quendal.Helper%i4"}, {kTail, "tail"}};
  EXPECT_EQ(ParseSymbols(image_.symbols), expected);
}

TEST_F(ImageBuildLayout, ResourceAndPluginRecordsAreByteExact) {
  Bytes text = ReadFile(kImages + "imagebuild_resource.txt");
  Bytes plugin = ReadFile(kImages + "imagebuild_plugin.bin");
  Bytes expected = {'T', 'S', 'E', 'T', 7, 0, 0, 0, 0, 0};
  for (int shift = 0; shift < 32; shift += 8) expected.push_back(uint8_t(text.size() >> shift));
  expected.insert(expected.end(), text.begin(), text.end());
  std::string name = "imagebuild_plugin.bin";
  uint32_t length = uint32_t(1 + name.size() + plugin.size());
  Bytes record = {'l', 'P', 'D', 'Q', 3, 0, 0, 0, 0, 0};
  for (int shift = 0; shift < 32; shift += 8) record.push_back(uint8_t(length >> shift));
  record.push_back(uint8_t(name.size()));
  record.insert(record.end(), name.begin(), name.end());
  record.insert(record.end(), plugin.begin(), plugin.end());
  expected.insert(expected.end(), record.begin(), record.end());
  EXPECT_EQ(image_.resources, expected);
}

TEST_F(ImageBuildLayout, OptionRecordCarriesTextAndTag) {
  std::string text = "layout option";
  Bytes expected = {0, uint8_t(text.size()), 0, 0, 0};
  expected.insert(expected.end(), text.begin(), text.end());
  for (uint8_t b : {0x00, 0x01, 0x00, 0x08}) expected.push_back(b);
  EXPECT_EQ(image_.options, expected);
}

/* ---- imagebuild_app: run under a miniature loader ---- */

/* Fake runtime services for the image: they record what the image asks. */
std::vector<std::string> gPrinted;
std::vector<uint8_t*> gMadeStrings;

std::string TextOf(StringRecord* s) { return s ? std::string(StringBytes(s), s->length) : ""; }

void FakeConsolePrint(StringRecord* s) { gPrinted.push_back(TextOf(s)); }

StringRecord* FakeFromCString(const char* text) {
  size_t n = strlen(text);
  uint8_t* block = new uint8_t[20 + n + 5]();
  StringRecord* s = reinterpret_cast<StringRecord*>(block);
  *s = {1, 0, int32_t(n + 5), int32_t(n), kEncodingUTF8};
  memcpy(StringBytes(s), text, n);
  gMadeStrings.push_back(block);
  return s;
}

void FakeUnlockString(StringRecord* s) {
  if (s && --s->refCount == 0) {
    auto it = std::find(gMadeStrings.begin(), gMadeStrings.end(), reinterpret_cast<uint8_t*>(s));
    ASSERT_NE(it, gMadeStrings.end()) << "the image released a string it does not own";
    delete[] *it;
    gMadeStrings.erase(it);
  }
}

int32_t FakeStringCompare(StringRecord* a, StringRecord* b) { return TextOf(a).compare(TextOf(b)); }

/* Loads an image below 2 GiB as the runtime's loader does: each imported
** name is bound to a stub that jumps to the fake service. */
class MiniLoader {
 public:
  explicit MiniLoader(const Image& image) : image_(image) {
    size_t stubs = AlignUp(image.code.size(), 16);
    size_t data = stubs + 16 * 64;
    size_ = data + AlignUp(image.data.size() + 1, 4096);
    void* region = mmap(nullptr, size_, PROT_READ | PROT_WRITE | PROT_EXEC,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
    if (region == MAP_FAILED) return;
    base_ = static_cast<uint8_t*>(region);
    code_ = base_;
    stubs_ = base_ + stubs;
    data_ = base_ + data;
    memcpy(code_, image.code.data(), image.code.size());
    memcpy(data_, image.data.data(), image.data.size());
  }
  ~MiniLoader() {
    if (base_) munmap(base_, size_);
  }
  bool loaded() const { return base_ != nullptr; }
  uint8_t* data() const { return data_; }

  void Export(const std::string& name, void* entry) { exports_[name] = entry; }

  void Bind() {
    const Bytes& b = image_.imports;
    for (const ImportRecord& r : ParseImports(b)) {
      switch (r.opcode) {
        case 1: {
          ASSERT_EQ(r.mode, 1) << r.name;
          ASSERT_TRUE(exports_.count(r.name)) << "image imports " << r.name;
          uint8_t* stub = MakeStub(exports_[r.name]);
          for (uint32_t s : Chain(image_.code, r.offset)) Put32(s, uint32_t(stub - (code_ + s + 4)));
          break;
        }
        case 2: Put32(r.offset, Get32(r.offset) + Low(data_)); break;
        case 3: Put32(r.offset, Get32(r.offset) + Low(code_)); break;
        case 5: {
          uint32_t v = Get32(r.offset);
          Put32(r.offset, v + Low(data_));
          uint32_t word;
          memcpy(&word, data_ + v + 4, 4);
          if (word == 0) {
            word = Low(data_) + v + 20;
            memcpy(data_ + v + 4, &word, 4);
          }
          break;
        }
        default: FAIL() << "unexpected import " << r;
      }
    }
  }

  uint32_t CallEntry() { return reinterpret_cast<uint32_t (*)()>(code_)(); }

 private:
  static size_t AlignUp(size_t v, size_t a) { return (v + a - 1) / a * a; }
  static uint32_t Low(const void* p) { return uint32_t(reinterpret_cast<uintptr_t>(p)); }
  uint32_t Get32(uint32_t at) const {
    uint32_t v;
    memcpy(&v, code_ + at, 4);
    return v;
  }
  void Put32(uint32_t at, uint32_t v) { memcpy(code_ + at, &v, 4); }
  uint8_t* MakeStub(void* target) {  // movabs $target, %rax; jmp *%rax
    uint8_t* stub = stubs_ + 16 * stubCount_++;
    stub[0] = 0x48;
    stub[1] = 0xB8;
    memcpy(stub + 2, &target, 8);
    stub[10] = 0xFF;
    stub[11] = 0xE0;
    return stub;
  }

  const Image& image_;
  uint8_t* base_ = nullptr;
  size_t size_ = 0;
  uint8_t *code_ = nullptr, *stubs_ = nullptr, *data_ = nullptr;
  int stubCount_ = 0;
  std::map<std::string, void*> exports_;
};

TEST(ImageBuildRun, AppImageRunsUnderAMiniatureLoader) {
  Image image = ParseImage(ReadFile(std::string(QUENDAL_TEST_IMAGE_DIR) + "/imagebuild_app/image.bin"));
  MiniLoader loader(image);
  ASSERT_TRUE(loader.loaded()) << "no memory below 2 GiB";
  loader.Export("RuntimeConsolePrint", reinterpret_cast<void*>(&FakeConsolePrint));
  loader.Export("StringFromCString", reinterpret_cast<void*>(&FakeFromCString));
  loader.Export("RuntimeUnlockString", reinterpret_cast<void*>(&FakeUnlockString));
  loader.Export("RuntimeStringCompare", reinterpret_cast<void*>(&FakeStringCompare));
  loader.Bind();
  gPrinted.clear();
  EXPECT_EQ(loader.CallEntry(), 15u);
  EXPECT_EQ(gPrinted, (std::vector<std::string>{"hello", "hello", "", "from a C string", "ordered"}));
  EXPECT_TRUE(gMadeStrings.empty()) << "the image's own string was released once";
  // The first record is "hello", used twice: its data word points at its
  // own byte 20, set once.
  uint32_t word;
  memcpy(&word, loader.data() + 4, 4);
  EXPECT_EQ(word, uint32_t(reinterpret_cast<uintptr_t>(loader.data())) + 20);

  std::vector<SymbolEntry> symbols = ParseSymbols(image.symbols);
  ASSERT_FALSE(symbols.empty());
  EXPECT_EQ(symbols[0], (SymbolEntry{0, "% main"}));
  std::vector<std::string> names;
  for (const SymbolEntry& e : symbols) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"% main", "Quendal.Say%%s", "Quendal.Twice%i4%i4"}));
  for (size_t i = 1; i < symbols.size(); ++i) EXPECT_LT(symbols[i - 1].offset, symbols[i].offset);
}

/* ---- refusals ---- */

/* Expects a refusal: status 1, one line naming the file and the reason,
** and nothing written into out. */
void ExpectRefusal(const TempDir& dir, const std::vector<std::string>& arguments,
                   const std::string& file, const std::string& reason) {
  std::string out = dir / "out";
  fs::create_directory(out);
  std::vector<std::string> argv = {kBuilder, "--image", out + "/image.bin", "--dev-files", out + "/dev"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  ProcessResult r = RunProcess(dir, argv);
  EXPECT_EQ(r.status, 1) << r.err;
  std::string prefix = "quendal-imagebuild: " + file + ": ";
  EXPECT_EQ(r.err.compare(0, prefix.size(), prefix), 0) << r.err;
  EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
  EXPECT_TRUE(fs::is_empty(out)) << "a refusal wrote output";
  fs::remove_all(out);
}

struct RefusalCase {
  const char* source;
  std::vector<std::string> arguments;
  const char* reason;
};

TEST(ImageBuildRefusal, ConstructsTheImageCannotExpress) {
  const RefusalCase cases[] = {
      {"imagebuild_rip_global.c", {}, "RIP-relative access to 'counter' at .text.main+0x"},  /* offset: the compiler's */
      {"imagebuild_rip_import.S", {}, "'RuntimeVersion' at .text.main+0x2 (main+0x2) is not the operand"},
      {"imagebuild_abs64.S", {}, "64-bit absolute address"},
      {"imagebuild_entry_offset.S", {}, "entry symbol 'main' lies at offset 0x1 of section .text.both"},
      {"imagebuild_data_pointer.c", {}, "section .data holds 1 relocation"},
      {"imagebuild_layout.S", {"--entry", "absent"}, "entry symbol 'absent' is not defined"},
      {"imagebuild_layout.S", {"--name", "absent=X"}, "--name renames 'absent'"},
      {"imagebuild_layout.S", {"--library", "RuntimeVersionTable=libx.so"},
       "absolute reference to library function 'RuntimeVersionTable'"},
  };
  TempDir dir;
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.source);
    std::string object = CompileImageSource(dir, c.source);
    std::vector<std::string> arguments = c.arguments;
    arguments.push_back(object);
    ExpectRefusal(dir, arguments, object, c.reason);
  }
}

TEST(ImageBuildRefusal, TruncatedObjectsAreRefusedCleanly) {
  TempDir dir;
  Bytes object = ReadFile(std::string(QUENDAL_TEST_IMAGE_DIR) + "/imagebuild_layout/imagebuild_layout.o");
  ASSERT_GT(object.size(), 64u);
  std::string path = dir / "truncated.o";
  for (size_t length = 0; length < object.size(); length += 1 + length / 3) {
    SCOPED_TRACE("length " + std::to_string(length));
    WriteFile(path, Bytes(object.begin(), object.begin() + length));
    ExpectRefusal(dir, {path}, path, length < 64 ? "not an ELF file" : "");
  }
}

/* Random damage must give a clean refusal or a sound image, never a crash
** (sanitizer builds also catch reads out of bounds here). */
TEST(ImageBuildRefusal, DamagedObjectsNeverCrashTheBuilder) {
  TempDir dir;
  Bytes object = ReadFile(std::string(QUENDAL_TEST_IMAGE_DIR) + "/imagebuild_layout/imagebuild_layout.o");
  ASSERT_GT(object.size(), 64u);
  std::mt19937 random(20240611);
  std::string path = dir / "damaged.o";
  // A third of the rounds hit the ELF header, a third the section header
  // table at the end of the file, a third anywhere.
  size_t headers = U32(object, 0x28);
  ASSERT_LT(headers, object.size());
  int refused = 0;
  for (int round = 0; round < 90; ++round) {
    Bytes damaged = object;
    size_t from = round % 3 == 1 ? headers : 0;
    size_t span = round % 3 == 0 ? 64 : damaged.size() - from;
    for (int k = 0; k < 1 + round % 4; ++k)
      damaged[from + random() % span] = round % 2 ? uint8_t(random()) : uint8_t(0xFF);
    WriteFile(path, damaged);
    ProcessResult r = RunProcess(dir, {kBuilder, "--image", dir / "image.bin", path});
    ASSERT_TRUE(r.status == 0 || r.status == 1) << "round " << round << " status " << r.status << "\n" << r.err;
    if (r.status == 1) {
      ++refused;
      EXPECT_EQ(r.err.rfind("quendal-imagebuild: ", 0), 0u) << r.err;
    }
  }
  EXPECT_GT(refused, 0);
}

TEST(ImageBuildRefusal, BadCommandLinesAndImages) {
  TempDir dir;
  std::string object = std::string(QUENDAL_TEST_IMAGE_DIR) + "/imagebuild_layout/imagebuild_layout.o";
  ProcessResult r = RunProcess(dir, {kBuilder, object});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("nothing to write"), std::string::npos) << r.err;
  r = RunProcess(dir, {kBuilder, "--image", dir / "x", "--resource", "TOOLONG:1=f", object});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("four-character TYPE"), std::string::npos) << r.err;
  r = RunProcess(dir, {kBuilder, "--image", dir / "x", "--resource", "ABCD:65536=f", object});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("0 to 65535"), std::string::npos) << r.err;
  ExpectRefusal(dir, {"--resource", "ABCD:1=" + dir / "missing", object}, dir / "missing", "cannot open");

  Bytes image = ReadFile(std::string(QUENDAL_TEST_IMAGE_DIR) + "/imagebuild_layout/image.bin");
  std::string cut = dir / "cut.bin";
  WriteFile(cut, Bytes(image.begin(), image.end() - 1));
  ExpectRefusal(dir, {"--from-image", cut}, cut, "truncated app image: the option segment");
  image.push_back(0);
  WriteFile(cut, image);
  ExpectRefusal(dir, {"--from-image", cut}, cut, "1 stray bytes");
}

/* ---- --append ---- */

class ImageBuildAppend : public ::testing::Test {
 protected:
  std::string BuildHost(const std::string& name, bool withPickle) {
    std::string exe = dir_ / name;
    std::vector<std::string> argv = {QUENDAL_C_COMPILER, kImages + "imagebuild_pickle_host.c", "-o", exe};
    if (!withPickle) argv.push_back("-DNO_PICKLE");
    ProcessResult r = RunProcess(dir_, argv);
    EXPECT_EQ(r.status, 0) << r.err;
    return exe;
  }
  TempDir dir_;
  const std::string imagePath_ = std::string(QUENDAL_TEST_IMAGE_DIR) + "/imagebuild_layout/image.bin";
  const std::string objectPath_ =
      std::string(QUENDAL_TEST_IMAGE_DIR) + "/imagebuild_layout/imagebuild_layout.o";
};

TEST_F(ImageBuildAppend, AppendedImageIsLocatedByTheStampedRecord) {
  std::string host = BuildHost("host", true);
  std::string output = dir_ / "stamped";
  ProcessResult r = RunProcess(dir_, {kBuilder, "--from-image", imagePath_, "--append", host, "--output", output});
  ASSERT_EQ(r.status, 0) << r.err;

  Bytes original = ReadFile(host), image = ReadFile(imagePath_), stamped = ReadFile(output);
  ASSERT_EQ(stamped.size(), original.size() + image.size());
  EXPECT_TRUE(std::equal(image.begin(), image.end(), stamped.begin() + original.size()));
  size_t differing = 0;
  for (size_t i = 0; i < original.size(); ++i) differing += original[i] != stamped[i];
  EXPECT_LE(differing, 8u) << "only the locating record changes";

  // The stamped program sees its record: image offset and length behind the magic.
  EXPECT_EQ(fs::status(output).permissions(), fs::status(host).permissions());
  r = RunProcess(dir_, {output});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, std::to_string(original.size()) + " " + std::to_string(image.size() - 6) + "\n");
}

TEST_F(ImageBuildAppend, AppendingFromTheObjectEqualsAppendingItsImage) {
  std::string host = BuildHost("host", true);
  ProcessResult r = RunProcess(dir_, {kBuilder, "--from-image", imagePath_, "--append", host, "--output", dir_ / "a"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunProcess(dir_, {kBuilder, "--library", "LibraryCall=libdemo.so", "--name", "helper=Quendal.Helper%i4",
                 "--resource", "TEST:7=" + kImages + "imagebuild_resource.txt", "--plugin-resource",
                 "3=" + kImages + "imagebuild_plugin.bin", "--option", "layout option", "--append", host,
                 "--output", dir_ / "b", "--image", dir_ / "b.bin", objectPath_});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(dir_ / "b.bin"), ReadFile(imagePath_));
  EXPECT_EQ(ReadFile(dir_ / "a"), ReadFile(dir_ / "b"));
}

TEST_F(ImageBuildAppend, ExecutableWithoutLocatingRecordIsRefused) {
  std::string host = BuildHost("bare", false);
  std::string output = dir_ / "out/stamped";
  ExpectRefusal(dir_, {"--from-image", imagePath_, "--append", host, "--output", output}, host,
                "no .quendal_pickle section");
  // Neither is an object file an executable to append to.
  ExpectRefusal(dir_, {"--from-image", imagePath_, "--append", imagePath_, "--output", output}, imagePath_,
                "not an ELF file");
}

} // namespace
