#include "IumReadingForm.h"

#include "Codbarium.h"
#include "IumReadingText.h"
#include "ScanQueue.h"
#include "framework/Varneth.h"
#include "netconn/CheckResultServ.h"
#include "netconn/NetConnection.h"
#include "netconn/NoticeChannel.h"
#include "rtl/Exceptions.h"
#include "rtl/FormatFloat.h"
#include "ui/Dialogs.h"
#include "ui/Dispatch.h"
#include "server/Gs1.h"
#include "server/RemoteNames.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStyle>
#include <QStyleOptionProgressBar>
#include <QTableView>
#include <QTime>
#include <QTimer>
#include <QUuid>
#include <QtMath>

namespace {

constexpr TColor RefusedRowColor = ColorFromRGB(255, 220, 220);

const QString KeptHint = QStringLiteral(" O código lido continua no campo: tecle Enter para enviá-lo de novo.");

template <class F>
F* AddField(TClientDataSet* dataSet, const char* name, int size, const char* label)
{
    auto* field = new F(dataSet);
    field->SetFieldName(QString::fromLatin1(name));
    field->SetName(QStringLiteral("cdsItens") + field->FieldName());
    if (size > 0)
        field->SetSize(size);
    field->SetDisplayLabel(QString::fromUtf8(label));
    return field;
}

// `word` standing alone in a text; nothing matches an empty word.
QRegularExpression WholeWord(const QString& word)
{
    return QRegularExpression(word.isEmpty() ? QStringLiteral("(?!)")
                                             : QStringLiteral("\\b%1\\b").arg(QRegularExpression::escape(word)));
}

} // namespace

TfrmLeituraIUM::TfrmLeituraIUM(TComponent* owner) : TModalForm(owner)
{
    SetName(QStringLiteral("frmLeituraIUM"));
    SetCaption(QStringLiteral("Leitura de IUM"));
    SetBorderIcons(TBorderIcon::biSystemMenu);
    SetClientWidth(860);
    SetClientHeight(540);
    SetKeyPreview(true);
    OnKeyDown = closure(this, &TfrmLeituraIUM::FormKeyDown);
    OnClose = closure(this, &TfrmLeituraIUM::FormClose);

    panLeitura = Place(new TPanel(this), "panLeitura", this);
    panLeitura->SetAlign(TAlign::alTop);
    panLeitura->SetHeight(96);
    panLeitura->SetBevelOuter(TBevelCut::bvNone);
    lblNota = Place(new TLabel(this), "lblNota", panLeitura);
    lblNota->Font().SetStyle(TFontStyle::fsBold);
    lblNota->SetBounds(10, 10, 500, 20);
    lblPendentes = Place(new TLabel(this), "lblPendentes", panLeitura);
    lblPendentes->SetAutoSize(false);
    lblPendentes->SetBounds(10, 27, 840, 16);
    lblPendentes->Font().SetColor(PendingColor);
    lblPendentes->Font().SetStyle(TFontStyle::fsBold);
    lblPresenca = Place(new TLabel(this), "lblPresenca", panLeitura);
    lblPresenca->SetAutoSize(false);
    lblPresenca->SetBounds(10, 43, 840, 16);
    lblPresenca->Font().SetColor(ColorFromRGB(160, 80, 0));
    lblPresenca->Font().SetStyle(TFontStyle::fsBold);
    lblCodigoIUM = Place(new TLabel(this), "lblCodigoIUM", panLeitura);
    lblCodigoIUM->SetCaption(QStringLiteral("Código IUM:"));
    lblCodigoIUM->SetLeft(10);
    lblCodigoIUM->SetTop(66);
    edtCodigoIUM = Place(new TScanEdit(this), "edtCodigoIUM", panLeitura);
    edtCodigoIUM->SetBounds(100, 62, 600, 24);
    lblCodigoIUM->SetFocusControl(edtCodigoIUM);
    edtCodigoIUM->SetAccessibleDescription(
        QStringLiteral("Leia o código com o leitor, ou digite-o e tecle Enter; o resultado é anunciado"));

    panBotoes = Place(new TPanel(this), "panBotoes", this);
    panBotoes->SetAlign(TAlign::alBottom);
    panBotoes->SetHeight(42);
    panBotoes->SetBevelOuter(TBevelCut::bvNone);
    panBotoes->SetBorderWidth(6);
    const auto button = [this](const char* name, const QString& caption, const QString& hint, TAlign align,
                               int width, void (TfrmLeituraIUM::*click)(TObject*)) {
        TSpeedButton* b = Place(new TSpeedButton(this), name, panBotoes);
        b->SetCaption(caption);
        b->SetFlat(false);
        b->SetAlign(align);
        b->SetWidth(width);
        b->SetHint(hint);
        b->SetShowHint(true);
        b->OnClick = closure(this, click);
        return b;
    };
    sbtFechar = button("sbtFechar", QStringLiteral("Fechar"), QStringLiteral("Fechar a leitura (Esc)"), TAlign::alRight,
                       100, &TfrmLeituraIUM::sbtFecharClick);
    sbtDesfazer = button("sbtDesfazer", QStringLiteral("Desfazer última leitura"),
                         QStringLiteral("Exclui do servidor a última leitura gravada nesta tela (pede confirmação)"),
                         TAlign::alLeft, 180, &TfrmLeituraIUM::sbtDesfazerClick);
    sbtDesfazer->SetEnabled(false);
    sbtTestarLeitor = button("sbtTestarLeitor", QStringLiteral("Testar leitor"),
                             QStringLiteral("Mostra um símbolo de teste e diz o que mudar na configuração do leitor"),
                             TAlign::alLeft, 120, &TfrmLeituraIUM::sbtTestarLeitorClick);

    panResultado = Place(new TPanel(this), "panResultado", this);
    panResultado->SetAlign(TAlign::alBottom);
    panResultado->SetHeight(160);
    panResultado->SetBevelOuter(TBevelCut::bvNone);
    panResultado->SetBorderWidth(6);
    lblStatus = Place(new TLabel(this), "lblStatus", panResultado);
    lblStatus->SetAutoSize(false);
    lblStatus->SetAlign(TAlign::alTop);
    lblStatus->SetHeight(40);
    // A refusal can be long: the status line takes two lines rather than cut it.
    static_cast<QLabel*>(lblStatus->Widget())->setWordWrap(true);
    lblStatus->Font().SetStyle(TFontStyle::fsBold);
    lblStatus->SetCaption(QStringLiteral("Leia os códigos IUM dos produtos da nota."));
    lstLeituras = Place(new TReadingLog(this), "lstLeituras", panResultado);
    lstLeituras->SetAlign(TAlign::alClient);
    lstLeituras->SetAccessibleName(QStringLiteral("Leituras desta nota, a mais recente primeiro"));

    BuildItemGrid();
    channel_ = Notices();
    retryTimer_ = new QTimer(Widget());
    retryTimer_->setSingleShot(true);
    QObject::connect(retryTimer_, &QTimer::timeout, Widget(), [this] { Dispatch(this, [this] { SendQueued(); }); });
}

TfrmLeituraIUM::~TfrmLeituraIUM()
{
    LeaveReading();
}

void TfrmLeituraIUM::Shown()
{
    JoinReading();
    TakeQueued();
}

void TfrmLeituraIUM::BuildItemGrid()
{
    cdsItens = new TClientDataSet(this);
    cdsItens->SetName(QStringLiteral("cdsItens"));
    cdsItensCDPRODUTO = AddField<TStringField>(cdsItens, "CDPRODUTO", 10, "Produto");
    cdsItensCDARVPROD = AddField<TStringField>(cdsItens, "CDARVPROD", 20, "Cod. Produto");
    cdsItensCDARVPROD->SetEditMask(Varneth::DBPict(0));
    cdsItensNMPRODUTO = AddField<TStringField>(cdsItens, "NMPRODUTO", 50, "Nome");
    cdsItensSGUNIDADE = AddField<TStringField>(cdsItens, "SGUNIDADE", 10, "UN");
    cdsItensQTITEMPROD = AddField<TFloatField>(cdsItens, "QTITEMPROD", 0, "Qt. a Expedir");
    cdsItensQTITEMPROD->SetDisplayFormat(QStringLiteral("###,##0.000"));
    cdsItensQTRESPRODPED = AddField<TFloatField>(cdsItens, "QTRESPRODPED", 0, "Qt. Lida");
    // A count of labels: whole numbers.
    cdsItensQTRESPRODPED->SetDisplayFormat(QStringLiteral("###,##0"));
    cdsItensIDCONTROLAIUM = AddField<TStringField>(cdsItens, "IDCONTROLAIUM", 1, "Controla IUM");
    cdsItensCDGTIN = AddField<TStringField>(cdsItens, "CDGTIN", 14, "GTIN");
    dtsItens = new TDataSource(this);
    dtsItens->SetName(QStringLiteral("dtsItens"));
    dtsItens->SetDataSet(cdsItens);

    dbgItens = Place(new TDBGrid(this), "dbgItens", this);
    dbgItens->SetAlign(TAlign::alClient);
    dbgItens->SetDataSource(dtsItens);
    dbgItens->SetReadOnly(true);
    dbgItens->SetOptions(TDBGridOption::dgTitles | TDBGridOption::dgColumnResize | TDBGridOption::dgColLines |
                         TDBGridOption::dgRowLines | TDBGridOption::dgRowSelect |
                         TDBGridOption::dgAlwaysShowSelection);
    // The scanner types into whatever has the focus: the list never takes it.
    dbgItens->SetTabStop(false);
    dbgItens->View()->setFocusPolicy(Qt::NoFocus);
    dbgItens->SetAccessibleName(QStringLiteral("Itens da nota fiscal"));
    struct TColumnLayout {
        const char* field;
        int width;
    };
    for (const TColumnLayout& shape : {TColumnLayout{"CDARVPROD", 90}, {"NMPRODUTO", 330}, {"SGUNIDADE", 40},
                                    {"QTITEMPROD", 90}, {"QTRESPRODPED", 90}}) {
        TColumn* column = dbgItens->Columns().Add();
        column->SetFieldName(QString::fromLatin1(shape.field));
        column->SetWidth(shape.width);
    }
    progressColumn_ = dbgItens->Columns().Add();
    progressColumn_->SetFieldName(QStringLiteral("QTRESPRODPED"));
    progressColumn_->Title().SetCaption(QStringLiteral("Progresso"));
    progressColumn_->SetWidth(170);
    dbgItens->OnDrawColumnCell = closure(this, &TfrmLeituraIUM::dbgItensDrawColumnCell);
}

void TfrmLeituraIUM::SetInvoice(const QString& branch, const QString& invoice, TNetConnection* connection)
{
    branch_ = branch;
    invoice_ = invoice;
    connection_ = connection;
    lblNota->SetCaption(QStringLiteral("Filial %1 - Nota fiscal %2").arg(branch, invoice));
    SetCaption(QStringLiteral("Leitura de IUM - Nota fiscal %1").arg(invoice));
}

TAppServer& TfrmLeituraIUM::Server() const
{
    if (!connection_)
        throw Exception(QStringLiteral("A leitura de IUM não tem conexão com o servidor."));
    return connection_->AppServer();
}

QVariant TfrmLeituraIUM::Call(const QString& method, const QList<TRemoteArg>& args, const QString& requestId)
{
    const bool outer = !std::exchange(calling_, true);
    const auto done = qScopeGuard([this, outer] {
        if (outer)
            calling_ = false;
    });
    TAppServer& server = Server();
    if (!requestId.isEmpty())
        connection_->SetNextRequestId(requestId);
    QVariant result = server.Call(method, args);
    // The server answers: whatever waits may go now.
    if (!pending_.isEmpty() && !sending_)
        ScheduleSend(0);
    return result;
}

void TfrmLeituraIUM::LoadItems()
{
    const QVariant payload = Consiste::CheckResultServ(Call(Remote::GetItensIUM, {branch_, invoice_}), true, 0);
    if (payload.metaType() != QMetaType::fromType<TDataPacket>())
        throw EServerError(QStringLiteral("O servidor não devolveu os itens da nota fiscal %1.").arg(invoice_));
    const QString product = cdsItensCDPRODUTO->AsString();
    cdsItens->SetData(payload.value<TDataPacket>());
    if (!product.isEmpty())
        cdsItens->Locate(QStringLiteral("CDPRODUTO"), product, {});
}

void TfrmLeituraIUM::FormKeyDown(TObject*, TKey& key, TShiftState)
{
    if (key == Keys::Escape) {
        key = Keys::None;
        // A scan half typed (a scanner cut short, a wrong key) goes first.
        if (!edtCodigoIUM->Text().isEmpty())
            edtCodigoIUM->SetText(QString());
        else
            Close();
    } else if (key == Keys::Return && ActiveControl() == edtCodigoIUM) {
        key = Keys::None;
        ReadScan();
    }
}

void TfrmLeituraIUM::FormClose(TObject*, TCloseAction& action)
{
    retryTimer_->stop();
    if (const int waiting = Pending(); waiting > 0)
        MessageDlg(waiting == 1 ? QStringLiteral("1 leitura ainda não foi enviada ao servidor; ela será enviada quando a "
                                                 "leitura desta nota for aberta de novo")
                                : QStringLiteral("%1 leituras ainda não foram enviadas ao servidor; elas serão enviadas "
                                                 "quando a leitura desta nota for aberta de novo")
                                      .arg(waiting),
                   TMsgDlgType::mtWarning, TMsgDlgBtn::mbOK, 0);
    LeaveReading();
    EndModal(action);
}

void TfrmLeituraIUM::sbtFecharClick(TObject*)
{
    Close();
}

void TfrmLeituraIUM::sbtDesfazerClick(TObject*)
{
    if (stored_.isEmpty())
        return;
    const TStored last = stored_.last();
    const QString shown = Gs1ForDisplay(last.Code);
    if (MessageDlg(QStringLiteral("Desfazer a última leitura (IUM %1)?").arg(shown), TMsgDlgType::mtConfirmation,
                   TMsgDlgBtn::mbYes | TMsgDlgBtn::mbNo, 0)
        != mrYes) {
        edtCodigoIUM->SetFocus();
        return;
    }
    TDataPacketBuilder delta({{"CDFILIAL", TFieldType::ftString, 4},
                              {"NRLANCTONF", TFieldType::ftString, 10},
                              {"CDIUMPROD", TFieldType::ftString, 80},
                              {"CDPRODUTO", TFieldType::ftString, 10}});
    for (const QString& value : {branch_, invoice_, last.Code, last.Product})
        delta.AddString(value);
    delta.EndRow();
    edtCodigoIUM->SetFocus();
    try {
        Consiste::CheckResultServ(
            Request(QStringLiteral("D") + last.Code, Remote::DeleteIUMProd, {QVariant::fromValue(delta.Build())}), true, 0);
    } catch (const Exception& e) {
        const bool refused = dynamic_cast<const EServerError*>(&e) != nullptr;
        ShowRefusal(refused ? QStringLiteral("Leitura não desfeita: ") : QStringLiteral("Leitura não desfeita (sem servidor): "),
                    e.Message(), last.Code);
        return;
    }
    stored_.removeLast();
    sbtDesfazer->SetEnabled(!stored_.isEmpty());
    refusedProduct_.clear();
    if (!ReloadAfter(QStringLiteral("Leitura desfeita"), last.Code))
        return;
    cdsItens->Locate(QStringLiteral("CDPRODUTO"), last.Product, {});
    ShowResult(QStringLiteral("Leitura desfeita: IUM %1 (%2 %3)")
                   .arg(shown, cdsItensCDARVPROD->DisplayText().trimmed(), cdsItensNMPRODUTO->AsString()),
               clNavy, last.Code);
}

void TfrmLeituraIUM::sbtTestarLeitorClick(TObject*)
{
    Codbarium::TestaLeitor();
    edtCodigoIUM->SetFocus();
}

QVariant TfrmLeituraIUM::Request(const QString& key, const QString& method, const QList<TRemoteArg>& args)
{
    Server();  // raises when there is no connection
    if (unanswered_.Key == key)
        connection_->SetNextRequestId(unanswered_.RequestId);
    try {
        const QVariant result = Call(method, args);
        unanswered_ = {};
        return result;
    } catch (const EConnectionError&) {
        unanswered_ = {key, connection_->LastRequestId()};
        throw;
    } catch (const Exception&) {
        unanswered_ = {};
        throw;
    }
}

bool TfrmLeituraIUM::ReloadAfter(const QString& what, const QString& code)
{
    try {
        LoadItems();
        return true;
    } catch (const Exception& e) {
        ShowResult(QStringLiteral("%1, mas a lista de itens não pôde ser atualizada: %2").arg(what, e.Message()),
                   RefusedColor, code);
        return false;
    }
}

void TfrmLeituraIUM::Sound(TReadingSound sound) const
{
    if (Varneth::ScannerSounds())
        ReadingSounds().Play(sound);
    else if (sound == TReadingSound::Refused)
        QApplication::beep();
}

bool TfrmLeituraIUM::LocateGtin(const QString& gtin)
{
    // As the server finds the item: GTIN-14, or -13 without (01)'s leading 0.
    return cdsItens->Locate(QStringLiteral("CDGTIN"), gtin, {})
           || (gtin.startsWith(u'0') && cdsItens->Locate(QStringLiteral("CDGTIN"), gtin.mid(1), {}));
}

QString TfrmLeituraIUM::FindRefused(const QString& code, QString& message)
{
    // By the scan's GTIN, as the server finds the item...
    bool located = false;
    try {
        located = LocateGtin(ParseIumCode(code).Gtin);
    } catch (const EConvertError&) {
        // No GTIN to go by.
    }
    // ...else by a product code the message names.
    if (!located) {
        const QString before = cdsItensCDPRODUTO->AsString();
        cdsItens->First();
        while (!cdsItens->Eof() && !WholeWord(cdsItensCDARVPROD->AsString().trimmed()).match(message).hasMatch())
            cdsItens->Next();
        if (cdsItens->Eof() || cdsItens->IsEmpty()) {
            cdsItens->Locate(QStringLiteral("CDPRODUTO"), before, {});
            return QString();
        }
    }
    message.replace(WholeWord(cdsItensCDARVPROD->AsString().trimmed()), cdsItensCDARVPROD->DisplayText().trimmed());
    return cdsItensCDPRODUTO->AsString();
}

void TfrmLeituraIUM::ShowRefusal(const QString& prefix, const QString& message, const QString& code, int line)
{
    Sound(TReadingSound::Refused);
    QString text = message;
    refusedProduct_ = FindRefused(code, text);
    dbgItens->View()->viewport()->update();
    ShowResult(prefix + text + IumReading::SeparatorHint(code), RefusedColor, code, line);
}

void TfrmLeituraIUM::ReadScan()
{
    const QString typed = edtCodigoIUM->Text();
    const QString code = IumReading::ScanToCode(typed, Varneth::GroupSeparatorReplacement());
    // Cleared before the call: keys of the next scan that arrive while the
    // call waits are held back and typed afterwards, into the empty field.
    edtCodigoIUM->SetText(QString());
    edtCodigoIUM->SetFocus();
    if (code.isEmpty())
        return;

    // Behind scans that wait, in their order.
    if (!pending_.isEmpty()) {
        QString why;
        if (Enqueue(code, QUuid::createUuid().toString(QUuid::WithoutBraces), why) == TQueued::Unavailable) {
            if (edtCodigoIUM->Text().isEmpty())
                edtCodigoIUM->SetText(typed);
            ShowRefusal(QStringLiteral("IUM não gravado: "), why + KeptHint, code);
        }
        return;
    }
    QVariant payload;
    try {
        payload = Consiste::CheckResultServ(
            Request(QStringLiteral("L") + code, Remote::SetLeituraIUM, {branch_, invoice_, code}), true, 0);
    } catch (const Exception& e) {
        // A refusal is the server's verdict; anything else (a lost
        // connection) leaves the scan unstored all the same.
        const bool refused = dynamic_cast<const EServerError*>(&e) != nullptr;
        if (refused) {
            ShowRefusal(QStringLiteral("IUM recusado: "), e.Message(), code);
            // The server's over-read refusal, told as what happened: another
            // checker read the item's last unit.
            if (const QString elsewhere = CompletedElsewhere(refusedProduct_); !elsewhere.isEmpty())
                ShowResult(QStringLiteral("IUM recusado: ") + elsewhere, RefusedColor, code);
            return;
        }
        // The connection already tried again by itself: the scan waits in
        // the queue, as the same request when it went out...
        QString message = e.Message();
        if (dynamic_cast<const EConnectionError*>(&e)) {
            const QString id = unanswered_.RequestId.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces)
                                                               : unanswered_.RequestId;
            QString why;
            if (Enqueue(code, id, why) != TQueued::Unavailable) {
                unanswered_ = {};
                return;
            }
            message += QStringLiteral(" ") + why;
        }
        // ...or, where the queue cannot keep it, in its field, unless another
        // was typed meanwhile, for Enter to send it.
        const bool kept = edtCodigoIUM->Text().isEmpty();
        if (kept)
            edtCodigoIUM->SetText(typed);
        ShowRefusal(QStringLiteral("IUM não gravado: "), message + (kept ? KeptHint : QString()), code);
        return;
    }
    const QString product = payload.toList().value(0).toString();
    stored_.append({product, IumReading::StoredCode(code)});
    sbtDesfazer->SetEnabled(true);
    refusedProduct_.clear();
    Sound(TReadingSound::Accepted);
    if (!ReloadAfter(QStringLiteral("IUM aceito"), code))
        return;
    if (!product.isEmpty())
        cdsItens->Locate(QStringLiteral("CDPRODUTO"), product, {});
    ShowResult(AcceptedText(code, payload), AcceptedColor, code);
}

QString TfrmLeituraIUM::AcceptedText(const QString& code, const QVariant& payload) const
{
    const QVariantList values = payload.toList();
    const QString product = values.value(0).toString();
    QString text = cdsItensCDPRODUTO->AsString() == product && !product.isEmpty()
                       ? QStringLiteral("IUM aceito: %1 %2").arg(cdsItensCDARVPROD->DisplayText().trimmed(),
                                                                 cdsItensNMPRODUTO->AsString())
                       : QStringLiteral("IUM aceito: produto %1").arg(product);
    if (values.size() == 3)
        text += QStringLiteral(" (%1 de %2)").arg(FloatToStr(values[1].toDouble()), FloatToStr(values[2].toDouble()));
    try {
        text += QStringLiteral(" - ") + IumReading::DescribeIumCode(ParseIumCode(code));
    } catch (const EConvertError&) {
        // The server took a code this parser does not (another century window
        // for the expiry, say): the code as read still says what was stored.
        text += QStringLiteral(" - ") + Gs1ForDisplay(code);
    }
    return text;
}

int TfrmLeituraIUM::ShowResult(const QString& result, TColor color, const QString& code, int line)
{
    // A message may quote the code: its separators show as the mark too.
    const QString text = Gs1ForDisplay(result);
    lblStatus->Font().SetColor(color);
    lblStatus->SetCaption(text);
    // The colour and the sound are not all: the text itself is said.
    lblStatus->Announce();
    const QString shown = QStringLiteral("%1  %2").arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")), text);
    const QString hint = code.isEmpty() ? text : text + QStringLiteral("\nCódigo lido: ") + Gs1ForDisplay(code);
    if (line != 0 && lstLeituras->Replace(line, shown, color, hint))
        return line;
    return lstLeituras->Add(shown, color, hint);
}

void TfrmLeituraIUM::dbgItensDrawColumnCell(TObject*, const TRect& rect, int, TColumn* column, TGridDrawState)
{
    TCanvas* canvas = dbgItens->Canvas();
    const bool refused = !refusedProduct_.isEmpty() && cdsItensCDPRODUTO->AsString() == refusedProduct_;
    if (refused) {
        // The item of the last refusal, in the refusal's colours.
        canvas->Brush().Color = RefusedRowColor;
        canvas->Font().SetColor(RefusedColor);
        canvas->Font().SetStyle(TFontStyle::fsBold);
    }
    if (column != progressColumn_) {
        if (refused) {
            canvas->FillRect(rect);
            const QString text = column->Field() ? column->Field()->DisplayText() : QString();
            const int width = canvas->Painter()->fontMetrics().horizontalAdvance(text);
            const int left = column->Alignment() == TAlignment::taRightJustify ? rect.Right - width - 3 : rect.Left + 2;
            canvas->TextRect(rect, left, rect.Top + 2, text);
        }
        return;
    }
    canvas->FillRect(rect);
    if (cdsItensIDCONTROLAIUM->AsString() != QLatin1String("S")) {
        canvas->Font().SetColor(clGrayText);
        canvas->TextRect(rect, rect.Left + 4, rect.Top + 2, QStringLiteral("sem controle de IUM"));
        return;
    }
    const double toShip = cdsItensQTITEMPROD->AsFloat();
    const double read = cdsItensQTRESPRODPED->AsFloat();
    const double share = toShip > 0 ? qBound(0.0, read / toShip, 1.0) : 1.0;
    // The share beside the bar, in the cell's own text colour: over the bar's
    // fill edge it would be half on the fill and hard to read.
    const QString percent = QStringLiteral("%1%").arg(qFloor(share * 100));
    const int textWidth = canvas->Painter()->fontMetrics().horizontalAdvance(QStringLiteral("100%")) + 8;
    QStyleOptionProgressBar bar;
    bar.initFrom(dbgItens->View());
    bar.rect = rect.ToQRect().adjusted(3, 3, -3 - textWidth, -3);
    bar.minimum = 0;
    bar.maximum = 1000;
    bar.progress = qRound(share * 1000);
    bar.textVisible = false;
    bar.state |= QStyle::State_Horizontal;
    dbgItens->View()->style()->drawControl(QStyle::CE_ProgressBar, &bar, canvas->Painter(), dbgItens->View());
    // TextRect fills its rectangle first: only the text's part of the cell.
    const int width = canvas->Painter()->fontMetrics().horizontalAdvance(percent);
    canvas->TextRect(TRect{rect.Right - textWidth, rect.Top, rect.Right, rect.Bottom}, rect.Right - width - 4, rect.Top + 2,
                     percent);
}
