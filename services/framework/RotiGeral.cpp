#include "RotiGeral.h"

#include "Icons.h"

#include <QKeyEvent>

namespace {

constexpr int ButtonHeight = 40;
constexpr int IconSize = 24;

template <class T>
T* Named(T* component, const char* name)
{
    component->SetName(QString::fromLatin1(name));
    return component;
}

} // namespace

TfrmRotiGeral::TfrmRotiGeral(TComponent* owner) : TForm(owner)
{
    SetClientWidth(640);
    SetClientHeight(420);
    SetKeyPreview(true);

    lblCodTela = Named(new TLabel(this), "lblCodTela");
    lblCodTela->Font().SetStyle(TFontStyle::fsBold);
    lblCodTela->SetParent(this);

    grbDadosRel = Named(new TGroupBox(this), "grbDadosRel");
    grbDadosRel->SetParent(this);

    panMenu = Named(new TPanel(this), "panMenu");
    panMenu->SetParent(this);

    sbtFechar = Named(new TButtonFlat(this), "sbtFechar");
    sbtFechar->SetHint(QStringLiteral("Fechar a tela (Esc)"));
    sbtFechar->SetIcon(FrameworkIcons::Close(IconSize), QSize(IconSize, IconSize));
    sbtFechar->SetHeight(ButtonHeight);
    sbtFechar->SetAlign(TAlign::alBottom);
    sbtFechar->SetParent(panMenu);
    sbtFechar->OnClick = closure(this, &TfrmRotiGeral::sbtFecharClick);

    panBotoes = Named(new TPanel(this), "panBotoes");
    panBotoes->SetBevelOuter(TBevelCut::bvNone);
    panBotoes->SetAlign(TAlign::alClient);
    panBotoes->SetParent(panMenu);

    sbtConfirma = Named(new TButtonFlat(this), "sbtConfirma");
    sbtConfirma->SetHint(QStringLiteral("Confirmar o registro selecionado"));
    sbtConfirma->SetIcon(FrameworkIcons::Confirm(IconSize), QSize(IconSize, IconSize));
    sbtConfirma->SetHeight(ButtonHeight);
    sbtConfirma->SetAlign(TAlign::alTop);
    sbtConfirma->SetEnabled(false);
    sbtConfirma->SetParent(panBotoes);

    msgPadrao = Named(new TMessages(this), "msgPadrao");

    OnCreate = closure(this, &TfrmRotiGeral::FormCreate);
    OnClose = closure(this, &TfrmRotiGeral::FormClose);
    OnKeyDown = closure(this, &TfrmRotiGeral::FormKeyDown);
    OnKeyPress = closure(this, &TfrmRotiGeral::FormKeyPress);
    Realign();
}

void TfrmRotiGeral::FormCreate(TObject*)
{
    // The screen may have changed the label's text or width and laid a tool
    // bar over it since the constructor placed it.
    Realign();
    lblCodTela->Widget()->raise();
}

void TfrmRotiGeral::FormClose(TObject*, TCloseAction& action)
{
    action = TCloseAction::caFree;
}

void TfrmRotiGeral::FormKeyDown(TObject*, TKey&, TShiftState) {}

void TfrmRotiGeral::FormKeyPress(TObject*, QChar& key)
{
    if (key != QChar(13))
        return;
    key = QChar();
    SelectNext(ActiveControl(), true);
}

void TfrmRotiGeral::sbtFecharClick(TObject*)
{
    Close();
}

bool TfrmRotiGeral::WidgetEvent(QEvent* event)
{
    // A key reaches the form's own widget only when the focused control left it.
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier && sbtFechar->Enabled()
            && sbtFechar->Visible()) {
            Close();
            return true;
        }
    }
    return TForm::WidgetEvent(event);
}

void TfrmRotiGeral::FocusEntering(TWinControl* control)
{
    if (auto* grid = dynamic_cast<TDBGrid*>(control))
        dbgAtiva = grid;
    TForm::FocusEntering(control);
}

void TfrmRotiGeral::Aligned(const QRect& remainder)
{
    TForm::Aligned(remainder);
    if (!panMenu || !grbDadosRel || !lblCodTela)
        return; // still being built
    const QRect client = Widget()->contentsRect();
    // An auto-sized label keeps at least its text's width, whatever width a
    // screen set for another font.
    const int labelWidth = lblCodTela->AutoSize()
                               ? qMax(lblCodTela->Width(), lblCodTela->Widget()->sizeHint().width())
                               : lblCodTela->Width();
    lblCodTela->SetBounds(client.right() + 1 - labelWidth - 4, (ToolBarHeight - lblCodTela->Height()) / 2, labelWidth,
                          lblCodTela->Height());
    if (remainder.isNull())
        return; // an aligned client control took everything
    QRect area = remainder;
    area.setTop(qMax(area.top(), client.top() + ToolBarHeight));
    const int side = qMin(SideWidth, area.width());
    panMenu->SetBounds(area.right() + 1 - side, area.top(), side, area.height());
    grbDadosRel->SetBounds(area.left(), area.top(), area.width() - side, area.height());
}
