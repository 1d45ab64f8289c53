/*
** The converter's test process starts as the runtime's main routine does:
** with the runtime put together by InstallRuntime (the rules under test use
** the runtime's strings, code pages and field functions).
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
