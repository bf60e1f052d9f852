// The report page's rich-text control, which is also where the update
// engine writes its report (TdmUpdateCommon::InitLog binds it).
#pragma once

#include <QTextEdit>

#include "support/report_sink.h"

namespace kelvaro {

class ReportTextEdit : public QTextEdit, public ReportSink {
 public:
  explicit ReportTextEdit(QWidget* parent = nullptr);

  // Appends text and a line break at the end of the document. A non-zero
  // fontSize (points) or a font name applies to the new text and stays in
  // force for the lines after it; 0 and an empty name keep the formatting at
  // the end. The control then takes the focus, so the newest line is in view.
  void AppendLine(const QString& text, int fontSize, const QString& fontName) override;
};

}  // namespace kelvaro
