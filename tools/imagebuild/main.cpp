/*
** quendal-imagebuild: turns one ELF64 x86-64 relocatable object into an app
** image (or re-emits an image built earlier) and writes it as an image
** file, as development segment files, and/or appended to the runtime
** executable.
**
** The command line is read completely and every input is prepared in
** memory before anything is written; any refusal prints one line
** "quendal-imagebuild: <file>: <reason>" on standard error and exits with
** status 1, leaving all destinations untouched.
*/
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tools/imagebuild/elf_object.h"
#include "tools/imagebuild/image_format.h"
#include "tools/imagebuild/image_layout.h"
#include "tools/imagebuild/output_writer.h"
#include "tools/imagebuild/refusal.h"

namespace imagebuild {
namespace {

const char kUsage[] =
    "usage: quendal-imagebuild [layout options] [outputs] OBJECT\n"
    "       quendal-imagebuild --from-image IMAGE [outputs]\n"
    "layout options:\n"
    "  --entry SYMBOL              entry routine (default main); must start its section\n"
    "  --name SYMBOL=TEXT          symbol-table name of a function (entry: \"% main\")\n"
    "  --library NAME=LIBFILE      bind calls of NAME to a function of a system library\n"
    "  --resource TYPE:ID=FILE     resource record (TYPE four characters, ID 0-65535)\n"
    "  --plugin-resource ID=FILE   embedded plugin record ('QDPl')\n"
    "  --option TEXT               option record\n"
    "outputs (at least one):\n"
    "  --image FILE                the image file\n"
    "  --dev-files DIR             code.dat, data.dat, import.dat, symbols.dat, rsrc.dat, options.dat\n"
    "  --append EXE --output FILE  a copy of EXE with the image appended and located\n";

struct ResourceArgument {
  uint32_t type;
  uint16_t id;
  std::string file;
  bool plugin;
};

struct Command {
  std::string object;
  std::string fromImage;
  LayoutOptions layout;
  bool layoutGiven = false;   /* any layout option: meaningless with --from-image */
  std::vector<ResourceArgument> resources;
  std::vector<std::string> options;
  std::string imagePath, devDir, appendExe, appendOutput;
};

uint16_t ParseResourceId(const std::string& text, const std::string& argument) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos ||
      std::stoul(text) > 65535)
    throw Refusal("resource id in '" + argument + "' must be a number from 0 to 65535");
  return static_cast<uint16_t>(std::stoul(text));
}

/* Splits "KEY=VALUE" with both parts non-empty. */
std::pair<std::string, std::string> SplitPair(const std::string& argument, const char* option) {
  size_t eq = argument.find('=');
  if (eq == std::string::npos || eq == 0 || eq + 1 == argument.size())
    throw Refusal(std::string(option) + " expects KEY=VALUE, not '" + argument + "'");
  return {argument.substr(0, eq), argument.substr(eq + 1)};
}

void AddUnique(std::map<std::string, std::string>& map, const std::pair<std::string, std::string>& pair,
               const char* option) {
  if (!map.insert(pair).second)
    throw Refusal(std::string(option) + " given twice for '" + pair.first + "'");
}

Command ParseCommandLine(int argc, char** argv) {
  Command c;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw Refusal(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      fputs(kUsage, stdout);
      exit(0);
    } else if (arg == "--entry") {
      c.layout.entry = value();
      c.layoutGiven = true;
    } else if (arg == "--name") {
      AddUnique(c.layout.renames, SplitPair(value(), "--name"), "--name");
      c.layoutGiven = true;
    } else if (arg == "--library") {
      auto pair = SplitPair(value(), "--library");
      AddUnique(c.layout.libraries, pair, "--library");
      c.layoutGiven = true;
    } else if (arg == "--resource") {
      std::string v = value();
      size_t eq = v.find('=', 5);
      if (v.size() < 7 || v[4] != ':' || eq == std::string::npos || eq + 1 == v.size())
        throw Refusal("--resource expects TYPE:ID=FILE with a four-character TYPE, not '" + v + "'");
      c.resources.push_back(
          {FourCharCode(v.substr(0, 4)), ParseResourceId(v.substr(5, eq - 5), v), v.substr(eq + 1), false});
      c.layoutGiven = true;
    } else if (arg == "--plugin-resource") {
      auto [id, file] = SplitPair(value(), "--plugin-resource");
      c.resources.push_back({kPluginResourceType, ParseResourceId(id, id + "=" + file), file, true});
      c.layoutGiven = true;
    } else if (arg == "--option") {
      c.options.push_back(value());
      c.layoutGiven = true;
    } else if (arg == "--image") {
      c.imagePath = value();
    } else if (arg == "--dev-files") {
      c.devDir = value();
    } else if (arg == "--append") {
      c.appendExe = value();
    } else if (arg == "--output") {
      c.appendOutput = value();
    } else if (arg == "--from-image") {
      c.fromImage = value();
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw Refusal("unknown option " + arg + " (see --help)");
    } else if (!c.object.empty()) {
      throw Refusal("more than one object file: " + c.object + ", " + arg);
    } else {
      c.object = arg;
    }
  }
  if (c.object.empty() == c.fromImage.empty())
    throw Refusal("give exactly one input: an object file or --from-image IMAGE (see --help)");
  if (!c.fromImage.empty() && c.layoutGiven)
    throw Refusal("--from-image takes no layout options; the image is re-emitted as it is");
  if (c.appendExe.empty() != c.appendOutput.empty())
    throw Refusal("--append EXE and --output FILE go together");
  if (c.imagePath.empty() && c.devDir.empty() && c.appendExe.empty())
    throw Refusal("nothing to write: give --image, --dev-files or --append with --output");
  return c;
}

/* Runs fn; a Refusal without a file name gets file. */
template <typename Fn>
auto Naming(const std::string& file, Fn fn) {
  try {
    return fn();
  } catch (const Refusal& r) {
    if (!r.file().empty()) throw;
    throw Refusal(file, r.what());
  }
}

ImageSegments BuildFromObject(const Command& c) {
  ImageSegments segments;
  ElfObject object = Naming(c.object, [&] { return ReadElfObject(ReadWholeFile(c.object)); });
  ProgramSegments program = Naming(c.object, [&] { return LayOutProgram(object, c.layout); });
  segments[kCode] = std::move(program.code);
  segments[kData] = std::move(program.data);
  segments[kImport] = std::move(program.imports);
  segments[kSymbol] = std::move(program.symbols);

  std::vector<Resource> resources;
  for (const ResourceArgument& r : c.resources) {
    std::vector<uint8_t> bytes = ReadWholeFile(r.file);
    if (r.plugin) {
      std::string name = std::filesystem::path(r.file).filename().string();
      bytes = Naming(r.file, [&] { return PluginResourceData(name, bytes); });
    }
    resources.push_back({r.type, r.id, std::move(bytes)});
  }
  segments[kResource] = Naming(c.object, [&] { return EncodeResourceSegment(resources); });
  segments[kOption] = EncodeOptionSegment(c.options);
  return segments;
}

void MakeDirectory(const std::string& dir) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) throw Refusal(dir, "cannot create the directory: " + error.message());
}

void Run(const Command& c) {
  ImageSegments segments =
      c.fromImage.empty()
          ? BuildFromObject(c)
          : Naming(c.fromImage, [&] { return ParseImage(ReadWholeFile(c.fromImage)); });
  const std::string& input = c.fromImage.empty() ? c.object : c.fromImage;
  std::vector<uint8_t> image = Naming(input, [&] { return SerializeImage(segments); });

  std::vector<OutputFile> outputs;
  if (!c.imagePath.empty()) outputs.push_back({c.imagePath, image, std::nullopt});
  if (!c.devDir.empty())
    for (int s = 0; s < kSegmentCount; ++s)
      outputs.push_back({c.devDir + "/" + kDevFileNames[s], segments[s], std::nullopt});
  if (!c.appendExe.empty()) outputs.push_back(AppendImage(c.appendExe, c.appendOutput, image));

  if (!c.devDir.empty()) MakeDirectory(c.devDir);
  WriteAllOrNothing(outputs);
}

} // namespace
} // namespace imagebuild

int main(int argc, char** argv) {
  using imagebuild::Refusal;
  try {
    imagebuild::Run(imagebuild::ParseCommandLine(argc, argv));
    return 0;
  } catch (const Refusal& r) {
    if (r.file().empty())
      fprintf(stderr, "quendal-imagebuild: %s\n", r.what());
    else
      fprintf(stderr, "quendal-imagebuild: %s: %s\n", r.file().c_str(), r.what());
  } catch (const std::bad_alloc&) {
    fprintf(stderr, "quendal-imagebuild: out of memory\n");
  }
  return 1;
}
