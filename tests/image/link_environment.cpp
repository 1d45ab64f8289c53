/*
** The test processes start as the runtime's main routine does: with the
** link table filled from every module's provision list.
*/
#include <gtest/gtest.h>

#include "runtime/image/link_install.h"

namespace {

class LinkTableEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { quendal::InstallLinkTable(); }
};

const auto* const gLinkTableEnvironment = ::testing::AddGlobalTestEnvironment(new LinkTableEnvironment);

} // namespace
