#include "DemoLabelsCommand.h"

#include "framework/DtmDBGeral.h"
#include "framework/Varneth.h"
#include "labels/DemoLabels.h"
#include "rtl/Exceptions.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

QString WriteDemoLabels(const QString& invoice, const QString& target)
{
    const TDemoSheet sheet = DemoSheet(dtmDBGeral->adcGeral(), Varneth::FiliProc(), invoice);
    const QString file = QFileInfo(target).isDir()
                             ? QDir(target).filePath(QStringLiteral("rotulos-demo-%1-%2.pdf").arg(sheet.Branch, sheet.Invoice))
                             : target;
    WriteDemoSheet(sheet, file);
    return QStringLiteral("Rótulos da nota fiscal %1 da filial %2 gravados em %3: %4 para ler e %5 errados de propósito.")
        .arg(sheet.Invoice, sheet.Branch, QDir::toNativeSeparators(file))
        .arg(sheet.Good)
        .arg(sheet.Labels.size() - sheet.Good);
}

int RunDemoLabelsCommand(const THostOptions& options)
{
    TdtmDBGeral module;
    try {
        module.Open();
        const QByteArray done = WriteDemoLabels(options.Invoice, options.DemoLabels).toUtf8();
        std::fprintf(stdout, "host: %s\n", done.constData());
        return 0;
    } catch (const Exception& e) {
        std::fprintf(stderr, "host: %s\n", e.Message().toUtf8().constData());
        return 1;
    }
}
