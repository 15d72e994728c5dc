#pragma once
// Fixture of the screen's tests: a host main window with an MDI area, host
// settings pointing at an in-process stand-in for the application server
// that serves both remote modules and answers the stock questions, the
// host's database (`dtmDBGeral`) on a file that holds the branches of
// `Branches`, and the screen opened through the package's entry as the host
// opens it.
#include "FakeAppServer.h"
#include "UiTest.h"
#include "framework/DtmDBGeral.h"
#include "framework/Varneth.h"
#include "screen/Cli_exp13000.h"
#include "ui/Form.h"

#include <QTemporaryDir>
#include <memory>

class ScreenTest : public UiTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the screen (CriaTela) and activates it, so that its first
    // activation has run.
    TfrmConfSepExp* OpenScreen();
    // Closes the screen and lets the event loop release it.
    void CloseScreen();
    // The stock questions asked so far, as "METHOD(branch)".
    QStringList StockQuestions() const;

    // The rows of table FILIAL: code and name. "0001" is the host's branch.
    static const QList<QPair<QString, QString>> Branches;

    TFakeAppServer server{QString()};
    bool usesWarehouses = true;
    bool usesLocations = false;
    TForm* host = nullptr;
    Varneth::THostSettings savedSettings;
    QTemporaryDir databaseDir;
    std::unique_ptr<TdtmDBGeral> database;
};
