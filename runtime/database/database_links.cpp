/*
** The database layer's provisions: every service of the "database" group
** that this layer implements, under its link name.  The single-file
** database class (newORVADatabase, openORVADatabase, ORVADatabase...) and
** the Variant members of DatabaseField belong to other modules.
*/
#include "runtime/database/database_links.h"

#include "runtime/database/database_interface.h"

namespace quendal {

namespace {

const LinkProvision kDatabaseProvisions[] = {
    QUENDAL_PROVIDE(cursorBOFGetter),
    QUENDAL_PROVIDE(cursorClose),
    QUENDAL_PROVIDE(cursorDeleteRecord),
    QUENDAL_PROVIDE(cursorEdit),
    QUENDAL_PROVIDE(cursorEOFGetter),
    QUENDAL_PROVIDE(CursorFieldBooleanValueGetter),
    QUENDAL_PROVIDE(CursorFieldBooleanValueSetter),
    QUENDAL_PROVIDE(CursorFieldConvertToBoolean),
    QUENDAL_PROVIDE(CursorFieldConvertToDate),
    QUENDAL_PROVIDE(CursorFieldConvertToDouble),
    QUENDAL_PROVIDE(CursorFieldConvertToInt64),
    QUENDAL_PROVIDE(CursorFieldConvertToInteger),
    QUENDAL_PROVIDE(CursorFieldConvertToString),
    QUENDAL_PROVIDE(cursorFieldCount),
    QUENDAL_PROVIDE(CursorFieldCurrencyValueGetter),
    QUENDAL_PROVIDE(CursorFieldCurrencyValueSetter),
    QUENDAL_PROVIDE(cursorFieldDateValueGetter),
    QUENDAL_PROVIDE(cursorFieldDateValueSetter),
    QUENDAL_PROVIDE(cursorFieldDoubleValueGetter),
    QUENDAL_PROVIDE(cursorFieldDoubleValueSetter),
    QUENDAL_PROVIDE(CursorFieldInt64ValueGetter),
    QUENDAL_PROVIDE(CursorFieldInt64ValueSetter),
    QUENDAL_PROVIDE(cursorFieldIntegerValueGetter),
    QUENDAL_PROVIDE(cursorFieldIntegerValueSetter),
    QUENDAL_PROVIDE(cursorFieldNameGetter),
    QUENDAL_PROVIDE(cursorFieldNativeValueGetter),
    QUENDAL_PROVIDE(cursorFieldStringValueGetter),
    QUENDAL_PROVIDE(cursorFieldStringValueSetter),
    QUENDAL_PROVIDE(cursorGetFieldByIndex),
    QUENDAL_PROVIDE(cursorGetFieldByName),
    QUENDAL_PROVIDE(CursorMoveFirst),
    QUENDAL_PROVIDE(CursorMoveLast),
    QUENDAL_PROVIDE(cursorMoveNext),
    QUENDAL_PROVIDE(CursorMovePrev),
    QUENDAL_PROVIDE(cursorUpdate),
    QUENDAL_PROVIDE(databaseClose),
    QUENDAL_PROVIDE(databaseCommit),
    QUENDAL_PROVIDE(DatabaseConnect),
    QUENDAL_PROVIDE(DatabaseConstructor),
    QUENDAL_PROVIDE(databaseCursorDestructor),
    QUENDAL_PROVIDE(databaseCursorFieldDestructor),
    QUENDAL_PROVIDE(databaseCursorFieldGetString),
    QUENDAL_PROVIDE(databaseCursorFieldSetString),
    QUENDAL_PROVIDE(databaseDestructor),
    QUENDAL_PROVIDE(databaseErrorCodeGetter),
    QUENDAL_PROVIDE(databaseErrorGetter),
    QUENDAL_PROVIDE(databaseErrorStringGetter),
    QUENDAL_PROVIDE(databaseFieldSchema),
    QUENDAL_PROVIDE(databaseIndexSchema),
    QUENDAL_PROVIDE(databaseInsertRecord),
    QUENDAL_PROVIDE(databaseRecordDestructor),
    QUENDAL_PROVIDE(databaseRollback),
    QUENDAL_PROVIDE(databaseSQLExecute),
    QUENDAL_PROVIDE(databaseSQLSelect),
    QUENDAL_PROVIDE(databaseTableSchema),
    QUENDAL_PROVIDE(getDatabaseProperty),
    QUENDAL_PROVIDE(GetDatabaseRecordBlobColumn),
    QUENDAL_PROVIDE(GetDatabaseRecordBooleanColumn),
    QUENDAL_PROVIDE(getDatabaseRecordColumn),
    QUENDAL_PROVIDE(GetDatabaseRecordCurrencyColumn),
    QUENDAL_PROVIDE(getDatabaseRecordDateColumn),
    QUENDAL_PROVIDE(getDatabaseRecordDoubleColumn),
    QUENDAL_PROVIDE(getDatabaseRecordFieldCount),
    QUENDAL_PROVIDE(getDatabaseRecordIndString),
    QUENDAL_PROVIDE(GetDatabaseRecordInt64Column),
    QUENDAL_PROVIDE(getDatabaseRecordIntegerColumn),
    QUENDAL_PROVIDE(ORVAConstructDBDatabase),
    QUENDAL_PROVIDE(ORVADatabaseSetError),
    QUENDAL_PROVIDE(ORVAdbCursorFromDBCursor),
    QUENDAL_PROVIDE(ORVAdbDatabaseFromDBDatabase),
    QUENDAL_PROVIDE(ORVAGetCursorFromORVAdbCursor),
    QUENDAL_PROVIDE(ORVAGetDBDatabaseName),
    QUENDAL_PROVIDE(ORVAGetDBFromORVAdbDatabase),
    QUENDAL_PROVIDE(ORVAGetDBHost),
    QUENDAL_PROVIDE(ORVAGetDBPassword),
    QUENDAL_PROVIDE(ORVAGetDBUserName),
    QUENDAL_PROVIDE(ORVASetDBIsConnected),
    QUENDAL_PROVIDE(PluginRegisterDBCursor),
    QUENDAL_PROVIDE(PluginRegisterDBEngine),
    QUENDAL_PROVIDE(RecordSetColumnType),
    QUENDAL_PROVIDE(RecordSetRecordCount),
    QUENDAL_PROVIDE(SetDatabaseRecordBlobColumn),
    QUENDAL_PROVIDE(SetDatabaseRecordBooleanColumn),
    QUENDAL_PROVIDE(setDatabaseRecordColumn),
    QUENDAL_PROVIDE(SetDatabaseRecordCurrencyColumn),
    QUENDAL_PROVIDE(setDatabaseRecordDateColumn),
    QUENDAL_PROVIDE(setDatabaseRecordDoubleColumn),
    QUENDAL_PROVIDE(SetDatabaseRecordInt64Column),
    QUENDAL_PROVIDE(setDatabaseRecordIntegerColumn),
};

} // namespace

LinkProvisions DatabaseLinkProvisions() { return kDatabaseProvisions; }

} // namespace quendal
