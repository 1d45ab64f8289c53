/*
** Completing plugin classes into class records, and finding classes by
** the names plugins use.  See plugin_host.h and plugin_registry.h.
**
** A completed class record holds, after what it inherits:
**   accessors   per property its getter "Name%code%o<Class>" and setter
**               "=Name%%o<Class>code"; per method its routine
**               (MethodSignature) and, when it has one, its assigning form
**               (SetterSignature);
**   properties  "Name%code%" with the accessor parameter;
**   events      the class's events, numbered after its superclass's;
**   interfaces  one entry per listed interface, its vtable filled with the
**               class's methods of the same name and types.
** Malformed members are reported and left out; the rest of the class is
** still built.  A class whose superclass cannot be found is reported
** (code 3, "Unknown Class") and gets no record.
*/
#include <cstring>
#include <string>

#include "runtime/base/failure_report.h"
#include "runtime/objects/exceptions.h"
#include "runtime/objects/object_definition.h"
#include "runtime/objects/object_kinds.h"
#include "runtime/plugins/plugin_host.h"
#include "runtime/plugins/plugin_registry.h"
#include "runtime/text/string_compare.h"
#include "runtime/text/string_core.h"

namespace quendal {

namespace {

const char kSource[] = "plugin.cpp";

bool SameName(std::string_view a, std::string_view b) { return CompareRawBytes(a, b, true) == 0; }

std::string_view RenamedBuiltIn(std::string_view name) {
  if (SameName(name, "DatabaseCursor")) return "RecordSet";
  if (SameName(name, "DatabaseCursorField")) return "DatabaseField";
  return name;
}

ClassRecord* BuiltInClass(std::string_view name) {
  const ObjectDefinition* definition = FindIntrinsicClass(RenamedBuiltIn(name));
  return definition ? LookupObjectDefinition(definition) : nullptr;
}

ClassRecord* ClassOnList(std::string_view name) {
  for (ClassRecord* c = ClassListHead(); c; c = c->nextClass) {
    if (c->className && SameName(StringView(c->className), name)) return c;
  }
  return nullptr;
}

void ReportDeclaration(const char* declaration, const std::string& error) {
  RuntimeFailureReport(kFailureInvalidClassDefinition, kSource, __LINE__, declaration ? declaration : "",
                       error.c_str());
}

/* A string a class record keeps for good. */
ORVAstring PermanentString(const std::string& text) { return StringCreate(text, kEncodingUTF8); }

/* The code of a property's type: the built-in names, else a class. */
std::string PropertyTypeCode(const char* type) {
  if (!type) return std::string();
  std::string code = PrimitiveTypeCode(type);
  return code.empty() ? PluginClassCode(type) : code;
}

/* ---- members of one class, checked and coded ------------------------------- */

struct CodedProperty {
  std::string name;
  std::string code;
  int32_t parameter;
  void* getter;
  void* setter;
};

struct CodedMethod {
  PluginMethod method;
  MethodDeclaration declaration;
};

/* The host's default accessors for a field of the given type code, and
** the field's width. */
struct DefaultAccessors {
  void* getter;
  void* setter;
  int32_t width;
};
DefaultAccessors DefaultAccessorsFor(const std::string& code) {
  if (code == "s") {
    return {reinterpret_cast<void*>(&stringGetter), reinterpret_cast<void*>(&stringSetter), int32_t(sizeof(ORVAstring))};
  }
  if (code == "b") return {reinterpret_cast<void*>(&boolGetter), reinterpret_cast<void*>(&boolSetter), 1};
  if (code.rfind("o<", 0) == 0) {
    return {reinterpret_cast<void*>(&objGetter), reinterpret_cast<void*>(&objSetter), int32_t(sizeof(ObjectHeader*))};
  }
  return {reinterpret_cast<void*>(&intGetter), reinterpret_cast<void*>(&intSetter), 4};
}

std::vector<CodedProperty> CodeProperties(const ORVAClassDefinition* d, int32_t dataOffset) {
  std::vector<CodedProperty> out;
  for (uint32_t i = 0; d->properties && i < d->propertyCount; i++) {
    const ORVAPropertyDefinition& p = d->properties[i];
    if (!p.name) continue;
    std::string code = PropertyTypeCode(p.type);
    if (code.empty()) {
      ReportDeclaration(p.name, std::string("Unknown type \"") + (p.type ? p.type : ""));
      continue;
    }
    CodedProperty coded{p.name, code, p.parameter, reinterpret_cast<void*>(p.getter), reinterpret_cast<void*>(p.setter)};
    bool defaultGetter = p.getter == ORVAnoImplementation;
    bool defaultSetter = p.setter == ORVAnoImplementation;
    if (defaultGetter || defaultSetter) {
      DefaultAccessors defaults = DefaultAccessorsFor(code);
      if (p.parameter < 0 || int64_t(p.parameter) + defaults.width > int64_t(d->dataSize)) {
        ReportDeclaration(p.name, "A default accessor's field lies outside the plugin's instance data");
        continue;
      }
      coded.parameter = dataOffset + p.parameter;
      if (defaultGetter) coded.getter = defaults.getter;
      if (defaultSetter) coded.setter = (p.flags & kORVAPropertyReadOnly) ? nullptr : defaults.setter;
    }
    out.push_back(std::move(coded));
  }
  return out;
}

std::vector<CodedMethod> CodeMethods(const ORVAClassDefinition* d) {
  std::vector<CodedMethod> out;
  for (const PluginMethod& m : DefinitionMethods(d)) {
    if (m.function == ORVAnoImplementation) {
      QUENDAL_REPORT(kSource, "method->function != (ORVAproc) ORVAnoImplementation", nullptr);
      continue;
    }
    CodedMethod coded{m, {}};
    std::string error = ParseMethodDeclaration(m.declaration ? m.declaration : "", &PluginClassCode, &coded.declaration);
    if (!error.empty()) {
      ReportDeclaration(m.declaration, error);
      continue;
    }
    out.push_back(std::move(coded));
  }
  return out;
}

bool HasSetter(const PluginMethod& m) { return m.setterFunction && m.setterFunction != ORVAnoImplementation; }

/* Event names of the class's own events; repeats are reported and left out. */
std::vector<std::pair<uint32_t, std::string>> EventNames(const ORVAClassDefinition* d) {
  std::vector<std::pair<uint32_t, std::string>> out;
  for (uint32_t i = 0; d->events && i < d->eventCount; i++) {
    MethodDeclaration declaration;
    std::string error =
        ParseMethodDeclaration(d->events[i].declaration ? d->events[i].declaration : "", &PluginClassCode, &declaration);
    if (!error.empty()) {
      ReportDeclaration(d->events[i].declaration, error);
      continue;
    }
    bool repeated = false;
    for (const auto& earlier : out) repeated = repeated || SameName(earlier.second, declaration.name);
    if (repeated) {
      std::string message = "Duplicate name found while trying to build class events.  Matched names are: " +
                            declaration.name;
      QUENDAL_REPORT(kSource, "0", message.c_str());
      continue;
    }
    out.push_back({i, declaration.name});
  }
  return out;
}

void CompleteClass(PluginClass* entry);

/* The interface classes named in the comma-separated list (plugin
** interfaces are completed first). */
std::vector<ClassRecord*> InterfaceClasses(const char* list) {
  std::vector<ClassRecord*> out;
  if (!list) return out;
  std::string_view rest(list);
  while (!rest.empty()) {
    size_t comma = rest.find(',');
    std::string_view name = rest.substr(0, comma);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    ClassRecord* cls = nullptr;
    if (PluginClass* entry = FindPluginClass(name)) {
      CompleteClass(entry);
      cls = entry->cls;
    }
    if (!cls && !name.empty()) cls = ClassForPluginName(name);
    if (!cls && !name.empty()) cls = ClassOnList(name);
    if (cls && cls->isAnInterface) out.push_back(cls);
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return out;
}

/* The entry of cls's accessor with the same name and types as the
** interface member signature, or null. */
void* ImplementationOf(const ClassRecord* cls, ORVAstring interfaceSignature) {
  SignatureParts wanted;
  if (!SplitSignature(StringView(interfaceSignature), &wanted)) return nullptr;
  for (int32_t i = cls->accessorCount - 1; i >= 0; i--) { /* own members after inherited ones */
    SignatureParts candidate;
    if (!SplitSignature(StringView(cls->accessors[i].signature), &candidate)) continue;
    if (candidate.setter == wanted.setter && SameName(candidate.name, wanted.name) &&
        candidate.resultCode == wanted.resultCode && candidate.parameterCodes == wanted.parameterCodes) {
      return cls->accessors[i].entry;
    }
  }
  return nullptr;
}

InterfaceEntry BuildInterfaceEntry(ClassRecord* cls, ClassRecord* interface) {
  int32_t count = interface->accessorCount;
  MethodEntry* vtable = RuntimeNewVtable(count);
  for (int32_t i = 0; i < count; i++) {
    ORVAstring signature = interface->accessors[i].signature;
    StringRetain(signature);
    vtable[i] = MethodEntry{ImplementationOf(cls, signature), signature};
  }
  return InterfaceEntry{interface, count, vtable};
}

int32_t AlignUp8(int32_t n) { return (n + 7) & ~7; }

void BuildClassRecord(PluginClass* entry, ClassRecord* super) {
  ORVAClassDefinition* d = entry->definition;
  const std::string name = d->name;
  const int32_t dataOffset = super ? AlignUp8(super->objectSize) : int32_t(sizeof(ObjectHeader));
  d->dataOffset = uint32_t(dataOffset);

  std::vector<CodedProperty> properties = CodeProperties(d, dataOffset);
  std::vector<CodedMethod> methods = CodeMethods(d);
  std::vector<std::pair<uint32_t, std::string>> events = EventNames(d);
  std::vector<ClassRecord*> interfaces = InterfaceClasses(d->interfaces);

  int32_t accessors = 0;
  for (const CodedProperty& p : properties) accessors += (p.getter ? 1 : 0) + (p.setter ? 1 : 0);
  for (const CodedMethod& m : methods) accessors += HasSetter(m.method) ? 2 : 1;

  const int32_t baseMethods = super ? super->methodCount : 0;
  const int32_t baseInterfaces = super ? super->interfaceCount : 0;
  const int32_t baseEvents = super ? super->eventCount : 0;
  const int32_t baseAccessors = super ? super->accessorCount : 0;
  const int32_t baseProperties = super ? super->propertyCount : 0;
  ClassRecord* cls = RuntimeNewClass(super, baseMethods, baseInterfaces + int32_t(interfaces.size()),
                                     baseEvents + int32_t(events.size()), baseAccessors + accessors,
                                     baseProperties + int32_t(properties.size()));
  cls->className = PermanentString(name);
  cls->objectSize = dataOffset + int32_t(d->dataSize);
  cls->isAnInterface = entry->isInterface ? 1 : 0;
  cls->initializer = reinterpret_cast<ObjectHook>(d->constructor);
  cls->finalizer = reinterpret_cast<ObjectHook>(d->destructor);

  int32_t a = baseAccessors;
  for (const CodedProperty& p : properties) {
    if (p.getter) cls->accessors[a++] = {p.getter, PermanentString(p.name + "%" + p.code + "%o<" + name + ">")};
    if (p.setter) cls->accessors[a++] = {p.setter, PermanentString("=" + p.name + "%%o<" + name + ">" + p.code)};
  }
  for (const CodedMethod& m : methods) {
    cls->accessors[a++] = {reinterpret_cast<void*>(m.method.function), PermanentString(MethodSignature(m.declaration, name))};
    if (HasSetter(m.method)) {
      cls->accessors[a++] = {reinterpret_cast<void*>(m.method.setterFunction),
                             PermanentString(SetterSignature(m.declaration, name))};
    }
  }
  int32_t p = baseProperties;
  for (const CodedProperty& property : properties) {
    cls->properties[p++] = {PermanentString(property.name + "%" + property.code + "%"), property.parameter,
                            property.getter, property.setter};
  }
  int32_t e = baseEvents;
  for (const auto& [index, eventName] : events) {
    cls->events[e] = {nullptr, PermanentString(eventName)};
    d->events[index].handle = e + 1;
    e++;
  }
  for (uint32_t i = 0; d->eventInstances && i < d->eventInstanceCount; i++) {
    const ORVAEventInstanceDefinition& instance = d->eventInstances[i];
    int32_t index = instance.name ? EventIndexNamed(cls, instance.name) : -1;
    if (index < 0) {
      std::string message = std::string("No event ") + (instance.name ? instance.name : "") + " for " + name;
      QUENDAL_REPORT(kSource, "eventIndex >= 0", message.c_str());
      continue;
    }
    cls->events[index].handler = reinterpret_cast<void*>(instance.implementation);
  }
  int32_t itf = baseInterfaces;
  for (ClassRecord* interface : interfaces) cls->interfaces[itf++] = BuildInterfaceEntry(cls, interface);
  entry->cls = cls;
}

void CompleteClass(PluginClass* entry) {
  if (entry->completed) return;
  if (entry->completing) {
    RuntimeFailureReport(kFailureInvalidClassDefinition, kSource, __LINE__, "!superclass cycle",
                         entry->definition->name);
    return;
  }
  entry->completing = true;
  ClassRecord* super = nullptr;
  const char* superName = entry->definition->superName;
  bool found = true;
  if (superName && *superName) {
    super = BuiltInClass(superName);
    if (!super) {
      if (PluginClass* base = FindPluginClass(superName)) {
        CompleteClass(base);
        super = base->cls;
      }
    }
    if (!super) super = ClassOnList(superName);
    found = super != nullptr;
  }
  if (found) {
    BuildClassRecord(entry, super);
  } else {
    RuntimeFailureReport(kFailureUnknownClass, kSource, __LINE__, "superclass", superName);
  }
  entry->completing = false;
  entry->completed = true;
}

void ParseGlobalMethods() {
  for (GlobalMethod* method : GlobalMethods()) {
    if (method->parsed) continue;
    std::string error = ParseMethodDeclaration(method->declarationText, &PluginClassCode, &method->declaration);
    if (!error.empty()) {
      ReportDeclaration(method->declarationText.c_str(), error);
      continue;
    }
    method->parsed = true;
  }
}

} // namespace

ClassRecord* ClassForPluginName(std::string_view name) {
  if (ClassRecord* cls = BuiltInClass(name)) return cls;
  PluginClass* entry = FindPluginClass(name);
  return entry ? entry->cls : nullptr;
}

std::string PluginClassCode(std::string_view className) {
  if (PluginClass* entry = FindPluginClass(className)) return "o<" + std::string(entry->definition->name) + ">";
  if (const ObjectDefinition* definition = FindIntrinsicClass(RenamedBuiltIn(className))) {
    return "o<" + std::string(definition->className) + ">";
  }
  if (ClassRecord* cls = ClassOnList(className)) return "o<" + std::string(StringView(cls->className)) + ">";
  return std::string();
}

void CompletePluginClasses() {
  for (PluginClass* entry : PluginClasses()) entry->completed = entry->cls != nullptr;
  for (PluginClass* entry : PluginClasses()) CompleteClass(entry);
  ParseGlobalMethods();
  SetPluginClassLookup(&PublishedPluginClass);
}

ClassRecord* PublishedPluginClass(ORVAstring name) {
  PluginClass* entry = FindPluginClass(StringView(name));
  return entry ? entry->cls : nullptr;
}

} // namespace quendal

using namespace quendal;

extern "C" ClassRecord* pluginObjectType(const char* className) {
  return className ? ClassForPluginName(className) : nullptr;
}

QUENDAL_SERVICE ObjectHeader* PluginNewInstance(const char* className) {
  QUENDAL_SERVICE_BEGIN
  if (!className) return nullptr;
  ClassRecord* cls = ClassForPluginName(className);
  if (!cls) cls = ClassOnList(className);
  if (!cls || cls->isAnInterface || cls->objectSize < int32_t(sizeof(ObjectHeader))) return nullptr;
  return RuntimeNewObject(cls);
  QUENDAL_SERVICE_END(nullptr)
}

QUENDAL_SERVICE ObjectHeader* PluginNewOfSameClass(ObjectHeader* object) {
  QUENDAL_SERVICE_BEGIN
  if (!object) return nullptr;
  return RuntimeNewObject(object->classPtr);
  QUENDAL_SERVICE_END(nullptr)
}
