/*
** FolderItem: path parsing and validation, roots, listing, navigation,
** copy, move, delete and rename with their LastErrorCode values,
** shortcuts, special folders, file types, dates and save information.
*/
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "runtime/files/date.h"
#include "runtime/files/file_types.h"
#include "runtime/files/folder_item.h"
#include "runtime/files/folder_item_host.h"
#include "runtime/files/streams.h"
#include "runtime/platform/paths.h"
#include "tests/objects/object_test_support.h"
#include "tests/text/string_test_support.h"
#include "tests/support/test_support.h"

namespace quendal::test {
namespace {

using Item = ObjectRef;

FolderItemObject* F(const Item& item) { return reinterpret_cast<FolderItemObject*>(item.get()); }
Item Wrap(FolderItemObject* item) { return Item(&item->header); }

Item Get(const std::string& path, int32_t kind = 0) {
  FolderItemObject* item = RuntimeGetFolderItem(Make(path).get(), kind);
  return item ? Wrap(item) : Item();
}
Item GetTrue(const std::string& path) {
  FolderItemObject* item = RuntimeGetTrueFolderItem(Make(path).get(), 0);
  return item ? Wrap(item) : Item();
}
std::string Path(const Item& item) { return item ? Take(fileAbsolutePathGetter(F(item))) : "nil"; }
std::string Name(const Item& item) { return item ? Take(fileNameGetter(F(item))) : "nil"; }

ORVAstring gApplicationPath = nullptr;
ORVAstring TestApplicationPath() { return gApplicationPath; }

class FolderItemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    windows_ = platform::WindowsPathFromPosix(dir_.path());
    StringAssign(&gApplicationPath, Make(windows_ + "\\").get());
    InstallApplicationPathSource(&TestApplicationPath);
  }
  void TearDown() override {
    InstallApplicationPathSource(nullptr);
    StringAssign(&gApplicationPath, nullptr);
  }
  std::string W(const std::string& name) { return windows_ + "\\" + name; }

  TempDir dir_;
  std::string windows_;
};

TEST_F(FolderItemTest, PathsAreParsedValidatedAndNormalised) {
  WriteFile(dir_.File("plan.apd"), "x");
  /* A Linux path and a Windows path name the same file. */
  EXPECT_EQ(Path(Get(dir_.File("plan.apd"))), W("plan.apd"));
  EXPECT_EQ(Path(Get(W("plan.apd"))), W("plan.apd"));
  EXPECT_EQ(Path(Get(dir_.path() + "//sub/../plan.apd")), W("plan.apd"));
  /* Relative paths lie in the application folder, not the current one. */
  EXPECT_EQ(Path(Get("plan.apd")), W("plan.apd"));
  EXPECT_EQ(Path(Get("")), W(""));
  EXPECT_EQ(Path(Get("\\tmp")), "Z:\\tmp\\");

  Item missing = Get(W("missing.txt"));
  ASSERT_TRUE(missing);
  EXPECT_FALSE(fileExistsGetter(F(missing)));
  for (const std::string& invalid : {W("nofolder\\a.txt"), std::string("C:\\a.txt"), W("plan.apd\\inner"),
                                     std::string("\\\\server\\share\\x"), W("a") + std::string(1, '\0') + "b"}) {
    EXPECT_FALSE(Get(invalid)) << invalid;
  }
  Item shell(CreateInstance(&kFolderItemDefinition));
  std::string raised = RaisedClass([&] { FolderItemPathCtor(F(shell), Make(W("nofolder\\a.txt")).get(), 0); });
  EXPECT_EQ(raised, "UnsupportedFormatException");
  FolderItemPathCtor(F(shell), Make(W("plan.apd")).get(), 0);
  EXPECT_EQ(Path(shell), W("plan.apd"));

  /* Shell paths must name their drive; URLs are file URLs. */
  EXPECT_EQ(RaisedClass([] { RuntimeGetFolderItem(Make("a\\b").get(), 1); }), "UnsupportedFormatException");
  EXPECT_EQ(Path(Get(W("plan.apd"), 1)), W("plan.apd"));
  WriteFile(dir_.File("a b.txt"), "");
  Item spaced = Get("file://" + dir_.path() + "/a%20b.txt", 2);
  EXPECT_EQ(Path(spaced), W("a b.txt"));
  EXPECT_EQ(Take(FileURLGetter(F(spaced))), "file://" + dir_.path() + "/a%20b.txt");
  EXPECT_FALSE(Get("http://example/x", 2));

  /* "?" is an ordinary character of a name here, not a pattern. */
  WriteFile(dir_.File("axb"), "123");
  Item odd = Get(W("a?b"));
  EXPECT_FALSE(fileExistsGetter(F(odd)));
  WriteFile(dir_.File("a?b"), "1");
  EXPECT_EQ(fileSizeGetter(F(odd)), 1);
}

TEST_F(FolderItemTest, DriveRootsAreFoldersWithoutParents) {
  for (const char* root : {"Z:", "Z:\\", "z:/", "/"}) {
    Item item = Get(root);
    ASSERT_TRUE(item) << root;
    EXPECT_EQ(Name(item), "Z:");
    EXPECT_EQ(Path(item), "Z:\\");
    EXPECT_TRUE(fileDirectoryGetter(F(item)));
    EXPECT_TRUE(fileExistsGetter(F(item)));
    EXPECT_EQ(folderParentGetter(F(item)), nullptr);
  }
  Item parentOfTop = Wrap(folderParentGetter(F(Get("/tmp"))));
  EXPECT_EQ(Name(parentOfTop), "Z:");
  EXPECT_EQ(getVolumeCount(), 1);
  EXPECT_EQ(Name(Wrap(getVolume(0))), "Z:");
  EXPECT_EQ(getVolume(1), nullptr);
}

TEST_F(FolderItemTest, FoldersListAndNavigate) {
  WriteFile(dir_.File("a.txt"), "12345");
  WriteFile(dir_.File(".hidden"), "");
  ASSERT_EQ(mkdir(dir_.File("sub").c_str(), 0755), 0);
  Item folder = Get(dir_.path());
  Item file = Get(W("a.txt"));
  EXPECT_EQ(Path(folder), W(""));
  EXPECT_EQ(Path(file), W("a.txt"));
  EXPECT_EQ(fileSizeGetter(F(file)), 5);
  EXPECT_EQ(FolderChild(F(file), Make("x").get()), nullptr);
  EXPECT_FALSE(fileVisibleGetter(F(Get(W(".hidden")))));

  ASSERT_EQ(fileCountGetter(F(folder)), 3);
  std::set<std::string> names;
  for (int i = 1; i <= 3; i++) names.insert(Name(Wrap(FolderItemItem(F(folder), i))));
  EXPECT_EQ(names, (std::set<std::string>{".hidden", "a.txt", "sub"}));
  const DirectoryListing& listing = LastDirectoryListing();
  EXPECT_EQ(listing.folder, windows_);
  EXPECT_EQ(std::set<std::string>(listing.names.begin(), listing.names.end()), names);
  EXPECT_EQ(FolderItemItem(F(folder), 0), nullptr);
  EXPECT_EQ(FolderItemItem(F(folder), 4), nullptr);

  Item child = Wrap(FolderChild(F(folder), Make("new").get()));
  EXPECT_FALSE(fileExistsGetter(F(child)));
  EXPECT_TRUE(FolderItemCreateAsFolder(F(child)));
  EXPECT_EQ(Path(child), W("new\\"));
  EXPECT_FALSE(FolderItemCreateAsFolder(F(child)));
  EXPECT_EQ(FolderItemGetLastError(F(child)), 183);
  EXPECT_EQ(Path(Wrap(folderParentGetter(F(child)))), W(""));
}

TEST_F(FolderItemTest, CopyMoveDeleteAndRenameReportTheirErrors) {
  WriteFile(dir_.File("a.txt"), "alpha");
  WriteFile(dir_.File("b.txt"), "beta");
  ASSERT_EQ(mkdir(dir_.File("sub").c_str(), 0755), 0);
  Item a = Get(W("a.txt")), b = Get(W("b.txt")), sub = Get(W("sub"));

  FolderItemCopyFileTo(F(a), F(b));
  EXPECT_EQ(FolderItemGetLastError(F(a)), 80);
  EXPECT_EQ(ReadFile(dir_.File("b.txt")), "beta");
  FolderItemCopyFileTo(F(a), F(sub)); /* into a folder: the name is kept */
  EXPECT_EQ(FolderItemGetLastError(F(a)), 0);
  EXPECT_EQ(ReadFile(dir_.File("sub/a.txt")), "alpha");
  EXPECT_EQ(RaisedClass([&] { FolderItemCopyFileTo(F(a), nullptr); }), "NilObjectException");

  FolderItemMoveFileTo(F(a), F(b));
  EXPECT_EQ(FolderItemGetLastError(F(a)), 183);
  EXPECT_EQ(ReadFile(dir_.File("a.txt")), "alpha");

  EXPECT_FALSE(FolderItemDelete(F(sub)));
  EXPECT_EQ(FolderItemGetLastError(F(sub)), 145);
  EXPECT_TRUE(FolderItemDelete(F(Get(W("sub\\a.txt")))));
  EXPECT_TRUE(FolderItemDelete(F(sub)));
  EXPECT_FALSE(FolderItemDelete(F(sub)));
  EXPECT_EQ(FolderItemGetLastError(F(sub)), 101);

  /* A failed rename keeps the item where its file still is. */
  EXPECT_FALSE(fileNameSetter(F(a), Make("b.txt").get()));
  EXPECT_EQ(FolderItemGetLastError(F(a)), 183);
  EXPECT_EQ(Path(a), W("a.txt"));
  EXPECT_FALSE(fileNameSetter(F(a), Make("..\\escape.txt").get()));
  EXPECT_EQ(FolderItemGetLastError(F(a)), 105);
  EXPECT_TRUE(fileNameSetter(F(a), Make("c.txt").get()));
  EXPECT_EQ(Path(a), W("c.txt"));
  EXPECT_EQ(ReadFile(dir_.File("c.txt")), "alpha");

  fileLockedSetter(F(a), true);
  EXPECT_TRUE(fileLockedGetter(F(a)));
  EXPECT_EQ(FolderItemCreateTextFile(F(a)), nullptr);
  fileLockedSetter(F(a), false);
  EXPECT_FALSE(fileLockedGetter(F(a)));
}

TEST_F(FolderItemTest, SymbolicLinksAreShortcuts) {
  WriteFile(dir_.File("target.txt"), "t");
  ASSERT_EQ(symlink("target.txt", dir_.File("link").c_str()), 0);
  EXPECT_EQ(Path(Get(W("link"))), W("target.txt"));
  Item link = GetTrue(W("link"));
  EXPECT_EQ(Path(link), W("link"));
  EXPECT_TRUE(fileAliasGetter(F(link)));
  EXPECT_FALSE(fileAliasGetter(F(Get(W("target.txt")))));
  Item folder = Get(dir_.path());
  EXPECT_EQ(Path(Wrap(FolderChild(F(folder), Make("link").get()))), W("target.txt"));
  EXPECT_EQ(Path(Wrap(FolderTrueChild(F(folder), Make("link").get()))), W("link"));
  /* Deleting the shortcut deletes the link, not its target. */
  EXPECT_TRUE(FolderItemDelete(F(link)));
  EXPECT_EQ(ReadFile(dir_.File("target.txt")), "t");
}

TEST_F(FolderItemTest, SpecialFoldersStayInsideTheUsersFolders) {
  std::string home = getenv("HOME") ? getenv("HOME") : "";
  std::string tmp = getenv("TMPDIR") ? getenv("TMPDIR") : "";
  setenv("HOME", dir_.path().c_str(), 1);
  setenv("TMPDIR", dir_.path().c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("XDG_DESKTOP_DIR");
  std::string desktop = Path(Wrap(getDesktopFolder()));
  std::string temporary = Path(Wrap(GetSpecialFolder(1001)));
  std::string preferences = Take(FileShellPathGetter(F(Wrap(getPreferencesFolder()))));
  bool trash = GetSpecialFolder(1000) != nullptr;
  bool system = getSystemFolder() != nullptr;
  setenv("HOME", home.c_str(), 1);
  if (tmp.empty()) unsetenv("TMPDIR"); else setenv("TMPDIR", tmp.c_str(), 1);
  EXPECT_EQ(desktop, W(""));
  EXPECT_EQ(temporary, W(""));
  EXPECT_EQ(preferences, W(".config"));
  EXPECT_FALSE(trash);
  EXPECT_FALSE(system);
  EXPECT_EQ(GetSpecialFolder(999), nullptr);
}

TEST_F(FolderItemTest, FileTypesDatesAndSaveInformation) {
  WriteFile(dir_.File("x.apd"), "");
  Item plan = Get(W("x.apd"));
  RuntimeRegisterFileType(Make("Plan File").get(), Make("????").get(), Make("????").get(), Make(".apd").get());
  EXPECT_EQ(Take(fileTypeGetter(F(plan))), "Plan File");
  EXPECT_EQ(Take(fileMacTypeGetter(F(plan))), "????");
  RuntimeDeregisterFileType(Make("plan file").get());
  EXPECT_EQ(Take(fileTypeGetter(F(plan))), "");
  EXPECT_EQ(FileTypeCount(), 0u);

  ObjectRef when(NewDateWithTotalSeconds(3.5e9));
  folderSetModified(F(plan), when.get());
  EXPECT_EQ(FolderItemGetLastError(F(plan)), 0);
  ObjectRef modified(folderGetModified(F(plan)));
  EXPECT_EQ(dateTotalSecondsGetter(AsDate(modified.get())), 3.5e9);
  folderSetCreation(F(plan), when.get()); /* no creation time can be set here */
  EXPECT_EQ(FolderItemGetLastError(F(plan)), 50);

  Item folder = Get(dir_.path());
  StringRef info(FolderItemGetSaveInfo(F(plan), F(folder), 0));
  EXPECT_EQ(Path(Wrap(FolderItemGetRelative(F(folder), info.get()))), W("x.apd"));
  ASSERT_EQ(unlink(dir_.File("x.apd").c_str()), 0);
  Item lost = Wrap(FolderItemGetRelative(F(folder), info.get()));
  EXPECT_EQ(fileCountGetter(F(lost)), 0);
  EXPECT_EQ(FolderItemCreateBinaryFile(F(lost), nullptr), nullptr);
  EXPECT_EQ(FolderItemGetRelative(F(folder), Make("not save information").get()), nullptr);
}

TEST_F(FolderItemTest, PermissionsOwnersAndDriveRelativePaths) {
  WriteFile(dir_.File("run.sh"), "#!/bin/sh\n");
  Item script = Get(W("run.sh"));
  FolderItemSetPermissionsInteger(F(script), 0640);
  EXPECT_EQ(FolderItemGetPermissions(F(script)), 0640);
  FolderItemImpMakeFileExecutable(F(script)); /* whoever reads may run */
  EXPECT_EQ(FolderItemGetPermissions(F(script)), 0750);
  ObjectRef bits(CreateInstance(&kPermissionsDefinition));
  auto* permissions = reinterpret_cast<PermissionsObject*>(bits.get());
  PermissionsCtor(permissions, 0404);
  PermissionsSetter(permissions, 0200, true);
  EXPECT_TRUE(PermissionsGetter(permissions, 04));
  EXPECT_FALSE(PermissionsGetter(permissions, 040));
  FolderItemSetPermissionsClass(F(script), permissions);
  EXPECT_EQ(FolderItemGetPermissions(F(script)), 0604);

  EXPECT_FALSE(Take(FolderItemOwnerGetter(F(script))).empty());
  FolderItemOwnerSetter(F(script), Make("no-such-user-of-this-host").get());
  EXPECT_EQ(FolderItemGetLastError(F(script)), 87);

  /* "Z:name" is read against the current folder of drive Z:. */
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  std::string path = Path(Get("Z:run.sh"));
  ASSERT_EQ(chdir(saved), 0);
  EXPECT_EQ(path, W("run.sh"));
}

TEST_F(FolderItemTest, AnItemWithoutImplementationIsReported) {
  Item empty(CreateInstance(&kFolderItemDefinition));
  FailureCapture failures;
  EXPECT_EQ(fileNameGetter(F(empty)), nullptr);
  EXPECT_FALSE(fileExistsGetter(F(empty)));
  EXPECT_TRUE(failures.Contains("entry->mImp"));
  EXPECT_EQ(RaisedClass([] { FolderItemSetLastError(nullptr, 1); }), "NilObjectException");
  EXPECT_EQ(RaisedClass([] { FolderItemCopyCtor(nullptr, nullptr); }), "NilObjectException");
}

} // namespace
} // namespace quendal::test
