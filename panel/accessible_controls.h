#pragma once

// Screen readers work the controls through the actions that Qt offers for them. For an option
// button Qt's Toggle only sets the check mark: no click, so no handler runs and the panel
// would go on sending the old setting. A scroll bar gets no Increase or Decrease at all. The
// panel's option buttons and its duty bar are of these two kinds instead, whose actions do
// what the mouse does: Toggle clicks the option (the selected one too, as a click would),
// Increase and Decrease step the bar as its arrows do.

#include <QRadioButton>
#include <QScrollBar>

namespace varlo {

class OptionButton final : public QRadioButton {
    Q_OBJECT

public:
    OptionButton(const QString& caption, QWidget* parent);
};

class StepBar final : public QScrollBar {
    Q_OBJECT

public:
    StepBar(Qt::Orientation orientation, QWidget* parent);
};

} // namespace varlo
