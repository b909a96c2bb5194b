// Printed reports: the calls a report layout makes on a page canvas, and
// the service that asks the operator for a printer and hands back a canvas
// on it. Positions are top-left corners in the canvas's device units.
#pragma once

#include <memory>
#include <string>

namespace kyd::platform {

class ReportCanvas {
public:
    virtual ~ReportCanvas() = default;

    // Starts the document (the first page); false when the printer refused.
    virtual bool Begin() = 0;
    virtual void End() = 0;
    virtual void NewPage() = 0;
    virtual void SetBold(bool bold) = 0;
    // Changes the font size by delta points.
    virtual void ChangeFontSize(int delta) = 0;
    virtual void TextOut(int x, int y, const std::string& text) = 0;
    // Metrics in the current font.
    virtual int TextHeight(const std::string& text) = 0;
    virtual int TextWidth(const std::string& text) = 0;
    virtual int PageWidth() const = 0;
    virtual int PageHeight() const = 0;
};

class Printing {
public:
    virtual ~Printing() = default;
    // The print dialog; a canvas on the chosen printer with the job title,
    // or null when the operator cancelled. pdfFile is the file the dialog
    // offers for printing to a file (empty: the dialog's own choice).
    virtual std::unique_ptr<ReportCanvas> ChoosePrinter(const std::string& jobTitle, const std::string& pdfFile) = 0;
};

Printing& printing();
// The caller keeps ownership; nullptr uninstalls.
void setPrinting(Printing* p);

} // namespace kyd::platform
