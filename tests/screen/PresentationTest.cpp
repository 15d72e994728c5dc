// How the work list shows coded values: the barcode picture of the invoice
// grid, warehouse and location as code and description, the customer's
// document number. Read back from the painted grids.
#include "WorkListFixture.h"

#include "framework/Consiste.h"
#include "server/Gs1.h"
#include "ui/Application.h"

#include <QPainter>
#include <QTableView>

namespace {

class Presentation : public WorkListTest {
protected:
    // Leaves the filter for the invoice grid, as the user does, and paints.
    TfrmConfSepExp* LoadByTabbing()
    {
        TfrmConfSepExp* f = OpenFilled();
        f->dbgNotaFiscal->SetFocus();
        Application->ProcessMessages();
        return f;
    }
    static QImage Painted(TDBGrid* grid)
    {
        return grid->View()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    static QRect Cell(TDBGrid* grid, int row, int column)
    {
        return grid->View()->visualRect(grid->View()->model()->index(row, column));
    }
};

TEST_F(Presentation, BarcodeCellShowsThePictureOnTheRowsOwnBackgroundAndNoValue)
{
    TfrmConfSepExp* f = LoadByTabbing();
    ASSERT_EQ(f->cdsNotaFiscal->RecordCount(), 3);
    ASSERT_EQ(f->dbgNotaFiscal->ColumnAt(0)->FieldName(), "IDSITSEPNF");
    const QImage painted = Painted(f->dbgNotaFiscal);
    const QImage picture = f->imgCodBarra->Picture().Bitmap().Image().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(picture.size(), QSize(16, 16));
    const QPalette palette = f->dbgNotaFiscal->View()->palette();
    const QRgb olive = qRgb(128, 128, 0);

    struct {
        int row;
        QRgb background;
    } rows[] = {{0, palette.color(QPalette::Active, QPalette::Highlight).rgb()},
                {1, palette.color(QPalette::Active, QPalette::Base).rgb()}};
    ASSERT_NE(rows[0].background, rows[1].background);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.row);
        const QRect cell = Cell(f->dbgNotaFiscal, r.row, 0);
        ASSERT_GE(cell.height(), 16);
        int bars = 0, mismatches = 0;
        for (int y = cell.top(); y < cell.bottom(); ++y)
            for (int x = cell.left(); x < cell.right(); ++x) {
                const int px = x - cell.left() - 10, py = y - cell.top();
                QRgb expected = r.background;
                if (picture.valid(px, py) && picture.pixel(px, py) != olive)
                    expected = picture.pixel(px, py);
                bars += expected == qRgb(0, 0, 0);
                mismatches += painted.pixel(x, y) != expected;
            }
        EXPECT_GT(bars, 16) << "the black bars show";
        EXPECT_EQ(mismatches, 0) << "olive takes the row's colour, nothing else is drawn (no value text)";
    }
}

TEST_F(Presentation, WarehouseAndLocationShowCodeAndDescriptionOnlyWithACode)
{
    usesWarehouses = usesLocations = true;
    auto reading = [](QVariant warehouse, QVariant warehouseName, QVariant location, QVariant locationName) {
        QVariantMap r = Reading("0001", "0000000001", "10", "X");
        r.insert({{"CDALMOXARIFE", warehouse}, {"DSALMOXARIFE", warehouseName},
                  {"CDLOCALESTOQ", location}, {"DSLOCALESTOQ", locationName}});
        return r;
    };
    readings = {reading("00", "Primeira", "00", "Primeira"),  // the current row, drawn as selected
                reading("01", "Central", QVariant(), "Doca"),
                reading("02", "", " L9 ", "  Fundo "),
                reading(QVariant(), "Sem código", "", "Vazio")};
    const QStringList warehouseTexts = {"01 - Central", "02 - ", ""};
    const QStringList locationTexts = {"", " L9  -   Fundo ", " - Vazio"};

    TfrmConfSepExp* f = LoadByTabbing();
    TDBGrid* grid = f->dbgIUMProd;
    grid->Columns().Items(0)->SetWidth(160);
    grid->Columns().Items(1)->SetWidth(160);
    Application->ProcessMessages();
    ASSERT_EQ(f->cdsIUMProd->RecordCount(), 4);
    const QImage painted = Painted(grid);
    const QPalette palette = grid->View()->palette();

    // What the cell must look like: its background, the text 2 pixels in
    // from the left and the top, in the grid's font.
    auto expected = [&](const QRect& cell, const QString& text) {
        QImage image(cell.size(), QImage::Format_RGB32);
        image.fill(palette.color(QPalette::Active, QPalette::Base));
        QPainter p(&image);
        p.setFont(grid->View()->font());
        p.setPen(palette.color(QPalette::Active, QPalette::Text));
        p.drawText(QPoint(2, 2 + QFontMetrics(grid->View()->font()).ascent()), text);
        return image;
    };
    for (int row = 1; row < 4; ++row)
        for (int column : {0, 1}) {
            const QString text = (column == 0 ? warehouseTexts : locationTexts).at(row - 1);
            SCOPED_TRACE(QStringLiteral("row %1 column %2: '%3'").arg(row).arg(column).arg(text).toStdString());
            const QRect cell = Cell(grid, row, column);
            const QRect inside(0, 0, cell.width() - 1, cell.height() - 1);
            EXPECT_EQ(painted.copy(cell).copy(inside), expected(cell, text).copy(inside));
        }
}

TEST_F(Presentation, TheIumCodeShowsItsGroupSeparatorsAsAMarkAndKeepsThem)
{
    const QString gs(QChar(29));
    const QString code = "0107891234567895" "21A1" + gs + "10L" + gs + "713R";
    readings = {Reading("0001", "0000000001", "10", code)};
    TfrmConfSepExp* f = LoadByTabbing();
    ASSERT_EQ(f->cdsIUMProd->RecordCount(), 1);
    EXPECT_EQ(f->cdsIUMProdCDIUMPROD->AsString(), code) << "the value deletion sends back";
    const int column = Consiste::IndiceCol(f->dbgIUMProd, QStringLiteral("CDIUMPROD"));
    const QString shown = f->dbgIUMProd->View()->model()->index(0, column).data().toString();
    EXPECT_EQ(shown, QStringLiteral("0107891234567895" "21A1¦10L¦713R"));
    // A glyph of the grid's own font, not the box of a missing one.
    EXPECT_TRUE(QFontMetrics(f->dbgIUMProd->View()->font()).inFont(QChar(GroupSeparatorMark)));
}

struct DocumentCase {
    const char* name;
    const char* personType;
    const char* number;
    const char* shown;
};

class DocumentNumber : public Presentation, public testing::WithParamInterface<DocumentCase> {};

TEST_P(DocumentNumber, IsMaskedByThePersonType)
{
    QVariantMap invoice = Invoice("0001", "0000000001");
    invoice["IDTPIJURCLIE"] = GetParam().personType;
    invoice["NRINSJURCLIE"] = GetParam().number;
    invoices = {invoice};
    TfrmConfSepExp* f = OpenFilled();
    f->panFiltroExit(f->panFiltro);
    EXPECT_EQ(f->cdsNotaFiscalNRINSJURCLIE->DisplayText(), QString::fromUtf8(GetParam().shown));
    const QModelIndex cell = f->dbgNotaFiscal->View()->model()->index(0, 3);
    EXPECT_EQ(cell.data().toString(), QString::fromUtf8(GetParam().shown)) << "as the grid shows it";
}

INSTANTIATE_TEST_SUITE_P(
    Table, DocumentNumber,
    testing::Values(DocumentCase{"individual", "F", "12345678901", "123.456.789-01"},
                    DocumentCase{"company", "J", "12345678000195", "12.345.678/0001-95"},
                    DocumentCase{"otherType", "E", "998877", "998877"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
