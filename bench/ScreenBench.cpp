// The screen's own figures, on the real screen: TfrmConfSepExp opened in an
// MDI host window on the offscreen platform, with its handlers, its data
// sources, its three grids shown and painted, and the readiness copy with its
// bound item handler, loaded by panFiltroExit from the real application
// server over loopback (demo data; scale 100 is the large site, about 5,000
// invoices, 50,000 items and 500,000 IUM readings):
//   invoice_select_median_ms  another invoice chosen in the invoice grid as a
//                             click chooses it (a row on screen; the grid is
//                             first scrolled, untimed, to a random place of
//                             the list), until the three grids have repainted
//   item_select_median_ms     another item chosen in the item grid, likewise
//   invoice_select_ratio,     each of the two over the same change on bare Qt
//   item_select_ratio         (TBareGrids: a plain QTableView per grid, of the
//                             same size and columns, on a QStandardItemModel
//                             given the rows the screen's grid shows after the
//                             switch, repainted the same way), sample by
//                             sample in the same run
//   invoice_select_scaling    the first at scale 100 over the same at scale 10
//   screen_load_ratio         one panFiltroExit of the scale-100 work list
//                             over the database engine's own time for the
//                             same three queries (SqliteBaseline.h), both
//                             measured in this run
#include "AppServerProcess.h"
#include "Figures.h"
#include "SqliteBaseline.h"
#include "rules/WorkList.h"

#include "framework/DtmDBGeral.h"
#include "framework/Varneth.h"
#include "rtl/DateTime.h"
#include "screen/Cli_exp13000.h"
#include "ui/Application.h"
#include "ui/Form.h"
#include "ui/ScriptedDialogs.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTableView>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <random>

namespace {

using Bench::Clock;
using Bench::Median;
using Bench::MsSince;

// This thread's processor time: on a shared machine the wall-clock figures
// include waits for the processor, which this leaves out (reported beside them).
double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Wall-clock and processor times of repeated samples.
struct TSamples {
    std::vector<double> wall, cpu;
    template <class F>
    void Time(F&& f)
    {
        const double c0 = ThreadCpuMs();
        const auto t0 = Clock::now();
        f();
        wall.push_back(MsSince(t0));
        cpu.push_back(ThreadCpuMs() - c0);
    }
};

// Counts the paints of the grids' viewports, to show that the times include them.
class TPaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

// The bare-Qt counterpart of the screen's three grids: a plain QTableView
// each, of the same size and with the same column titles and widths, on a
// QStandardItemModel, in a window of its own. A switch puts the rows the
// screen's grid showed after its own switch into the models below the grid
// chosen, and lets every view repaint.
class TBareGrids {
public:
    using TRows = QList<QStringList>;

    explicit TBareGrids(const QList<TDBGrid*>& grids)
    {
        // Placed by hand, not by a layout, whose size constraints the
        // offscreen platform cannot pass on to the window.
        int top = 0, width = 0;
        for (TDBGrid* grid : grids) {
            const QTableView* from = grid->View();
            auto* model = new QStandardItemModel(&window_);
            QStringList titles;
            for (int c = 0; c < from->model()->columnCount(); ++c)
                titles << from->model()->headerData(c, Qt::Horizontal).toString();
            model->setHorizontalHeaderLabels(titles);
            auto* view = new QTableView(&window_);
            view->setModel(model);
            view->setGeometry(0, top, from->width(), from->height());
            top += from->height();
            width = std::max(width, from->width());
            view->setSelectionBehavior(QAbstractItemView::SelectRows);
            view->setEditTriggers(QAbstractItemView::NoEditTriggers);
            for (int c = 0; c < titles.size(); ++c)
                view->setColumnWidth(c, from->columnWidth(c));
            models_.push_back(model);
            views_.push_back(view);
        }
        window_.resize(width, top);
        // The screen keeps the activation, and with it its grids' look.
        window_.setAttribute(Qt::WA_ShowWithoutActivating);
        window_.show();
    }

    // The display texts of every row of a grid of the screen.
    static TRows Texts(const TDBGrid* grid)
    {
        const QAbstractItemModel* model = grid->View()->model();
        TRows rows;
        for (int r = 0; r < model->rowCount(); ++r) {
            QStringList row;
            for (int c = 0; c < model->columnCount(); ++c)
                row << model->data(model->index(r, c)).toString();
            rows << row;
        }
        return rows;
    }

    // Puts `rows` in grid `grid` (untimed set-up, or the part of a switch
    // that refills a detail grid).
    void Fill(int grid, const TRows& rows)
    {
        QStandardItemModel* model = models_[size_t(grid)];
        model->removeRows(0, model->rowCount());
        for (const QStringList& texts : rows) {
            QList<QStandardItem*> row;
            for (const QString& text : texts)
                row << new QStandardItem(text);
            model->appendRow(row);
        }
    }

    // Chooses row `row` of grid `grid`, refills the grids below it with
    // `details` (the next grid's rows first) and lets every view repaint.
    [[gnu::noinline]] void Switch(int grid, int row, const QList<TRows>& details)
    {
        QTableView* view = views_[size_t(grid)];
        view->setCurrentIndex(view->model()->index(row, qMax(0, view->currentIndex().column())));
        for (int d = 0; d < details.size(); ++d) {
            Fill(grid + 1 + d, details[d]);
            // A view lays out new rows from a timer of its own, which would
            // otherwise run in the next switch timed, the screen's perhaps.
            views_[size_t(grid + 1 + d)]->doItemsLayout();
        }
        QApplication::processEvents();
    }

    // Runs what the views left for later (untimed, between switches).
    static void Settle()
    {
        QApplication::processEvents();
        QApplication::processEvents();
    }

    // Scrolls grid `grid` as the screen's was scrolled.
    void ScrollLike(int grid, const TDBGrid* screen)
    {
        views_[size_t(grid)]->verticalScrollBar()->setValue(screen->View()->verticalScrollBar()->value());
        QApplication::processEvents();
    }

private:
    QWidget window_;
    std::vector<QStandardItemModel*> models_;
    std::vector<QTableView*> views_;
};

// The screen as the host shows it, against a real application server with
// demo data at `scale`. The filter is the host's branch, no expedition or
// order, and date ranges around today that take in every demo invoice.
class TScreenSession {
public:
    explicit TScreenSession(int scale) : scale_(scale)
    {
        TAppServerProcess::TOptions options;
        options.Scale = scale;
        server_ = std::make_unique<TAppServerProcess>(options);
        Varneth::SetWebURL(server_->Host());
        Varneth::SetWebPort(server_->Port());
        Varneth::SetFiliProc(QStringLiteral("0001"));
        Varneth::SetNomeFiliProc(QString());
        Varneth::SetModuFili(false);
        Varneth::SetDatabasePath(server_->DatabasePath());

        database_ = new TdtmDBGeral(Application);
        database_->Open();
        host_ = TForm::Create<TForm>(Application);
        host_->SetFormStyle(TFormStyle::fsMDIForm);
        host_->SetClientWidth(1300);
        host_->SetClientHeight(760);
        Application->SetMainForm(host_);
        host_->Show();
        Cli_exp13000::CriaTela();
        Application->ProcessMessages();
        screen_ = frmConfSepExp;

        const QDate today = QDate::currentDate();
        for (TDateEditPlus* from : {screen_->depInicial, screen_->depSaidaInicial})
            from->SetDate(DateTimeFromQDate(today.addYears(-1)));
        for (TDateEditPlus* to : {screen_->depFinal, screen_->depSaidaFim})
            to->SetDate(DateTimeFromQDate(today.addYears(1)));
        for (TDBGrid* grid : Grids())
            grid->View()->viewport()->installEventFilter(&paints_);
    }

    ~TScreenSession()
    {
        screen_->Close();
        Application->ProcessMessages();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        Application->SetMainForm(nullptr);
        delete host_;
        delete database_;
    }

    TScreenSession(const TScreenSession&) = delete;
    TScreenSession& operator=(const TScreenSession&) = delete;

    TfrmConfSepExp* Screen() const { return screen_; }
    QList<TDBGrid*> Grids() const { return {screen_->dbgNotaFiscal, screen_->dbgItemProduto, screen_->dbgIUMProd}; }
    int Paints() const { return paints_.paints; }

    // Reloads the work list as leaving the filter panel does, and lets the
    // screen repaint.
    void Load()
    {
        screen_->panFiltroExit(screen_->panFiltro);
        Application->ProcessMessages();
    }
    // Rows of the three data sets (all of them, whatever the filters show).
    qint64 LoadedRows() const
    {
        return screen_->cdsNotaFiscal->Data().RowCount() + screen_->cdsItemProduto->Data().RowCount() +
               screen_->cdsIUMProd->Data().RowCount();
    }
    // The filter exactly as the server receives it from the screen.
    TWorkListFilter Filter() const
    {
        return {screen_->medCdFilial->Text(), QStringLiteral("T"), QStringLiteral("T"),
                {screen_->depInicial->GetDate(), screen_->depFinal->GetDate(), screen_->depSaidaInicial->GetDate(),
                 screen_->depSaidaFim->GetDate()}};
    }
    QString DatabasePath() const { return server_->DatabasePath(); }
    int Scale() const { return scale_; }

    // Picks row `row` of `grid` as a click would, then lets every grid
    // repaint. Out of line, so that a profiler can count a switch alone.
    [[gnu::noinline]] static void Choose(TDBGrid* grid, int row)
    {
        QTableView* view = grid->View();
        view->setCurrentIndex(view->model()->index(row, qMax(0, view->currentIndex().column())));
        QApplication::processEvents();
    }

    // Scrolls `grid` to a random place of its rows, as the wheel would (the
    // current row stays), and lets it repaint; untimed, so that the clicks
    // measured reach every part of the list.
    static void ScrollSomewhere(std::mt19937& rng, TDBGrid* grid)
    {
        QScrollBar* bar = grid->View()->verticalScrollBar();
        bar->setValue(std::uniform_int_distribution<int>(bar->minimum(), bar->maximum())(rng));
        QApplication::processEvents();
    }

private:
    int scale_;
    std::unique_ptr<TAppServerProcess> server_;
    TdtmDBGeral* database_ = nullptr;
    TForm* host_ = nullptr;
    TfrmConfSepExp* screen_ = nullptr;
    TPaintCounter paints_;
};

// One session at a time (the screen exists once), ended before the
// application objects go.
std::unique_ptr<TScreenSession> session;

// The session at `scale`, loaded.
TScreenSession& Session(int scale)
{
    if (!session || session->Scale() != scale) {
        session.reset();
        session = std::make_unique<TScreenSession>(scale);
        session->Load();
        if (session->Screen()->cdsNotaFiscal->IsEmpty()) {
            std::fprintf(stderr, "bench_screen: the load at scale %d brought no invoices\n", scale);
            std::exit(1);
        }
    }
    return *session;
}

// A random row of `grid` that a click can reach (wholly on screen) other than
// the current one (0-based), or -1 when there is none.
int OtherRow(std::mt19937& rng, TDBGrid* grid)
{
    const QTableView* view = grid->View();
    const int count = view->model()->rowCount();
    const int current = view->currentIndex().row();
    std::vector<int> rows;
    for (int row = qMax(0, view->rowAt(0)); row < count; ++row) {
        if (view->rowViewportPosition(row) + view->rowHeight(row) > view->viewport()->height())
            break;
        if (row != current)
            rows.push_back(row);
    }
    if (rows.empty())
        return -1;
    return rows[size_t(std::uniform_int_distribution<size_t>(0, rows.size() - 1)(rng))];
}

int Samples() { return Bench::Quick() ? 150 : 1000; }

// Median time of choosing random invoices in the invoice grid; with `bare`,
// `bareMedian` gets the median of the same switches on bare Qt.
double InvoiceSelectMedian(TScreenSession& s, benchmark::State& state, TBareGrids* bare = nullptr,
                           double* bareMedian = nullptr)
{
    TDBGrid* grid = s.Screen()->dbgNotaFiscal;
    TDataSet* invoices = s.Screen()->cdsNotaFiscal;
    std::mt19937 rng(42);
    TSamples times, bareTimes;
    int paints = 0;
    for (int i = 0; i < Samples(); ++i) {
        TScreenSession::ScrollSomewhere(rng, grid);
        const int row = OtherRow(rng, grid);
        if (row < 0) {
            state.SkipWithError("no other invoice on screen to click");
            return 0;
        }
        const int paintsBefore = s.Paints();
        times.Time([&] { TScreenSession::Choose(grid, row); });
        paints += s.Paints() - paintsBefore;
        if (invoices->RecNo() != row + 1) {
            state.SkipWithError("choosing an invoice in the grid did not move the data set");
            return 0;
        }
        if (bare) {
            const QList<TBareGrids::TRows> details{TBareGrids::Texts(s.Screen()->dbgItemProduto),
                                                   TBareGrids::Texts(s.Screen()->dbgIUMProd)};
            bare->ScrollLike(0, grid);
            bareTimes.Time([&] { bare->Switch(0, row, details); });
            TBareGrids::Settle();
        }
    }
    state.counters["paints_per_switch"] = double(paints) / Samples();
    state.counters[s.Scale() == 100 ? "scale100_cpu_ms" : "scale10_cpu_ms"] = Median(times.cpu);
    if (bareMedian)
        *bareMedian = Median(bareTimes.wall);
    return Median(times.wall);
}

// The bare grids of a session, the invoice grid filled as the screen's.
std::unique_ptr<TBareGrids> BareGridsOf(TScreenSession& s)
{
    auto bare = std::make_unique<TBareGrids>(s.Grids());
    bare->Fill(0, TBareGrids::Texts(s.Screen()->dbgNotaFiscal));
    return bare;
}

void BM_InvoiceSelect(benchmark::State& state)
{
    double large = 0, small = 0, bareLarge = 0;
    for (auto _ : state) {
        small = InvoiceSelectMedian(Session(10), state);
        const auto bare = BareGridsOf(Session(100));
        large = InvoiceSelectMedian(Session(100), state, bare.get(), &bareLarge);
    }
    Bench::Report("invoice_select_median_ms", large, "ms");
    Bench::Report("invoice_select_ratio", bareLarge > 0 ? large / bareLarge : 0.0, "ratio");
    state.counters["bare_ms"] = bareLarge;
    Bench::Report("invoice_select_scaling", small > 0 ? large / small : 0.0, "ratio");
    state.counters["scale10_ms"] = small;
    state.counters["scale100_ms"] = large;
}
BENCHMARK(BM_InvoiceSelect)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ItemSelect(benchmark::State& state)
{
    TScreenSession& s = Session(100);
    TfrmConfSepExp* screen = s.Screen();
    std::mt19937 rng(7);
    TSamples times, bareTimes;
    const auto bare = BareGridsOf(s);
    for (auto _ : state) {
        while (int(times.wall.size()) < Samples()) {
            TScreenSession::ScrollSomewhere(rng, screen->dbgNotaFiscal);
            const int invoice = OtherRow(rng, screen->dbgNotaFiscal);
            if (invoice < 0) {
                state.SkipWithError("no other invoice on screen to click");
                return;
            }
            TScreenSession::Choose(screen->dbgNotaFiscal, invoice);
            const int row = OtherRow(rng, screen->dbgItemProduto);
            if (row < 0)
                continue;  // an invoice of one item: nothing to click
            // The bare grids stand where the screen's stand before the click.
            bare->ScrollLike(0, screen->dbgNotaFiscal);
            bare->Switch(0, invoice, {TBareGrids::Texts(screen->dbgItemProduto), TBareGrids::Texts(screen->dbgIUMProd)});
            TBareGrids::Settle();
            times.Time([&] { TScreenSession::Choose(screen->dbgItemProduto, row); });
            if (screen->cdsItemProduto->RecNo() != row + 1) {
                state.SkipWithError("choosing an item in the grid did not move the data set");
                return;
            }
            const QList<TBareGrids::TRows> details{TBareGrids::Texts(screen->dbgIUMProd)};
            bareTimes.Time([&] { bare->Switch(1, row, details); });
            TBareGrids::Settle();
        }
    }
    Bench::Report("item_select_median_ms", Median(times.wall), "ms");
    Bench::Report("item_select_ratio", Median(times.wall) / Median(bareTimes.wall), "ratio");
    state.counters["bare_ms"] = Median(bareTimes.wall);
    state.counters["median_ms"] = Median(times.wall);
    state.counters["cpu_ms"] = Median(times.cpu);
}
BENCHMARK(BM_ItemSelect)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ScreenLoad(benchmark::State& state)
{
    TScreenSession& s = Session(100);
    const QList<TWorkListStatement> statements = WorkListStatements(s.Filter());
    TSqliteBaseline engine(s.DatabasePath());
    const int rounds = Bench::Quick() ? 3 : 7;
    TSamples load, queries;
    qint64 loaded = 0, queried = 0;
    for (auto _ : state) {
        engine.Run(statements);  // both sides warm
        s.Load();
        for (int i = 0; i < rounds; ++i) {
            queries.Time([&] { queried = engine.Run(statements); });
            load.Time([&] { s.Load(); });
            loaded = s.LoadedRows();
        }
    }
    if (loaded != queried || loaded == 0)
        state.SkipWithError("the screen and the engine saw different rows");
    Bench::Report("screen_load_ratio", Median(load.wall) / Median(queries.wall), "ratio");
    state.counters["load_ms"] = Median(load.wall);
    state.counters["load_cpu_ms"] = Median(load.cpu);
    state.counters["engine_ms"] = Median(queries.wall);
    state.counters["engine_cpu_ms"] = Median(queries.cpu);
    state.counters["rows"] = double(loaded);
}
BENCHMARK(BM_ScreenLoad)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without a session (a benchmark machine) Qt wants a private runtime
    // folder and warns when there is none.
    const QTemporaryDir runtime;
    if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    QApplication qt(argc, argv);
    TApplication application;
    // A dialog here means the screen refused the load: stop with its text.
    TScriptedDialogs dialogs;
    dialogs.OnUnexpected = [](const QString& report) {
        std::fprintf(stderr, "bench_screen: %s\n", qPrintable(report));
        std::exit(1);
    };
    TScriptedDialogsScope scope(dialogs);
    const int code = Bench::Main(argc, argv);
    session.reset();
    return code;
}
