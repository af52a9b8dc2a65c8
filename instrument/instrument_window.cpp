#include "instrument/instrument_window.h"

#include "instrument/plot_scale.h"
#include "instrument/waveform_plot.h"
#include "protocol/command_decoding.h"
#include "protocol/command_wording.h"
#include "protocol/generator_limits.h"

#include <QFontDatabase>
#include <QGroupBox>
#include <QVBoxLayout>

#include <string_view>

namespace varlo::instrument {

namespace {

constexpr int LogLines = 2000;

} // namespace

QString stateDescription(const GeneratorState& state)
{
    const std::string duty = state.dutyAdjusted
                                 ? std::to_string(state.dutyPercent) + " %"
                                 : std::to_string(state.dutyPercent) + " % (not adjusted)";
    return QStringLiteral("Frequency:  %1\nWaveform:   %2\nAttenuator: %3\nDuty:       %4")
        .arg(QString::fromStdString(frequencyWithUnit(state.wholeHz, state.hundredths)),
             QString::fromStdString(waveformName(state.waveform)),
             state.attenuatorOn ? QStringLiteral("on (-%1 dB)").arg(AttenuationDb)
                                : QStringLiteral("off"),
             QString::fromStdString(duty));
}

InstrumentWindow::InstrumentWindow(const QString& portText, QWidget* parent) : QWidget(parent)
{
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);

    auto* port = new QLabel(QStringLiteral("Listening on %1").arg(portText));
    port->setTextInteractionFlags(Qt::TextSelectableByMouse);

    stateText_ = new QLabel;
    stateText_->setObjectName(QStringLiteral("StateText"));
    stateText_->setFont(fixed);
    plot_ = new WaveformPlot;
    plotScale_ = new QLabel;
    plotScale_->setObjectName(QStringLiteral("PlotScale"));
    plotScale_->setAlignment(Qt::AlignHCenter);
    auto* stateBox = new QGroupBox(QStringLiteral("Generator"));
    auto* stateLayout = new QVBoxLayout(stateBox);
    stateLayout->addWidget(stateText_);
    stateLayout->addWidget(plot_, 1);
    stateLayout->addWidget(plotScale_);

    log_ = new QPlainTextEdit;
    log_->setObjectName(QStringLiteral("CommandLog"));
    log_->setReadOnly(true);
    log_->setFont(fixed);
    log_->setMaximumBlockCount(LogLines);
    // A long line (undecodable bytes) wraps inside the box, anywhere if it has no blank.
    log_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    log_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    auto* logBox = new QGroupBox(QStringLiteral("Received commands"));
    auto* logLayout = new QVBoxLayout(logBox);
    logLayout->addWidget(log_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(port);
    layout->addWidget(stateBox, 1);
    layout->addWidget(logBox, 1);

    showState();
}

void InstrumentWindow::showCommand(const QByteArray& text, qint64 arrivedMs)
{
    const std::string_view bytes(text.constData(), static_cast<std::size_t>(text.size()));
    const DecodedCommand command = decodeCommand(bytes);
    const std::string meaning = describeDecoded(command, bytes);
    // Undecodable lines already quote what arrived.
    const std::string line = std::holds_alternative<DecodeError>(command)
                                 ? meaning
                                 : std::string(bytes) + "  ->  " + meaning;
    log_->appendPlainText(
        QStringLiteral("%1 ms  %2").arg(arrivedMs, 8).arg(QString::fromStdString(line)));
    state_ = applied(state_, command);
    showState();
}

void InstrumentWindow::showState()
{
    stateText_->setText(stateDescription(state_));
    plot_->showState(state_);
    plotScale_->setText(QString::fromStdString(plotScaleText(state_)));
}

} // namespace varlo::instrument
