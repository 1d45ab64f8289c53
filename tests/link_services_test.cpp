/*
** What the link table's stand-in rows do when called: a service this
** runtime never offers raises ServiceNotAvailableException; a service not
** built yet reports the call and returns 0.
*/
#include <gtest/gtest.h>

#include <string>

#include "runtime/image/link_table.h"
#include "runtime/objects/exceptions.h"
#include "runtime/text/string_core.h"
#include "tests/test_support.h"

namespace quendal {
namespace {

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
