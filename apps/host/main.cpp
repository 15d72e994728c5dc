// The host desktop application: reads its settings from the command line and
// the configuration file, shows the main window and opens the screens of the
// packages from its menu. A bad command line stops it with status 2; --help
// prints the usage and stops with 0. Both are done before the window system
// is touched, so they work without a display; so does --demo-labels, which
// writes its PDF and stops.
#include "CommandLine.h"
#include "DemoLabelsCommand.h"
#include "Host.h"

#include "rtl/MemoryPolicy.h"
#include "ui/Application.h"

#include <QApplication>

#include <cstdio>

namespace {

void Print(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    THostOptions options;
    const QString error = ParseCommandLine(arguments, options);
    if (!error.isEmpty()) {
        Print(stderr, QStringLiteral("host: %1\nUse host --help para ver as opções.\n").arg(error));
        return 2;
    }
    if (options.Help) {
        Print(stdout, Usage());
        return 0;
    }

    if (!options.DemoLabels.isEmpty()) {
        // A command: the PDF needs fonts, not a window.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication qt(argc, argv);
        return RunDemoLabelsCommand(options);
    }

    KeepFreedMemory();
    QApplication qt(argc, argv);
    TApplication application;
    int code = 0;
    {
        THost host(options, THost::DefaultPlaces());
        host.Start();
        code = host.Run();
    }
    return code;
}
