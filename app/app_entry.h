/*
** The converter's entry routine: what an app image's "% main" does, for
** the converter linked into the runtime's executable (marlune_main.cpp
** hands it to the loader as its linked program).
**
**   "% main"          RuntimeInit, "% initialize", "_Main" (until
**                     EndException ends the run), "% finalize", RuntimeExit;
**                     returns RuntimeExit's result
**   "% initialize"    the class table of App (app_class.h)
**   "_Main"           RuntimeStackCheck, RuntimeInitExternalClasses (loads
**                     the embedded SQLite plugin from the program's own
**                     resources), "_InitPluginEntrypoints" (plugin_glue.h),
**                     "_InitFileTypes", "_NewAppInstance", RuntimeRun
**   "_InitFileTypes"  the file type "Plan File": extension ".apd", type and
**                     creator "????"
**   "_NewAppInstance" a new App, registered with
**                     RuntimeRegisterConsoleAppObject(app, false)
**   "% finalize"      the file type's exit routine: it is deregistered
** An exception other than EndException that ends "_Main" takes the
** runtime's unhandled-exception path (default report, exit code 70).
*/
#ifndef MARLUNE_APP_ENTRY_H
#define MARLUNE_APP_ENTRY_H

#include <cstdint>

namespace marlune {

inline constexpr char kPlanFileType[] = "Plan File";

uint32_t MarluneEntry();

} // namespace marlune

#endif
