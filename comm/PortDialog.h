#pragma once
// The port settings dialog of TVOXComm32: every port parameter on one fixed
// page, plus a few device presets. The values travel as a plain struct so
// applying them can be exercised without showing the dialog.
#include <QDialog>
#include <QString>
#include <array>

#include "comm/VOXComm32Types.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class TVOXComm32;

// Items of the DTR and RTS boxes ("Toggle" only in the RTS box).
enum TPortDialogLine { pdlOff, pdlOn, pdlHighZ, pdlHandshake, pdlToggle };
constexpr int kPortDialogLineCount = 5;
extern const char* const kPortDialogLineNames[kPortDialogLineCount];

// Presets offered by the dialog; item 0 ("---") leaves the settings alone.
constexpr int kPortDialogPresetCount = 6;
extern const char* const kPortDialogPresetNames[kPortDialogPresetCount];

// What the dialog's controls hold.
struct TPortDialogValues {
    QString Port;     // the port box's text
    QString BaudRate; // texts of the list-only boxes
    QString DataBits;
    QString Parity;
    QString StopBits;
    TPortDialogLine DTRLine = pdlOn;
    TPortDialogLine RTSLine = pdlOn;
    // Poll period, then ReadInterval, ReadTotalConst, ReadTotalMult,
    // WriteTotalConst, WriteTotalMult, as typed.
    std::array<QString, 6> Timeouts;
    bool CTSHandshake = false;
    bool DSRHandshake = false;
    VOXComm32SkipEvents SkipEvents;
    int Preset = 0; // index into kPortDialogPresetNames
};

// The values the dialog opens with for the component's current settings.
TPortDialogValues PortDialogValuesOf(const TVOXComm32& comm);
// Applies the values of a dialog closed with OK, each through the property's
// own setter, the preset last.
void ApplyPortDialogValues(TVOXComm32& comm, const TPortDialogValues& values);

// The dialog itself, laid out in pixels on a 280 x 269 client area.
class TPortDialog : public QDialog {
    Q_OBJECT
public:
    // Builds the controls and fills them from the component (the port box
    // through FillPortList and SelectPortInList).
    TPortDialog(TVOXComm32& comm, const QString& caption, QWidget* parent = nullptr);

    // Widens the controls, their positions and the dialog in proportion until
    // every caption and list item fits the font in use (the pixel layout was
    // drawn for a smaller classic dialog font), and gives the skip boxes a row
    // of their own below the columns, where their captions show; the buttons
    // move one row down. Done once, before the dialog shows.
    void FitTexts();

    TPortDialogValues Values() const;
    // Shows the values (the port text included).
    void SetValues(const TPortDialogValues& values);

    QComboBox* cmbPort = nullptr;
    QComboBox* cmbBaudRate = nullptr;
    QComboBox* cmbDataBits = nullptr;
    QComboBox* cmbParity = nullptr;
    QComboBox* cmbStopBits = nullptr;
    QComboBox* cmbDTR = nullptr;
    QComboBox* cmbRTS = nullptr;
    QComboBox* cmbPreset = nullptr;
    std::array<QLineEdit*, 6> edtTimeouts{};
    QCheckBox* chkCTSHandshake = nullptr;
    QCheckBox* chkDSRHandshake = nullptr;
    std::array<QCheckBox*, kSkipEventCount> chkSkipEvents{};
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

private:
    bool m_fitted = false;
};
