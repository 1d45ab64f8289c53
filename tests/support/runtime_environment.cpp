/*
** The image and converter test processes start as the runtime's main
** routine does: with the runtime put together by InstallRuntime.  Linked
** into the test binaries of the layers that include start-up.
*/
#include <gtest/gtest.h>

#include "runtime/image/runtime_install.h"

namespace {

class RuntimeEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { quendal::InstallRuntime(); }
};

const auto* const gRuntimeEnvironment = ::testing::AddGlobalTestEnvironment(new RuntimeEnvironment);

} // namespace
