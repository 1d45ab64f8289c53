/*
** The class App: the converter's application class, a subclass of the
** runtime's ConsoleApplication, built at start-up through RuntimeNewClass
** as an image's class-table routine ("App.__ctblinit") builds it.
**
** Object layout (AppObject): the ConsoleApplication object (header, exit
** code), then the property doLog (Boolean, false at creation: objects are
** zero-filled).
**
** Class record: the base's tables copied by RuntimeNewClass, then
**   methods     ConvertPlanDocument, ConvertPlan, APCopyFile,
**               ConvertDatabase, logmsg (in this order, behind the base's)
**   property    "doLog%b%" with the generic Boolean accessors, parameter
**               the field's byte offset
**   event       Run implemented by AppRun (conversion_flow.h)
** The methods are native functions with the System V convention and the
** receiver first; native code calls them directly, the table publishes
** them under their signatures as an image's class record does.
**
** The record is built once and lives until the process ends.
*/
#ifndef MARLUNE_APP_CLASS_H
#define MARLUNE_APP_CLASS_H

#include <cstddef>

#include "runtime/image/ConsoleApplication.h"
#include "runtime/objects/object_model.h"

struct AppObject {
  ConsoleApplicationObject base;
  bool doLog;
};
static_assert(offsetof(AppObject, doLog) == sizeof(ConsoleApplicationObject), "doLog follows the exit code");

namespace marlune {

/* Number of methods App adds to ConsoleApplication's. */
inline constexpr int32_t kAppMethodCount = 5;

/* Builds the class record on the first call ("App.__ctblinit"); later calls
** return it.  Needs the ConsoleApplication record (the runtime's, bound on
** first use). */
ClassRecord* AppClass();

/* The object as an App, or null when it is nil or of another class. */
AppObject* AsApp(ObjectHeader* object);

} // namespace marlune

#endif
