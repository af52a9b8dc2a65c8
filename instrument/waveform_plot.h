#pragma once

#include "protocol/generator_state.h"

#include <QWidget>

namespace varlo::instrument {

// Two periods of the generator's output at its current settings, on a fixed scale, so the
// -20 dB attenuator shows as a tenth of the height.
class WaveformPlot : public QWidget {
    Q_OBJECT

public:
    explicit WaveformPlot(QWidget* parent = nullptr);

    void showState(const GeneratorState& state);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    GeneratorState state_;
};

} // namespace varlo::instrument
