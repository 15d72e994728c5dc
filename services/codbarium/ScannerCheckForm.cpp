#include "ScannerCheckForm.h"

#include "IumReadingText.h"
#include "framework/Varneth.h"
#include "labels/Gs1Symbol.h"
#include "ui/Dispatch.h"

#include <QLabel>
#include <QTimer>

namespace {

TLabel* Paragraph(TLabel* label, int top, int height)
{
    label->SetAutoSize(false);
    label->SetBounds(16, top, 588, height);
    static_cast<QLabel*>(label->Widget())->setWordWrap(true);
    return label;
}

} // namespace

TfrmTestaLeitor::TfrmTestaLeitor(TComponent* owner) : TModalForm(owner)
{
    SetName(QStringLiteral("frmTestaLeitor"));
    SetCaption(QStringLiteral("Testar leitor"));
    SetBorderIcons(TBorderIcon::biSystemMenu);
    SetClientWidth(620);
    SetClientHeight(560);
    SetKeyPreview(true);
    OnKeyDown = closure(this, &TfrmTestaLeitor::FormKeyDown);
    OnClose = closure(this, &TfrmTestaLeitor::FormClose);

    lblInstrucao = Paragraph(Place(new TLabel(this), "lblInstrucao", this), 12, 40);
    lblInstrucao->SetCaption(QStringLiteral("Leia o símbolo abaixo uma vez com o leitor. A leitura não é gravada: "
                                            "esta janela diz o que mudar na configuração do leitor."));
    const QList<TGs1Element> elements = ScannerCheck::ScannerTestElements();
    const QImage symbol = TGs1Symbol::Encode(elements).Image(7, 3).convertToFormat(QImage::Format_RGB32);
    imgSimbolo = Place(new TImage(this), "imgSimbolo", this);
    imgSimbolo->SetBounds((620 - symbol.width()) / 2, 60, symbol.width(), symbol.height());
    imgSimbolo->Picture().Bitmap().Assign(TBitmap(symbol));
    const int below = 60 + symbol.height() + 8;
    lblConteudo = Paragraph(Place(new TLabel(this), "lblConteudo", this), below, 20);
    lblConteudo->SetCaption(QStringLiteral("Conteúdo: %1").arg(Gs1HumanReadable(elements)));
    edtLeitura = Place(new TScanEdit(this), "edtLeitura", this);
    edtLeitura->SetBounds(16, below + 28, 588, 24);
    edtLeitura->OnChange = closure(this, &TfrmTestaLeitor::edtLeituraChange);
    lblResultado = Paragraph(Place(new TLabel(this), "lblResultado", this), below + 62, 560 - below - 62 - 48);
    static_cast<QLabel*>(lblResultado->Widget())->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    panBotoes = Place(new TPanel(this), "panBotoes", this);
    panBotoes->SetAlign(TAlign::alBottom);
    panBotoes->SetHeight(42);
    panBotoes->SetBevelOuter(TBevelCut::bvNone);
    panBotoes->SetBorderWidth(6);
    sbtFechar = Place(new TSpeedButton(this), "sbtFechar", panBotoes);
    sbtFechar->SetCaption(QStringLiteral("Fechar"));
    sbtFechar->SetFlat(false);
    sbtFechar->SetAlign(TAlign::alRight);
    sbtFechar->SetWidth(100);
    sbtFechar->OnClick = closure(this, &TfrmTestaLeitor::sbtFecharClick);

    // A scanner types faster than this; a pause this long ends a scan that
    // came without Enter.
    idle_ = new QTimer(Widget());
    idle_->setSingleShot(true);
    idle_->setInterval(IdleMs);
    QObject::connect(idle_, &QTimer::timeout, Widget(), [this] { Dispatch(this, [this] { Diagnose(false); }); });
}

void TfrmTestaLeitor::FormKeyDown(TObject*, TKey& key, TShiftState)
{
    if (key == Keys::Escape) {
        key = Keys::None;
        Close();
    } else if (key == Keys::Return && ActiveControl() == edtLeitura) {
        key = Keys::None;
        Diagnose(true);
    }
}

void TfrmTestaLeitor::FormClose(TObject*, TCloseAction& action)
{
    idle_->stop();
    EndModal(action);
}

void TfrmTestaLeitor::edtLeituraChange(TObject*)
{
    if (!edtLeitura->Text().isEmpty())
        idle_->start();
}

void TfrmTestaLeitor::sbtFecharClick(TObject*)
{
    Close();
}

void TfrmTestaLeitor::Diagnose(bool enter)
{
    idle_->stop();
    // The field shows the separator as its mark; what the scanner sent was 29.
    QString typed = edtLeitura->Text();
    typed.replace(QChar(IumReading::GroupSeparatorMark), QChar(Varneth::GroupSeparator));
    if (typed.isEmpty() && enter) {
        lblResultado->SetCaption(QStringLiteral("Só chegou um Enter: leia o símbolo de teste."));
        return;
    }
    diagnosis_ = ScannerCheck::DiagnoseScan(typed, enter, Varneth::GroupSeparatorReplacement());
    edtLeitura->SetText(QString());
    lblResultado->Font().SetColor(diagnosis_.Ready() ? ColorFromRGB(0, 110, 0) : clRed);
    lblResultado->SetCaption(QStringLiteral("Leitura recebida: %1\n\n%2")
                                 .arg(Gs1ForDisplay(typed), diagnosis_.Messages.join(QStringLiteral("\n\n"))));
    edtLeitura->SetFocus();
}
