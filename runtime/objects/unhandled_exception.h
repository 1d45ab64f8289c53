/*
** The unhandled-exception path.
**
** RuntimeUnhandledException hands an exception that nothing caught to the
** hook that start-up installs (SetUnhandledExceptionHook); without a hook
** it is a failure report.  The runtime takes that path in exactly one
** place per exception: where dispatch gives up (a frame chain that leaves
** the stack) or where the exception escapes the image's entry routine
** (CallImageEntry).  Threads take it where a thread's body ends.
**
** The default hook (DefaultUnhandledExceptionReport) holds the
** in-unhandled-exception flag from entry to exit and:
**   1. ignores a ThreadEndException (the thread ends quietly);
**   2. for anything but an EndException, fires the application's
**      UnhandledException event through the callback the application
**      module installs (a raise inside the event is dropped: the report
**      follows whatever the event did);
**   3. unless the application is already quitting or the exception is an
**      EndException, writes to standard error
**        "Exception Message: " message "\n"
**        "Exception Error Number: " number "\n"
**        "An exception of class " class " was not handled.  The application must shut down."
**      and marks the application as quitting, so a later unhandled
**      exception is not reported again;
**   4. never reports an EndException: it is the normal way out.
**
** The quitting flag and the in-unhandled-exception flag belong to the
** application's life cycle; they live here because the report reads and
** sets them, and the application module (ApplicationQuit) uses the same
** accessors.
*/
#ifndef QUENDAL_OBJECTS_UNHANDLED_EXCEPTION_H
#define QUENDAL_OBJECTS_UNHANDLED_EXCEPTION_H

#include <string>

#include "runtime/objects/object_model.h"

namespace quendal {

using UnhandledExceptionHook = void (*)(ObjectHeader* exception);
/* Installs the hook (null removes it). */
void SetUnhandledExceptionHook(UnhandledExceptionHook hook);
UnhandledExceptionHook GetUnhandledExceptionHook();

/* The default hook, steps 1-4 above. */
void DefaultUnhandledExceptionReport(ObjectHeader* exception);

/* The text of step 3 for an exception. */
std::string UnhandledExceptionReportText(ObjectHeader* exception);

/* Fires the application object's UnhandledException event with the
** exception, when the application implements it.  Installed by the
** application module; may throw RaisedException. */
using ApplicationUnhandledEvent = void (*)(ObjectHeader* exception);
void SetApplicationUnhandledEvent(ApplicationUnhandledEvent fire);

/* The application's quitting flag. */
bool ApplicationIsQuitting();
void SetApplicationQuitting(bool quitting);

/* True while an unhandled-exception hook runs. */
bool InUnhandledExceptionDispatch();

} // namespace quendal

#endif
