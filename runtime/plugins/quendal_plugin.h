/*
** quendal_plugin.h: the binary interface between the Quendal runtime and
** its plugin libraries.  Plain C (C11 or C++); a plugin author compiles
** against this header alone and links nothing of the runtime.
**
** A plugin is an ELF shared object for x86-64 that exports one function,
** ORVAPluginMain.  The runtime loads it at start-up (from a file, or
** straight from memory for a plugin embedded in the program), calls
** ORVAPluginMain with the resolver, and the plugin asks the resolver for
** the runtime services it needs and registers its classes, methods and
** database engines through them.  Every service is a C function of the
** System V AMD64 calling convention with the types given below.
**
** Records are plain C structs: fields in the stated order, pointers and
** code addresses 8 bytes, integers of their stated width, natural
** alignment.  The static assertions at the end pin every layout.
**
** Ownership, as everywhere in the runtime: a string or object a service
** returns carries one reference for the caller, who releases it with
** ORVAUnlockString / ORVAUnlockObject; arguments are borrowed.  Records a
** plugin hands to a registration call (class definitions, engine and
** cursor definitions, the texts they point at) are not copied: they must
** stay valid, unchanged except where the host writes, until the process
** ends.  The host writes only the fields marked "written by the host".
**
** Threads: the runtime calls plugins on its one process thread; plugins
** call back on the same thread.  A plugin routine must not let a C++
** exception escape into its caller.
*/
#ifndef QUENDAL_PLUGINS_QUENDAL_PLUGIN_H
#define QUENDAL_PLUGINS_QUENDAL_PLUGIN_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef __cplusplus
#define ORVA_STATIC_ASSERT(condition, message) static_assert(condition, message)
extern "C" {
#else
#define ORVA_STATIC_ASSERT(condition, message) _Static_assert(condition, message)
#endif

/* ---- values ------------------------------------------------------------------
** ORVAstring: a reference-counted string record, null for the empty string.
** The record is a stored format, the same on every host: int32 reference
** count at byte 0, int32 length at byte 12, uint32 encoding tag at byte 16,
** the content from byte 21, followed by four zero bytes.  A plugin reads
** it through the two inline helpers below and never writes it.
** ORVAobject: an object (the six-word header of the object model first).
** ORVAclass: a class record. */
typedef struct StringRecord* ORVAstring;
typedef struct ObjectHeader* ORVAobject;
typedef struct ClassRecord* ORVAclass;

static inline int32_t ORVAStringLength(ORVAstring s) {
  return s ? *(const int32_t*)((const char*)s + 12) : 0;
}
static inline const char* ORVAStringBytes(ORVAstring s) {
  return s ? (const char*)s + 21 : "";
}

/* Encoding tags. */
enum {
  kORVAEncodingASCII = 0x0600,
  kORVAEncodingUTF8 = 0x08000100,
  kORVAEncodingUTF16 = 0x0100,
  kORVAEncodingUnknown = 0xFFFF
};

/* A code address of unknown signature, and the value that means "no
** routine here, use the host's default" in the records below. */
typedef void (*ORVAproc)(void);
#define ORVAnoImplementation ((ORVAproc)(intptr_t)-1)

/* ---- the entry and the resolver ---------------------------------------------
** The resolver maps a service name (ASCII letter case ignored) to the
** address of its row in the runtime's link table, or to null when the
** runtime has no such service.  The row's entry is the function; a plugin
** reads it once and keeps it. */
typedef struct ORVALinkRow {
  const char* name;
  void* entry;
  uint32_t reserved[2];
} ORVALinkRow;

typedef const ORVALinkRow* (*ORVAResolver)(const char* name);

/* The one export of every plugin. */
typedef void (*ORVAPluginMainProc)(ORVAResolver resolver);
#define ORVA_PLUGIN_MAIN_NAME "ORVAPluginMain"

/* ---- classes -----------------------------------------------------------------*/

/* Property record.  getter/setter: a routine, ORVAnoImplementation for the
** host's default accessor of the field at byte `parameter` of the plugin's
** instance data, or null for none.  A getter is called as
** getter(object, parameter) and returns the value; a setter as
** setter(object, parameter, value).  Default accessors by type name:
** "String" a string field, "Boolean" a one-byte field, a class name an
** object field (reference counted), anything else a 32-bit integer field. */
enum {
  kORVAPropertyInvalidatesControl = 1u << 0,
  kORVAPropertyReadOnly = 1u << 1 /* a default setter is not made */
};
typedef struct ORVAPropertyDefinition {
  const char* group;
  const char* name;
  const char* type;     /* "Integer", "Boolean", "String", "Double", a class name ... */
  uint32_t flags;
  ORVAproc getter;
  ORVAproc setter;
  int32_t parameter;
  const void* unread[3]; /* not read by this host; zero */
} ORVAPropertyDefinition;

/* Method record of class layout version 7 and later.  The declaration is
** language text: "Connect() as Boolean", "Item(index as Integer) as
** String", with the words ByRef, ByVal, ParamArray, Assigns and Extends
** before a parameter name and "()" after an array parameter's name or
** type.  A method is called with the object first, then its parameters.
** setterFunction is ORVAnoImplementation when the method has no assigning
** form; function may not be ORVAnoImplementation. */
typedef struct ORVAMethodDefinition {
  ORVAproc function;
  ORVAproc setterFunction;
  const char* declaration;
  uint32_t flags;       /* not read by this host */
} ORVAMethodDefinition;

/* Method record of class layout versions below 7 (no flags word). */
typedef struct ORVAMethodDefinitionV6 {
  ORVAproc function;
  ORVAproc setterFunction;
  const char* declaration;
} ORVAMethodDefinitionV6;

/* Event record: the declaration, and the handle the host writes when the
** class is completed.  GetEventInstance(object, handle) gives the
** implementation an object's class provides, or null.  0 is never a
** handle. */
typedef struct ORVAEventDefinition {
  const char* declaration;
  int32_t handle;       /* written by the host */
} ORVAEventDefinition;

/* A handler this class supplies for an event of its superclass. */
typedef struct ORVAEventInstanceDefinition {
  const char* name;
  ORVAproc implementation;
} ORVAEventInstanceDefinition;

/* Class definition (PluginRegisterClass, PluginRegisterClassExtension).
** dataSize bytes of instance data belong to the plugin; the host writes
** into dataOffset where they start within an instance (the superclass's
** object size, or the size of the object header for a root class), so the
** plugin finds its data at (char*)object + dataOffset.  The constructor is
** called once per new instance, after the superclass's initialisation;
** the destructor when the instance is destroyed, before the superclass's
** finalisation.  methods points at ORVAMethodDefinition records (layout
** version 7 and later) or ORVAMethodDefinitionV6 records.  interfaces is
** a list of interface names separated by ",", or null.  The shared members
** (class-wide, no instance) are read for layout version 9 and later. */
typedef struct ORVAClassDefinition {
  uint32_t version;
  const char* name;
  const char* superName;   /* null or "" for a root class */
  uint32_t dataSize;
  uint32_t dataOffset;     /* written by the host */
  void (*constructor)(ORVAobject instance);
  void (*destructor)(ORVAobject instance);
  const ORVAPropertyDefinition* properties;
  uint32_t propertyCount;
  const void* methods;
  uint32_t methodCount;
  ORVAEventDefinition* events;
  uint32_t eventCount;
  const ORVAEventInstanceDefinition* eventInstances;
  uint32_t eventInstanceCount;
  const char* interfaces;
  const void* unread[4];   /* fields of layout versions 4 to 8 this host does not read; zero */
  const ORVAPropertyDefinition* sharedProperties;
  uint32_t sharedPropertyCount;
  const ORVAMethodDefinition* sharedMethods;
  uint32_t sharedMethodCount;
} ORVAClassDefinition;

/* Interface definition (PluginRegisterInterface). */
typedef struct ORVAInterfaceDefinition {
  uint32_t version;
  const char* name;
  const ORVAMethodDefinition* methods;
  uint32_t methodCount;
} ORVAInterfaceDefinition;

/* Module definition (PluginRegisterModule): global methods and properties
** reached as Module.member.  constants are not read by this host. */
typedef struct ORVAModuleDefinition {
  uint32_t version;
  const char* name;
  const ORVAMethodDefinition* methods;
  uint32_t methodCount;
  const void* constants;
  uint32_t constantCount;
  const ORVAPropertyDefinition* properties;
  uint32_t propertyCount;
} ORVAModuleDefinition;

/* Global method of interface version 1 (PluginRegisterMethod): the
** routine is entry `index` of the table given to RegisterPluginExports.
** From interface version 3 on, PluginRegisterMethod takes an
** ORVAMethodDefinition. */
typedef struct ORVAMethodDefinitionV1 {
  int32_t index;
  const char* declaration;
} ORVAMethodDefinitionV1;

/* ---- databases -----------------------------------------------------------------
** Column type codes: what curColumnValue hands out behind its value
** pointer, the type of a DatabaseRecord entry and of a column node. */
enum {
  kORVAColumnNull = 0,        /* no value */
  kORVAColumnSmallInt = 2,    /* int16 */
  kORVAColumnInteger = 3,     /* int32 */
  kORVAColumnChar = 4,        /* text bytes, length given */
  kORVAColumnText = 5,        /* text bytes, length given */
  kORVAColumnFloat = 6,       /* float */
  kORVAColumnDouble = 7,      /* double */
  kORVAColumnDate = 8,        /* year, month, day: uint16 each, big-endian */
  kORVAColumnTime = 9,        /* hour, minute, second: uint16 each, big-endian */
  kORVAColumnTimeStamp = 10,  /* the six fields, big-endian */
  kORVAColumnCurrency = 11,   /* int64 */
  kORVAColumnBoolean = 12,    /* one byte, non-zero = true */
  kORVAColumnBinary = 14,     /* bytes, length given */
  kORVAColumnLongText = 15,   /* bytes, length given */
  kORVAColumnLongBinary = 16, /* bytes, length given */
  kORVAColumnString = 18,     /* the value pointer points at an ORVAstring */
  kORVAColumnInt64 = 19       /* int64 */
};

/* A column of a DatabaseRecord: a list, newest column first, owned by the
** record.  Engines read it during engineInsertRecord only. */
typedef struct ORVADatabaseRecordEntry {
  struct ORVADatabaseRecordEntry* next;
  ORVAstring name;
  ORVAstring value;     /* null: no value */
  int32_t type;
} ORVADatabaseRecordEntry;

/* Column of engineCreateTable and engineAddColumn. */
typedef struct ORVAColumnNode {
  struct ORVAColumnNode* next;
  ORVAstring name;
  int32_t type;
  uint8_t nullable;     /* 1: declared without NOT NULL */
} ORVAColumnNode;

/* Column selection of engineOpenTableCursor; the name "*" selects all. */
typedef struct ORVAColumnNameNode {
  struct ORVAColumnNameNode* next;
  ORVAstring name;
} ORVAColumnNameNode;

/* Pending edit of a RecordSet (curUpdate): newest first, owned by the
** runtime; a null value means SQL NULL. */
typedef struct ORVAPendingEdit {
  struct ORVAPendingEdit* next;
  int32_t column;       /* 0-based */
  ORVAstring value;
} ORVAPendingEdit;

/* Update of engineUpdateFields: table name, "!", column name; the row's
** WHERE text; the new value (null: SQL NULL).  Owned by the runtime. */
typedef struct ORVAUpdateNode {
  struct ORVAUpdateNode* next;
  const char* tableColumn;
  int32_t tableColumnLength;
  const char* where;
  int32_t whereLength;
  ORVAstring value;
} ORVAUpdateNode;

/* Engine definition: one per engine, shared by all its open databases.
** A null slot means "not supported"; the runtime then falls back on SQL
** text or does nothing.  Every slot receives the engine's own database
** handle first.  Slots returning a RecordSet or a string return one new
** reference.  PluginRegisterDBEngine writes the low byte of flags. */
typedef struct EngineDefinition {
  int32_t version;
  uint32_t flags;
  void (*engineClose)(void* database);
  ORVAobject (*engineTableSchema)(void* database);
  ORVAobject (*engineFieldSchema)(void* database, ORVAstring table);
  ORVAobject (*engineSQLSelect)(void* database, ORVAstring sql);
  void (*engineSQLExecute)(void* database, ORVAstring sql);
  void (*engineCreateTable)(void* database, ORVAstring table, ORVAColumnNode* columns,
                            const uint8_t* primaryKeys, int32_t primaryKeyCount);
  void (*engineInsertRecord)(void* database, ORVAstring table, ORVADatabaseRecordEntry* entries);
  ORVAobject (*engineOpenTableCursor)(void* database, ORVAstring table, ORVAColumnNameNode* columns,
                                      const void* filter);
  void (*engineUpdateFields)(void* database, ORVAUpdateNode* updates);
  void (*engineAddColumn)(void* database, ORVAstring table, ORVAColumnNode* column);
  ORVAobject (*engineIndexSchema)(void* database, ORVAstring table);
  int32_t (*engineErrorCode)(void* database);
  ORVAstring (*engineErrorMessage)(void* database);
  void (*engineCommit)(void* database);
  void (*engineRollback)(void* database);
  ORVAstring (*engineGetProperty)(void* database, ORVAstring name);
  void (*engineSupportedTypes)(const int32_t** typeCodes, const char** typeNames, int32_t* sizeInBytes);
} EngineDefinition;

/* Cursor definition: one per kind of result set.  Every slot receives the
** engine's cursor handle first.  curColumnValue hands out a value that
** stays valid until curReleaseValue, which the runtime calls after every
** curColumnValue.  curRowKey hands out bytes the engine owns, valid until
** the next call on the cursor.  curColumnName returns a new reference. */
typedef struct CursorDefinition {
  int32_t version;
  uint32_t flags;
  void (*curClose)(void* cursor);
  int32_t (*curColumnCount)(void* cursor);
  ORVAstring (*curColumnName)(void* cursor, int32_t column);
  int32_t (*curRowCount)(void* cursor);
  void (*curColumnValue)(void* cursor, int32_t column, void** value, uint8_t* type, int32_t* length);
  void (*curReleaseValue)(void* cursor);
  bool (*curNext)(void* cursor);
  void (*curDelete)(void* cursor);
  ORVAproc unused;      /* never called; null */
  bool (*curRowKey)(void* cursor, int32_t column, const char** tableColumn, int32_t* tableColumnLength,
                    const char** where, int32_t* whereLength);
  void (*curUpdate)(void* cursor, ORVAPendingEdit* edits);
  void (*curEdit)(void* cursor);
  void (*curPrevious)(void* cursor);
  void (*curFirst)(void* cursor);
  void (*curLast)(void* cursor);
  int32_t (*curColumnType)(void* cursor, int32_t column);
  bool (*curIsBOF)(void* cursor);
  bool (*curIsEOF)(void* cursor);
} CursorDefinition;

/* ---- services a plugin looks up ---------------------------------------------
** The types of the services, by the name the resolver knows them under. */

/* Registration (during ORVAPluginMain).  PluginRegisterClass returns the
** existing class when the name is taken (nothing is registered then), else
** null. */
typedef void (*RegisterPluginVersionProc)(int32_t version);
typedef ORVAclass (*PluginRegisterClassProc)(ORVAClassDefinition* definition);
typedef void (*PluginRegisterClassExtensionProc)(ORVAClassDefinition* definition);
typedef void (*PluginRegisterInterfaceProc)(const ORVAInterfaceDefinition* definition);
typedef void (*PluginRegisterModuleProc)(const ORVAModuleDefinition* definition);
typedef void (*PluginRegisterMethodProc)(const void* definition);
typedef void (*PluginRegisterControlProc)(const void* definition);
typedef void (*RegisterPluginExportsProc)(const ORVAproc* table);
typedef EngineDefinition* (*PluginRegisterDBEngineProc)(EngineDefinition* definition);
typedef CursorDefinition* (*PluginRegisterDBCursorProc)(CursorDefinition* definition);
typedef int32_t (*PluginRegisterBackgroundTaskProc)(void (*routine)(void* data), int32_t periodTicks, void* data);
typedef void (*PluginUnregisterBackgroundTaskProc)(int32_t id);
typedef void (*PluginSetDelegateResolverProc)(void* resolver);

/* Objects and classes. */
typedef ORVAobject (*ORVALockObjectProc)(ORVAobject object);
typedef ORVAobject (*ORVAUnlockObjectProc)(ORVAobject object);
typedef ORVAobject (*PluginNewInstanceProc)(const char* className);
typedef ORVAobject (*PluginNewOfSameClassProc)(ORVAobject object);
typedef ORVAclass (*pluginObjectTypeProc)(const char* className);
typedef ORVAobject (*CreateInstanceProc)(ORVAclass cls);
typedef void* (*GetEventInstanceProc)(ORVAobject object, int32_t eventHandle);
typedef void* (*GetInterfaceRoutineProc)(ORVAobject object, const char* interfaceName, const char* routineName);
typedef void* (*ORVALoadGlobalMethodProc)(const char* ignored, const char* declaration);
typedef void* (*ORVALoadObjectMethodProc)(ORVAobject object, const char* declaration);
typedef void (*RuntimeRaiseExceptionProc)(ORVAobject exception);

/* Property values by name: true when a value was transferred. */
typedef bool (*ORVAGetPropValueIntProc)(ORVAobject object, const char* name, int32_t* value);
typedef bool (*ORVAGetPropValueInt64Proc)(ORVAobject object, const char* name, int64_t* value);
typedef bool (*ORVAGetPropValueDoubleProc)(ORVAobject object, const char* name, double* value);
typedef bool (*ORVAGetPropValueStringProc)(ORVAobject object, const char* name, ORVAstring* value);
typedef bool (*ORVAGetPropValueObjectProc)(ORVAobject object, const char* name, ORVAobject* value);
typedef bool (*ORVAGetPropValueBoolProc)(ORVAobject object, const char* name, uint8_t* value); /* UInt8 */
typedef bool (*ORVASetPropValueIntProc)(ORVAobject object, const char* name, int32_t value);
typedef bool (*ORVASetPropValueInt64Proc)(ORVAobject object, const char* name, int64_t value);
typedef bool (*ORVASetPropValueDoubleProc)(ORVAobject object, const char* name, double value);
typedef bool (*ORVASetPropValueStringProc)(ORVAobject object, const char* name, ORVAstring value);
typedef bool (*ORVASetPropValueObjectProc)(ORVAobject object, const char* name, ORVAobject value);
typedef bool (*ORVASetPropValueBooleanProc)(ORVAobject object, const char* name, uint8_t value); /* UInt8 */

/* Strings. */
typedef void (*ORVALockStringProc)(ORVAstring s);
typedef void (*ORVAUnlockStringProc)(ORVAstring s);
typedef ORVAstring (*ORVABuildStringProc)(const void* bytes, int32_t length);
typedef ORVAstring (*ORVABuildStringWithEncodingProc)(const void* bytes, int32_t length, uint32_t encoding);
typedef const char* (*StringGetCStringProc)(ORVAstring s);
typedef uint32_t (*ORVAGetStringEncodingProc)(ORVAstring s);
typedef ORVAstring (*ORVAConvertStringProc)(ORVAstring s, uint32_t encoding);

/* Files: the path of a FolderItem in the runtime's Windows form
** ("Z:\home\me\plan.db"; drive Z: is the POSIX root). */
typedef ORVAstring (*ORVApathFromFolderItemProc)(ORVAobject folderItem);
typedef ORVAobject (*FolderItemFromPathProc)(const char* path);

/* The runtime. */
typedef bool (*ORVAinRuntimeProc)(void);
typedef bool (*ORVAInDebugModeProc)(void);
typedef void (*ORVAYieldToQDProc)(void);
typedef double (*ORVAGetQDVersionProc)(void);

/* Databases. */
typedef ORVAobject (*ORVAdbDatabaseFromDBDatabaseProc)(void* database, EngineDefinition* engine);
typedef ORVAobject (*ORVAdbCursorFromDBCursorProc)(void* cursor, CursorDefinition* definition);
typedef void (*ORVAConstructDBDatabaseProc)(ORVAobject object, void* database, EngineDefinition* engine);
typedef void* (*ORVAGetDBFromORVAdbDatabaseProc)(ORVAobject database);
typedef void* (*ORVAGetCursorFromORVAdbCursorProc)(ORVAobject recordSet);
typedef ORVAstring (*ORVAGetDBPropertyProc)(ORVAobject database); /* ORVAGetDBHost, ...DatabaseName, ...Password, ...UserName */
typedef void (*ORVADatabaseSetErrorProc)(ORVAobject database, int32_t code, ORVAstring message);
typedef void (*ORVASetDBIsConnectedProc)(ORVAobject database, bool connected);

/* ---- layouts -------------------------------------------------------------------*/
ORVA_STATIC_ASSERT(sizeof(ORVALinkRow) == 24, "link row: name, entry, two words");
ORVA_STATIC_ASSERT(sizeof(ORVAPropertyDefinition) == 80, "property record: ten fields");
ORVA_STATIC_ASSERT(offsetof(ORVAPropertyDefinition, flags) == 24 && offsetof(ORVAPropertyDefinition, getter) == 32 &&
                       offsetof(ORVAPropertyDefinition, parameter) == 48,
                   "property record: the seven fields the host reads");
ORVA_STATIC_ASSERT(sizeof(ORVAMethodDefinition) == 32 && sizeof(ORVAMethodDefinitionV6) == 24,
                   "method records with and without flags");
ORVA_STATIC_ASSERT(sizeof(ORVAEventDefinition) == 16 && sizeof(ORVAEventInstanceDefinition) == 16,
                   "event records");
ORVA_STATIC_ASSERT(offsetof(ORVAClassDefinition, dataSize) == 24 && offsetof(ORVAClassDefinition, dataOffset) == 28 &&
                       offsetof(ORVAClassDefinition, constructor) == 32,
                   "class definition: sizes before the hooks");
ORVA_STATIC_ASSERT(offsetof(ORVAClassDefinition, properties) == 48 && offsetof(ORVAClassDefinition, methods) == 64 &&
                       offsetof(ORVAClassDefinition, events) == 80 && offsetof(ORVAClassDefinition, eventInstances) == 96 &&
                       offsetof(ORVAClassDefinition, interfaces) == 112,
                   "class definition: member arrays");
ORVA_STATIC_ASSERT(offsetof(ORVAClassDefinition, sharedProperties) == 152 && sizeof(ORVAClassDefinition) == 184,
                   "class definition: shared members last");
ORVA_STATIC_ASSERT(sizeof(ORVAInterfaceDefinition) == 32 && sizeof(ORVAModuleDefinition) == 64 &&
                       sizeof(ORVAMethodDefinitionV1) == 16,
                   "interface, module and version-1 method records");
ORVA_STATIC_ASSERT(sizeof(ORVADatabaseRecordEntry) == 32 && offsetof(ORVADatabaseRecordEntry, type) == 24,
                   "record entry: next, name, value, type");
ORVA_STATIC_ASSERT(sizeof(ORVAColumnNode) == 24 && offsetof(ORVAColumnNode, nullable) == 20, "column node");
ORVA_STATIC_ASSERT(sizeof(ORVAColumnNameNode) == 16, "column-name node");
ORVA_STATIC_ASSERT(sizeof(ORVAPendingEdit) == 24 && offsetof(ORVAPendingEdit, value) == 16, "pending edit");
ORVA_STATIC_ASSERT(sizeof(ORVAUpdateNode) == 48 && offsetof(ORVAUpdateNode, where) == 24 &&
                       offsetof(ORVAUpdateNode, value) == 40,
                   "update node");
ORVA_STATIC_ASSERT(offsetof(EngineDefinition, engineClose) == 8 && offsetof(EngineDefinition, engineIndexSchema) == 88 &&
                       offsetof(EngineDefinition, engineSupportedTypes) == 136 && sizeof(EngineDefinition) == 144,
                   "engine definition: version, flags, slots 2 to 18");
ORVA_STATIC_ASSERT(offsetof(CursorDefinition, curClose) == 8 && offsetof(CursorDefinition, curRowKey) == 80 &&
                       offsetof(CursorDefinition, curIsEOF) == 144 && sizeof(CursorDefinition) == 152,
                   "cursor definition: version, flags, slots 2 to 19");

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif
