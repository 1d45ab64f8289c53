/*
** startup_rt.h: what the start-up test images share beside image_rt.h.
**
** The images build an application class the way compiled class tables
** do: a subclass of the runtime's ConsoleApplication made with
** RuntimeNewClass, its inherited events filled with image routines, one
** instance registered as the console application object, then RuntimeRun.
** The records below mirror the runtime's object header and class record
** (pointers are 8 bytes, 32-bit fields keep their width).
*/
#ifndef QUENDAL_TESTS_IMAGES_STARTUP_RT_H
#define QUENDAL_TESTS_IMAGES_STARTUP_RT_H

#include "image_rt.h"

typedef struct ObjectHeader {
  void* vtable;
  void* classPtr;
  void* eventTable;
  int32_t refCount;
  void* censusPrev;
  void* censusNext;
} ObjectHeader;

typedef struct EventEntry {
  void* handler;
  ORVAstring name;
} EventEntry;

typedef struct ClassRecord {
  struct ClassRecord* super;
  ORVAstring className;
  struct ClassRecord* nextClass;
  int32_t objectSize;
  uint8_t isAnInterface;
  void* initializer;
  void* destructorHook;
  void* finalizer;
  int32_t methodCount;
  void* methods;
  int32_t eventCount;
  EventEntry* events;
  int32_t accessorCount;
  void* accessors;
  int32_t propertyCount;
  void* properties;
  int32_t interfaceCount;
} ClassRecord;

/* The string record's fields that the images read. */
typedef struct StringRecordView {
  int32_t refCount;
  uint32_t data;
  int32_t bufferSize;
  int32_t length;
  uint32_t encoding;
  uint8_t pascalLength;
  uint8_t bytes[1];
} StringRecordView;

typedef struct ArrayObject ArrayObject;

extern void RuntimeInit(void);
extern void RuntimeInitExternalClasses(void);
extern ClassRecord* RuntimeLookupClass(ORVAstring name);
extern ClassRecord* RuntimeNewClass(ClassRecord* base, int32_t methods, int32_t interfaces, int32_t events,
                                    int32_t accessors, int32_t properties);
extern ObjectHeader* RuntimeNewObject(ClassRecord* cls);
extern ObjectHeader* RuntimeUnlockObject(ObjectHeader* object);
extern void RuntimeRegisterConsoleAppObject(ObjectHeader* app, _Bool service);
extern void RuntimeRun(void);
extern int32_t RuntimeExit(void);
extern void ApplicationQuit(int32_t code, _Bool unwind);
extern int32_t RuntimeUBound(ArrayObject* array);
extern ORVAstring RuntimeDirectReadStringArray(ArrayObject* array, int32_t index);
extern void RaiseNilObjectException(void);
extern void RaiseExceptionClass(ClassRecord* cls);
extern void RuntimeStdOutputStreamWrite(ObjectHeader* stream, ORVAstring s);

/* Event handler shapes. */
typedef int32_t (*RunHandler)(ObjectHeader* app, ArrayObject* args);
typedef void (*UnhandledHandler)(ObjectHeader* app, ObjectHeader* error);

/* Sets the handler of the event named `name` in cls; 0 when cls has none. */
static int set_event(ClassRecord* cls, ORVAstring name, void* handler) {
  for (int32_t i = 0; i < cls->eventCount; i++) {
    if (RuntimeStringCompare(cls->events[i].name, name) == 0) {
      cls->events[i].handler = handler;
      return 1;
    }
  }
  return 0;
}

/* The image's App class: ConsoleApplication with the given handlers (each
** may be null). */
static ClassRecord* make_app_class(void* run, void* unhandled) {
  ClassRecord* base = RuntimeLookupClass(S("ConsoleApplication"));
  if (!base) {
    RuntimeConsolePrint(S("no ConsoleApplication class"));
    return 0;
  }
  ClassRecord* cls = RuntimeNewClass(base, base->methodCount, 0, base->eventCount, base->accessorCount,
                                     base->propertyCount);
  cls->className = S("App");
  RuntimeLockString(cls->className);
  cls->objectSize = base->objectSize;
  if (run && !set_event(cls, S("Run"), run)) RuntimeConsolePrint(S("no Run event"));
  if (unhandled && !set_event(cls, S("UnhandledException"), unhandled)) {
    RuntimeConsolePrint(S("no UnhandledException event"));
  }
  return cls;
}

/* Start-up as a compiled image does it, then the run. */
static void start_and_run(void* run, void* unhandled) {
  RuntimeInit();
  RuntimeInitExternalClasses();
  ClassRecord* cls = make_app_class(run, unhandled);
  if (!cls) return;
  ObjectHeader* app = RuntimeNewObject(cls);
  RuntimeRegisterConsoleAppObject(app, 0);
  RuntimeUnlockObject(app);
  RuntimeRun();
  RuntimeConsolePrint(S("RuntimeRun returned"));
}

/* A UTF-16 argument of ASCII letters as a C string in out (size bytes);
** returns 0 when the string is not tagged UTF-16. */
static int ascii_of_utf16(ORVAstring s, char* out, int size) {
  StringRecordView* r = (StringRecordView*)s;
  int n = 0;
  if (r && r->encoding != 0x0100) return 0;
  if (r) {
    for (int i = 0; i + 1 < r->length && n + 1 < size; i += 2) out[n++] = (char)r->bytes[i];
  }
  out[n] = 0;
  return 1;
}

/* Decimal text of v in out (room for 12 bytes). */
static void decimal(int32_t v, char* out) {
  char digits[12];
  int n = 0, k = 0;
  uint32_t u = v < 0 ? (uint32_t)(-(int64_t)v) : (uint32_t)v;
  do {
    digits[n++] = (char)('0' + u % 10);
    u /= 10;
  } while (u);
  if (v < 0) out[k++] = '-';
  while (n) out[k++] = digits[--n];
  out[k] = 0;
}

#endif
