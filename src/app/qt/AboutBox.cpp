#include "app/qt/AboutBox.h"

#include "app/ProjectRCVersion.h"
#include "platform/program_path.h"

#include <QFrame>
#include <QGuiApplication>
#include <QScreen>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace kyd::app {

namespace {

constexpr int kPictureSize = 85;

QLabel* Caption(const char* name, const char* text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

QLabel* Value(const char* name, QWidget* parent)
{
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setTextFormat(Qt::PlainText);
    return l;
}

} // namespace

std::string DefaultAboutPicture()
{
    return platform::executableDir() + "/KYDTest.jpg";
}

TAboutBox::TAboutBox(QWidget* parent, const std::string& versionFile, const std::string& picture)
    : QDialog(parent)
{
    setObjectName("AboutBox");
    setWindowTitle("About");

    auto* panel = new QFrame(this);
    panel->setObjectName("Panel1");
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(2);

    ProgramIcon = new QLabel(panel);
    ProgramIcon->setObjectName("ProgramIcon");
    ProgramIcon->setFixedSize(kPictureSize, kPictureSize);
    ProgramIcon->setAlignment(Qt::AlignCenter);
    QImageReader reader(QString::fromLocal8Bit(picture.c_str()), "jpeg");
    const QImage image = reader.read();
    if (!image.isNull())
        ProgramIcon->setPixmap(QPixmap::fromImage(
            image.scaled(kPictureSize, kPictureSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));

    ProductName = Value("ProductName", panel);
    Version = Value("Version", panel);
    Copyright = Value("Copyright", panel);
    Description = Value("Description", panel);
    Comments = Value("Comments", panel);
    Comments->setWordWrap(true);
    Comments->setAlignment(Qt::AlignCenter);

    auto* grid = new QGridLayout;
    grid->addWidget(Caption("LabelPN", "Product Name:", panel), 0, 0);
    grid->addWidget(ProductName, 0, 1);
    grid->addWidget(Caption("LabelPV", "Product Version:", panel), 1, 0);
    grid->addWidget(Version, 1, 1);
    grid->addWidget(Caption("LabelCR", "Copyright:", panel), 2, 0);
    grid->addWidget(Copyright, 2, 1);
    grid->addWidget(Description, 3, 0, 1, 2);
    grid->setRowStretch(4, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(ProgramIcon, 0, Qt::AlignTop);
    top->addSpacing(8);
    top->addLayout(grid, 1);

    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->addLayout(top);
    panelLayout->addWidget(Comments);

    OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addWidget(OKButton, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    ProjectRCVersion info(versionFile);
    std::string v;
    if (info.GetProductName(v))
        ProductName->setText(QString::fromLatin1(v.c_str()));
    if (info.GetProductVersion(v))
        Version->setText(QString::fromLatin1(v.c_str()));
    if (info.GetLegalCopyright(v))
        Copyright->setText(QString::fromLatin1(v.c_str()));
    if (info.GetFileDescription(v))
        Description->setText(QString::fromLatin1(v.c_str()));

    // Centred on the screen, not on the window it is shown from.
    adjustSize();
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

} // namespace kyd::app
