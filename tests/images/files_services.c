/* Calls FolderItem, stream and date services through the link table, in
** the folder the program runs in, and prints what they give, one result
** a line. */
#include "image_print.h"

typedef struct Object Object;

extern Object* GetSpecialFolder(int32_t selector);
extern Object* FolderChild(Object* item, ORVAstring name);
extern ORVAstring fileNameGetter(Object* item);
extern ORVAstring fileAbsolutePathGetter(Object* item);
extern _Bool fileExistsGetter(Object* item);
extern _Bool fileDirectoryGetter(Object* item);
extern int64_t fileSizeGetter(Object* item);
extern int32_t fileCountGetter(Object* item);
extern _Bool FolderItemDelete(Object* item);
extern void FolderItemCopyFileTo(Object* item, Object* destination);
extern int32_t FolderItemGetLastError(Object* item);
extern Object* folderGetModified(Object* item);
extern Object* FolderItemCreateTextFile(Object* item);
extern void TextOutputStreamWriteLine(Object* stream, ORVAstring s);
extern void TextOutputStreamClose(Object* stream);
extern Object* FolderItemOpenTextFile(Object* item);
extern ORVAstring TextInputStreamReadLine(Object* stream, Object* encoding);
extern _Bool TextInputStreamEOF(Object* stream);
extern Object* FolderItemCreateBinaryFile(Object* item, ORVAstring type);
extern void BinaryStreamWriteLong(Object* stream, int32_t value);
extern void BinaryStreamSetPosition(Object* stream, int64_t position);
extern int16_t BinaryStreamReadShort(Object* stream);
extern void BinaryStreamClose(Object* stream);
extern void dateSQLDateTimeSetter(Object* date, ORVAstring text);
extern ORVAstring dateSQLDateTimeGetter(Object* date);
extern double dateTotalSecondsGetter(Object* date);
extern int32_t dateFieldGetter(Object* date, int32_t index);
extern void* RuntimeUnlockObject(void* object);

static void WritePlan(Object* plan) {
  Object* out = FolderItemCreateTextFile(plan);
  TextOutputStreamWriteLine(out, S("first"));
  TextOutputStreamWriteLine(out, S("second"));
  TextOutputStreamClose(out);
  RuntimeUnlockObject(out);
}

static void ReadPlan(Object* plan) {
  Object* in = FolderItemOpenTextFile(plan);
  PrintString(S("line1="), TextInputStreamReadLine(in, 0));
  PrintString(S("line2="), TextInputStreamReadLine(in, 0));
  PrintNumber(S("eof="), TextInputStreamEOF(in));
  RuntimeUnlockObject(in);
}

static void BinaryRoundTrip(Object* file) {
  Object* bin = FolderItemCreateBinaryFile(file, S(""));
  BinaryStreamWriteLong(bin, 258);
  BinaryStreamSetPosition(bin, 0);
  PrintNumber(S("high="), BinaryStreamReadShort(bin));
  PrintNumber(S("low="), BinaryStreamReadShort(bin));
  BinaryStreamClose(bin);
  RuntimeUnlockObject(bin);
}

static void DateFields(Object* plan) {
  Object* date = folderGetModified(plan);
  dateSQLDateTimeSetter(date, S("1904-01-03 00:00:00"));
  PrintString(S("date="), dateSQLDateTimeGetter(date));
  PrintNumber(S("days="), (int32_t)((int64_t)dateTotalSecondsGetter(date) / 86400));
  PrintNumber(S("weekday="), dateFieldGetter(date, 6));
  RuntimeUnlockObject(date);
}

uint32_t main(void) {
  Object* here = GetSpecialFolder(1047);
  Object* plan = FolderChild(here, S("plan.txt"));
  Object* copy = FolderChild(here, S("copy.bin"));
  PrintNumber(S("folder="), fileDirectoryGetter(here));
  PrintNumber(S("exists before="), fileExistsGetter(plan));
  WritePlan(plan);
  PrintString(S("name="), fileNameGetter(plan));
  PrintNumber(S("length="), (int32_t)fileSizeGetter(plan));
  ReadPlan(plan);
  BinaryRoundTrip(copy);
  FolderItemCopyFileTo(plan, copy);
  PrintNumber(S("copy error="), FolderItemGetLastError(plan));
  DateFields(plan);
  PrintNumber(S("deleted="), FolderItemDelete(plan));
  PrintNumber(S("exists after="), fileExistsGetter(plan));
  RuntimeUnlockObject(copy);
  RuntimeUnlockObject(plan);
  RuntimeUnlockObject(here);
  return 0;
}
