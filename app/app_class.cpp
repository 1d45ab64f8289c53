/*
** The class App (app_class.h).
*/
#include "app/app_class.h"

#include "app/app_text.h"
#include "app/conversion_flow.h"
#include "runtime/objects/object_definition.h"
#include "runtime/objects/object_kinds.h"

namespace marlune {

namespace {

ClassRecord* gAppClass = nullptr;

struct MethodSpec {
  void* entry;
  const char* signature;
};

/* In the order of App's method table. */
const MethodSpec kAppMethods[kAppMethodCount] = {
    {reinterpret_cast<void*>(&AppConvertPlanDocument), "App.ConvertPlanDocument%i4%o<App>o<FolderItem>o<FolderItem>b"},
    {reinterpret_cast<void*>(&AppConvertPlan), "App.ConvertPlan%i4%o<App>o<FolderItem>o<FolderItem>b"},
    {reinterpret_cast<void*>(&AppAPCopyFile), "App.APCopyFile%%o<App>o<FolderItem>o<FolderItem>"},
    {reinterpret_cast<void*>(&AppConvertDatabase), "App.ConvertDatabase%i4%o<App>i4o<FolderItem>o<FolderItem>"},
    {reinterpret_cast<void*>(&AppLogMessage), "App.logmsg%%o<App>s"},
};

ClassRecord* BuildAppClass() {
  ClassRecord* base = quendal::ConsoleApplicationClass();
  ClassRecord* cls = RuntimeNewClass(base, base->methodCount + kAppMethodCount, 0, base->eventCount,
                                     base->accessorCount, base->propertyCount + 1);
  /* The class keeps the references of its name and signatures. */
  cls->className = Text("App").release();
  cls->objectSize = int32_t(sizeof(AppObject));
  for (int32_t i = 0; i < kAppMethodCount; i++) {
    cls->methods[base->methodCount + i] = {kAppMethods[i].entry, Text(kAppMethods[i].signature).release()};
  }
  cls->properties[base->propertyCount] = {Text("doLog%b%").release(), int32_t(offsetof(AppObject, doLog)),
                                          reinterpret_cast<void*>(&boolGetter),
                                          reinterpret_cast<void*>(&boolSetter)};
  int32_t run = quendal::EventIndexNamed(cls, "Run");
  if (run >= 0) cls->events[run].handler = reinterpret_cast<void*>(&AppRun);
  return cls;
}

} // namespace

ClassRecord* AppClass() {
  if (!gAppClass) gAppClass = BuildAppClass();
  return gAppClass;
}

AppObject* AsApp(ObjectHeader* object) {
  if (!object || !gAppClass || !RuntimeObjectIsa(object, gAppClass)) return nullptr;
  return reinterpret_cast<AppObject*>(object);
}

} // namespace marlune
