// The About box: the program's picture and its version information.
#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QPushButton;

namespace kyd::app {

// The picture shipped beside the program.
std::string DefaultAboutPicture();

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    // versionFile: the file whose version information is shown (the running
    // program); picture: the JPEG shown (nothing when it cannot be read).
    TAboutBox(QWidget* parent, const std::string& versionFile, const std::string& picture);

    QLabel* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Copyright = nullptr;
    QLabel* Description = nullptr;
    QLabel* Comments = nullptr;
    QPushButton* OKButton = nullptr;
};

} // namespace kyd::app
