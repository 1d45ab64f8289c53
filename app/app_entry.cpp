/*
** The converter's entry routine (app_entry.h).
*/
#include "app/app_entry.h"

#include "app/app_class.h"
#include "app/app_text.h"
#include "app/plugin_glue.h"
#include "runtime/files/folder_item.h"
#include "runtime/image/RuntimeMain.h"
#include "runtime/image/startup.h"
#include "runtime/objects/exception_classes.h"
#include "runtime/objects/exceptions.h"

namespace marlune {

namespace {

void InitFileTypes() {
  StringRef name = Text(kPlanFileType), unknown = Text("????"), extension = Text(".apd");
  RuntimeRegisterFileType(name.get(), unknown.get(), unknown.get(), extension.get());
}

void NewAppInstance() {
  quendal::ObjectRef app(RuntimeNewObject(AppClass()));
  RuntimeRegisterConsoleAppObject(app.get(), false);
}

void Main() {
  RuntimeStackCheck();
  RuntimeInitExternalClasses();
  InitPluginEntrypoints();
  InitFileTypes();
  NewAppInstance();
  RuntimeRun();
}

void Finalize() {
  StringRef name = Text(kPlanFileType);
  RuntimeDeregisterFileType(name.get());
}

} // namespace

uint32_t MarluneEntry() {
  RuntimeInit();
  AppClass();
  try {
    Main();
  } catch (const quendal::RaisedException& raised) {
    /* EndException is the normal end of the run; anything else is
    ** unhandled. */
    if (!quendal::IsInstanceOfDefinition(raised.object(), &quendal::kEndExceptionDefinition)) {
      RuntimeUnhandledException(raised.object());
    }
  }
  Finalize();
  return uint32_t(RuntimeExit());
}

} // namespace marlune
