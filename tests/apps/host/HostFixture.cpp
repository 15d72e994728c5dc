#include "HostFixture.h"

#include "packages/PackageProbe.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>

#include <dlfcn.h>

bool Resident(const QString& path)
{
    void* handle = dlopen(path.toLocal8Bit().constData(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return false;
    dlclose(handle);
    return true;
}

HostTest::HostTest()
{
    PackageProbe::Reset();
    QFile config(Path(QStringLiteral("host.ini")));
    EXPECT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("[server]\nhost=127.0.0.1\nport=21399\n"
                 "[branch]\ncode=0001\nname=Matriz\n"
                 "[database]\npath=db.sqlite\n");
    config.close();
    QFile database(Path(QStringLiteral("db.sqlite")));
    EXPECT_TRUE(database.open(QIODevice::WriteOnly));
    EXPECT_TRUE(QDir(dir_.path()).mkpath(QStringLiteral("pkg")));
}

HostTest::~HostTest() { PackageProbe::Reset(); }

std::unique_ptr<THost> HostTest::StartHost(const QStringList& arguments)
{
    THostOptions options;
    const QString error = ParseCommandLine(
        QStringList{QStringLiteral("host"), QStringLiteral("--config"), Path(QStringLiteral("host.ini"))} + arguments,
        options);
    EXPECT_EQ(error, QString());
    auto host = std::make_unique<THost>(
        options, THost::TPlaces{{Path(QStringLiteral("pkg"))}, Path(QStringLiteral("window.ini")), dir_.path()});
    host->Start();
    return host;
}

QString HostTest::PackagePath() const { return dir_.filePath(QStringLiteral("pkg/libPkg_exp13000.so")); }

void HostTest::InstallPackage(const QString& library)
{
    QFile::remove(PackagePath());
    ASSERT_TRUE(QFile::copy(library, PackagePath()));
}

QAction* HostTest::MenuEntry(const TfrmPrincipal& form, const QString& menu, const QString& caption)
{
    for (QAction* title : form.MenuBar()->actions())
        if (title->menu() && QString(title->text()).remove(u'&') == menu)
            for (QAction* entry : title->menu()->actions())
                if (QString(entry->text()).remove(u'&') == caption)
                    return entry;
    return nullptr;
}

QAction* HostTest::ScreenMenuEntry(const TfrmPrincipal& form)
{
    return MenuEntry(form, QStringLiteral("Expedição"), QStringLiteral("Conferência de Separação da Rastreabilidade"));
}
