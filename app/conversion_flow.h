/*
** The conversion flow: App's Run event and its methods ConvertPlanDocument,
** ConvertPlan, APCopyFile, ConvertDatabase and logmsg.
**
** Command line (Run's argument array, element 0 the program): padded with
** empty strings to at least six elements, then
**   1 command type (Val, as a 32-bit integer; empty or not a number: 0)
**   2 source path  3 destination path  4 doObs ("1": convert observations,
**   command 1 only)  5 "1" turns the log on (doLog).
** A path is a native path in either form, "/home/me/plan.apd" or
** "Z:\home\me\plan.apd".  A relative path is read against the current
** folder, where the user typed it (the runtime would read it against the
** program's folder).  An empty path names no file: its FolderItem is nil.
** "--help" or "--version" as the only meaningful first argument prints the
** text and returns 0 (no result line); any other first argument that is not
** a number is command 0, as Val reads it.
**
** Commands and results ("rslt=" + result on standard output, and the exit
** code): 1 converts a V1 plan document (ConvertPlanDocument); any other
** migrates a plan database (ConvertDatabase: 2 adds the "Active" columns and
** the telescope "Mount" column, 3 retypes the observations' "Rating", others
** change no schema).  Results: 0 success; 1 the V1 document could not be
** opened; 2 the destination could not be made (command 1); 3 the conversion
** failed (command 1); 4 the migration failed (other commands).
**
** Log: when doLog is set, each line is appended to "Marlune Log.txt" in the
** desktop folder, the file opened and closed for every line, so the log
** survives a crash.  A log that cannot be written raises NilObjectException
** (the nil stream), as any failed file operation of the language would.
**
** What is guaranteed about files:
**   - the source is only read: it is byte-identical after every run;
**   - nothing but a finished, committed SQLite file is ever put at the
**     destination path.  The destination is deleted first; the source is
**     copied to a working copy beside it (WorkingCopyName), which
**     ConvertOldFormat turns into the new database in place (through its
**     temporary file "122-234-11339"); only then is the working copy renamed
**     to the destination.  A run that fails, raises or is killed leaves no
**     destination, and the next run removes what a killed run left behind;
**   - the deletion loops are bounded: kDeleteTries tries, each followed by
**     DoEvents(10), about a second in all.  When the bound is reached the
**     line "Unable to delete: " + path is printed and logged, and the run
**     fails (2 for command 1, 4 otherwise), since a stale destination must
**     not be left looking like the result;
**   - a source and destination that are the same file are refused before
**     anything is deleted ("Source and destination are the same file: " +
**     path; 2 for command 1, 4 otherwise).
**
** A nil source or destination raises NilObjectException at its first use,
** which ends the program through the default report (exit code 70).
*/
#ifndef MARLUNE_CONVERSION_FLOW_H
#define MARLUNE_CONVERSION_FLOW_H

#include <cstdint>
#include <string>

#include "app/app_class.h"
#include "runtime/files/folder_item.h"
#include "runtime/objects/array_object.h"
#include "runtime/text/string_record.h"

namespace marlune {

/* Result codes of Run. */
enum : int32_t {
  kResultSuccess = 0,
  kResultCannotOpen = 1,
  kResultCannotCreate = 2,
  kResultConversionFailed = 3,
  kResultMigrationFailed = 4,
};

/* Tries of the bounded deletion loops. */
inline constexpr int kDeleteTries = 100;

/* The log file's name, in the desktop folder. */
inline constexpr char kLogFileName[] = "Marlune Log.txt";

/* The working copy of a conversion whose destination is named name: beside
** it, under name + ".marlune-copy". */
std::string WorkingCopyName(const std::string& destinationName);

/* The methods (receiver first). */
int32_t AppRun(ObjectHeader* app, ArrayObject* args);
int32_t AppConvertPlanDocument(AppObject* app, FolderItemObject* source, FolderItemObject* destination, bool doObs);
int32_t AppConvertPlan(AppObject* app, FolderItemObject* source, FolderItemObject* destination, bool doObs);
void AppAPCopyFile(AppObject* app, FolderItemObject* source, FolderItemObject* destination);
int32_t AppConvertDatabase(AppObject* app, int32_t command, FolderItemObject* source, FolderItemObject* destination);
void AppLogMessage(AppObject* app, ORVAstring text);

} // namespace marlune

#endif
