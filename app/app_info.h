/*
** What "marlune --help" and "marlune --version" print.  The full manual is
** app/marlune.1.
*/
#ifndef MARLUNE_APP_INFO_H
#define MARLUNE_APP_INFO_H

namespace marlune {

inline constexpr char kVersionText[] = "marlune 1.0";

inline constexpr char kHelpText[] =
    "Usage: marlune COMMAND SOURCE DESTINATION [OBSERVATIONS [LOG]]\n"
    "\n"
    "Converts an observing-plan document of the old V1 layout into a SQLite\n"
    "database, or migrates a plan database.\n"
    "\n"
    "  COMMAND       1  convert the V1 plan document SOURCE into DESTINATION\n"
    "                2  migrate a plan database, adding the \"Active\" columns and\n"
    "                   the telescope \"Mount\" column\n"
    "                3  migrate a plan database, retyping the observations' Rating\n"
    "                any other number: migrate without schema changes\n"
    "  SOURCE        the document to read (/home/me/plan.apd or Z:\\home\\me\\plan.apd);\n"
    "                it is never changed\n"
    "  DESTINATION   the file to write; an existing one is replaced\n"
    "  OBSERVATIONS  1 to convert the observations as well (command 1)\n"
    "  LOG           1 to append progress to \"Marlune Log.txt\" on the desktop\n"
    "\n"
    "Prints \"rslt=\" and the result, which is also the exit code:\n"
    "  0 success, 1 the V1 document cannot be opened, 2 the destination cannot be\n"
    "  made, 3 the conversion failed, 4 the migration failed.\n"
    "Text that is not UTF-8 is read in Windows-1252, or in the code page named\n"
    "by MARLUNE_SOURCE_ENCODING (for example windows-1250).\n"
    "\n"
    "  --help        print this text      --version    print the version\n";

} // namespace marlune

#endif
