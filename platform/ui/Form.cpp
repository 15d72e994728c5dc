#include "Form.h"

#include "Application.h"
#include "Dispatch.h"
#include "rtl/Exceptions.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>

namespace {

// The form's own widget: Tab goes through the form's focus model and a close
// request through its OnClose.
class TFormWidget : public QWidget {
public:
    TForm* form = nullptr;

    QSize sizeHint() const override { return size(); }

protected:
    bool focusNextPrevChild(bool next) override
    {
        TForm* f = form;
        if (f->Destroying())
            return true;
        Dispatch(f, [f, next] { f->SelectNext(f->ActiveControl(), next); });
        return true;
    }

    void closeEvent(QCloseEvent* event) override
    {
        // The form decides (OnClose) and hides or releases itself.
        event->ignore();
        TForm* f = form;
        if (f->Destroying())
            return;
        Dispatch(f, [f] { f->Close(); });
    }
};

} // namespace

TForm::TForm(TComponent* owner) : TWinControl(owner, new TFormWidget), focus_(std::make_unique<TFocusModel>(this))
{
    static_cast<TFormWidget*>(Widget())->form = this;
    TControl::SetVisible(false);
    Widget()->setAttribute(Qt::WA_DeleteOnClose, false);
    ApplyWindowFlags();
}

TForm::~TForm()
{
    destroying_ = true;
    // Controls go first, while the form they report to is whole.
    while (ComponentCount() > 0)
        delete Components(ComponentCount() - 1);
    while (ControlCount() > 0)
        delete Controls(ControlCount() - 1);
    if (Application && Application->MainForm() == this)
        Application->SetMainForm(nullptr);
    if (subWindow_) {
        subWindow_->setWidget(nullptr);
        delete subWindow_.data();
    }
}

QString TForm::Caption() const
{
    return Widget() ? Widget()->windowTitle() : QString();
}

void TForm::SetCaption(const QString& caption)
{
    Widget()->setWindowTitle(caption);
    if (subWindow_)
        subWindow_->setWindowTitle(caption);
}

void TForm::SetClientWidth(int width)
{
    Widget()->resize(width, Widget()->height());
    Realign();
    if (subWindow_)
        subWindow_->adjustSize();
}

void TForm::SetClientHeight(int height)
{
    Widget()->resize(Widget()->width(), height);
    Realign();
    if (subWindow_)
        subWindow_->adjustSize();
}

void TForm::SetBorderIcons(TBorderIcons icons)
{
    borderIcons_ = icons;
    ApplyWindowFlags();
}

void TForm::ApplyWindowFlags()
{
    QWidget* host = HostWindow();
    Qt::WindowFlags flags = subWindow_ ? Qt::WindowFlags(Qt::SubWindow) : Qt::WindowFlags(Qt::Window);
    flags |= Qt::WindowTitleHint | Qt::CustomizeWindowHint;
    if (borderIcons_.testFlag(TBorderIcon::biSystemMenu))
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (borderIcons_.testFlag(TBorderIcon::biMinimize))
        flags |= Qt::WindowMinimizeButtonHint;
    if (borderIcons_.testFlag(TBorderIcon::biMaximize))
        flags |= Qt::WindowMaximizeButtonHint;
    const bool shown = host->isVisible();
    host->setWindowFlags(flags);
    if (shown)
        host->show();
}

void TForm::SetFormStyle(TFormStyle style)
{
    if (style == formStyle_)
        return;
    if (style == TFormStyle::fsMDIChild) {
        TForm* main = Application ? Application->MainForm() : nullptr;
        if (!main || !main->MdiArea())
            throw Exception(QStringLiteral("Não há janela principal para abrir \"%1\".").arg(Caption()));
        const QSize client = Widget()->size();
        subWindow_ = main->MdiArea()->addSubWindow(Widget());
        subWindow_->setAttribute(Qt::WA_DeleteOnClose, false);
        subWindow_->setWindowTitle(Caption());
        subWindow_->hide();
        Widget()->resize(client);
        subWindow_->adjustSize();
        QObject::connect(main->MdiArea(), &QMdiArea::subWindowActivated, Widget(), [this](QMdiSubWindow* w) {
            if (w && w == subWindow_)
                ReportMdiActivation();
            else
                activeReported_ = false;
        });
    } else if (style == TFormStyle::fsMDIForm) {
        mdiArea_ = new QMdiArea(Widget());
        Realign();
    }
    formStyle_ = style;
    ApplyWindowFlags();
}

QWidget* TForm::HostWindow() const
{
    return subWindow_ ? static_cast<QWidget*>(subWindow_.data()) : Widget();
}

TWindowState TForm::WindowState() const
{
    const Qt::WindowStates s = HostWindow()->windowState();
    if (s.testFlag(Qt::WindowMinimized))
        return TWindowState::wsMinimized;
    if (s.testFlag(Qt::WindowMaximized))
        return TWindowState::wsMaximized;
    return TWindowState::wsNormal;
}

void TForm::SetWindowState(TWindowState state)
{
    QWidget* host = HostWindow();
    Qt::WindowStates s = host->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    if (state == TWindowState::wsMinimized)
        s |= Qt::WindowMinimized;
    else if (state == TWindowState::wsMaximized)
        s |= Qt::WindowMaximized;
    host->setWindowState(s);
}

void TForm::SetVisible(bool visible)
{
    TControl::SetVisible(visible);
    QWidget* host = HostWindow();
    if (!visible) {
        host->hide();
        activeReported_ = false;
        return;
    }
    Widget()->show();
    host->show();
    if (subWindow_) {
        subWindow_->raise();
        subWindow_->mdiArea()->setActiveSubWindow(subWindow_);
        ReportMdiActivation();
    } else {
        host->activateWindow();
    }
}

// The area may make a new child its active one while the child is still
// hidden (during OnCreate, from a timer), and may signal the same activation
// again when it shows: the form becomes active once, when it is both.
void TForm::ReportMdiActivation()
{
    if (activeReported_ || !subWindow_->isVisible() || subWindow_->mdiArea()->activeSubWindow() != subWindow_)
        return;
    activeReported_ = true;
    Dispatch(this, [this] { DoActivate(); });
}

bool TForm::Showing() const
{
    return HostWindow()->isVisible();
}

void TForm::Close()
{
    TCloseAction action = TCloseAction::caHide;
    OnClose(this, action);
    switch (action) {
    case TCloseAction::caNone: break;
    case TCloseAction::caHide: SetVisible(false); break;
    case TCloseAction::caFree:
        SetVisible(false);
        Release();
        break;
    }
}

void TForm::Release()
{
    QMetaObject::invokeMethod(Widget(), [this] { delete this; }, Qt::QueuedConnection);
}

void TForm::SetActiveControl(TWinControl* control)
{
    if (control)
        control->SetFocus();
}

void TForm::SelectNext(TWinControl* from, bool forward)
{
    if (TWinControl* next = focus_->FindNext(from, forward))
        next->SetFocus();
}

void TForm::FocusEntering(TWinControl*) {}

void TForm::ControlRemoved(TControl* control)
{
    if (auto* win = dynamic_cast<TWinControl*>(control))
        focus_->Forget(win);
}

void TForm::DoCreate()
{
    Dispatch(this, [this] { OnCreate(this); });
}

void TForm::DoActivate()
{
    OnActivate(this);
}

bool TForm::WidgetEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && Widget()->isWindow())
        DoActivate();
    return TWinControl::WidgetEvent(event);
}

void TForm::Aligned(const QRect& remainder)
{
    if (mdiArea_)
        mdiArea_->setGeometry(remainder);
}
