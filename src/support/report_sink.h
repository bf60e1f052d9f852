// Where the report of a run goes: the report page's rich-text control in the
// wizard, standard output in unattended runs, a list of lines in tests.
#pragma once

#include <QString>

namespace kelvaro {

class ReportSink {
 public:
  virtual ~ReportSink() = default;
  // Appends text as a new last line. fontSize 0 and an empty fontName keep
  // the formatting in force at the end of the report; CR LF inside text makes
  // several lines.
  virtual void AppendLine(const QString& text, int fontSize, const QString& fontName) = 0;
};

}  // namespace kelvaro
