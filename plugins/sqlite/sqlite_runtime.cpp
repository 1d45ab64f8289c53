/*
** The runtime services the plugin uses, resolved once in ORVAPluginMain.
** See sqlite_plugin.h.
*/
#include "plugins/sqlite/sqlite_plugin.h"

namespace sqliteplugin {

Runtime gRuntime;

namespace {

template <typename Proc>
bool Resolve(ORVAResolver resolver, const char* name, Proc* out) {
  const ORVALinkRow* row = resolver(name);
  *out = row ? reinterpret_cast<Proc>(row->entry) : nullptr;
  return *out != nullptr;
}

} // namespace

bool ResolveRuntime(ORVAResolver resolver) {
  Runtime r{};
  bool ok = Resolve(resolver, "ORVALockString", &r.lockString) &&
            Resolve(resolver, "ORVAUnlockString", &r.unlockString) &&
            Resolve(resolver, "ORVABuildStringWithEncoding", &r.buildString) &&
            Resolve(resolver, "ORVAConvertString", &r.convertString) &&
            Resolve(resolver, "ORVAGetStringEncoding", &r.stringEncoding) &&
            Resolve(resolver, "ORVALockObject", &r.lockObject) &&
            Resolve(resolver, "ORVAUnlockObject", &r.unlockObject) &&
            Resolve(resolver, "ORVApathFromFolderItem", &r.pathFromFolderItem) &&
            Resolve(resolver, "ORVASetPropValueString", &r.setPropertyString) &&
            Resolve(resolver, "ORVAdbCursorFromDBCursor", &r.cursorFromHandle) &&
            Resolve(resolver, "ORVAConstructDBDatabase", &r.constructDatabase) &&
            Resolve(resolver, "ORVASetDBIsConnected", &r.setConnected) &&
            Resolve(resolver, "ORVAGetQDVersion", &r.runtimeVersion) &&
            Resolve(resolver, "RegisterPluginVersion", &r.registerVersion) &&
            Resolve(resolver, "PluginRegisterDBEngine", &r.registerEngine) &&
            Resolve(resolver, "PluginRegisterDBCursor", &r.registerCursor) &&
            Resolve(resolver, "PluginRegisterClass", &r.registerClass) &&
            Resolve(resolver, "PluginRegisterMethod", &r.registerMethod);
  if (ok) gRuntime = r;
  return ok;
}

ORVAstring MakeString(std::string_view utf8) {
  return gRuntime.buildString(utf8.data(), int32_t(utf8.size()), kORVAEncodingUTF8);
}

std::string Utf8Of(ORVAstring s) {
  if (!s) return std::string();
  if (gRuntime.stringEncoding(s) == uint32_t(kORVAEncodingUTF8)) {
    return std::string(ORVAStringBytes(s), size_t(ORVAStringLength(s)));
  }
  ORVAstring converted = gRuntime.convertString(s, kORVAEncodingUTF8);
  std::string text(ORVAStringBytes(converted), size_t(ORVAStringLength(converted)));
  gRuntime.unlockString(converted);
  return text;
}

bool OldRuntime() { return gRuntime.runtimeVersion() < 2006.04; }

} // namespace sqliteplugin
