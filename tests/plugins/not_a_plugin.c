/*
** A shared library that is not a plugin: it exports no ORVAPluginMain.
** The plugin host must refuse it without a message.
*/
__attribute__((visibility("default"))) int NotAPluginAnswer(void) { return 42; }
