#include "instrument/waveform_plot.h"

#include "instrument/waveform_shape.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace varlo::instrument {

namespace {

constexpr int Periods = 2;
constexpr int SamplesPerPeriod = 400;
constexpr int Margin = 8;

} // namespace

WaveformPlot::WaveformPlot(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(240, 120);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
}

void WaveformPlot::showState(const GeneratorState& state)
{
    state_ = state;
    update();
}

QSize WaveformPlot::sizeHint() const
{
    return {420, 180};
}

void WaveformPlot::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF area = QRectF(rect()).adjusted(Margin, Margin, -Margin, -Margin);
    const double middle = area.center().y();
    const double halfHeight = area.height() / 2.0;

    // Full-scale limits, the zero line and the boundary between the periods.
    painter.setPen(QPen(palette().color(QPalette::Mid), 1, Qt::DashLine));
    painter.drawLine(QPointF(area.left(), area.top()), QPointF(area.right(), area.top()));
    painter.drawLine(QPointF(area.left(), area.bottom()), QPointF(area.right(), area.bottom()));
    painter.drawLine(QPointF(area.center().x(), area.top()),
                     QPointF(area.center().x(), area.bottom()));
    painter.setPen(QPen(palette().color(QPalette::Mid), 1));
    painter.drawLine(QPointF(area.left(), middle), QPointF(area.right(), middle));

    const double gain = attenuatorGain(state_.attenuatorOn);
    const int samples = Periods * SamplesPerPeriod;
    QPainterPath trace;
    for (int i = 0; i <= samples; ++i) {
        const double periods = static_cast<double>(i) / SamplesPerPeriod;
        const double phase = periods - std::floor(periods);
        const double level =
            gain * waveformLevel(state_.waveform, state_.dutyPercent, i == samples ? 0.0 : phase);
        const QPointF point(area.left() + area.width() * i / samples, middle - level * halfHeight);
        if (i == 0)
            trace.moveTo(point);
        else
            trace.lineTo(point);
    }
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawPath(trace);
}

} // namespace varlo::instrument
