// Shows the demonstration form. With --screenshot FILE it saves a picture of
// the form once it has been drawn and quits.
#include "DemoForm.h"
#include "ui/Application.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication qt(argc, argv);
    TApplication application;
    TDemoForm* form = nullptr;
    application.CreateForm(form);
    form->Show();
    form->medBranch->SetFocus();
    const QStringList args = QApplication::arguments();
    const qsizetype at = args.indexOf("--screenshot");
    if (at >= 0 && at + 1 < args.size()) {
        const QString file = args.at(at + 1);
        QTimer::singleShot(500, [form, file] {
            form->Widget()->grab().save(file);
            QApplication::quit();
        });
    }
    return application.Run();
}
