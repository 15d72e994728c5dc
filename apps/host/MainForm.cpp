#include "MainForm.h"

#include "framework/StatusNote.h"
#include "framework/Varneth.h"
#include "ui/Application.h"
#include "ui/Dispatch.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>

TfrmPrincipal::TfrmPrincipal(TComponent* owner)
    : TForm(owner)
    , mnuPrincipal(new TControl(this, new QMenuBar))
    , stbPrincipal(new TControl(this, new QStatusBar))
    , menuBar_(static_cast<QMenuBar*>(mnuPrincipal->Widget()))
    , statusBar_(static_cast<QStatusBar*>(stbPrincipal->Widget()))
    , lblServidor_(new QLabel(statusBar_))
    , lblFilial_(new QLabel(statusBar_))
    , lblDica_(new QLabel(statusBar_))
    , lblAvisos_(new QLabel(statusBar_))
    , pgbExportacao_(new QProgressBar(statusBar_))
{
    SetName(QStringLiteral("frmPrincipal"));
    SetCaption(QStringLiteral("Gestão Empresarial"));
    SetFormStyle(TFormStyle::fsMDIForm);

    QMenu* file = AddMenu(QStringLiteral("Arquivo"));
    actSair_ = AddAction(file, QStringLiteral("Sair"), QStringLiteral("mniSair"), [this] { Close(); });
    actSair_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    for (const TScreenEntry& screen : ScreenCatalogue()) {
        QMenu* menu = nullptr;
        for (QAction* action : menuBar_->actions())
            if (action->menu() && QString(action->text()).remove(u'&') == screen.Menu)
                menu = action->menu();
        if (!menu)
            menu = AddMenu(screen.Menu);
        const TScreenEntry* entry = &screen;
        AddAction(menu, screen.Caption, QStringLiteral("mni") + screen.Code,
                  [this, entry] { OnOpenScreen(this, *entry); });
    }
    for (QAction* action : menuBar_->actions())
        if (action->menu() && QString(action->text()).remove(u'&') == QStringLiteral("Expedição"))
            actExportaEventos_ = AddAction(action->menu(), QStringLiteral("Exportar eventos de rastreio…"),
                                           QStringLiteral("mniExportaEventos"), [this] { OnExportaEventos(this); });
    QMenu* scanner = AddMenu(QStringLiteral("Leitor"));
    AddAction(scanner, QStringLiteral("Testar leitor"), QStringLiteral("mniTestarLeitor"),
              [this] { OnTestaLeitor(this); });
    AddAction(scanner, QStringLiteral("Rótulos de demonstração"), QStringLiteral("mniRotulosDemo"),
              [this] { OnRotulosDemo(this); });
    QMenu* windows = AddMenu(QStringLiteral("Janela"));
    actFecharTela_ = AddAction(windows, QStringLiteral("Fechar tela"), QStringLiteral("mniFecharTela"), [this] {
        if (QMdiSubWindow* screen = MdiArea()->activeSubWindow())
            screen->close();
    });
    actFecharTela_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F4));
    // A screen's window menu carries the same key for its own Close while the
    // window itself has the focus; two owners of one key make Qt run neither.
    QObject::connect(MdiArea(), &QMdiArea::subWindowActivated, menuBar_, [this](QMdiSubWindow* screen) {
        if (!screen || !screen->systemMenu())
            return;
        for (QAction* action : screen->systemMenu()->actions())
            if (action->shortcut() == actFecharTela_->shortcut())
                action->setShortcut(QKeySequence());
    });
    // F10 takes the keyboard to the menu, as on other desktops.
    auto* menuKey = new QAction(Widget());
    menuKey->setShortcut(QKeySequence(Qt::Key_F10));
    Widget()->addAction(menuKey);
    QObject::connect(menuKey, &QAction::triggered, menuBar_,
                     [this] { menuBar_->setActiveAction(menuBar_->actions().value(0)); });

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
    lblAvisos_->setObjectName(QStringLiteral("lblAvisos"));
    lblAvisos_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    lblAvisos_->setContentsMargins(4, 0, 4, 0);
    lblAvisos_->setStyleSheet(QStringLiteral("color: #a05000;"));
    statusBar_->addPermanentWidget(lblAvisos_);
    pgbExportacao_->setObjectName(QStringLiteral("pgbExportacao"));
    pgbExportacao_->setMaximumWidth(200);
    pgbExportacao_->setVisible(false);
    statusBar_->addPermanentWidget(pgbExportacao_);
    StatusNote::SetDisplay([label = lblAvisos_](const QString& text) {
        label->setText(text);
        label->setVisible(!text.isEmpty());
    });
    Application->OnHint = closure(this, &TfrmPrincipal::ApplicationHint);
    stbPrincipal->SetName(QStringLiteral("stbPrincipal"));
    stbPrincipal->SetHeight(statusBar_->sizeHint().height());
    stbPrincipal->SetAlign(TAlign::alBottom);
    stbPrincipal->SetParent(this);

    ShowSettings();
}

QMenu* TfrmPrincipal::AddMenu(const QString& title)
{
    return menuBar_->addMenu(u'&' + title);
}

QAction* TfrmPrincipal::AddAction(QMenu* menu, const QString& caption, const QString& name, std::function<void()> run)
{
    QAction* action = menu->addAction(u'&' + caption);
    action->setObjectName(name);
    QObject::connect(action, &QAction::triggered, menuBar_, [this, run] { Dispatch(this, run); });
    return action;
}

TfrmPrincipal::~TfrmPrincipal()
{
    if (Application && Application->OnHint == closure(this, &TfrmPrincipal::ApplicationHint))
        Application->OnHint = nullptr;
    StatusNote::SetDisplay(nullptr);
}

void TfrmPrincipal::ApplicationHint(TObject*)
{
    const QString hint = Application->Hint();
    lblDica_->setText(hint);
    // A hint answers the last thing the user did: it goes after a while
    // unless another took its place.
    QTimer::singleShot(HintMs, lblDica_, [this, hint] {
        if (lblDica_->text() == hint)
            lblDica_->clear();
    });
}

void TfrmPrincipal::ShowProgress(int done, int total)
{
    pgbExportacao_->setVisible(total > 0);
    pgbExportacao_->setRange(0, total);
    pgbExportacao_->setValue(done);
    pgbExportacao_->repaint();
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
