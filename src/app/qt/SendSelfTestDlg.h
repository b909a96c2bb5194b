// The self-test window: the dispenser's sensor states and calibration
// values, one page per part (note qualifier, the note feeders, stack
// presenter, note transport). Each read sends the self-test command of the
// page shown; "Continuous read" repeats it every 2 s while the window is
// shown. What the rows show is decoded in app/SelfTestData.h.
#pragma once

#include "app/SelfTestData.h"
#include "app/qt/CloseAfterRead.h"

#include <QDialog>
#include <QIcon>

#include <array>
#include <string>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QPushButton;
class QTabWidget;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace kyd::link {
class TPLVRCmdF;
}

namespace kyd::app {

class TSendSelfDlg : public CloseAfterReadDialog {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 2000;

    // The command layer is not owned (null: nothing can be read).
    TSendSelfDlg(QWidget* owner, link::TPLVRCmdF* cmd);

    // Decodes one self-test payload into the page of the selector (-1 the
    // note qualifier, 1..8 the feeders, 0 the stack presenter, 9 the note
    // transport).
    void ShowSelfTestData(int selector, const std::string& payload);
    // The selector of the page shown; -2 on the Feeders page with no feeder
    // selected.
    int CurrentSelector() const;
    bool Reading() const { return reading_; }
    // The feeder selected (1..8), 0 for none; SelectFeeder(0) clears it.
    int Feeder() const;
    void SelectFeeder(int feeder);
    // The picture of a state value 0..4.
    QIcon StateIcon(int state) const;

    // Handlers.
    void SendCmdBtnClick();
    void Timer1Timer();
    void CheckBoxContinueClick();
    void TabSheetFeedersShow();
    void TabControlFeederChange();
    void PageControlSendSelfTestDataChange();
    void PageControlSendSelfTestDataChanging(int leaving);

    // Components.
    QTabWidget* PageControlSendSelfTestData = nullptr;
    QWidget* TabSheetNQ = nullptr;
    QWidget* TabSheetFeeders = nullptr;
    QWidget* TabSheetSP = nullptr;
    QWidget* TabSheetNT = nullptr;
    QWidget* HeaderControlNQ = nullptr;
    QTreeWidget* ListViewSSTDNQ = nullptr;
    QTreeWidget* ListViewNQSensor = nullptr;
    QWidget* TabControlFeeder = nullptr;
    QButtonGroup* FeederButtons = nullptr; // id = feeder 1..8; none checked allowed
    QTreeWidget* ListViewSSTDFeed = nullptr;
    QLabel* LabelDenom = nullptr;
    QLabel* LabelNSVert = nullptr;
    QLabel* LabelNSHorz = nullptr;
    QTreeWidget* ListViewSSTDSP = nullptr;
    QTreeWidget* ListViewSSTDNT = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* SendCmdBtn = nullptr;
    QCheckBox* CheckBoxContinue = nullptr;
    QTimer* Timer1 = nullptr;

protected:
    // While a read runs, closing cancels it; the window goes once it ended.
    bool StopForClose() override;
    void hideEvent(QHideEvent* e) override;

private:
    void BuildNoteQualifier();
    void BuildFeeders();
    QTreeWidget* NewSensorList(QWidget* parent, const char* name, const std::vector<SensorRow>& rows);
    void MakeIcons();
    void PlaceHeaderGroups();
    void UpdateReadButton();
    void StopContinuous();
    void ShowRow(QTreeWidgetItem* item, const SensorRow& row);
    void ShowRows(QTreeWidget* list, const std::vector<SensorRow>& rows);
    void ShowNoteQualifier();
    void ShowFeeder();

    link::TPLVRCmdF* cmd_;
    bool reading_ = false;
    bool readCancelled_ = false; // the series was stopped during a read
    int currentPage_ = 0;
    std::array<QIcon, 5> icons_;
    QLabel* sensorA_ = nullptr;
    QLabel* sensorB_ = nullptr;
    QLabel* headerSpacer_ = nullptr;
    NoteQualifierPage nq_;
    FeederPage feeder_ = NewFeederPage();
    SensorPage sp_ = NewStackPresenterPage();
    SensorPage nt_ = NewNoteTransportPage();
};

// What the main window's self-test button does: reads "GA"; when that
// succeeded, shows the window with the note qualifier page filled.
void ShowSelfTestWindow(QWidget* owner, link::TPLVRCmdF& cmd);

} // namespace kyd::app
