/*
** What a conversion tells about itself while it runs: per table, rows read,
** rows written, text values converted from the source code page and the
** time taken, and why a conversion failed.  The schema builder reports to
** the installed ConversionObserver; the application turns the reports into
** log lines and a progress line (conversion_flow.cpp), tests record them.
**
** Log texts (one line each):
**   summary  "Table " + T [+ " as " + N] + ": " + r + " rows read, " + w +
**            " rows written, " + c + " values converted from " + code page
**            + ", " + ms + " ms"
**   failure  "Unable to convert table " + T + ": " + r + " rows read, " + w +
**            " rows written: " + message
** where T is the source table, N the new name of a renamed table.
**
** The observer is borrowed and process-wide (the converter runs one
** conversion at a time, on one thread).
*/
#ifndef MARLUNE_CONVERSION_REPORT_H
#define MARLUNE_CONVERSION_REPORT_H

#include <cstdint>
#include <string>

namespace marlune {

struct TableReport {
  std::string sourceName; /* UTF-8 */
  std::string targetName;
  int64_t rowsRead = 0;
  int64_t rowsWritten = 0;
  int64_t valuesConverted = 0;
  int64_t milliseconds = 0;
  std::string failure; /* why the table failed; empty when it converted */
  bool failed() const { return !failure.empty(); }
};

/* Progress is reported every kProgressRows rows read. */
inline constexpr int64_t kProgressRows = 1000;

class ConversionObserver {
 public:
  virtual ~ConversionObserver() = default;
  virtual void TableProgress(const TableReport& report) = 0;
  virtual void TableFinished(const TableReport& report, const std::string& codePageName) = 0;
  /* A failure, as its log line. */
  virtual void ConversionFailed(const std::string& line) = 0;
};

/* Installs the observer (borrowed; null: reports go nowhere). */
void SetConversionObserver(ConversionObserver* observer);
ConversionObserver* InstalledConversionObserver();

std::string TableSummaryLine(const TableReport& report, const std::string& codePageName);
std::string TableFailureLine(const TableReport& report);

} // namespace marlune

#endif
