#include "host/ScreenPackages.h"

#include "rtl/Exceptions.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Where the package is found, with the host in bin/ and libraries in lib/.
struct TLocateCase {
    const char* Name;
    QStringList PresentIn;  // folders (under the root) that have the file
    QString Expected;       // the folder it is found in, "" for none
};
void PrintTo(const TLocateCase& c, std::ostream* os) { *os << c.Name; }

class LocatePackage : public testing::TestWithParam<TLocateCase> {};

TEST_P(LocatePackage, SearchesTheFoldersInOrder)
{
    QTemporaryDir root;
    const QDir dir(root.path());
    ASSERT_TRUE(dir.mkpath("bin") && dir.mkpath("lib"));
    for (const QString& folder : GetParam().PresentIn) {
        QFile file(dir.filePath(folder + "/libPkg_exp13000.so"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const TScreenPackages packages({dir.filePath("bin"), QDir::cleanPath(dir.filePath("bin/../lib"))});
    if (GetParam().Expected.isEmpty()) {
        try {
            packages.Locate("libPkg_exp13000.so");
            ADD_FAILURE() << "found";
        } catch (const EPackageError& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("O pacote libPkg_exp13000.so não foi encontrado. Procurado em:\n"
                                                  "%1\n%2")
                                       .arg(dir.filePath("bin"), dir.filePath("lib")));
        }
    } else {
        EXPECT_EQ(packages.Locate("libPkg_exp13000.so"), dir.filePath(GetParam().Expected + "/libPkg_exp13000.so"));
    }
}

INSTANTIATE_TEST_SUITE_P(Folders, LocatePackage,
                         testing::Values(TLocateCase{"BesideTheHost", {"bin"}, "bin"},
                                         TLocateCase{"InLib", {"lib"}, "lib"},
                                         TLocateCase{"BesideTheHostFirst", {"lib", "bin"}, "bin"},
                                         TLocateCase{"Nowhere", {}, ""}),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
