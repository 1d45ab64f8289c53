/*
** The plugin host's seam in start-up.
**
** RuntimeInitExternalClasses calls LoadPlugins once, after the built-in
** classes are registered.  Loading plugin libraries (the embedded ones of
** the image's resources and those beside the executable), resolving their
** runtime callbacks and taking their registrations is the plugin host's
** work, which is not part of this runtime yet: today LoadPlugins loads
** nothing and returns.
*/
#ifndef QUENDAL_PLUGINS_PLUGIN_HOST_H
#define QUENDAL_PLUGINS_PLUGIN_HOST_H

namespace quendal {

void LoadPlugins();

} // namespace quendal

#endif
