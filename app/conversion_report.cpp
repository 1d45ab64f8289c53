/*
** What a conversion tells about itself (conversion_report.h).
*/
#include "app/conversion_report.h"

namespace marlune {

namespace {

ConversionObserver* gObserver = nullptr;

std::string TableTitle(const TableReport& report) {
  if (report.targetName.empty() || report.targetName == report.sourceName) return report.sourceName;
  return report.sourceName + " as " + report.targetName;
}

std::string Counts(const TableReport& report) {
  return std::to_string(report.rowsRead) + " rows read, " + std::to_string(report.rowsWritten) + " rows written";
}

} // namespace

void SetConversionObserver(ConversionObserver* observer) { gObserver = observer; }

ConversionObserver* InstalledConversionObserver() { return gObserver; }

std::string TableSummaryLine(const TableReport& report, const std::string& codePageName) {
  return "Table " + TableTitle(report) + ": " + Counts(report) + ", " + std::to_string(report.valuesConverted) +
         " values converted from " + codePageName + ", " + std::to_string(report.milliseconds) + " ms";
}

std::string TableFailureLine(const TableReport& report) {
  return "Unable to convert table " + report.sourceName + ": " + Counts(report) + ": " + report.failure;
}

} // namespace marlune
