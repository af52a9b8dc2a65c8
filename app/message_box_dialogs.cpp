#include "app/message_box_dialogs.h"

#include "program/quit_on_signal.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace varlo {

namespace {

QMessageBox::Icon toQtIcon(BoxIcon icon)
{
    switch (icon) {
    case BoxIcon::Information:
        return QMessageBox::Information;
    case BoxIcon::Stop:
        return QMessageBox::Critical;
    case BoxIcon::Exclamation:
        break;
    }
    return QMessageBox::Warning;
}

} // namespace

bool MessageBoxDialogs::askYesNo(const std::string& title, const std::string& text)
{
    if (ending())
        return false;
    QMessageBox box(QMessageBox::Question, QString::fromStdString(title),
                    QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    return showModal(box) == QMessageBox::Yes;
}

void MessageBoxDialogs::showMessage(BoxIcon icon, const std::string& title, const std::string& text,
                                    const std::string& details)
{
    if (ending())
        return;
    QMessageBox box(toQtIcon(icon), QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::Ok);
    if (!details.empty())
        box.setDetailedText(QString::fromStdString(details));
    showModal(box);
}

void MessageBoxDialogs::stopShowing()
{
    stopped_ = true;
    if (open_)
        open_->reject();
}

int MessageBoxDialogs::showModal(QMessageBox& box)
{
    open_ = &box;
    const int answer = box.exec();
    open_ = nullptr;
    return answer;
}

bool MessageBoxDialogs::ending() const
{
    return stopped_ || QuitOnSignal::received() != 0;
}

void MessageBoxDialogs::endProgram()
{
    QCoreApplication::exit(0);
}

} // namespace varlo
