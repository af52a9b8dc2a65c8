#pragma once

// How data flows: a key, click or typed text runs its handler (NumDigit_Click, Wave_Click,
// FreqValue_Change, ...), which calls the panel logic on PanelState and paints what it says;
// Enter_Click asks the logic for the command, hands it to the serial link MSComm1 (or, through
// varlo-scpi, to the server link) and, once it has gone, lets the logic clear what was sent.
// Through the server, what the generator holds comes back to Generator_Change, which lets the
// logic take it into the settings the user has not changed, and paints them.

#include "panel/panel_state.h"
#include "panel/server_connection.h"
#include "panel/user_dialogs.h"
#include "protocol/generator_view.h"
#include "serial/serial_link.h"

#include <QMainWindow>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace varlo {

class OptionButton;
class StepBar;

// The panel window. Controls carry their names as objectName, for code and tests; screen
// readers read what a person reads: captions, the window's title, the display as
// "Frequency" and the duty bar by its label, and a pending mark as "changed, not yet sent".
class Varlo54 final : public QMainWindow {
    Q_OBJECT

public:
    // With a connection to a server (loadServerConnection), the panel goes through
    // varlo-scpi there instead of a serial port, and its title names the server.
    explicit Varlo54(UserDialogs& dialogs, std::unique_ptr<ServerConnection> server = nullptr,
                     QWidget* parent = nullptr);
    ~Varlo54() override;

    // Start-up: the panel's start-up values, then the port scan with its questions; through
    // the server, what the generator holds instead, or a box saying why the server cannot be
    // reached. False when no port was accepted and the program has been ended.
    bool Form_Load();

    const PanelState& panelState() const { return state_; }

protected:
    // The keys are filled with what lies beneath them before the panel is first seen, and
    // again when the palette or the style changes what that is.
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildControls();
    void buildKeypad(QWidget* client);
    void buildSettings();
    void buildDuty();
    void orderTabs();
    void wireEvents();
    void backAllKeys();

    // Keypad.
    void NumDigit_Click(int digit);
    void NumPoint_Click();
    void Clear_Click();
    void FreqValue_Change(const QString& text);
    void putIntoFreqValue(const std::string& text);

    // Output settings.
    void Unit_Click(Unit unit);
    void Wave_Click(Waveform waveform);
    void DBS_Click(bool on);
    void DutyScroll_Change(int value);

    // Sending and stopping.
    void Enter_Click();
    bool sendToGenerator(const std::string& command);
    void Exit_Click();
    void ShowCommError(std::int16_t code);
    void ShowServerError(const ServerFailure& failure);

    // What the generator holds, told by the server.
    void Generator_Change(const GeneratorState& held);
    // Selects the options and sets the duty bar as the state says, without running their
    // handlers.
    void paintSettings();

    // Paints the controls red or button face, as the state's pending marks say, and says so
    // in words.
    void paintMarks();

    UserDialogs& dialogs_;
    PanelState state_;
    SerialLink MSComm1;
    std::unique_ptr<ServerConnection> server_; // only when going through varlo-scpi
    GeneratorView view_;

    QGroupBox* Frame1 = nullptr;
    QLineEdit* FreqValue = nullptr;
    QPushButton* NumKeys[10] = {};
    QPushButton* NumPoint = nullptr;
    QPushButton* Clear = nullptr;
    QPushButton* Enter = nullptr;
    QGroupBox* WaveForm = nullptr;
    OptionButton* WaveSin = nullptr;
    OptionButton* WaveSqu = nullptr;
    OptionButton* WaveTri = nullptr;
    OptionButton* UnitHz = nullptr;
    OptionButton* UnitKHz = nullptr;
    OptionButton* UnitMHz = nullptr;
    QGroupBox* DBS = nullptr;
    OptionButton* DBSOn = nullptr;
    OptionButton* DBSOff = nullptr;
    StepBar* DutyScroll = nullptr;
    QLabel* DutyLabel = nullptr;
    QLabel* DutyUnitLabel = nullptr;
    QLabel* DutyValueLabel = nullptr;
    QAction* Exit = nullptr;

    // The key and option-button groups, with the digit, unit, waveform code and
    // attenuator state (1 on, 0 off) as button ids.
    QButtonGroup* NumGroup = nullptr;
    QButtonGroup* UnitGroup = nullptr;
    QButtonGroup* WaveGroup = nullptr;
    QButtonGroup* DBSGroup = nullptr;
};

} // namespace varlo
