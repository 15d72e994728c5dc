#include "ScannerCheck.h"

#include <QHash>
#include <QMap>

namespace ScannerCheck {

namespace {

constexpr QChar GroupSeparator(29);
const QString Gtin = QStringLiteral("07891234567895");

// What a station shows for a character the scanner types with the other
// layout: the same key, read through the station's layout.
QChar UsOnAbnt2(QChar c)
{
    static const QHash<QChar, QChar> keys{{u';', u'ç'}, {u':', u'Ç'}, {u'/', u';'}, {u'?', u':'}, {u']', u'['}};
    return keys.value(c);
}

QChar Abnt2OnUs(QChar c)
{
    static const QHash<QChar, QChar> keys{{u';', u'/'}, {u':', u'?'}, {u'/', u'<'}, {u'?', u'>'}, {u']', u'\\'}};
    return keys.value(c);
}

QChar SwapCase(QChar c) { return c.isUpper() ? c.toLower() : c.toUpper(); }

// Characters as a message shows them: quoted, control characters named.
QString Visible(const QString& text)
{
    QStringList parts;
    for (QChar c : text) {
        if (c == u'\t')
            parts << QStringLiteral("Tab");
        else if (c == u'\r' || c == u'\n')
            parts << QStringLiteral("Enter");
        else if (c.unicode() < 32 || c.unicode() == 127)
            parts << QStringLiteral("o caractere %1").arg(c.unicode());
        else
            parts << QStringLiteral("'%1'").arg(c);
    }
    return parts.join(QStringLiteral(", "));
}

class TReport {
public:
    void Add(TFinding finding, const QString& message)
    {
        if (!found_.contains(finding))
            found_.insert(finding, message);
    }
    TDiagnosis Done()
    {
        if (found_.isEmpty())
            Add(TFinding::Ready, QStringLiteral("O leitor está pronto: a leitura chegou igual ao símbolo de teste, "
                                                "com o identificador de simbologia, o separador de grupo e o Enter."));
        TDiagnosis diagnosis;
        for (auto it = found_.cbegin(); it != found_.cend(); ++it) {
            diagnosis.Findings << it.key();
            diagnosis.Messages << it.value();
        }
        return diagnosis;
    }

private:
    QMap<TFinding, QString> found_;  // ordered as the enum
};

void Layout(TReport& report, TFinding finding, QChar expected, QChar got)
{
    const bool us = finding == TFinding::UsLayoutOnAbnt2;
    report.Add(finding, QStringLiteral("Símbolos chegaram trocados (%1 como %2): o leitor digita como um teclado %3 e a "
                                       "estação usa o %4. Configure o leitor para o teclado %5.")
                            .arg(Visible(expected), Visible(got),
                                 us ? QStringLiteral("americano (US)") : QStringLiteral("brasileiro (ABNT2)"),
                                 us ? QStringLiteral("brasileiro (ABNT2)") : QStringLiteral("americano (US)"),
                                 us ? QStringLiteral("brasileiro ABNT2") : QStringLiteral("americano US")));
}

void CaseInverted(TReport& report)
{
    report.Add(TFinding::CaseInverted, QStringLiteral("As letras chegaram com maiúsculas e minúsculas trocadas: desligue "
                                                      "o Caps Lock do teclado (ou a conversão de maiúsculas do leitor)."));
}

// One character of the code that arrived as another.
void Compare(TReport& report, QChar expected, QChar got)
{
    if (got == expected)
        return;
    if (expected.isLetter() && got == SwapCase(expected))
        return CaseInverted(report);
    for (const auto& [finding, map] : {std::pair{TFinding::UsLayoutOnAbnt2, &UsOnAbnt2},
                                       std::pair{TFinding::Abnt2LayoutOnUs, &Abnt2OnUs}}) {
        const QChar moved = map(expected);
        if (moved.isNull())
            continue;
        if (got == moved)
            return Layout(report, finding, expected, got);
        if (moved.isLetter() && got == SwapCase(moved)) {
            CaseInverted(report);
            return Layout(report, finding, expected, moved);
        }
    }
    report.Add(TFinding::OtherDifference, QStringLiteral("%1 chegou como %2: confira o teclado e o idioma configurados "
                                                         "no leitor.")
                                              .arg(Visible(expected), Visible(got)));
}

void Separator(TReport& report, QChar got)
{
    const bool usable = got.unicode() > u' ' && got.unicode() < 127 && !IsGs1Character(got);
    report.Add(TFinding::SeparatorOther,
               usable ? QStringLiteral("O leitor envia o separador de grupo como %1. Configure o leitor para enviá-lo "
                                       "como o caractere 29 (GS), ou informe group_separator=%2 na seção [scanner] da "
                                       "configuração do host.")
                            .arg(Visible(got), QString(got))
                      : QStringLiteral("O leitor envia o separador de grupo como %1, que não serve de substituto (pode "
                                       "estar nos dados GS1). Configure o leitor para enviá-lo como o caractere 29 (GS).")
                            .arg(Visible(got)));
}

} // namespace

QList<TGs1Element> ScannerTestElements()
{
    return {{QStringLiteral("01"), Gtin}, {QStringLiteral("21"), QStringLiteral("Ab;Cd/Ef?Gh:")},
            {QStringLiteral("10"), QStringLiteral("Lt7x")}};
}

QString ScannerTestCode()
{
    return Gs1ElementString(ScannerTestElements());
}

TDiagnosis DiagnoseScan(const QString& typed, bool enter, QChar replacement)
{
    TReport report;
    const qsizetype start = typed.indexOf(QStringLiteral("01") + Gtin);
    if (start < 0) {
        report.Add(TFinding::NotTheTestSymbol,
                   QStringLiteral("A leitura não é a do símbolo de teste (não traz o GTIN %1): leia o símbolo mostrado "
                                  "nesta janela.")
                       .arg(Gtin));
        return report.Done();
    }

    // Before the code: the symbology identifier, perhaps through the other
    // layout or Caps Lock, and anything the scanner adds.
    QString prefix = typed.left(start);
    if (prefix.size() >= 3 && prefix.right(2).compare(QStringLiteral("d2"), Qt::CaseInsensitive) == 0) {
        Compare(report, u']', prefix.at(prefix.size() - 3));
        Compare(report, u'd', prefix.at(prefix.size() - 2));
        prefix.chop(3);
    } else {
        report.Add(TFinding::NoSymbologyId,
                   QStringLiteral("O leitor não envia o identificador de simbologia (]d2). A leitura de IUM aceita o "
                                  "código sem ele; ativado no leitor (prefixo AIM), ele deixa distinguir um símbolo GS1 "
                                  "de outros."));
    }
    if (!prefix.isEmpty())
        report.Add(TFinding::ExtraPrefix, QStringLiteral("O leitor acrescenta %1 antes do código: retire esse prefixo na "
                                                         "configuração do leitor.")
                                              .arg(Visible(prefix)));

    const QString expected = ScannerTestCode();
    const QStringView body = QStringView(typed).mid(start);
    qsizetype at = 0;
    for (qsizetype e = 0; e < expected.size(); ++e) {
        if (at >= body.size()) {
            report.Add(TFinding::OtherDifference,
                       QStringLiteral("A leitura terminou antes do fim do código: faltou %1.").arg(Visible(expected.mid(e))));
            break;
        }
        const QChar got = body.at(at);
        if (expected.at(e) != GroupSeparator) {
            Compare(report, expected.at(e), got);
            ++at;
        } else if (got == GroupSeparator || got == replacement) {
            ++at;
        } else if (e + 1 < expected.size() && got == expected.at(e + 1)) {
            report.Add(TFinding::SeparatorDropped,
                       QStringLiteral("O leitor não envia o separador de grupo: o campo seguinte fica grudado no anterior "
                                      "(o lote lido como parte do número de série). Ative no leitor o envio do separador "
                                      "(FNC1) como o caractere 29 (GS)."));
        } else {
            Separator(report, got);
            ++at;
        }
    }
    if (at < body.size())
        report.Add(TFinding::ExtraSuffix, QStringLiteral("O leitor acrescenta %1 depois do código: retire esse sufixo "
                                                         "na configuração do leitor (deixe só o Enter).")
                                              .arg(Visible(body.mid(at).toString())));
    if (!enter)
        report.Add(TFinding::NoEnter, QStringLiteral("O leitor não envia Enter ao fim da leitura: ative o sufixo Enter "
                                                     "(CR) na configuração do leitor."));
    return report.Done();
}

} // namespace ScannerCheck
