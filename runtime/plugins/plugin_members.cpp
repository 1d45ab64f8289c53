/*
** How plugins reach members of objects and of other plugins: events,
** interface routines, methods by declaration, and property values by name.
** See plugin_host.h.
**
** Property values.  The property of that name is looked up in the
** object's class (a per-class cache maps names to type code, getter,
** setter and parameter; inherited properties are in the class's own
** table).  Its accessor is called as getter(object, parameter) or
** setter(object, parameter, value) when the declared type is compatible
** with the family:
**   integer families (Int, Int8 ... UInt64)   integer codes, Boolean, Color
**   Single, Double                            f4, f8 and the integer codes
**   String                                    s
**   Object                                    o<Class>
** Values are converted as C converts them.  Without such a property the
** families fall back on a method of that name declared "() as Type"
** (getters) or "(assigns value as Type)" (setters).  Without that either,
** a getter asked for "Value" or a value name ("StringValue",
** "IntegerValue", "DoubleValue", "BooleanValue", ... see kValueNames)
** reads the object itself through the variant conversions (variant.h):
** the value of a box, a Date's TotalSeconds, a class's conversion
** operator.  "BooleanValue" converts to Boolean whatever the family; the
** Object family gives the object itself for "Value" and its Date for
** "DateValue".  Setters have no such fallback: a boxed value is never
** changed in place.
*/
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <unordered_map>

#include "runtime/objects/exceptions.h"
#include "runtime/objects/object_kinds.h"
#include "runtime/objects/variant.h"
#include "runtime/plugins/host_environment.h"
#include "runtime/plugins/plugin_host.h"
#include "runtime/plugins/plugin_registry.h"
#include "runtime/text/string_compare.h"
#include "runtime/text/string_core.h"
#include "runtime/text/string_map.h"

namespace quendal {

namespace {

bool SameName(std::string_view a, std::string_view b) { return CompareRawBytes(a, b, true) == 0; }

/* ---- methods by declaration ------------------------------------------------- */

/* The last match wins: a class's table starts with what it inherits, so
** its own members (overrides included) come after its base's. */
void* FindMemberIn(const MethodEntry* entries, int32_t count, const MethodDeclaration& wanted) {
  const std::string parameters = ParameterCodes(wanted);
  for (int32_t i = count - 1; i >= 0; i--) {
    SignatureParts parts;
    if (!SplitSignature(StringView(entries[i].signature), &parts)) continue;
    if (SameName(parts.name, wanted.name) && parts.resultCode == wanted.resultCode &&
        parts.parameterCodes == parameters) {
      return entries[i].entry;
    }
  }
  return nullptr;
}

void* FindObjectMethod(ObjectHeader* object, const char* declaration) {
  if (!object || !object->classPtr || !declaration) return nullptr;
  MethodDeclaration wanted;
  if (!ParseMethodDeclaration(declaration, &PluginClassCode, &wanted).empty()) return nullptr;
  const ClassRecord* cls = wanted.viaSuper ? object->classPtr->super : object->classPtr;
  if (!cls) return nullptr;
  if (void* found = FindMemberIn(cls->accessors, cls->accessorCount, wanted)) return found;
  return FindMemberIn(cls->methods, cls->methodCount, wanted);
}

/* ---- properties by name ------------------------------------------------------- */

struct PropertyAccess {
  std::string code;
  void* getter;
  void* setter;
  int32_t parameter;
};

/* Per class: name -> PropertyAccess (owned by the cache, never freed:
** class records live as long as the process). */
const PropertyAccess* FindProperty(const ClassRecord* cls, std::string_view name) {
  static auto* cache = new std::unordered_map<const ClassRecord*, std::unique_ptr<StringMap>>();
  std::unique_ptr<StringMap>& map = (*cache)[cls];
  if (!map) {
    map = std::make_unique<StringMap>();
    for (int32_t i = 0; i < cls->propertyCount; i++) {
      const PropertyEntry& p = cls->properties[i];
      std::string_view declaration = StringView(p.declaration);
      size_t first = declaration.find('%');
      if (first == std::string_view::npos) continue;
      size_t second = declaration.find('%', first + 1);
      std::string code(declaration.substr(first + 1, second == std::string_view::npos ? std::string_view::npos
                                                                                        : second - first - 1));
      map->Insert(declaration.substr(0, first), new PropertyAccess{code, p.getter, p.setter, p.parameter});
    }
  }
  return static_cast<const PropertyAccess*>(map->Find(name));
}

bool IsIntegerCode(const std::string& c) {
  return c == "i1" || c == "i2" || c == "i4" || c == "i8" || c == "u1" || c == "u2" || c == "u4" || c == "u8" ||
         c == "b" || c == "c";
}
bool IsRealCode(const std::string& c) { return c == "f4" || c == "f8"; }
bool IsObjectCode(const std::string& c) { return c.rfind("o<", 0) == 0; }

enum class Family { Integer, Real, String, Object };

bool Compatible(Family family, const std::string& code) {
  switch (family) {
    case Family::Integer: return IsIntegerCode(code);
    case Family::Real: return IsRealCode(code) || IsIntegerCode(code);
    case Family::String: return code == "s";
    case Family::Object: return IsObjectCode(code);
  }
  return false;
}

/* The value an accessor of a numeric code hands over, widened. */
struct Number {
  bool real;
  int64_t integer;
  double value;
  template <typename T>
  T As() const {
    return real ? static_cast<T>(value) : static_cast<T>(integer);
  }
};

template <typename R>
R CallGetter(const PropertyAccess& p, ObjectHeader* object) {
  return reinterpret_cast<R (*)(ObjectHeader*, int32_t)>(p.getter)(object, p.parameter);
}

Number ReadNumber(const PropertyAccess& p, ObjectHeader* object) {
  const std::string& c = p.code;
  if (c == "f8") return {true, 0, CallGetter<double>(p, object)};
  if (c == "f4") {
    /* The runtime's own single accessor widens to double; plugin getters
    ** return a float. */
    if (p.getter == reinterpret_cast<void*>(&singleGetter)) return {true, 0, CallGetter<double>(p, object)};
    return {true, 0, CallGetter<float>(p, object)};
  }
  if (c == "i8") return {false, CallGetter<int64_t>(p, object), 0};
  if (c == "u8") return {false, int64_t(CallGetter<uint64_t>(p, object)), 0};
  if (c == "i4" || c == "c") return {false, CallGetter<int32_t>(p, object), 0};
  if (c == "u4") return {false, CallGetter<uint32_t>(p, object), 0};
  if (c == "i2") return {false, CallGetter<int16_t>(p, object), 0};
  if (c == "u2") return {false, CallGetter<uint16_t>(p, object), 0};
  if (c == "i1") return {false, CallGetter<int8_t>(p, object), 0};
  if (c == "b") return {false, CallGetter<bool>(p, object) ? 1 : 0, 0};
  return {false, CallGetter<uint8_t>(p, object), 0}; /* u1 */
}

template <typename V>
void CallSetter(const PropertyAccess& p, ObjectHeader* object, V value) {
  reinterpret_cast<void (*)(ObjectHeader*, int32_t, V)>(p.setter)(object, p.parameter, value);
}

void WriteNumber(const PropertyAccess& p, ObjectHeader* object, const Number& n) {
  const std::string& c = p.code;
  if (c == "f8") return CallSetter(p, object, n.As<double>());
  if (c == "f4") {
    if (p.setter == reinterpret_cast<void*>(&singleSetter)) return CallSetter(p, object, n.As<double>());
    return CallSetter(p, object, n.As<float>());
  }
  if (c == "i8" || c == "u8") return CallSetter(p, object, n.As<int64_t>());
  if (c == "b") return CallSetter(p, object, n.As<int64_t>() != 0);
  return CallSetter(p, object, n.As<int32_t>()); /* narrower integers travel in a 32-bit register */
}

const PropertyAccess* PropertyFor(ObjectHeader* object, const char* name, Family family, bool setter) {
  if (!object || !object->classPtr || !name) return nullptr;
  const PropertyAccess* p = FindProperty(object->classPtr, name);
  if (!p || !Compatible(family, p->code) || !(setter ? p->setter : p->getter)) return nullptr;
  return p;
}

/* The fallback methods: "Name() as Type" and "Name(assigns value as Type)". */
void* GetterMethod(ObjectHeader* object, const char* name, const char* type) {
  std::string declaration = std::string(name) + "() as " + type;
  return FindObjectMethod(object, declaration.c_str());
}
void* SetterMethod(ObjectHeader* object, const char* name, const char* type) {
  std::string declaration = std::string(name) + "(assigns value as " + type + ")";
  return FindObjectMethod(object, declaration.c_str());
}

/* "Value" and the value names of the language's types. */
bool IsValueName(const char* name) {
  static const char* const kValueNames[] = {
      "Value",       "StringValue", "IntegerValue", "Int8Value",   "Int16Value",    "Int32Value",
      "Int64Value",  "UInt8Value",  "UInt16Value",  "UInt32Value", "UInt64Value",   "SingleValue",
      "DoubleValue", "BooleanValue", "ColorValue",  "DateValue",   "CurrencyValue",
  };
  for (const char* valueName : kValueNames) {
    if (SameName(name, valueName)) return true;
  }
  return false;
}

/* The object itself converted for a number family (see the header). */
template <typename T>
bool ConvertSelf(ObjectHeader* object, const char* name, Family family, T* out) {
  if (!IsValueName(name)) return false;
  if (SameName(name, "BooleanValue")) {
    bool value = false;
    if (!ConvertObjectToBoolean(object, &value)) return false;
    *out = T(value);
  } else if (family == Family::Real) {
    double value = 0;
    if (!ConvertObjectToDouble(object, &value)) return false;
    *out = T(value);
  } else if constexpr (std::is_same_v<T, uint64_t>) {
    uint64_t value = 0;
    if (!ConvertObjectToUInt64(object, &value)) return false;
    *out = value;
  } else {
    int64_t value = 0;
    if (!ConvertObjectToInt64(object, &value)) return false;
    *out = T(value);
  }
  return true;
}

template <typename T>
bool GetNumber(ObjectHeader* object, const char* name, T* out, Family family, const char* type) {
  if (const PropertyAccess* p = PropertyFor(object, name, family, false)) {
    *out = ReadNumber(*p, object).template As<T>();
    return true;
  }
  if (!object || !name) return false;
  if (void* method = GetterMethod(object, name, type)) {
    *out = reinterpret_cast<T (*)(ObjectHeader*)>(method)(object);
    return true;
  }
  return ConvertSelf(object, name, family, out);
}

template <typename T>
bool SetNumber(ObjectHeader* object, const char* name, T value, Family family, const char* type) {
  if (const PropertyAccess* p = PropertyFor(object, name, family, true)) {
    Number n = std::is_floating_point_v<T> ? Number{true, 0, double(value)} : Number{false, int64_t(value), 0};
    WriteNumber(*p, object, n);
    return true;
  }
  if (!object || !name) return false;
  if (void* method = SetterMethod(object, name, type)) {
    reinterpret_cast<void (*)(ObjectHeader*, T)>(method)(object, value);
    return true;
  }
  return false;
}

} // namespace

} // namespace quendal

using namespace quendal;

extern "C" void* GetEventInstance(ObjectHeader* object, int32_t eventHandle) {
  if (!object || !object->classPtr || eventHandle <= 0 || eventHandle > object->classPtr->eventCount) return nullptr;
  const auto* table = static_cast<const EventEntry*>(object->eventTable ? object->eventTable : object->classPtr->events);
  return table[eventHandle - 1].handler;
}

extern "C" void* GetInterfaceRoutine(ObjectHeader* object, const char* interfaceName, const char* routineName) {
  if (!object || !object->classPtr || !interfaceName || !routineName) return nullptr;
  const ClassRecord* cls = object->classPtr;
  for (int32_t i = 0; i < cls->interfaceCount; i++) {
    const InterfaceEntry& entry = cls->interfaces[i];
    if (!entry.interface || !SameName(StringView(entry.interface->className), interfaceName)) continue;
    for (int32_t m = 0; m < entry.methodCount; m++) {
      SignatureParts parts;
      if (SplitSignature(StringView(entry.vtable[m].signature), &parts) && SameName(parts.name, routineName)) {
        return entry.vtable[m].entry;
      }
    }
  }
  return nullptr;
}

extern "C" void* ORVALoadGlobalMethod(const char*, const char* declaration) {
  if (!declaration) return nullptr;
  MethodDeclaration wanted;
  if (!ParseMethodDeclaration(declaration, &PluginClassCode, &wanted).empty()) return nullptr;
  for (const GlobalMethod* method : GlobalMethods()) {
    if (method->parsed && SameMember(method->declaration, wanted)) return reinterpret_cast<void*>(method->function);
  }
  return nullptr;
}

extern "C" void* ORVALoadObjectMethod(ObjectHeader* object, const char* declaration) {
  return FindObjectMethod(object, declaration);
}

/* ---- the property-value families ----------------------------------------------- */

#define QUENDAL_NUMBER_FAMILY(Suffix, T, family, type)                                      \
  QUENDAL_SERVICE bool ORVAGetPropValue##Suffix(ObjectHeader* object, const char* name, T* value) { \
    QUENDAL_SERVICE_BEGIN                                                                    \
    return value && GetNumber<T>(object, name, value, family, type);                         \
    QUENDAL_SERVICE_END(false)                                                               \
  }                                                                                          \
  QUENDAL_SERVICE bool ORVASetPropValue##Suffix(ObjectHeader* object, const char* name, T value) { \
    QUENDAL_SERVICE_BEGIN                                                                    \
    return SetNumber<T>(object, name, value, family, type);                                  \
    QUENDAL_SERVICE_END(false)                                                               \
  }

QUENDAL_NUMBER_FAMILY(Int, int32_t, Family::Integer, "Integer")
QUENDAL_NUMBER_FAMILY(Int8, int8_t, Family::Integer, "Int8")
QUENDAL_NUMBER_FAMILY(Int16, int16_t, Family::Integer, "Int16")
QUENDAL_NUMBER_FAMILY(Int64, int64_t, Family::Integer, "Int64")
QUENDAL_NUMBER_FAMILY(UInt8, uint8_t, Family::Integer, "UInt8")
QUENDAL_NUMBER_FAMILY(UInt16, uint16_t, Family::Integer, "UInt16")
QUENDAL_NUMBER_FAMILY(UInt32, uint32_t, Family::Integer, "UInt32")
QUENDAL_NUMBER_FAMILY(UInt64, uint64_t, Family::Integer, "UInt64")
QUENDAL_NUMBER_FAMILY(Single, float, Family::Real, "Single")
QUENDAL_NUMBER_FAMILY(Double, double, Family::Real, "Double")

#undef QUENDAL_NUMBER_FAMILY

QUENDAL_SERVICE bool ORVAGetPropValueString(ObjectHeader* object, const char* name, ORVAstring* value) {
  QUENDAL_SERVICE_BEGIN
  if (!value) return false;
  if (const PropertyAccess* p = PropertyFor(object, name, Family::String, false)) {
    *value = CallGetter<ORVAstring>(*p, object);
    return true;
  }
  if (!object || !name) return false;
  if (void* method = GetterMethod(object, name, "String")) {
    *value = reinterpret_cast<ORVAstring (*)(ObjectHeader*)>(method)(object);
    return true;
  }
  return IsValueName(name) && ConvertObjectToString(object, value);
  QUENDAL_SERVICE_END(false)
}

QUENDAL_SERVICE bool ORVASetPropValueString(ObjectHeader* object, const char* name, ORVAstring value) {
  QUENDAL_SERVICE_BEGIN
  if (const PropertyAccess* p = PropertyFor(object, name, Family::String, true)) {
    CallSetter(*p, object, value);
    return true;
  }
  if (!object || !name) return false;
  if (void* method = SetterMethod(object, name, "String")) {
    reinterpret_cast<void (*)(ObjectHeader*, ORVAstring)>(method)(object, value);
    return true;
  }
  return false;
  QUENDAL_SERVICE_END(false)
}

QUENDAL_SERVICE bool ORVAGetPropValueObject(ObjectHeader* object, const char* name, ObjectHeader** value) {
  QUENDAL_SERVICE_BEGIN
  if (!value) return false;
  if (const PropertyAccess* p = PropertyFor(object, name, Family::Object, false)) {
    *value = CallGetter<ObjectHeader*>(*p, object);
    return true;
  }
  if (!object || !name) return false;
  if (SameName(name, "DateValue")) return ConvertObjectToDate(object, value);
  if (!SameName(name, "Value")) return false;
  *value = RuntimeLockObject(object);
  return true;
  QUENDAL_SERVICE_END(false)
}

QUENDAL_SERVICE bool ORVASetPropValueObject(ObjectHeader* object, const char* name, ObjectHeader* value) {
  QUENDAL_SERVICE_BEGIN
  if (const PropertyAccess* p = PropertyFor(object, name, Family::Object, true)) {
    CallSetter(*p, object, value);
    return true;
  }
  return false;
  QUENDAL_SERVICE_END(false)
}

/* ---- the runtime, as plugins see it ---------------------------------------------- */

extern "C" bool ORVAinRuntime() { return true; }

/* The remote-debugger link is not part of this runtime. */
extern "C" bool ORVAInDebugMode() { return false; }

extern "C" void ORVAYieldToQD() {
  if (const HostEnvironment* environment = InstalledHostEnvironment()) environment->yieldToOtherThreads();
}

extern "C" double ORVAGetQDVersion() { return kRuntimeVersion; }
