// The port selection dialog.
#include "serial/qt/SioSelCom.h"

#include "platform/port_resolver.h"
#include "platform/qt/ui_scale.h"
#include "platform/serial_device.h"
#include "serial/SioPort.h"
#include "serial/SioPosix.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace sio {

namespace pf = kyd::platform;

bool UseDispatcherForAvail = true;
bool ShowPortsInUse = true;

namespace {
constexpr int kLastListedPort = 50;
}

bool IsPortAvailable(int n)
{
    if (n <= 0)
        return false;
    const std::string path = pf::resolvePortPath(n);
    if (path.empty())
        return false;
    if (UseDispatcherForAvail) {
        TSioPosixDispatcher d;
        const int r = d.OpenCom("COM" + std::to_string(n), 64, 64);
        if (r >= 0) {
            d.CloseCom();
            return true;
        }
        return ShowPortsInUse && (r == ecodes::ecAlreadyOpen || r == ecodes::ecPermissionDenied);
    }
    auto device = pf::createPosixSerialDevice();
    const int r = device->open(path);
    if (r == pf::kDevOk) {
        device->close();
        return true;
    }
    return ShowPortsInUse && (r == pf::kDevBusy || r == pf::kDevPermission);
}

TComSelectForm::TComSelectForm(QWidget* parent, std::function<bool(int)> probe)
    : QDialog(parent), probe_(probe ? std::move(probe) : std::function<bool(int)>(IsPortAvailable))
{
    setObjectName("ComSelectForm");
    setWindowTitle("Select Port");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    auto* label1 = new QLabel("The configured serial port is not valid.", this);
    label1->setObjectName("Label1");
    auto* label2 = new QLabel("Please choose another port.", this);
    label2->setObjectName("Label2");

    // The layout's design sizes, scaled for the font and widened alike until
    // the message fits inside its bevel, with the bevel's margin on either
    // side.
    pf::UiScale s = pf::UiScale::For(this);
    const QFontMetrics fm(font());
    for (const QLabel* l : {label1, label2})
        s.FitText(font(), l->text(), 181);
    const int labelHeight = std::max(fm.height(), s.Y(13));
    setFixedSize(s.Size({220, 131}));

    auto* bevel = new QFrame(this);
    bevel->setObjectName("Bevel1");
    bevel->setFrameShape(QFrame::Box);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(s.Rect({8, 8, 201, 42}));
    bevel->lower();
    label1->setGeometry(s.X(18), s.Y(14), s.X(181), labelHeight);
    label2->setGeometry(s.X(18), s.Y(30), s.X(181), labelHeight);

    PortsComboBox = new QComboBox(this);
    PortsComboBox->setObjectName("PortsComboBox");
    PortsComboBox->setGeometry(s.X(8), s.Y(64), s.X(201), PortsComboBox->sizeHint().height());

    OkBtn = new QPushButton("OK", this);
    OkBtn->setObjectName("OkBtn");
    OkBtn->setGeometry(s.Rect({8, 95, 85, 27}));
    OkBtn->setDefault(true);
    AbortBtn = new QPushButton("Cancel", this);
    AbortBtn->setObjectName("AbortBtn");
    AbortBtn->setGeometry(s.Rect({124, 95, 85, 27}));

    setTabOrder(OkBtn, AbortBtn);
    setTabOrder(AbortBtn, PortsComboBox);

    connect(OkBtn, &QPushButton::clicked, this, [this] {
        if (SelectedComNum())
            accept();
    });
    connect(AbortBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(PortsComboBox, &QComboBox::currentIndexChanged, this,
            [this](int) { OkBtn->setEnabled(SelectedComNum().has_value()); });

    FormCreate();
}

void TComSelectForm::FormCreate()
{
    for (int n = 1; n <= kLastListedPort; ++n)
        if (probe_(n))
            PortsComboBox->addItem(QString::fromStdString(ComName(n)));
    if (PortsComboBox->count() > 0)
        PortsComboBox->setCurrentIndex(0);
    // OK on an empty list would give no port at all.
    OkBtn->setEnabled(SelectedComNum().has_value());
}

std::string TComSelectForm::SelectedCom() const
{
    return PortsComboBox->currentIndex() < 0 ? std::string() : PortsComboBox->currentText().toStdString();
}

std::optional<int> TComSelectForm::SelectedComNum() const
{
    const std::string s = SelectedCom();
    if (s.size() < 4)
        return std::nullopt;
    std::int32_t n = 0;
    if (!Str2LongZ(s.substr(3, 252), n) || n <= 0 || n > 0xFFFF)
        return std::nullopt;
    return n;
}

void InstallPortPromptDialog()
{
    SetDefaultPortPrompt([]() -> std::optional<int> {
        TComSelectForm form(QApplication::activeWindow());
        if (form.exec() != QDialog::Accepted)
            return std::nullopt;
        return form.SelectedComNum();
    });
}

} // namespace sio
