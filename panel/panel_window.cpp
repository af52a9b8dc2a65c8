#include "panel/panel_window.h"

#include "entry/keypad.h"
#include "panel/accessible_controls.h"
#include "panel/key_backing.h"
#include "protocol/enter.h"
#include "protocol/generator_limits.h"
#include "serial/comm_error_text.h"
#include "serial/port_discovery.h"
#include "settings/settings.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalBlocker>

#include <array>
#include <limits>
#include <utility>

// The icon's resource is compiled into this static library, which has to register it by
// hand, and only from outside any namespace.
static void registerPanelIcon()
{
    Q_INIT_RESOURCE(icons);
}

namespace varlo {

namespace {

// The panel was drawn in twips; 15 of them make one pixel at 96 dots per inch. Qt scales
// the pixels with the screen, so the whole panel grows together at higher resolutions.
constexpr int TwipsPerPixel = 15;

constexpr QRect twips(int left, int top, int width, int height)
{
    return {left / TwipsPerPixel, top / TwipsPerPixel, width / TwipsPerPixel,
            height / TwipsPerPixel};
}

// The client area below the menu bar: 8385 x 6135 twips.
constexpr QSize ClientSize{8385 / TwipsPerPixel, 6135 / TwipsPerPixel};

const QColor PendingRed{255, 0, 0};
const QColor DisplayBlue{0, 0, 255};

// What a pending mark says to a listener and under the pointer.
const QString PendingWords = QStringLiteral("changed, not yet sent");

// The panel's fonts are MS Sans Serif; where that is missing, the nearest narrow sans-serif
// of the same size and weight stands in, so the captions fit their buttons.
QFont panelFont(qreal points, QFont::Weight weight = QFont::Normal)
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Helvetica"), QStringLiteral("DejaVu Sans Condensed")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setWeight(weight);
    return font;
}

// Every control answers to its own name in code and tests. Screen readers read what a
// person reads instead: Qt names a button or frame by its caption, a window by its title.
template <typename Control> Control* named(Control* control, const QString& name)
{
    control->setObjectName(name);
    return control;
}

QPushButton* makeKey(QWidget* parent, const QString& name, const QString& caption,
                     const QRect& place, const QFont& font)
{
    auto* key = named(new QPushButton(caption, parent), name);
    key->setGeometry(place);
    key->setFont(font);
    // No key is the default button: Return in the display presses nothing.
    key->setAutoDefault(false);
    key->setDefault(false);
    return key;
}

OptionButton* makeOption(QWidget* parent, const QString& name, const QString& caption,
                         const QRect& place)
{
    auto* option = named(new OptionButton(caption, parent), name);
    option->setGeometry(place);
    return option;
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, const QRect& place)
{
    auto* label = named(new QLabel(caption, parent), name);
    label->setGeometry(place);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QGroupBox* makeFrame(QWidget* parent, const QString& name, const QString& caption,
                     const QRect& place)
{
    auto* frame = named(new QGroupBox(caption, parent), name);
    frame->setGeometry(place);
    // Qt would name a frame inside another after the outer frame's caption.
    frame->setAccessibleName(caption);
    return frame;
}

// The selected option is the one Tab stops at in its group; the arrow keys move on from there.
// Left to itself, Qt stops at the option that last had the focus, and at the group's first
// option before any has had it, which need not be the selected one.
void makeTabStop(QAbstractButton* selected)
{
    for (QAbstractButton* option : selected->group()->buttons()) {
        const int policy = option->focusPolicy();
        option->setFocusPolicy(
            Qt::FocusPolicy(option == selected ? policy | Qt::TabFocus : policy & ~Qt::TabFocus));
    }
}

void setColour(QWidget* control, QPalette::ColorRole role, const QColor& colour)
{
    QPalette palette = control->palette();
    palette.setColor(role, colour);
    control->setPalette(palette);
}

// A pending mark in words, for a listener and under the pointer; none once it is sent.
void sayMark(QWidget* control, bool pending)
{
    const QString words = pending ? PendingWords : QString();
    control->setAccessibleDescription(words);
    control->setToolTip(words);
}

QColor buttonFace(const QWidget* control)
{
    return QApplication::palette(control).color(QPalette::Button);
}

// Where each digit key sits: Num1 to Num3 belong to Frame1, the others to the window and
// are drawn over the frame, so that the keypad reads as one grid.
struct KeyPlace {
    int digit;
    bool onFrame;
    int left;
    int top;
};
constexpr std::array<KeyPlace, 10> KeyPlaces{{
    {1, true, 480, 4200},
    {2, true, 1920, 4200},
    {3, true, 3360, 4200},
    {4, false, 600, 3480},
    {5, false, 2040, 3480},
    {6, false, 3480, 3480},
    {7, false, 600, 2640},
    {8, false, 2040, 2640},
    {9, false, 3480, 2640},
    {0, false, 600, 5160},
}};
constexpr int KeyWidth = 1095;
constexpr int KeyHeight = 495;

} // namespace

Varlo54::Varlo54(UserDialogs& dialogs, std::unique_ptr<ServerConnection> server, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs), server_(std::move(server))
{
    registerPanelIcon();
    setObjectName(QStringLiteral("Varlo54"));
    QString title = QStringLiteral("Function Generator");
    if (server_)
        title += QStringLiteral(" \u2014 ") + QString::fromStdString(serverText(server_->server()));
    setWindowTitle(title);
    // A fixed panel: title bar with the close box only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFont(panelFont(8.25));

    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/varlo-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/varlo-32.png"), QSize(32, 32));
    setWindowIcon(icon);

    // EXIT is the whole menu: an item straight on the bar, so Alt+X runs it at once.
    Exit = new QAction(QStringLiteral("E&XIT"), this);
    Exit->setObjectName(QStringLiteral("Exit"));
    menuBar()->addAction(Exit);

    buildControls();
    wireEvents();

    // The window takes the size of the client area plus the menu bar, and keeps it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    FreqValue->setFocus();
}

Varlo54::~Varlo54() = default;

void Varlo54::buildControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setFixedSize(ClientSize);
    setCentralWidget(client);

    Frame1 = makeFrame(client, QStringLiteral("Frame1"), QStringLiteral("Function Generitor"),
                       twips(120, 120, 8175, 5895));
    // Qt has no window-frame colour of its own; the frame caption takes the text colour,
    // which is what the standard schemes give the window frame.
    setColour(Frame1, QPalette::WindowText,
              QApplication::palette(Frame1).color(QPalette::WindowText));

    FreqValue = named(new QLineEdit(Frame1), QStringLiteral("FreqValue"));
    // Read as its name with the text it shows as its value.
    FreqValue->setAccessibleName(QStringLiteral("Frequency"));
    FreqValue->setGeometry(twips(480, 360, 5895, 1695));
    FreqValue->setFont(panelFont(72, QFont::Bold));
    FreqValue->setMaxLength(std::numeric_limits<int>::max());
    setColour(FreqValue, QPalette::Text, DisplayBlue);
    setColour(FreqValue, QPalette::Base,
              QApplication::palette(FreqValue).color(QPalette::HighlightedText));

    buildSettings();
    buildDuty();
    // The window's own keys come last so that they lie on top of Frame1.
    buildKeypad(client);
    orderTabs();
}

void Varlo54::buildKeypad(QWidget* client)
{
    const QFont keyFont = panelFont(12, QFont::Bold);
    NumGroup = new QButtonGroup(this);
    NumGroup->setExclusive(false);
    for (const KeyPlace& place : KeyPlaces) {
        QWidget* parent = place.onFrame ? static_cast<QWidget*>(Frame1) : client;
        QPushButton* key =
            makeKey(parent, QStringLiteral("Num%1").arg(place.digit), QString::number(place.digit),
                    twips(place.left, place.top, KeyWidth, KeyHeight), keyFont);
        NumKeys[place.digit] = key;
        NumGroup->addButton(key, place.digit);
    }
    NumPoint = makeKey(client, QStringLiteral("NumPoint"), QStringLiteral("."),
                       twips(2040, 5160, KeyWidth, KeyHeight), panelFont(13.5, QFont::Bold));
    // Enter keeps the standard look of the other keys.
    Enter = makeKey(client, QStringLiteral("Enter"), QStringLiteral("Enter"),
                    twips(4800, 5160, 1695, KeyHeight), keyFont);

    // Clear sits in the frame, in the keypad's bottom row, with a red face.
    Clear = makeKey(Frame1, QStringLiteral("Clear"), QStringLiteral("Clear"),
                    twips(3360, 5040, KeyWidth, KeyHeight), keyFont);
    setColour(Clear, QPalette::Button, PendingRed);
}

void Varlo54::backAllKeys()
{
    const std::array<QPushButton*, 13> keys{
        NumKeys[0], NumKeys[1], NumKeys[2], NumKeys[3], NumKeys[4], NumKeys[5], NumKeys[6],
        NumKeys[7], NumKeys[8], NumKeys[9], NumPoint,   Clear,      Enter};
    backKeys(*this, *Frame1, keys);
}

void Varlo54::showEvent(QShowEvent* event)
{
    backAllKeys();
    QMainWindow::showEvent(event);
}

void Varlo54::changeEvent(QEvent* event)
{
    // The window hears of a new palette or style before its controls take it on, so the
    // keys are filled again once all of them have.
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        QMetaObject::invokeMethod(this, &Varlo54::backAllKeys, Qt::QueuedConnection);
    QMainWindow::changeEvent(event);
}

void Varlo54::buildSettings()
{
    WaveForm = makeFrame(Frame1, QStringLiteral("WaveForm"), QStringLiteral("Wave Format"),
                         twips(4680, 2400, 3375, 855));
    const QFont waveFont = panelFont(9.75);
    WaveSin = makeOption(WaveForm, QStringLiteral("WaveSin"), QStringLiteral("Sin"),
                         twips(120, 360, 615, 255));
    WaveSqu = makeOption(WaveForm, QStringLiteral("WaveSqu"), QStringLiteral("Square"),
                         twips(1080, 360, 975, 255));
    WaveTri = makeOption(WaveForm, QStringLiteral("WaveTri"), QStringLiteral("Triangle"),
                         twips(2160, 360, 1095, 255));
    WaveGroup = new QButtonGroup(this);
    WaveGroup->addButton(WaveSin, static_cast<int>(Waveform::Sine));
    WaveGroup->addButton(WaveSqu, static_cast<int>(Waveform::Square));
    WaveGroup->addButton(WaveTri, static_cast<int>(Waveform::Triangle));

    const QFont unitFont = panelFont(13.5);
    UnitHz = makeOption(Frame1, QStringLiteral("UnitHz"), QStringLiteral("Hz"),
                        twips(6720, 360, 1095, 375));
    UnitKHz = makeOption(Frame1, QStringLiteral("UnitKHz"), QStringLiteral("KHz"),
                         twips(6720, 960, 855, 495));
    UnitMHz = makeOption(Frame1, QStringLiteral("UnitMHz"), QStringLiteral("MHz"),
                         twips(6720, 1680, 975, 495));
    UnitGroup = new QButtonGroup(this);
    UnitGroup->addButton(UnitHz, static_cast<int>(Unit::Hz));
    UnitGroup->addButton(UnitKHz, static_cast<int>(Unit::KHz));
    UnitGroup->addButton(UnitMHz, static_cast<int>(Unit::MHz));

    DBS = makeFrame(Frame1, QStringLiteral("DBS"), QStringLiteral("-20DB Switch"),
                    twips(4680, 3360, 3375, 615));
    DBSOn =
        makeOption(DBS, QStringLiteral("DBSOn"), QStringLiteral("On"), twips(120, 240, 615, 255));
    DBSOff = makeOption(DBS, QStringLiteral("DBSOff"), QStringLiteral("Off"),
                        twips(2160, 240, 615, 255));
    DBSGroup = new QButtonGroup(this);
    DBSGroup->addButton(DBSOn, 1);
    DBSGroup->addButton(DBSOff, 0);

    for (OptionButton* option : {WaveSin, WaveSqu, WaveTri})
        option->setFont(waveFont);
    for (OptionButton* option : {UnitHz, UnitKHz, UnitMHz})
        option->setFont(unitFont);

    // The start-up selections; set before any handler is wired, so none runs.
    WaveSin->setChecked(true);
    UnitHz->setChecked(true);
    DBSOff->setChecked(true);
}

void Varlo54::buildDuty()
{
    DutyScroll = named(new StepBar(Qt::Horizontal, Frame1), QStringLiteral("DutyScroll"));
    DutyScroll->setGeometry(twips(4680, 4560, 3255, 375));
    DutyScroll->setRange(MinDutyPercent, MaxDutyPercent);
    DutyScroll->setValue(StartUpDutyPercent);
    // The value changes on an arrow or trough click and when a dragged thumb is let go,
    // not while the thumb is being dragged.
    DutyScroll->setTracking(false);
    // Qt's scroll bars turn the arrow keys round by default; on this bar Right means more.
    DutyScroll->setInvertedControls(false);
    // The bar is a stop of the Tab key and takes the arrow keys when it has the focus.
    DutyScroll->setFocusPolicy(Qt::StrongFocus);

    DutyLabel = makeLabel(Frame1, QStringLiteral("DutyLabel"), QStringLiteral("Square Duty Cycle:"),
                          twips(4680, 4200, 1455, 255));
    DutyUnitLabel = makeLabel(Frame1, QStringLiteral("DutyUnitLabel"), QStringLiteral("%"),
                              twips(7200, 4200, 255, 255));
    DutyUnitLabel->setFont(panelFont(9.75));
    DutyValueLabel = makeLabel(Frame1, QStringLiteral("DutyValueLabel"),
                               QString::number(StartUpDutyPercent), twips(6360, 4200, 255, 255));
    // The bar is read by its label, without the colon, and with the duty cycle as its value.
    DutyScroll->setAccessibleName(QStringLiteral("Square Duty Cycle"));
    DutyLabel->setBuddy(DutyScroll);
}

void Varlo54::orderTabs()
{
    const std::array<QWidget*, 23> order{FreqValue,  NumKeys[1], NumKeys[2], NumKeys[3], NumKeys[4],
                                         NumKeys[5], NumKeys[6], NumKeys[7], NumKeys[8], NumKeys[9],
                                         NumKeys[0], NumPoint,   Enter,      WaveSin,    WaveSqu,
                                         WaveTri,    UnitHz,     UnitKHz,    UnitMHz,    Clear,
                                         DBSOn,      DBSOff,     DutyScroll};
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void Varlo54::wireEvents()
{
    connect(NumGroup, &QButtonGroup::idClicked, this, &Varlo54::NumDigit_Click);
    connect(NumPoint, &QPushButton::clicked, this, &Varlo54::NumPoint_Click);
    connect(Clear, &QPushButton::clicked, this, &Varlo54::Clear_Click);
    connect(FreqValue, &QLineEdit::textChanged, this, &Varlo54::FreqValue_Change);
    connect(Enter, &QPushButton::clicked, this, &Varlo54::Enter_Click);
    // Option buttons answer clicks (mouse, space, arrow keys, a screen reader's Toggle), never
    // selections made by code.
    connect(UnitGroup, &QButtonGroup::idClicked, this,
            [this](int id) { Unit_Click(static_cast<Unit>(id)); });
    connect(WaveGroup, &QButtonGroup::idClicked, this,
            [this](int id) { Wave_Click(static_cast<Waveform>(id)); });
    connect(DBSGroup, &QButtonGroup::idClicked, this, [this](int id) { DBS_Click(id != 0); });
    for (QButtonGroup* group : {UnitGroup, WaveGroup, DBSGroup}) {
        makeTabStop(group->checkedButton());
        connect(group, &QButtonGroup::buttonToggled, this, [](QAbstractButton* option, bool on) {
            if (on)
                makeTabStop(option);
        });
    }
    connect(DutyScroll, &QScrollBar::valueChanged, this, &Varlo54::DutyScroll_Change);
    connect(Exit, &QAction::triggered, this, &Varlo54::Exit_Click);
    if (server_)
        server_->reportTo([this](const GeneratorState& held) { Generator_Change(held); },
                          [this](const ServerFailure& failure) { ShowServerError(failure); });
}

bool Varlo54::Form_Load()
{
    putIntoFreqValue(applyStartupValues(state_));
    if (!server_)
        return discoverPort(MSComm1, dialogs_).has_value();
    // No port scan: the panel opens showing what the generator holds, or as it starts when
    // the server cannot be reached, and the next Enter tries again.
    auto held = server_->readHeld();
    if (const auto* failure = std::get_if<ServerFailure>(&held))
        ShowServerError(*failure);
    else
        Generator_Change(std::get<GeneratorState>(held));
    server_->startFollowing();
    return true;
}

void Varlo54::NumDigit_Click(int digit)
{
    putIntoFreqValue(pressDigit(state_, digit));
}

void Varlo54::NumPoint_Click()
{
    if (const std::optional<std::string> text = pressPoint(state_))
        putIntoFreqValue(*text);
}

void Varlo54::Clear_Click()
{
    putIntoFreqValue(pressClear(state_));
}

void Varlo54::FreqValue_Change(const QString& text)
{
    freqValueChanged(state_, text.toStdString());
}

// Runs FreqValue_Change at once, nested in the calling handler. Qt raises no change for
// the text the box already shows, yet the key's own arithmetic may have moved EntryValue
// away from it (after typing), so the change handler runs then too.
void Varlo54::putIntoFreqValue(const std::string& text)
{
    const QString shown = QString::fromStdString(text);
    if (FreqValue->text() == shown)
        FreqValue_Change(shown);
    else
        FreqValue->setText(shown);
}

void Varlo54::Unit_Click(Unit unit)
{
    selectUnit(state_, unit);
    UnitGroup->button(static_cast<int>(unit))->setChecked(true);
}

void Varlo54::Wave_Click(Waveform waveform)
{
    selectWaveform(state_, waveform);
    WaveGroup->button(static_cast<int>(waveform))->setChecked(true);
    paintMarks();
}

void Varlo54::DBS_Click(bool on)
{
    selectAttenuator(state_, on);
    paintMarks();
}

void Varlo54::DutyScroll_Change(int value)
{
    DutyValueLabel->setText(QString::fromStdString(changeDuty(state_, value)));
    paintMarks();
}

void Varlo54::Enter_Click()
{
    const EnterDecision decision = pressEnter(state_);
    if (decision.outcome == EnterDecision::Outcome::FrequencyTooLarge) {
        dialogs_.tell(BoxIcon::Exclamation, OutOfRangeTitle, TooLargeText);
        dialogs_.endProgram();
        return;
    }
    if (decision.outcome == EnterDecision::Outcome::FrequencyBelowZero) {
        dialogs_.tell(BoxIcon::Exclamation, OutOfRangeTitle, BelowZeroText);
        return;
    }
    if (!sendToGenerator(decision.command))
        return;
    commandSent(state_, decision.kind);
    if (decision.kind == CommandKind::Frequency)
        frequencySent(view_, state_);
    paintMarks();
}

// Hands the command to the line, or through the server; a box says why it did not go.
bool Varlo54::sendToGenerator(const std::string& command)
{
    if (server_) {
        const std::optional<ServerFailure> failure = server_->setOutput(command);
        if (failure)
            ShowServerError(*failure);
        return !failure;
    }
    const std::int16_t code = MSComm1.setOutput(command);
    if (code != 0)
        ShowCommError(code);
    return code == 0;
}

void Varlo54::Exit_Click()
{
    if (server_)
        server_->close();
    else if (const std::int16_t code = MSComm1.ClosePort(); code != 0)
        ShowCommError(code);
    dialogs_.endProgram();
}

void Varlo54::ShowCommError(std::int16_t code)
{
    dialogs_.tell(BoxIcon::Exclamation, CommErrorTitle, commErrorText(code));
}

void Varlo54::ShowServerError(const ServerFailure& failure)
{
    dialogs_.tell(BoxIcon::Exclamation, ServerErrorTitle,
                  serverFailureText(server_->server(), failure));
}

void Varlo54::Generator_Change(const GeneratorState& held)
{
    if (const std::optional<std::string> text = followGenerator(state_, view_, held))
        putIntoFreqValue(*text);
    paintSettings();
}

void Varlo54::paintSettings()
{
    UnitGroup->button(static_cast<int>(state_.UnitExponent))->setChecked(true);
    WaveGroup->button(static_cast<int>(state_.WaveCode))->setChecked(true);
    DBSGroup->button(state_.AttenuatorOn ? 1 : 0)->setChecked(true);
    const QSignalBlocker quiet(DutyScroll);
    DutyScroll->setValue(state_.DutyPercent);
    DutyValueLabel->setText(QString::number(state_.DutyPercent));
}

void Varlo54::paintMarks()
{
    const std::array<std::pair<Marked, QWidget*>, MarkedCount> controls{{
        {Marked::WaveSin, WaveSin},
        {Marked::WaveSqu, WaveSqu},
        {Marked::WaveTri, WaveTri},
        {Marked::DBSOn, DBSOn},
        {Marked::DBSOff, DBSOff},
        {Marked::DutyValueLabel, DutyValueLabel},
    }};
    for (const auto& [mark, control] : controls) {
        const bool red = state_.RedMarks.isRed(mark);
        // A filled background is what shows the red; controls already right stay untouched.
        if (red == control->autoFillBackground())
            continue;
        control->setAutoFillBackground(red);
        // Back at button face, the control lies on its frame as the style draws it, as at
        // start-up, not as a filled patch.
        setColour(control, control->backgroundRole(), red ? PendingRed : buttonFace(control));
        sayMark(control, red);
    }
    // The duty cycle is worked on the bar, which is where the focus and a screen reader are;
    // its label cannot take the focus, so the bar says the label's mark too.
    sayMark(DutyScroll, state_.RedMarks.isRed(Marked::DutyValueLabel));
}

} // namespace varlo
