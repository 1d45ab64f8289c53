/*
** The provision lists of the variants and number text modules name
** exactly the link table's rows of their two groups, each once, each with
** an entry.
*/
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "runtime/image/link_table.h"
#include "runtime/objects/variants_links.h"
#include "runtime/text/number_text_links.h"

namespace quendal {
namespace {

TEST(VariantsLinks, ProvisionListsCoverTheirGroupsExactly) {
  std::map<std::string, std::string> groupOfRow;
  for (size_t i = 0; i < LinkStaticRowCount(); i++) groupOfRow[LinkStaticRow(i)->name] = LinkStaticRowGroup(i);

  std::set<std::string> provided;
  for (LinkProvisions list : {VariantsLinkProvisions(), NumberTextLinkProvisions()}) {
    for (const LinkProvision& p : list) {
      EXPECT_TRUE(provided.insert(p.name).second) << p.name << " is provided twice";
      EXPECT_NE(p.entry, nullptr) << p.name;
      auto row = groupOfRow.find(p.name);
      ASSERT_NE(row, groupOfRow.end()) << p.name << " names no row";
      EXPECT_TRUE(row->second == "variants" || row->second == "number_text") << p.name << " is in " << row->second;
    }
  }
  for (const auto& [name, group] : groupOfRow) {
    if (group == "variants" || group == "number_text") {
      EXPECT_TRUE(provided.count(name)) << name << " is not provided";
    }
  }
}

} // namespace
} // namespace quendal
