// Printing through Qt: the standard print dialog (printing to a file
// allowed) and a canvas drawing with QPainter on the chosen QPrinter. With
// an output file set, no dialog is shown and the report goes to that PDF
// file (Qt's own PDF output: no printer needed).
#pragma once

#include "platform/report_canvas.h"

namespace kyd::platform {

class QtPrinting final : public Printing {
public:
    explicit QtPrinting(std::string pdfFile = {}) : pdfFile_(std::move(pdfFile)) {}
    std::unique_ptr<ReportCanvas> ChoosePrinter(const std::string& jobTitle, const std::string& pdfFile) override;

private:
    std::string pdfFile_;
};

} // namespace kyd::platform
