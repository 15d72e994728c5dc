// How the screen, its lookup list, its search dialog and the reading window
// reach people who do not see them as designed: what a screen reader is told
// (every control that takes the focus has a name, the grids announce the
// current cell with its column's title, the focus moves in reading order),
// and, at the scale factor this process runs under (QT_SCALE_FACTOR: the
// cases are registered once per factor), whether every caption, field and
// cell shows its whole text.
//
// With EXP_LOOK_PICTURES naming a folder, the cases that check the texts
// also save what they checked there, as <window>-<factor>.png: the pictures
// of docs/.
#include "AccessibleTree.h"
#include "WorkListFixture.h"
#include "codbarium/IumReadingForm.h"
#include "framework/LookupListDialog.h"
#include "framework/SearchDialog.h"
#include "server/PacketLayouts.h"
#include "ui/CellText.h"
#include "ui/DBGrid.h"
#include "ui/GridDelegate.h"
#include "ui/Form.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOption>
#include <QTableView>
#include <QToolButton>

namespace {

class Look : public WorkListTest {
protected:
    // The work list with the names and places a site shows, as long as its
    // texts run.
    void SetUp() override
    {
        WorkListTest::SetUp();
        const char* customers[] = {"Drogaria Ipiranga", "Comercial Bandeirantes de Campinas", "Atacadista Ipiranga"};
        for (int i = 0; i < invoices.size(); ++i)
            invoices[i]["NMFANTCLIE"] = QString::fromUtf8(customers[i % 3]);
        const char* products[] = {"Rolamento blindado P", "Válvula esfera de latão M", "Luva nitrílica G"};
        for (int i = 0; i < items.size(); ++i) {
            items[i]["NMPRODUTO"] = QString::fromUtf8(products[i % 3]);
            items[i]["CDARVPROD"] = QStringLiteral("90.80.0%1").arg(10 + i);
            items[i]["SGUNIDADE"] = QStringLiteral("KG");
        }
        for (QVariantMap& reading : readings) {
            reading["CDALMOXARIFE"] = QStringLiteral("01 - Almoxarifado Central");
            reading["CDLOCALESTOQ"] = QStringLiteral("A01 - Corredor A, prateleira 1");
            reading["NRLOTEESTQ"] = QStringLiteral("L280800");
            reading["NRSUBLOTE"] = QStringLiteral("01");
        }
    }

    TfrmConfSepExp* OpenLoaded()
    {
        TfrmConfSepExp* f = OpenFilled();
        f->panFiltroExit(f->panFiltro);
        EXPECT_EQ(f->cdsNotaFiscal->RecordCount(), 3);
        return f;
    }
};

// The control a widget shows, by its name.
QString Describe(const QWidget* w)
{
    const TControl* control = ControlOf(w);
    return QStringLiteral("%1 %2 \"%3\"")
        .arg(QString::fromLatin1(w->metaObject()->className()), control ? control->Name() : w->objectName(),
             w->accessibleName());
}

// The controls the Tab key visits, in its order: the platform's tab lists,
// container by container.
void TabOrder(TWinControl* container, QList<TWinControl*>& order)
{
    for (int i = 0; i < container->TabListCount(); ++i) {
        TWinControl* control = container->TabList(i);
        if (control->TabStop() && control->CanFocus())
            order.append(control);
        TabOrder(control, order);
    }
}

// `later` comes before `earlier` as a reader scans the window: wholly above
// it, or beside it on the same line and to its left.
bool ReadBefore(const QRect& later, const QRect& earlier)
{
    if (later.bottom() < earlier.top())
        return true;
    const bool sameLine = later.top() <= earlier.bottom() && earlier.top() <= later.bottom();
    return sameLine && later.right() < earlier.left();
}

void SavePicture(QWidget* window, const char* name)
{
    const QString folder = qEnvironmentVariable("EXP_LOOK_PICTURES");
    if (folder.isEmpty())
        return;
    const QString factor = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1"));
    const QString path = QStringLiteral("%1/%2-%3.png").arg(folder, QString::fromLatin1(name), factor);
    EXPECT_TRUE(window->grab().save(path)) << path.toStdString();
}

QRect GlobalRect(const QWidget* w)
{
    return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}

// The Tab key's order over `form`, each control after the one read before it.
QList<TWinControl*> ExpectReadingOrder(TForm* form)
{
    QList<TWinControl*> order;
    TabOrder(form, order);
    for (int i = 1; i < order.size(); ++i)
        EXPECT_FALSE(ReadBefore(GlobalRect(order[i]->Widget()), GlobalRect(order[i - 1]->Widget())))
            << order[i]->Name().toStdString() << " comes after " << order[i - 1]->Name().toStdString()
            << " but is read before it";
    return order;
}

void ExpectNamed(QWidget* window, int atLeast)
{
    const QList<TAccessibleControl> controls = FocusableControls(window);
    EXPECT_GE(controls.size(), atLeast);
    for (const TAccessibleControl& c : controls) {
        const auto* w = qobject_cast<const QWidget*>(c.Object);
        EXPECT_FALSE(c.Name.trimmed().isEmpty()) << "unnamed: " << (w ? Describe(w).toStdString() : "?");
    }
}

// Every text shown fits, whole, in the room its control gives it.
void ExpectTextsFit(QWidget* window)
{
    for (const QLabel* label : window->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(window) || label->text().isEmpty())
            continue;
        const QRect room = label->contentsRect();
        const QFontMetrics metrics(label->font());
        // A label with a buddy shows "&" as the underline of the next letter.
        const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0) |
                          (label->buddy() ? Qt::TextShowMnemonic : 0);
        const QRect needed = metrics.boundingRect(room, flags, label->text());
        const std::string what = Describe(label).toStdString() + " " + label->text().toStdString();
        EXPECT_LE(needed.width(), room.width()) << "cut: " << what;
        EXPECT_LE(needed.height(), room.height()) << "cut: " << what;
    }
    for (const QGroupBox* box : window->findChildren<QGroupBox*>()) {
        if (!box->isVisibleTo(window))
            continue;
        const QFontMetrics metrics(box->font());
        EXPECT_LE(metrics.horizontalAdvance(box->title()), box->width()) << Describe(box).toStdString();
        // What the box holds sits inside its frame: below its top line (the
        // title's), above its bottom line.
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.text = box->title();
        option.lineWidth = 1;
        option.textAlignment = box->alignment();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QRect frame = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, box);
        // The top line runs along the title's foot.
        const int topLine = box->title().isEmpty()
                                ? frame.top()
                                : box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box).bottom();
        for (const QWidget* child : box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            for (const QWidget* control : child->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                if (!control->isVisibleTo(window))
                    continue;
                const QRect at(control->mapTo(box, QPoint(0, 0)), control->size());
                EXPECT_GT(at.top(), topLine) << Describe(control).toStdString() << " on the top line of "
                                             << box->title().toStdString() << " at " << topLine;
                EXPECT_LT(at.bottom(), frame.bottom()) << Describe(control).toStdString() << " on the bottom line of "
                                                       << box->title().toStdString() << " at " << frame.bottom();
            }
        }
    }
    for (QLineEdit* edit : window->findChildren<QLineEdit*>()) {
        if (!edit->isVisibleTo(window) || edit->text().isEmpty())
            continue;
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
        const QRect room = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit)
                               .marginsRemoved(edit->textMargins());
        EXPECT_LE(edit->fontMetrics().horizontalAdvance(edit->text()), room.width())
            << "cut: " << Describe(edit).toStdString() << " " << edit->text().toStdString();
    }
    for (const QTableView* view : window->findChildren<QTableView*>()) {
        if (!view->isVisibleTo(window))
            continue;
        const QAbstractItemModel* model = view->model();
        const QFontMetrics headerMetrics(view->horizontalHeader()->font());
        const QFontMetrics cellMetrics(view->font());
        // A cell's text is drawn between two blanks and left of the
        // column's line, laid out as the grid lays it out (TCellText).
        const int blanks = 2 * TGridDelegate::TextMargin(view->style(), view) + 1;
        TCellText measure;
        for (int c = 0; c < model->columnCount(); ++c) {
            if (view->isColumnHidden(c))
                continue;
            const QString title = model->headerData(c, Qt::Horizontal).toString();
            EXPECT_LE(headerMetrics.horizontalAdvance(title), view->columnWidth(c) - 4)
                << "title cut: " << title.toStdString();
            for (int r = 0; r < model->rowCount(); ++r) {
                const QString text = model->index(r, c).data().toString();
                EXPECT_LE(measure.Width(view->font(), text) + blanks, view->columnWidth(c))
                    << "cell cut: " << title.toStdString() << " " << text.toStdString();
            }
        }
        EXPECT_GE(view->verticalHeader()->defaultSectionSize(), cellMetrics.height()) << "rows lower than their text";
    }
}

TEST_F(Look, EveryFocusableControlOfTheScreenIsNamedAndFieldsSayTheirFormat)
{
    TfrmConfSepExp* f = OpenLoaded();
    ExpectNamed(f->Widget(), 10);
    const std::tuple<TWinControl*, const char*, const char*> fields[] = {
        {f->medCdFilial, "Filial", "Código da filial"},
        {f->depInicial, "Inicial", "Data do pedido inicial, no formato dd/mm/aaaa"},
        {f->depSaidaFim, "Final", "Data de saída final, no formato dd/mm/aaaa"},
        {f->medNrExpedicao, "Nr. Expedição", "Número da expedição"},
        {f->medNrPedido, "Nr. Pedido", "Número do pedido"},
    };
    for (const auto& [control, name, description] : fields) {
        EXPECT_EQ(control->AccessibleName(), QString::fromUtf8(name));
        EXPECT_TRUE(control->AccessibleDescription().startsWith(QString::fromUtf8(description)))
            << control->AccessibleDescription().toStdString();
    }
    // A button with a picture only is named by its hint.
    EXPECT_EQ(f->sbtConfirmar->AccessibleName(), "Confirmar");
    EXPECT_EQ(f->btnNrPedido->AccessibleName(), "Pesquisar pedido");
    EXPECT_EQ(f->dbgNotaFiscal->AccessibleName(), "Notas fiscais");
}

TEST_F(Look, TheFocusMovesInReadingOrder)
{
    TfrmConfSepExp* f = OpenLoaded();
    const QList<TWinControl*> order = ExpectReadingOrder(f);
    ASSERT_GE(order.size(), 9);
    EXPECT_EQ(order.first(), f->medCdFilial);
    EXPECT_EQ(order.last(), f->dbgIUMProd);
}

TEST_F(Look, AGridAnnouncesTheCurrentCellWithItsColumnsTitle)
{
    TfrmConfSepExp* f = OpenLoaded();
    TAccessibleEvents events;
    f->dbgItemProduto->SetFocus();
    ASSERT_TRUE(f->dbgItemProduto->Focused());
    events.Clear();
    f->cdsItemProduto->Next();
    const QList<TAccessibleEventSeen> seen = events.Of(QAccessible::Focus, f->dbgItemProduto->View());
    ASSERT_FALSE(seen.isEmpty()) << "no cell was announced";
    EXPECT_EQ(seen.last().ColumnTitle, f->dbgItemProduto->View()->model()->headerData(0, Qt::Horizontal).toString());
    EXPECT_EQ(seen.last().Name, f->cdsItemProduto->FieldByName("CDARVPROD")->DisplayText());
}

TEST_F(Look, TheScreenShowsEveryTextWhole)
{
    TfrmConfSepExp* f = OpenLoaded();
    ExpectTextsFit(f->Widget());
    SavePicture(host->HostWindow(), "screen");
}

TEST_F(Look, TheLookupListIsNamedAndShowsEveryTextWhole)
{
    TfrmConfSepExp* f = OpenLoaded();
    TLookupListDialog dialog({QStringLiteral("Nota Fiscal"), f->dtsNotaFiscal});
    dialog.show();
    Activate(&dialog);
    ExpectNamed(&dialog, 1);
    EXPECT_EQ(dialog.Grid()->AccessibleName(), "Nota Fiscal");
    ExpectTextsFit(&dialog);
    SavePicture(&dialog, "lookup");
}

TEST_F(Look, TheSearchDialogIsNamedAndShowsEveryTextWhole)
{
    TfrmConfSepExp* f = OpenLoaded();
    TSearchDialog dialog(f->cdsNotaFiscal);
    dialog.show();
    Activate(&dialog);
    ExpectNamed(&dialog, 5);
    ExpectTextsFit(&dialog);
}

TEST_F(Look, TheReadingWindowIsNamedAndShowsEveryTextWhole)
{
    TfrmLeituraIUM form(nullptr);
    form.SetInvoice(QStringLiteral("0001"), QStringLiteral("0000000001"), nullptr);
    const auto item = [](const char* product, const char* code, const char* name, const char* unit, double toShip,
                         double read) {
        return QVariantMap{{"CDFILIAL", "0001"},
                           {"NRLANCTONF", "0000000001"},
                           {"CDPRODUTO", product},
                           {"CDARVPROD", code},
                           {"NMPRODUTO", QString::fromUtf8(name)},
                           {"SGUNIDADE", unit},
                           {"CDGTIN", "7890000010296"},
                           {"IDCONTROLAIUM", "S"},
                           {"QTITEMPROD", toShip},
                           {"QTRESPRODPED", read},
                           {"IDSTATUSSEPSNCM", read < toShip ? "N" : "S"}};
    };
    form.cdsItens->SetData(PacketOf(Layout::ReadingItems(),
                                    {item("10", "90.80.008", "Rolamento blindado P", "KG", 3, 1),
                                     item("11", "50.50.022", "Válvula esfera de latão M", "PC", 16, 16),
                                     item("12", "80.90.043", "Luva nitrílica G", "CX", 1250, 12)}));
    form.Widget()->show();
    Activate(form.Widget());
    ExpectNamed(form.Widget(), 1);
    EXPECT_EQ(form.edtCodigoIUM->AccessibleName(), "Código IUM");
    ExpectReadingOrder(&form);
    ExpectTextsFit(form.Widget());
    SavePicture(form.HostWindow(), "reading");
}

} // namespace
