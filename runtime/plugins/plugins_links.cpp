/*
** The plugin host's provisions: every service of the "plugins" group that
** this folder implements, under its link name.  GetEventInstancePPC is
** the second name of GetEventInstance; the Boolean property families are
** the UInt8 ones.
*/
#include "runtime/plugins/plugins_links.h"

#include "runtime/plugins/plugin_host.h"

namespace quendal {

namespace {

const LinkProvision kPluginsProvisions[] = {
    QUENDAL_PROVIDE(GetEventInstance),
    QUENDAL_PROVIDE_AS(GetEventInstancePPC, GetEventInstance),
    QUENDAL_PROVIDE(GetInterfaceRoutine),
    QUENDAL_PROVIDE_AS(ORVAGetPropValueBool, ORVAGetPropValueUInt8),
    QUENDAL_PROVIDE(ORVAGetPropValueDouble),
    QUENDAL_PROVIDE(ORVAGetPropValueInt),
    QUENDAL_PROVIDE(ORVAGetPropValueInt16),
    QUENDAL_PROVIDE(ORVAGetPropValueInt64),
    QUENDAL_PROVIDE(ORVAGetPropValueInt8),
    QUENDAL_PROVIDE(ORVAGetPropValueObject),
    QUENDAL_PROVIDE(ORVAGetPropValueSingle),
    QUENDAL_PROVIDE(ORVAGetPropValueString),
    QUENDAL_PROVIDE(ORVAGetPropValueUInt16),
    QUENDAL_PROVIDE(ORVAGetPropValueUInt32),
    QUENDAL_PROVIDE(ORVAGetPropValueUInt64),
    QUENDAL_PROVIDE(ORVAGetPropValueUInt8),
    QUENDAL_PROVIDE(ORVAGetQDVersion),
    QUENDAL_PROVIDE(ORVAInDebugMode),
    QUENDAL_PROVIDE(ORVAinRuntime),
    QUENDAL_PROVIDE(ORVALoadGlobalMethod),
    QUENDAL_PROVIDE(ORVALoadObjectMethod),
    QUENDAL_PROVIDE_AS(ORVASetPropValueBoolean, ORVASetPropValueUInt8),
    QUENDAL_PROVIDE(ORVASetPropValueDouble),
    QUENDAL_PROVIDE(ORVASetPropValueInt),
    QUENDAL_PROVIDE(ORVASetPropValueInt16),
    QUENDAL_PROVIDE(ORVASetPropValueInt64),
    QUENDAL_PROVIDE(ORVASetPropValueInt8),
    QUENDAL_PROVIDE(ORVASetPropValueObject),
    QUENDAL_PROVIDE(ORVASetPropValueSingle),
    QUENDAL_PROVIDE(ORVASetPropValueString),
    QUENDAL_PROVIDE(ORVASetPropValueUInt16),
    QUENDAL_PROVIDE(ORVASetPropValueUInt32),
    QUENDAL_PROVIDE(ORVASetPropValueUInt64),
    QUENDAL_PROVIDE(ORVASetPropValueUInt8),
    QUENDAL_PROVIDE(ORVAYieldToQD),
    QUENDAL_PROVIDE(PluginNewInstance),
    QUENDAL_PROVIDE(PluginNewOfSameClass),
    QUENDAL_PROVIDE(pluginObjectType),
    QUENDAL_PROVIDE(PluginRegisterBackgroundTask),
    QUENDAL_PROVIDE(PluginRegisterClass),
    QUENDAL_PROVIDE(PluginRegisterClassExtension),
    QUENDAL_PROVIDE(PluginRegisterControl),
    QUENDAL_PROVIDE(PluginRegisterInterface),
    QUENDAL_PROVIDE(PluginRegisterMethod),
    QUENDAL_PROVIDE(PluginRegisterModule),
    QUENDAL_PROVIDE(PluginSetDelegateResolver),
    QUENDAL_PROVIDE(PluginUnregisterBackgroundTask),
    QUENDAL_PROVIDE(RegisterPluginExports),
    QUENDAL_PROVIDE(RegisterPluginVersion),
    QUENDAL_PROVIDE(RuntimeAddPluginEntrypoint),
    QUENDAL_PROVIDE(RuntimeAllocatePluginEntrypointsTable),
    QUENDAL_PROVIDE(RuntimeLookupPluginEntrypoint),
};

} // namespace

LinkProvisions PluginsLinkProvisions() { return kPluginsProvisions; }

} // namespace quendal
