#include "packages/PackageProbe.h"
#include "rtl/Exceptions.h"
#include "rtl/Packages.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

using PackageProbe::TFault;

const QString goodPackage = QStringLiteral(EXP_TEST_GOOD_PACKAGE);
const QString malformedPackage = QStringLiteral(EXP_TEST_MALFORMED_PACKAGE);
const QString noInitializePackage = QStringLiteral(EXP_TEST_NO_INITIALIZE_PACKAGE);
const QString notAPackage = QStringLiteral(EXP_TEST_NOT_A_PACKAGE);

// True while the dynamic linker holds the library in this process.
bool resident(const QString& path)
{
    void* handle = dlopen(path.toLocal8Bit().constData(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return false;
    dlclose(handle);
    return true;
}

// The message of the EPackageError that `load` raises; fails the test when
// it raises nothing or something else.
template <class F>
QString packageError(F load)
{
    try {
        load();
    } catch (const EPackageError& e) {
        return e.Message();
    }
    ADD_FAILURE() << "no EPackageError";
    return QString();
}

class Packages : public ::testing::Test {
protected:
    void SetUp() override { PackageProbe::Reset(); }
    void TearDown() override { PackageProbe::Reset(); }
};

TEST_F(Packages, LoadInitializesUnitsInOrderAndUnloadFinalizesInReverse)
{
    ASSERT_FALSE(resident(goodPackage));
    const TPackageHandle handle = LoadPackage(goodPackage);
    EXPECT_EQ(PackageProbe::Take(), (QStringList{"init Pkg_test", "init Cli_test"}));
    EXPECT_TRUE(resident(goodPackage));

    const TPackageInfo info = PackageInfo(handle);
    EXPECT_EQ(info.Name, "Pkg_test");
    EXPECT_EQ(info.Units, (QStringList{"Pkg_test", "Cli_test"}));
    EXPECT_EQ(info.MainUnit, "Pkg_test");
    EXPECT_EQ(info.Requires, (QStringList{"_bar", "_vrn", "_rtl", "_qr", "_lib", "_ger", "_frm", "_db", "_vcl"}));
    EXPECT_TRUE(info.RunOnly);

    const auto iniProc = reinterpret_cast<void (*)()>(GetPackageProc(handle, "IniProc"));
    ASSERT_NE(iniProc, nullptr);
    iniProc();
    EXPECT_EQ(PackageProbe::Take(), QStringList{"IniProc"});
    EXPECT_EQ(GetPackageProc(handle, "CriaTelaInexistente"), nullptr);

    UnloadPackage(handle);
    EXPECT_EQ(PackageProbe::Take(), (QStringList{"fin Cli_test", "fin Pkg_test"}));
    EXPECT_FALSE(resident(goodPackage));
    EXPECT_NE(packageError([&] { PackageInfo(handle); }), QString());
    EXPECT_NE(packageError([&] { UnloadPackage(handle); }), QString());
}

TEST_F(Packages, LoadingALoadedPackageCountsUsesWithoutInitializingAgain)
{
    const TPackageHandle first = LoadPackage(goodPackage);
    const TPackageHandle second = LoadPackage(goodPackage);
    EXPECT_EQ(first, second);
    EXPECT_EQ(PackageProbe::Take(), (QStringList{"init Pkg_test", "init Cli_test"}));

    UnloadPackage(first);
    EXPECT_TRUE(PackageProbe::Take().isEmpty());
    EXPECT_TRUE(resident(goodPackage));
    UnloadPackage(second);
    EXPECT_EQ(PackageProbe::Take(), (QStringList{"fin Cli_test", "fin Pkg_test"}));
    EXPECT_FALSE(resident(goodPackage));
}

TEST_F(Packages, FailingUnitInitializationUndoesTheUnitsBeforeItAndUnloads)
{
    PackageProbe::SetFailing("Cli_test", "init");
    const QString message = packageError([] { LoadPackage(goodPackage); });
    EXPECT_TRUE(message.contains(goodPackage)) << message.toStdString();
    EXPECT_TRUE(message.contains("unidade 'Cli_test': init de Cli_test falhou de propósito")) << message.toStdString();
    EXPECT_EQ(PackageProbe::Take(), (QStringList{"init Pkg_test", "init Cli_test", "fin Pkg_test"}));
    EXPECT_FALSE(resident(goodPackage));

    // Nothing stayed initialized: the next load starts from the first unit.
    PackageProbe::SetFailing(QString(), QString());
    UnloadPackage(LoadPackage(goodPackage));
    EXPECT_EQ(PackageProbe::Take(),
              (QStringList{"init Pkg_test", "init Cli_test", "fin Cli_test", "fin Pkg_test"}));
}

TEST_F(Packages, FailingFinalizationStillFinalizesTheOtherUnitsAndUnloads)
{
    const TPackageHandle handle = LoadPackage(goodPackage);
    PackageProbe::SetFailing("Cli_test", "fin");
    const QString message = packageError([&] { UnloadPackage(handle); });
    EXPECT_TRUE(message.contains("unidade 'Cli_test': fin de Cli_test falhou de propósito")) << message.toStdString();
    EXPECT_EQ(PackageProbe::Take(),
              (QStringList{"init Pkg_test", "init Cli_test", "fin Cli_test", "fin Pkg_test"}));
    EXPECT_FALSE(resident(goodPackage));
}

TEST_F(Packages, FilesThatAreNoPackageAreRefusedAndNotKept)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString garbage = dir.filePath("libgarbage.so");
    QFile file(garbage);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("isto não é uma biblioteca");
    file.close();

    struct Case {
        QString path;
        QString fault;
    };
    const Case cases[] = {
        {dir.filePath("libausente.so"), "arquivo não encontrado"},
        {garbage, "não foi possível carregá-lo como biblioteca"},
        {notAPackage, "não é um pacote (não exporta GetPackageInfoTable)"},
        {noInitializePackage, "não exporta Initialize e Finalize"},
    };
    for (const Case& c : cases) {
        const QString message = packageError([&] { LoadPackage(c.path); });
        EXPECT_TRUE(message.startsWith(QStringLiteral("Pacote '%1' recusado: ").arg(c.path))) << message.toStdString();
        EXPECT_TRUE(message.contains(c.fault)) << message.toStdString();
        EXPECT_FALSE(resident(c.path)) << c.path.toStdString();
    }
    EXPECT_TRUE(PackageProbe::Take().isEmpty());
}

struct DescriptionCase {
    const char* name;
    TFault fault;
    const char* message;
};

class MalformedDescription : public Packages, public ::testing::WithParamInterface<DescriptionCase> {};

TEST_P(MalformedDescription, IsRefusedWithoutRunningThePackage)
{
    PackageProbe::SetFault(GetParam().fault);
    const QString message = packageError([] { LoadPackage(malformedPackage); });
    EXPECT_EQ(message, QStringLiteral("Pacote '%1' recusado: %2.").arg(malformedPackage, GetParam().message));
    EXPECT_TRUE(PackageProbe::Take().isEmpty()) << "the package's Initialize ran";
    EXPECT_FALSE(resident(malformedPackage));
}

INSTANTIATE_TEST_SUITE_P(
    Packages, MalformedDescription,
    ::testing::Values(
        DescriptionCase{"NullTable", TFault::NullTable,
                        "a descrição do pacote está ausente (GetPackageInfoTable devolveu nulo)"},
        DescriptionCase{"BadMagic", TFault::BadMagic, "descrição do pacote malformada: assinatura desconhecida"},
        DescriptionCase{"NewerAbi", TFault::NewerAbi,
                        "descrição do pacote malformada: versão 2 não suportada (esperada 1)"},
        DescriptionCase{"UnknownFlag", TFault::UnknownFlag,
                        "descrição do pacote malformada: indicadores desconhecidos (0x81)"},
        DescriptionCase{"NullPackageName", TFault::NullPackageName,
                        "descrição do pacote malformada: nome do pacote inválido"},
        DescriptionCase{"NoUnits", TFault::NoUnits,
                        "descrição do pacote malformada: o pacote deve declarar de 1 a 256 unidades"},
        DescriptionCase{"NullUnitList", TFault::NullUnitList,
                        "descrição do pacote malformada: o pacote deve declarar de 1 a 256 unidades"},
        DescriptionCase{"NullUnitName", TFault::NullUnitName,
                        "descrição do pacote malformada: nome inválido na unidade 2"},
        DescriptionCase{"UnitNameWithBlank", TFault::UnitNameWithBlank,
                        "descrição do pacote malformada: nome inválido na unidade 2"},
        DescriptionCase{"UnitNameTooLong", TFault::UnitNameTooLong,
                        "descrição do pacote malformada: nome inválido na unidade 2"},
        DescriptionCase{"DuplicateUnit", TFault::DuplicateUnit,
                        "descrição do pacote malformada: unidade 'PKG_BAD' declarada duas vezes"},
        DescriptionCase{"MainUnitOutOfRange", TFault::MainUnitOutOfRange,
                        "descrição do pacote malformada: a unidade principal (2) não está entre as 2 unidades "
                        "declaradas"},
        DescriptionCase{"NullRequiresList", TFault::NullRequiresList,
                        "descrição do pacote malformada: lista de pacotes requeridos inválida"},
        DescriptionCase{"EmptyRequiredName", TFault::EmptyRequiredName,
                        "descrição do pacote malformada: nome inválido no pacote requerido 2"},
        DescriptionCase{"DuplicateRequired", TFault::DuplicateRequired,
                        "descrição do pacote malformada: pacote requerido '_RTL' listado duas vezes"}),
    [](const auto& info) { return std::string(info.param.name); });

// The control case of the table above: the malformed package loads when its
// description carries no fault, so each refusal is due to its fault alone.
TEST_F(Packages, MalformedPackageWithoutFaultLoads)
{
    const TPackageHandle handle = LoadPackage(malformedPackage);
    EXPECT_EQ(PackageInfo(handle).MainUnit, "Cli_bad");
    EXPECT_EQ(PackageInfo(handle).Requires, (QStringList{"_rtl", "_vcl"}));
    UnloadPackage(handle);
    EXPECT_EQ(PackageProbe::Take(), (QStringList{"Initialize", "Finalize"}));
}

} // namespace
