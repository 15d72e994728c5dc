// The layering of the tree, checked on every build: each #include of the
// product's folders stays in its layer and in what its target links, and
// every folder holding sources is a target's, with its own CMakeLists.txt.
#include "IncludeLayers.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

const QString SourceDir = QStringLiteral(EXP_SOURCE_DIR);

QString ReadAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

bool IsSource(const QString& path)
{
    return path.endsWith(QLatin1String(".cpp")) || path.endsWith(QLatin1String(".h"));
}

// A small tree in the manner of the real one.
const QString SampleLayers = QStringLiteral(
    "platform/rtl|rtl|rtl\n"
    "platform/data|data|data rtl\n"
    "platform/ui|ui|data rtl ui\n"
    "services/netconn|netconn|netconn rtl\n"
    "services/framework|framework|data framework netconn rtl ui\n"
    "screen|screen|data framework netconn rtl screen ui\n"
    "apps/appserver/storage|storage|data rtl storage\n"
    "apps/appserver/rules|rules|data rtl rules storage\n");

struct TIncludeCase {
    const char* name;
    const char* file;
    const char* line;
    bool allowed;
};

class IncludeCheck : public testing::TestWithParam<TIncludeCase> {};

TEST_P(IncludeCheck, JudgesOneInclude)
{
    const TIncludeLayers layers = TIncludeLayers::Parse(SampleLayers);
    const auto exists = [](const QString& path) { return path == QLatin1String("platform/ui/Controls.h"); };
    const QStringList faults =
        layers.Check(QString::fromLatin1(GetParam().file), QString::fromLatin1(GetParam().line), exists);
    EXPECT_EQ(faults.isEmpty(), GetParam().allowed) << faults.join(QLatin1Char('\n')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Layers, IncludeCheck,
    testing::Values(
        TIncludeCase{"LinkedLowerLayer", "platform/ui/Form.h", "#include \"data/DataSet.h\"\n", true},
        TIncludeCase{"OwnFolderByName", "screen/filter/Branch.cpp", "#include \"screen/Cli_exp13000.h\"\n", true},
        TIncludeCase{"HeaderBeside", "platform/ui/Form.h", "#include \"Controls.h\"\n", true},
        TIncludeCase{"SystemHeader", "platform/rtl/Classes.h", "#include <QString>\n#include <sys/socket.h>\n", true},
        TIncludeCase{"CommentedOut", "platform/rtl/Classes.h", "// #include \"ui/Form.h\"\n", true},
        TIncludeCase{"AppsSeeTheirLibraries", "apps/appserver/rules/WorkList.cpp", "#include \"storage/Database.h\"\n",
                     true},
        TIncludeCase{"WidgetIntoData", "platform/data/DataSet.h", "#include \"ui/Form.h\"\n", false},
        TIncludeCase{"PlatformReachesServices", "platform/rtl/Classes.h", "#include \"framework/Consiste.h\"\n", false},
        TIncludeCase{"ServicesReachScreen", "services/framework/Varneth.cpp", "#  include \"screen/Cli_exp13000.h\"\n",
                     false},
        TIncludeCase{"SameLayerNotLinked", "services/netconn/NetConnection.cpp", "#include \"framework/Varneth.h\"\n",
                     false},
        TIncludeCase{"StorageSeesNoRules", "apps/appserver/storage/Database.cpp", "#include \"rules/WorkList.h\"\n",
                     false},
        TIncludeCase{"AngleBracketsToo", "platform/data/DataSet.h", "#include <ui/Form.h>\n", false},
        TIncludeCase{"HeaderNotBeside", "platform/data/DataSet.h", "#include \"Controls.h\"\n", false},
        TIncludeCase{"UnpublishedFolder", "platform/data/DataSet.h", "#include \"tests/support/UiTest.h\"\n", false},
        TIncludeCase{"ClimbsOut", "screen/filter/Branch.cpp", "#include \"../Cli_exp13000.h\"\n", false},
        TIncludeCase{"OutsideEveryTarget", "docs/Example.cpp", "#include <QString>\n", false}),
    [](const testing::TestParamInfo<TIncludeCase>& info) { return std::string(info.param.name); });

TEST(IncludeLayers, EveryIncludeOfTheTreeKeepsItsLayer)
{
    const TIncludeLayers layers = TIncludeLayers::Parse(ReadAll(QStringLiteral(EXP_LAYERS_FILE)));
    ASSERT_GE(layers.Folders().size(), 10) << "the build wrote no layer list";
    const auto exists = [](const QString& path) { return QFileInfo(SourceDir + QLatin1Char('/') + path).isFile(); };

    QStringList faults;
    QSet<QString> foldersSeen;
    int files = 0;
    for (const QString& top : {QStringLiteral("platform"), QStringLiteral("services"), QStringLiteral("screen"),
                               QStringLiteral("package"), QStringLiteral("apps")}) {
        QDirIterator it(SourceDir + QLatin1Char('/') + top, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (!IsSource(path))
                continue;
            const QString file = path.mid(SourceDir.size() + 1);
            faults << layers.Check(file, ReadAll(path), exists);
            const QString dir = file.section(QLatin1Char('/'), 0, -2);
            if (!QFileInfo::exists(SourceDir + QLatin1Char('/') + dir + QStringLiteral("/CMakeLists.txt")))
                faults << dir + QStringLiteral(" holds sources but no CMakeLists.txt");
            if (const TLayerFolder* folder = layers.FolderOf(file))
                foldersSeen.insert(folder->Path);
            ++files;
        }
    }
    faults.removeDuplicates();
    EXPECT_TRUE(faults.isEmpty()) << faults.join(QLatin1Char('\n')).toStdString();
    EXPECT_GT(files, 100);
    for (const TLayerFolder& folder : layers.Folders())
        EXPECT_TRUE(foldersSeen.contains(folder.Path)) << folder.Path.toStdString() << ": no file was checked";
}

} // namespace
