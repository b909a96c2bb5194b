// The main window's item pages (Info/Statistics, Service, Configuration,
// Config2): one button per configuration or data item, laid out from the
// item table. A button reads its item and shows it in the item editor, a
// result window or a message; the editor writes a changed value back.
#pragma once

#include <QWidget>

#include <functional>
#include <map>

class QAbstractButton;
class QGridLayout;
class QGroupBox;
class QPushButton;

namespace kyd::link {
class TPLVRCmdF;
}

namespace kyd::app {

struct ItemPageLayout;

class TItemPage : public QWidget {
    Q_OBJECT
public:
    // Fills sheet (a page of the main window) with the layout's groups. The
    // command layer is asked for on every use (it may be replaced).
    TItemPage(QWidget* sheet, const ItemPageLayout& layout, std::function<link::TPLVRCmdF*()> commandLayer);

    // Handlers.
    void ReadDataButtonClick(QAbstractButton* sender);

    // The button of an item (null when the page has none).
    QPushButton* ItemButton(int item) const;
    const std::map<int, QPushButton*>& ItemButtons() const { return buttons_; }
    QGroupBox* Group(const char* name) const;
    // Adds a group box after those of the page's items.
    void AddGroup(QGroupBox* box);

private:
    std::function<link::TPLVRCmdF*()> commandLayer_;
    std::map<int, QPushButton*> buttons_;
    QGridLayout* grid_ = nullptr;
    int groups_ = 0;
};

// Shows an item just read (its payload in the command layer's model) as
// its kind asks: the editor (and the write-back of a changed value), a
// result window or a message. An item the table has not shows nothing.
void ShowConfigItem(QWidget* owner, link::TPLVRCmdF& cmd, int item);

} // namespace kyd::app
