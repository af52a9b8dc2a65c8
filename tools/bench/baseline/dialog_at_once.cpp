// The least a Qt program can do before its first question is on screen: start and show one
// message box, with nothing else loaded and no port looked for.

#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMessageBox box(QMessageBox::Question, QStringLiteral("Function Generator"),
                    QStringLiteral("Find Com 1, Using it?"), QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes ? 0 : 1;
}
