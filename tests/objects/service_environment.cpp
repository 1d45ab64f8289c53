/*
** The object-layer tests run as start-up leaves the process: with the
** object layer's handler at the service boundary installed, so that a
** raise or an allocation failure inside a service reaches a native caller
** as the runtime's exception.
*/
#include <gtest/gtest.h>

#include "runtime/objects/exceptions.h"

namespace {

class ServiceBoundaryEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { quendal::InstallServiceBoundary(); }
};

const auto* const gServiceBoundaryEnvironment =
    ::testing::AddGlobalTestEnvironment(new ServiceBoundaryEnvironment);

} // namespace
