/*
** The link table's shape and its stand-in rows.  The catalogue keeps its
** names, groups and order (images bind to the first row of a name; plugins
** hold row addresses); every module's provisions name catalogue rows, each
** once; the rows still bound to the placeholder are exactly those listed
** in tests/data/link_placeholders.txt, so a module that starts serving
** names removes them there.  A service this runtime never offers raises
** ServiceNotAvailableException; a service not built yet reports the call
** and returns 0.
*/
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "runtime/base/link_table.h"
#include "runtime/objects/exceptions.h"
#include "runtime/text/string_core.h"
#include "tests/support/test_support.h"

namespace quendal {
namespace {

std::vector<std::string> DataLines(const std::string& name) {
  std::ifstream in(std::string(QUENDAL_SOURCE_DIR) + "/tests/data/" + name);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(LinkCatalogue, NamesGroupsAndOrderAreThoseImagesAndPluginsRelyOn) {
  std::vector<std::string> golden = DataLines("link_catalogue.txt");
  ASSERT_EQ(LinkStaticRowCount(), golden.size());
  for (size_t i = 0; i < golden.size(); i++) {
    EXPECT_EQ(std::string(LinkRowAt(i)->name) + " " + LinkStaticRowGroup(i), golden[i]) << "row " << i;
  }
}

TEST(LinkCatalogue, ProvisionsNameCatalogueRowsOnceAndTheRestArePlaceholders) {
  for (const std::string& problem : LinkProvisionProblems()) ADD_FAILURE() << problem;
  std::set<std::string> placeholders;
  for (size_t i = 0; i < LinkStaticRowCount(); i++) {
    if (LinkStaticRowState(i) == LinkRowState::Placeholder) placeholders.insert(LinkRowAt(i)->name);
  }
  std::vector<std::string> expected = DataLines("link_placeholders.txt");
  std::set<std::string> expectedSet(expected.begin(), expected.end());
  for (const std::string& name : placeholders) {
    EXPECT_TRUE(expectedSet.count(name)) << name << " has no provision";
  }
  for (const std::string& name : expectedSet) {
    EXPECT_TRUE(placeholders.count(name)) << name << " is served now: remove it from link_placeholders.txt";
  }
}

TEST(LinkServices, AnUnavailableServiceRaisesServiceNotAvailableException) {
  size_t unavailable = 0;
  for (size_t i = 0; i < LinkStaticRowCount(); i++) {
    if (LinkStaticRowState(i) != LinkRowState::Unavailable) continue;
    unavailable++;
    auto service = reinterpret_cast<int64_t (*)()>(LinkRowAt(i)->entry);
    std::string raisedClass;
    try {
      service();
    } catch (const RaisedException& raised) {
      raisedClass = std::string(StringView(raised.object()->classPtr->className));
    }
    ASSERT_EQ(raisedClass, "ServiceNotAvailableException") << LinkRowAt(i)->name;
  }
  EXPECT_GT(unavailable, 0u);
  EXPECT_EQ(LinkLookup("pluginSocketRead"), LinkLookup("resourceForkClose"));
}

TEST(LinkServices, APlaceholderReportsTheCallAndReturnsZero) {
  for (size_t i = 0; i < LinkStaticRowCount(); i++) {
    if (LinkStaticRowState(i) != LinkRowState::Placeholder) continue;
    test::FailureCapture reports;
    auto service = reinterpret_cast<int64_t (*)()>(LinkRowAt(i)->entry);
    EXPECT_EQ(service(), 0);
    EXPECT_TRUE(reports.Contains("This runtime service is not built yet.")) << LinkRowAt(i)->name;
    return;
  }
  GTEST_SKIP() << "every service is built";
}

} // namespace
} // namespace quendal
