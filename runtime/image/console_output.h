/*
** Console output: RuntimeConsolePrint writes a string and CR LF to standard
** output (the empty string writes nothing at all); RuntimeConsolePrintError
** writes a string without a line end to standard error.  The bytes go out
** up to the first zero byte and the stream is flushed at once.
*/
#ifndef QUENDAL_IMAGE_CONSOLE_OUTPUT_H
#define QUENDAL_IMAGE_CONSOLE_OUTPUT_H

#include "runtime/text/string_record.h"

extern "C" {
void RuntimeConsolePrint(ORVAstring s);
void RuntimeConsolePrintError(ORVAstring s);
}

#endif
