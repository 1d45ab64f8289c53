/*
** The object-layer tests run as start-up leaves the process: the service
** boundary's handler installed, and the link table holding what this
** layer and the ones below provide (definitions then register their entry
** points against rows that already name them).
*/
#include <gtest/gtest.h>

#include "runtime/base/link_table.h"
#include "runtime/objects/encoding_links.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/object_links.h"
#include "runtime/text/string_links.h"

namespace {

class LinkTableEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    quendal::InstallServiceBoundary();
    quendal::LinkInstallProvisions(quendal::StringsLinkProvisions());
    quendal::LinkInstallProvisions(quendal::ObjectsLinkProvisions());
    quendal::LinkInstallProvisions(quendal::EncodingsLinkProvisions());
  }
};

const auto* const gLinkTableEnvironment = ::testing::AddGlobalTestEnvironment(new LinkTableEnvironment);

} // namespace
