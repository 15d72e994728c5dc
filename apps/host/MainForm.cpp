#include "MainForm.h"

#include "framework/Varneth.h"
#include "ui/Application.h"
#include "ui/Dispatch.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

TfrmPrincipal::TfrmPrincipal(TComponent* owner)
    : TForm(owner)
    , mnuPrincipal(new TControl(this, new QMenuBar))
    , stbPrincipal(new TControl(this, new QStatusBar))
    , menuBar_(static_cast<QMenuBar*>(mnuPrincipal->Widget()))
    , statusBar_(static_cast<QStatusBar*>(stbPrincipal->Widget()))
    , lblServidor_(new QLabel(statusBar_))
    , lblFilial_(new QLabel(statusBar_))
    , lblDica_(new QLabel(statusBar_))
{
    SetName(QStringLiteral("frmPrincipal"));
    SetCaption(QStringLiteral("Gestão Empresarial"));
    SetFormStyle(TFormStyle::fsMDIForm);

    for (const TScreenEntry& screen : ScreenCatalogue()) {
        QMenu* menu = nullptr;
        for (QAction* action : menuBar_->actions())
            if (action->menu() && action->text() == screen.Menu)
                menu = action->menu();
        if (!menu)
            menu = menuBar_->addMenu(screen.Menu);
        QAction* action = menu->addAction(screen.Caption);
        action->setObjectName(QStringLiteral("mni") + screen.Code);
        const TScreenEntry* entry = &screen;
        QObject::connect(action, &QAction::triggered, menuBar_,
                         [this, entry] { Dispatch(this, [this, entry] { OnOpenScreen(this, *entry); }); });
    }
    mnuPrincipal->SetName(QStringLiteral("mnuPrincipal"));
    mnuPrincipal->SetHeight(menuBar_->sizeHint().height());
    mnuPrincipal->SetAlign(TAlign::alTop);
    mnuPrincipal->SetParent(this);

    for (QLabel* panel : {lblServidor_, lblFilial_}) {
        panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        panel->setContentsMargins(4, 0, 4, 0);
        statusBar_->addWidget(panel);
    }
    lblServidor_->setObjectName(QStringLiteral("lblServidor"));
    lblFilial_->setObjectName(QStringLiteral("lblFilial"));
    lblDica_->setObjectName(QStringLiteral("lblDica"));
    lblDica_->setContentsMargins(4, 0, 4, 0);
    statusBar_->addWidget(lblDica_, 1);
    Application->OnHint = closure(this, &TfrmPrincipal::ApplicationHint);
    stbPrincipal->SetName(QStringLiteral("stbPrincipal"));
    stbPrincipal->SetHeight(statusBar_->sizeHint().height());
    stbPrincipal->SetAlign(TAlign::alBottom);
    stbPrincipal->SetParent(this);

    ShowSettings();
}

TfrmPrincipal::~TfrmPrincipal()
{
    if (Application && Application->OnHint == closure(this, &TfrmPrincipal::ApplicationHint))
        Application->OnHint = nullptr;
}

void TfrmPrincipal::ApplicationHint(TObject*)
{
    lblDica_->setText(Application->Hint());
}

QAction* TfrmPrincipal::ScreenAction(const QString& code) const
{
    return menuBar_->findChild<QAction*>(QStringLiteral("mni") + code);
}

namespace {

QString serverText()
{
    const QString host = Varneth::WebURL();
    const QString address = host.contains(u':') ? u'[' + host + u']' : host;
    return QStringLiteral("Servidor: %1:%2").arg(address).arg(Varneth::WebPort());
}

QString branchText()
{
    const QString code = Varneth::FiliProc();
    if (code.isEmpty())
        return QStringLiteral("Filial: nenhuma");
    QString text = QStringLiteral("Filial: ") + code;
    if (!Varneth::NomeFiliProc().isEmpty())
        text += QStringLiteral(" - ") + Varneth::NomeFiliProc();
    if (Varneth::ModuFili())
        text += QStringLiteral(" (fixa)");
    return text;
}

} // namespace

void TfrmPrincipal::ShowSettings()
{
    lblServidor_->setText(serverText());
    lblFilial_->setText(branchText());
}
