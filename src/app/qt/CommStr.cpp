#include "app/qt/CommStr.h"

#include "app/qt/Latin1.h"
#include "platform/qt/ui_scale.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QVBoxLayout>

#include <string>

namespace kyd::app {

TComStringDlg::TComStringDlg(platform::IniFile& ini, QWidget* parent) : ToolWindow(ini, "ComWindow", true, parent)
{
    setObjectName("ComStringDlg");
    setWindowTitle("Communication Strings");
    setMinimumHeight(platform::UiScale::For(this).Y(26));

    CommStrings = new QPlainTextEdit(this);
    CommStrings->setObjectName("CommStrings");
    CommStrings->setReadOnly(true);
    CommStrings->setLineWrapMode(QPlainTextEdit::NoWrap);
    CommStrings->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    CommStrings->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    CommStrings->setMaximumBlockCount(kMaxLines);
    PaintLimeOnBlack(CommStrings);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(CommStrings);

    RestoreFromIni(100, 100, 120, 480);
}

void TComStringDlg::AddLine(const std::string& text)
{
    // Device bytes, shown one for one.
    if (text.size() <= kMaxLineChars) {
        CommStrings->appendPlainText(Latin1(text));
    } else {
        CommStrings->appendPlainText(Latin1(text.substr(0, kMaxLineChars) + " ... (" +
                                            std::to_string(text.size() - kMaxLineChars) +
                                            " more characters not shown)"));
    }
    QScrollBar* bar = CommStrings->verticalScrollBar();
    bar->setValue(bar->maximum());
}

QStringList TComStringDlg::Lines() const
{
    QStringList out;
    if (CommStrings->document()->isEmpty())
        return out;
    for (QTextBlock b = CommStrings->document()->firstBlock(); b.isValid(); b = b.next())
        out << b.text();
    return out;
}

} // namespace kyd::app
