// The scanner check: the test symbol reads back as the code it describes,
// and each way a scanner can be set up wrong, typed into the real window as
// that scanner types the test symbol, gets its own diagnosis.
#include "UiTest.h"
#include "ZxingRead.h"
#include "codbarium/Codbarium.h"
#include "codbarium/ScannerCheckForm.h"
#include "framework/Varneth.h"
#include "labels/Gs1Symbol.h"
#include "ui/Dialogs.h"

namespace {

using ScannerCheck::TFinding;
constexpr QChar GS(29);

// The test symbol as a scanner set up right types it.
QString Right() { return QStringLiteral("]d2") + ScannerCheck::ScannerTestCode(); }

QString Mapped(const QString& text, const QList<std::pair<QChar, QChar>>& keys)
{
    QString out;
    for (QChar c : text) {
        const auto key = std::find_if(keys.cbegin(), keys.cend(), [c](const auto& k) { return k.first == c; });
        out += key == keys.cend() ? c : key->second;
    }
    return out;
}

QString CapsLock(const QString& text)
{
    QString out;
    for (QChar c : text)
        out += c.isUpper() ? c.toLower() : c.toUpper();
    return out;
}

struct TScannerCase {
    const char* name;
    QString typed;        // what the scanner types; the character 29 as the key Ctrl+]
    bool enter;
    QChar replacement;    // the host's scanner/group_separator
    QList<TFinding> findings;
    const char* says;     // part of what the window shows
};

class ScannerCheckWindow : public UiTest, public testing::WithParamInterface<TScannerCase> {
protected:
    void SetUp() override { saved = Varneth::Settings(); }
    void TearDown() override { Varneth::SetSettings(saved); }

    // Types `text` into the check's field as a keyboard-wedge scanner does.
    static void TypeScan(QWidget* field, const QString& text)
    {
        for (QChar c : text) {
            if (c == GS)
                QTest::keyClick(field, Qt::Key_BracketRight, Qt::ControlModifier);
            else if (c.unicode() > 127)  // a key of the layout's own, such as 'ç': its text
                QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), {});
            else
                QTest::keyClicks(field, QString(c));
        }
    }

    Varneth::THostSettings saved;
};

TEST_P(ScannerCheckWindow, SaysWhatToChange)
{
    const TScannerCase& c = GetParam();
    Varneth::SetGroupSeparatorReplacement(c.replacement);
    dialogs.ExpectReading([&c](const TReadingRequest& request) {
        auto* form = dynamic_cast<TfrmTestaLeitor*>(request.Context);
        if (!form) {
            ADD_FAILURE() << "the reading request carries no scanner check";
            return QVariant();
        }
        EXPECT_EQ(request.Arguments.value(QStringLiteral("TESTELEITOR")), QVariant(true));
        Activate(form->HostWindow());
        EXPECT_TRUE(form->edtLeitura->Focused());
        TypeScan(form->edtLeitura->Widget(), c.typed);
        if (c.enter)
            QTest::keyClick(form->edtLeitura->Widget(), Qt::Key_Return);
        else
            EXPECT_TRUE(QTest::qWaitFor([form] { return !form->Diagnosis().Findings.isEmpty(); },
                                        10 * TfrmTestaLeitor::IdleMs));
        EXPECT_EQ(form->Diagnosis().Findings, c.findings);
        const QString shown = form->lblResultado->Caption();
        EXPECT_TRUE(shown.contains(QString::fromUtf8(c.says))) << shown.toStdString();
        EXPECT_FALSE(shown.contains(GS));
        EXPECT_EQ(form->edtLeitura->Text(), QString());
        QTest::keyClick(form->edtLeitura->Widget(), Qt::Key_Escape);
        EXPECT_FALSE(form->Showing());
        return QVariant();
    });
    EXPECT_EQ(::Codbarium::TestaLeitor(), QVariant(c.findings == QList<TFinding>{TFinding::Ready}));
}

const QList<std::pair<QChar, QChar>> usOnAbnt2{{u']', u'['}, {u';', u'ç'}, {u':', u'Ç'}, {u'/', u';'}, {u'?', u':'}};
const QList<std::pair<QChar, QChar>> abnt2OnUs{{u']', u'\\'}, {u';', u'/'}, {u':', u'?'}, {u'/', u'<'}, {u'?', u'>'}};

INSTANTIATE_TEST_SUITE_P(
    Scanners, ScannerCheckWindow,
    testing::Values(
        TScannerCase{"SetUpRight", Right(), true, GS, {TFinding::Ready}, "O leitor está pronto"},
        TScannerCase{"NoSymbologyIdentifier", ScannerCheck::ScannerTestCode(), true, GS, {TFinding::NoSymbologyId},
                     "não envia o identificador de simbologia (]d2)"},
        TScannerCase{"SeparatorAsTilde", Right().replace(GS, u'~'), true, GS, {TFinding::SeparatorOther},
                     "informe group_separator=~ na seção [scanner]"},
        TScannerCase{"SeparatorAsTheHostsStandIn", Right().replace(GS, u'~'), true, QChar(u'~'), {TFinding::Ready},
                     "O leitor está pronto"},
        TScannerCase{"SeparatorAsGs1Data", Right().replace(GS, u'%'), true, GS, {TFinding::SeparatorOther},
                     "como '%', que não serve de substituto"},
        TScannerCase{"SeparatorDropped", Right().remove(GS), true, GS, {TFinding::SeparatorDropped},
                     "não envia o separador de grupo"},
        TScannerCase{"NoEnter", Right(), false, GS, {TFinding::NoEnter}, "ative o sufixo Enter"},
        TScannerCase{"CapsLock", CapsLock(Right()), true, GS, {TFinding::CaseInverted}, "desligue o Caps Lock"},
        TScannerCase{"UsScannerOnAbnt2Station", Mapped(Right(), usOnAbnt2), true, GS, {TFinding::UsLayoutOnAbnt2},
                     "o leitor digita como um teclado americano (US) e a estação usa o brasileiro (ABNT2)"},
        TScannerCase{"Abnt2ScannerOnUsStation", Mapped(Right(), abnt2OnUs), true, GS, {TFinding::Abnt2LayoutOnUs},
                     "Configure o leitor para o teclado americano US"},
        TScannerCase{"ExtraPrefix", QStringLiteral("LX") + Right(), true, GS, {TFinding::ExtraPrefix},
                     "acrescenta 'L', 'X' antes do código"},
        TScannerCase{"ExtraSuffix", Right() + QStringLiteral("#"), true, GS, {TFinding::ExtraSuffix},
                     "acrescenta '#' depois do código"},
        TScannerCase{"SeveralAtOnce", CapsLock(ScannerCheck::ScannerTestCode()).remove(GS), false, GS,
                     {TFinding::NoSymbologyId, TFinding::SeparatorDropped, TFinding::NoEnter, TFinding::CaseInverted},
                     "desligue o Caps Lock"},
        TScannerCase{"AnotherSymbol", QStringLiteral("]d20117891234567892" "21X"), true, GS,
                     {TFinding::NotTheTestSymbol}, "não é a do símbolo de teste"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScannerTestSymbol, ReadsBackAsTheCodeTheCheckExpects)
{
    const QImage image = TGs1Symbol::Encode(ScannerCheck::ScannerTestElements()).Image(6);
    const TZxingRead read = ZxingRead(image);
    EXPECT_EQ(read.SymbologyIdentifier, QStringLiteral("]d2"));
    EXPECT_EQ(read.Text, ScannerCheck::ScannerTestCode());
    // Exercises what the check looks for: both cases, a separator, the
    // symbols that move between layouts.
    const QString code = ScannerCheck::ScannerTestCode();
    EXPECT_TRUE(code.contains(GS));
    for (QChar c : {u';', u':', u'/', u'?', u'A', u'b'})
        EXPECT_TRUE(code.contains(c)) << QString(c).toStdString();
}

} // namespace
