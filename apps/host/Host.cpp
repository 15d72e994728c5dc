#include "Host.h"

#include "DemoLabelsCommand.h"
#include "EventExport.h"
#include "MainForm.h"
#include "ScreenPlacement.h"
#include "ServerLogin.h"
#include "WindowState.h"

#include "codbarium/Codbarium.h"
#include "framework/ADOIBQuery.h"
#include "framework/DtmDBGeral.h"
#include "framework/StatusNote.h"
#include "framework/Varneth.h"
#include "netconn/NoticeChannel.h"
#include "server/KnownQueries.h"
#include "rtl/Exceptions.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/Dispatch.h"
#include "ui/Screen.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QStandardPaths>
#include <QtDebug>

namespace {

// The size of the main window on its first run, within the screen.
constexpr QSize firstRunSize(1280, 800);

} // namespace

THost::TPlaces THost::DefaultPlaces()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return {TScreenPackages::DefaultSearchDirs(), DefaultWindowStateFile(),
            QDir(documents).exists() ? documents : QDir::homePath()};
}

THost::THost(THostOptions options, TPlaces places)
    : options_(std::move(options)), places_(std::move(places)), packages_(places_.PackageDirs)
{
}

THost::~THost() { Shutdown(); }

void THost::Start()
{
    new TdtmDBGeral(Application);
    Application->CreateForm(mainForm_);
    Application->SetMainForm(mainForm_);
    Application->SetTitle(mainForm_->Caption());
    mainForm_->OnOpenScreen = closure(this, &THost::OpenScreen);
    mainForm_->OnClose = closure(this, &THost::MainFormClose);
    mainForm_->OnTestaLeitor = closure(this, &THost::TestaLeitor);
    mainForm_->OnRotulosDemo = closure(this, &THost::RotulosDemo);
    mainForm_->OnExportaEventos = closure(this, &THost::ExportaEventos);
    PlaceMainForm();
    mainForm_->Show();
    ApplyServerLogin();
    notices_ = std::make_unique<TNoticeChannel>();
    notices_->SetServer(Varneth::WebURL(), Varneth::WebPort(), TNetConnection::DefaultSecurity());
    notices_->SetAlternates(TNetConnection::DefaultAlternates());
    notices_->SetStation(TNetConnection::DefaultStation());
    SetNotices(notices_.get());

    Dispatch(mainForm_, [] { dtmDBGeral->Open(); });
    NameBranch();
    // Scans this station kept without the server, perhaps in a run that was
    // killed: said at once, so that nobody takes them for lost.
    if (const QString queued = Codbarium::QueuedScansNote(); !queued.isEmpty())
        StatusNote::Set(queued);
    for (const QString& code : options_.Open)
        Dispatch(mainForm_, [this, &code] { OpenScreen(mainForm_, *FindScreen(code)); });
}

void THost::PlaceMainForm()
{
    QWidget* window = mainForm_->Widget();
    if (RestoreWindowGeometry(*window, places_.WindowStateFile))
        return;
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    QRect first(QPoint(), firstRunSize.boundedTo(available.size()));
    first.moveCenter(available.center());
    window->setGeometry(first);
}

void THost::NameBranch()
{
    if (!Varneth::NomeFiliProc().isEmpty() || !dtmDBGeral->Connected())
        return;
    // Without a branch of its own the host works in the database's first one,
    // as the demo database is meant to be used: a screen then opens on data.
    const bool first = Varneth::FiliProc().isEmpty();
    try {
        // The branch query, the one query a networked station's server runs
        // for it: every branch in order of code (the first is the least), or
        // the one named.
        TADOIBQuery query;
        query.SetConnection(dtmDBGeral->adcGeral());
        query.SQL = KnownQueries::BranchQuery();
        if (!first)
            query.ParamByName(KnownQueries::BranchParameter)->SetAsString(Varneth::FiliProc());
        query.SetMaxRecords(1);
        query.Open();
        if (query.IsEmpty())
            return;
        if (first)
            Varneth::SetFiliProc(query.Fields(0)->AsString());
        Varneth::SetNomeFiliProc(query.Fields(1)->AsString());
        mainForm_->ShowSettings();
    } catch (const Exception& e) {
        // Only the name is missing: the screens still work with the code.
        if (!first)
            qWarning().noquote() << QStringLiteral("host: nome da filial %1 não encontrado: %2")
                                        .arg(Varneth::FiliProc(), e.Message());
    }
}

int THost::Run() { return Application->Run(); }

void THost::TestaLeitor(TObject*) { Codbarium::TestaLeitor(); }

void THost::RotulosDemo(TObject*)
{
    MessageDlg(WriteDemoLabels(QString(), places_.LabelsDir), TMsgDlgType::mtInformation, TMsgDlgBtn::mbOK, 0);
}

void THost::ExportaEventos(TObject*)
{
    struct THideProgress {
        TfrmPrincipal* Form;
        ~THideProgress() { Form->ShowProgress(0, 0); }
    } hide{mainForm_};
    ExportTraceabilityEvents([this](int written, int total) { mainForm_->ShowProgress(written, total); });
}

void THost::OpenScreen(TObject*, const TScreenEntry& screen)
{
    try {
        packages_.Open(screen);
        if (QMdiSubWindow* window = mainForm_->MdiArea()->activeSubWindow())
            PlaceScreen(*window, screen.Code, places_.WindowStateFile);
    } catch (...) {
        // A screen that failed half-way may have left the busy cursor on.
        Screen->SetCursor(crDefault);
        throw;
    }
}

void THost::MainFormClose(TObject*, TCloseAction& action)
{
    QList<TForm*> children;
    for (int i = 0; i < Application->ComponentCount(); ++i)
        if (auto* form = dynamic_cast<TForm*>(Application->Components(i)))
            if (form->FormStyle() == TFormStyle::fsMDIChild && form->Showing())
                children.append(form);
    for (TForm* child : children)
        Dispatch(child, [child] { child->Close(); });

    if (!SaveWindowGeometry(*mainForm_->Widget(), places_.WindowStateFile))
        qWarning().noquote() << QStringLiteral("host: não foi possível gravar a posição da janela em %1")
                                    .arg(places_.WindowStateFile);
    action = TCloseAction::caHide;
    QCoreApplication::exit(0);
}

void THost::Shutdown()
{
    if (shutDown_)
        return;
    shutDown_ = true;
    mainForm_ = nullptr;
    // Last created first: the screens before the main window that frames
    // them, the data module last.
    while (Application->ComponentCount() > 0)
        delete Application->Components(Application->ComponentCount() - 1);
    Dispatch(Application, [this] { packages_.UnloadAll(); });
    SetNotices(nullptr);
    notices_.reset();
}
