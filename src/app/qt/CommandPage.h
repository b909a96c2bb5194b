// The TCD page of the main window: group boxes of command buttons only,
// two a row, packed at the top. The buttons come from the command table
// (TCommandPages). The caller places it on its sheet.
#pragma once

#include <QWidget>

class QGroupBox;

namespace kyd::app {

class TCommandPage : public QWidget {
    Q_OBJECT
public:
    explicit TCommandPage(QWidget* sheet);
    void AddGroup(QGroupBox* box);

private:
    int groups_ = 0;
};

} // namespace kyd::app
