/*
** marlune: the process entry of the converter.  The converter is a native
** program linked into the runtime's executable and started as an app image
** is: the main routine runs the loader, which takes the program from its
** linked-program carrier - the entry routine (app_entry.h) and a resource
** segment holding the SQLite plugin as the 'QDPl' record
** "ORVASQLPluginWin602.DLL" (embedded by the build, see
** plugins/EmbedPlugins.cmake) - and the process ends with the application's
** exit code.
*/
#include <cstdint>

#include "app/app_entry.h"
#include "runtime/image/RuntimeMain.h"
#include "runtime/image/loaderX86.h"

extern "C" const uint8_t marlune_plugins_begin[];
extern "C" const uint8_t marlune_plugins_end[];

namespace {

const quendal::LinkedProgram kMarlune = {&marlune::MarluneEntry, marlune_plugins_begin,
                                         uint32_t(marlune_plugins_end - marlune_plugins_begin)};

} // namespace

int main(int argc, char** argv, char** envp) {
  quendal::SetLinkedProgram(&kMarlune);
  return quendal::RuntimeMain(argc, argv, envp);
}
