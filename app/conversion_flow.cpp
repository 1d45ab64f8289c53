/*
** The conversion flow (conversion_flow.h).
*/
#include "app/conversion_flow.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "app/app_info.h"
#include "app/app_text.h"
#include "app/database_stuff.h"
#include "app/nil_check.h"
#include "app/object_ref.h"
#include "runtime/database/single_file_engine.h"
#include "runtime/files/streams.h"
#include "runtime/image/console_output.h"
#include "runtime/image/runtimemainloop.h"
#include "runtime/objects/scalar_arithmetic.h"
#include "runtime/platform/paths.h"
#include "runtime/text/number_text.h"

namespace marlune {

namespace {

using ItemRef = Ref<FolderItemObject>;

/* The Desktop selector of GetSpecialFolder. */
constexpr int32_t kDesktopFolder = 1009;
/* APCopyFile copies this many bytes per read. */
constexpr int32_t kCopyChunk = 64 << 10;

std::string PathOf(FolderItemObject* item) {
  StringRef path(fileAbsolutePathGetter(Need(item)));
  return Utf8Of(path.get());
}

void Print(const std::string& text) {
  StringRef line = Text(text);
  RuntimeConsolePrint(line.get());
}

void Log(AppObject* app, const std::string& text) {
  StringRef line = Text(text);
  AppLogMessage(app, line.get());
}

/* A message of the flow: printed on standard output and logged. */
void Say(AppObject* app, const std::string& text) {
  Print(text);
  Log(app, text);
}

/* Element i of the argument array (owned). */
StringRef Argument(ArrayObject* args, int32_t i) { return StringRef(RuntimeDirectReadStringArray(args, i)); }

void AppendEmptyArgument(ArrayObject* args) {
  using Insert = void (*)(ArrayObject*, int32_t, ORVAstring);
  auto insert = reinterpret_cast<Insert>(RuntimeArrayDirectGetInsertProc(args));
  insert(args, RuntimeUBound(args) + 1, nullptr);
}

bool IsRelativePath(const std::string& path) {
  if (path.empty() || path[0] == '/' || path[0] == '\\') return false;
  return !(path.size() >= 2 && path[1] == ':');
}

/* GetFolderItem(path, 0) for a path argument (see conversion_flow.h). */
ItemRef ItemOfArgument(ORVAstring argument) {
  std::string path = Utf8Of(argument);
  if (path.empty()) return ItemRef();
  if (IsRelativePath(path)) {
    char folder[4096];
    if (getcwd(folder, sizeof(folder))) path = std::string(folder) + "/" + path;
  }
  StringRef text = Text(path);
  return ItemRef(RuntimeGetFolderItem(text.get(), 0));
}

/* The POSIX path of an item, when it has one. */
std::optional<std::string> PosixPathOf(FolderItemObject* item) {
  return quendal::platform::PosixPathFromWindows(PathOf(item));
}

bool SameFile(FolderItemObject* a, FolderItemObject* b) {
  std::optional<std::string> first = PosixPathOf(Need(a)), second = PosixPathOf(Need(b));
  if (!first || !second) return false;
  if (*first == *second) return true;
  struct stat one, two;
  return stat(first->c_str(), &one) == 0 && stat(second->c_str(), &two) == 0 && one.st_dev == two.st_dev &&
         one.st_ino == two.st_ino;
}

/* Deletes item while it exists, at most kDeleteTries times, each try
** followed by DoEvents(10); false when it is still there. */
bool DeleteWithRetries(AppObject* app, FolderItemObject* item) {
  for (int i = 0; i < kDeleteTries && fileExistsGetter(item); i++) {
    FolderItemDelete(item);
    RuntimeDoEvents(&app->base.header, 10);
  }
  return !fileExistsGetter(item);
}

/* A sibling of item named name (owned). */
ItemRef SiblingOf(FolderItemObject* item, const std::string& name) {
  ItemRef folder(folderParentGetter(Need(item)));
  StringRef text = Text(name);
  return ItemRef(FolderChild(Need(folder.get()), text.get()));
}

/* The working copy of a conversion into destination: made empty (with the
** temporary file of an earlier run that was killed, and its journal) when
** the conversion begins, deleted when it ends without having become the
** destination. */
class WorkingCopy {
 public:
  explicit WorkingCopy(FolderItemObject* destination) {
    StringRef name(fileNameGetter(Need(destination)));
    item_ = SiblingOf(destination, WorkingCopyName(Utf8Of(name.get())));
    FolderItemDelete(Need(item_.get()));
    const std::string temporary = kTemporaryFileName;
    for (const std::string& leftover : {temporary, temporary + "-journal"}) {
      ItemRef item = SiblingOf(destination, leftover);
      FolderItemDelete(Need(item.get()));
    }
  }
  ~WorkingCopy() {
    if (item_) FolderItemDelete(item_.get());
  }
  WorkingCopy(const WorkingCopy&) = delete;
  WorkingCopy& operator=(const WorkingCopy&) = delete;

  FolderItemObject* item() const { return item_.get(); }

  /* Renames the finished copy to the destination's name; false when the
  ** rename failed (the copy is then deleted). */
  bool BecomeDestination(FolderItemObject* destination) {
    StringRef name(fileNameGetter(destination));
    if (!fileNameSetter(item_.get(), name.get())) return false;
    item_.reset(); /* it is the destination now, no longer a copy to clean up */
    return true;
  }

 private:
  ItemRef item_;
};

/* Reports the conversion's progress: table summaries and failures to the
** log, failures also on standard error, a progress line on standard error
** when that is a terminal. */
class RunObserver : public ConversionObserver {
 public:
  explicit RunObserver(AppObject* app) : app_(app), terminal_(isatty(STDERR_FILENO) == 1) {
    SetConversionObserver(this);
  }
  ~RunObserver() override {
    ClearProgress();
    SetConversionObserver(nullptr);
  }
  RunObserver(const RunObserver&) = delete;
  RunObserver& operator=(const RunObserver&) = delete;

  void TableProgress(const TableReport& report) override {
    if (!terminal_) return;
    std::fprintf(stderr, "\rmarlune: %s: %lld rows", report.sourceName.c_str(), (long long)report.rowsRead);
    std::fflush(stderr);
    progressShown_ = true;
  }
  void TableFinished(const TableReport& report, const std::string& codePageName) override {
    ClearProgress();
    Log(app_, TableSummaryLine(report, codePageName));
  }
  void ConversionFailed(const std::string& line) override {
    ClearProgress();
    std::fprintf(stderr, "marlune: %s\n", line.c_str());
    std::fflush(stderr);
    Log(app_, line);
  }

 private:
  void ClearProgress() {
    if (!progressShown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    progressShown_ = false;
  }

  AppObject* app_;
  bool terminal_;
  bool progressShown_ = false;
};

/* True when the first argument asks for help or the version (printed). */
bool AnsweredOption(ArrayObject* args) {
  if (RuntimeUBound(args) < 1) return false;
  std::string option = Utf8Of(Argument(args, 1).get());
  if (option == "--help") {
    std::fputs(kHelpText, stdout);
  } else if (option == "--version") {
    std::printf("%s\n", kVersionText);
  } else {
    return false;
  }
  std::fflush(stdout);
  return true;
}

} // namespace

std::string WorkingCopyName(const std::string& destinationName) { return destinationName + ".marlune-copy"; }

int32_t AppRun(ObjectHeader* object, ArrayObject* args) {
  AppObject* app = Need(AsApp(object));
  Need(args);
  if (AnsweredOption(args)) return kResultSuccess;
  while (RuntimeUBound(args) < 5) AppendEmptyArgument(args);
  int32_t command = RuntimeCvtReal64ToSInt32(StringVal(Argument(args, 1).get()));
  int32_t result = -999;
  StringRef doObs = Argument(args, 4);
  StringRef one = Text("1");
  app->doLog = Equal(Argument(args, 5).get(), one.get());
  ItemRef source = ItemOfArgument(Argument(args, 2).get());
  ItemRef destination = ItemOfArgument(Argument(args, 3).get());

  StringRef commandText(StringStrInt32(command));
  Log(app, "Marlune: CommandType=" + Utf8Of(commandText.get()));
  Log(app, source ? "Marlune: Source=" + PathOf(source.get()) : "Marlune: Source=nil");
  Log(app, destination ? "Marlune: Dest=" + PathOf(destination.get()) : "Marlune: Dest=nil");
  Log(app, "Marlune: doObs=" + Utf8Of(doObs.get()));

  RunObserver observer(app);
  if (command == 1) {
    result = AppConvertPlanDocument(app, source.get(), destination.get(), Equal(doObs.get(), one.get()));
  } else {
    result = AppConvertDatabase(app, command, source.get(), destination.get());
  }
  StringRef resultText(StringStrInt32(result));
  Print("rslt=" + Utf8Of(resultText.get()));
  return result;
}

int32_t AppConvertPlanDocument(AppObject* app, FolderItemObject* source, FolderItemObject* destination,
                               bool doObs) {
  Ref<DatabaseObject> database(openORVADatabase(source));
  if (database) {
    databaseClose(database.get());
    database.reset();
    return AppConvertPlan(app, source, destination, doObs);
  }
  Say(app, "Unable to open V1 plan document: " + PathOf(source));
  return kResultCannotOpen;
}

int32_t AppConvertPlan(AppObject* app, FolderItemObject* source, FolderItemObject* destination, bool doObs) {
  std::string destinationPath = PathOf(destination);
  if (SameFile(source, destination)) {
    Say(app, "Source and destination are the same file: " + destinationPath);
    return kResultCannotCreate;
  }
  Log(app, "Attempt to delete " + destinationPath);
  if (!DeleteWithRetries(app, destination)) {
    Say(app, "Unable to delete: " + destinationPath);
    return kResultCannotCreate;
  }
  Log(app, "Copy " + PathOf(source) + " to " + destinationPath);
  WorkingCopy copy(destination);
  AppAPCopyFile(app, source, copy.item());
  if (!fileExistsGetter(copy.item())) {
    Say(app, "Unable to create: " + destinationPath);
    return kResultCannotCreate;
  }
  Log(app, "ConvertOldFormat " + destinationPath);
  StringRef none, elements = Text("Elements->Comet"), observations = Text("Observations");
  bool ok = ConvertOldFormat(copy.item(), doObs ? none.get() : observations.get(), elements.get(), none.get(),
                             none.get(), none.get());
  if (ok && !copy.BecomeDestination(destination)) {
    Say(app, "Unable to rename the converted document to " + destinationPath);
    ok = false;
  }
  if (ok) return kResultSuccess;
  Say(app, "Unable to convert from old format: " + destinationPath);
  Log(app, "Attempt to delete " + destinationPath);
  if (!DeleteWithRetries(app, destination)) Say(app, "Unable to delete: " + destinationPath);
  Log(app, "Complete");
  return kResultConversionFailed;
}

void AppAPCopyFile(AppObject* /*app*/, FolderItemObject* source, FolderItemObject* destination) {
  ItemRef target;
  if (fileDirectoryGetter(Need(destination))) {
    StringRef name(fileNameGetter(Need(source)));
    target.reset(FolderChild(destination, name.get()));
  } else {
    target = ItemRef::Borrow(destination);
  }
  FolderItemDelete(Need(target.get()));
  Ref<BinaryStreamObject> input(FolderItemOpenBinaryFile(source, false));
  StringRef planFile = Text("Plan File");
  Ref<BinaryStreamObject> output(FolderItemCreateBinaryFile(target.get(), planFile.get()));
  BinaryStreamObject* in = Need(input.get());
  BinaryStreamObject* out = Need(output.get());
  /* In pieces rather than in one string, so that any length is copied whole;
  ** a copy that comes out short (a failed write) is deleted. */
  int64_t length = BinaryStreamGetLength(in);
  for (int64_t copied = 0; copied < length; copied += kCopyChunk) {
    StringRef bytes(BinaryStreamRead(in, int32_t(std::min<int64_t>(kCopyChunk, length - copied)), nullptr));
    BinaryStreamWrite(out, bytes.get());
    RuntimeBackgroundTask();
  }
  bool whole = BinaryStreamGetLength(out) == length && BinaryStreamLastErrorGetter(out) == 0;
  BinaryStreamClose(in);
  BinaryStreamClose(out);
  if (!whole) FolderItemDelete(target.get());
}

int32_t AppConvertDatabase(AppObject* app, int32_t command, FolderItemObject* source,
                           FolderItemObject* destination) {
  if (SameFile(source, destination)) {
    Say(app, "Source and destination are the same file: " + PathOf(destination));
    return kResultMigrationFailed;
  }
  FolderItemDelete(Need(destination));
  WorkingCopy copy(destination);
  FolderItemCopyFileTo(Need(source), copy.item());
  StringRef none;
  bool ok;
  if (command == 2) {
    StringRef additions = Text(
        "Sites->Active->Boolean->1,Telescopes->Active->Boolean->1,Eyepieces->Active->Boolean->1,"
        "Aids->Active->Boolean->1,Filters->Active->Boolean->1,Telescopes->Mount->Text->");
    ok = ConvertOldFormat(copy.item(), none.get(), none.get(), none.get(), additions.get(), none.get());
  } else if (command == 3) {
    StringRef typeChanges = Text("observations->Rating->varchar");
    ok = ConvertOldFormat(copy.item(), none.get(), none.get(), typeChanges.get(), none.get(), none.get());
  } else {
    ok = ConvertOldFormat(copy.item(), none.get(), none.get(), none.get(), none.get(), none.get());
  }
  if (ok && !copy.BecomeDestination(destination)) {
    Log(app, "Unable to rename the migrated database to " + PathOf(destination));
    ok = false;
  }
  if (ok) return kResultSuccess;
  FolderItemDelete(destination);
  return kResultMigrationFailed;
}

void AppLogMessage(AppObject* app, ORVAstring text) {
  if (!Need(app)->doLog) return;
  ItemRef desktop(GetSpecialFolder(kDesktopFolder));
  StringRef name = Text(kLogFileName);
  ItemRef file(FolderChild(Need(desktop.get()), name.get()));
  FolderItemObject* item = Need(file.get());
  Ref<TextOutputStreamObject> stream(fileExistsGetter(item) ? FolderItemAppendTextFile(item)
                                                            : FolderItemCreateTextFile(item));
  TextOutputStreamObject* out = Need(stream.get());
  TextOutputStreamWriteLine(out, text);
  TextOutputStreamFlush(out);
  TextOutputStreamClose(out);
}

} // namespace marlune
