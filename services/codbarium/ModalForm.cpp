#include "ModalForm.h"

#include <QApplication>
#include <QEventLoop>
#include <QWidget>

void TModalForm::ShowModalOver(TWinControl* focus)
{
    QWidget* window = HostWindow();
    window->setWindowModality(Qt::ApplicationModal);
    if (const QWidget* over = QApplication::activeWindow()) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(over->frameGeometry().center());
        window->move(frame.topLeft());
    }
    Show();
    focus->SetFocus();
    Shown();
}

void TModalForm::WaitUntilClosed()
{
    if (!Showing())
        return;
    QEventLoop loop;
    loop_ = &loop;
    loop.exec(QEventLoop::DialogExec);
    loop_ = nullptr;
}

void TModalForm::EndModal(TCloseAction& action)
{
    action = TCloseAction::caHide;
    if (loop_)
        loop_->quit();
}
