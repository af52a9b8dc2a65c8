#pragma once

#include "protocol/generator_state.h"

#include <QByteArray>
#include <QLabel>
#include <QPlainTextEdit>
#include <QWidget>

namespace varlo::instrument {

class WaveformPlot;

// The instrument's own window. Data flow: command text from the line -> decoder -> log line
// with the time it arrived, and for a valid command -> GeneratorState -> state text, waveform
// plot and the plot's scale.
class InstrumentWindow : public QWidget {
    Q_OBJECT

public:
    // portText names where the panel finds the instrument, e.g. "COM3 in /tmp/x (/dev/pts/4)".
    explicit InstrumentWindow(const QString& portText, QWidget* parent = nullptr);

    // arrivedMs: when the command came, in milliseconds since the instrument started listening.
    void showCommand(const QByteArray& text, qint64 arrivedMs);

private:
    void showState();

    GeneratorState state_;
    QLabel* stateText_ = nullptr;
    WaveformPlot* plot_ = nullptr;
    QLabel* plotScale_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
};

// The state as the window shows it, one setting per line.
QString stateDescription(const GeneratorState& state);

} // namespace varlo::instrument
