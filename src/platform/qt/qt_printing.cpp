#include "platform/qt/qt_printing.h"

#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>

namespace kyd::platform {

namespace {

QString Latin1(const std::string& s)
{
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

class PrinterCanvas final : public ReportCanvas {
public:
    explicit PrinterCanvas(std::unique_ptr<QPrinter> printer) : printer_(std::move(printer))
    {
        // The application's face at a plain report size, made smaller where
        // the page is too narrow for 80 capital letters (the reports lay
        // out their columns in character widths). Metrics come from the
        // printer's device, not the screen.
        font_ = QFont(QApplication::font().family(), 10);
        while (font_.pointSize() > 5 && 80 * Metrics().horizontalAdvance('H') > printer_->width())
            font_.setPointSize(font_.pointSize() - 1);
    }
    ~PrinterCanvas() override
    {
        if (painter_.isActive())
            painter_.end();
    }

    bool Begin() override
    {
        if (!painter_.begin(printer_.get()))
            return false;
        painter_.setFont(font_);
        return true;
    }
    void End() override
    {
        if (painter_.isActive())
            painter_.end();
    }
    void NewPage() override { printer_->newPage(); }
    void SetBold(bool bold) override
    {
        font_.setBold(bold);
        Apply();
    }
    void ChangeFontSize(int delta) override
    {
        font_.setPointSize(std::max(1, font_.pointSize() + delta));
        Apply();
    }
    void TextOut(int x, int y, const std::string& text) override
    {
        // Positions are the text's top-left corner.
        painter_.drawText(x, y + Metrics().ascent(), Latin1(text));
    }
    int TextHeight(const std::string& /*text*/) override { return Metrics().height(); }
    int TextWidth(const std::string& text) override { return Metrics().horizontalAdvance(Latin1(text)); }
    int PageWidth() const override { return printer_->width(); }
    int PageHeight() const override { return printer_->height(); }

private:
    QFontMetrics Metrics() const { return QFontMetrics(font_, printer_.get()); }
    void Apply()
    {
        if (painter_.isActive())
            painter_.setFont(font_);
    }

    std::unique_ptr<QPrinter> printer_;
    QPainter painter_;
    QFont font_;
};

} // namespace

std::unique_ptr<ReportCanvas> QtPrinting::ChoosePrinter(const std::string& jobTitle, const std::string& pdfFile)
{
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setDocName(Latin1(jobTitle));
    if (!pdfFile_.empty()) {
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(QString::fromStdString(pdfFile_));
    } else {
        QPrintDialog dialog(printer.get(), QApplication::activeWindow());
        dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
        // The file offered for printing to a file, in place of the dialog's
        // choice in the home folder; the printer chosen stays the default
        // one (setting the printer's output file would choose the file).
        if (!pdfFile.empty())
            if (auto* name = dialog.findChild<QLineEdit*>("filename"))
                name->setText(QString::fromStdString(pdfFile));
        if (dialog.exec() != QDialog::Accepted)
            return nullptr;
    }
    return std::make_unique<PrinterCanvas>(std::move(printer));
}

} // namespace kyd::platform
