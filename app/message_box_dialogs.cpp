#include "app/message_box_dialogs.h"

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
    QMessageBox box(QMessageBox::Question, QString::fromStdString(title),
                    QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void MessageBoxDialogs::tell(BoxIcon icon, const std::string& title, const std::string& text)
{
    QMessageBox box(toQtIcon(icon), QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::Ok);
    box.exec();
}

void MessageBoxDialogs::endProgram()
{
    QCoreApplication::exit(0);
}

} // namespace varlo
