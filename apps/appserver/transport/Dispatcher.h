#pragma once
// The remote data modules the server offers and the dispatch of one call:
// finding the method (names compare case-insensitively, as late-bound names
// do), checking the arguments' count and kinds, running it on the worker's
// database connection and writing one log line.
//
// Dispatch failures come back as faults whose message names the method
// (a client's method name quoted cut, Rpc::Quoted); anything a method raises
// becomes an "internal" fault whose message is Portuguese and generic, the
// exception's own text going to the log only. Business refusals
// are not faults: the methods return them in their result envelope.
#include "rpc/Messages.h"
#include "storage/Database.h"

#include <QHash>
#include <QList>
#include <QString>
#include <functional>

enum class TArgKind { Text, Date, Packet };

struct TCallContext {
    TDatabase* Db = nullptr;  // the worker thread's connection
    QVariantList Args;  // checked against the method's kinds; by-reference values are read back from here
    qint64 Rows = 0;    // rows read or changed, for the log
    QString RequestId;  // the client's request identifier; "" none
};

struct TMethod {
    QString Name;
    QList<TArgKind> Args;
    std::function<QVariant(TCallContext&)> Run;
};

class TModule {
public:
    TModule(QString name, QString id) : name_(std::move(name)), id_(std::move(id)) {}
    const QString& Name() const { return name_; }
    const QString& Id() const { return id_; }  // empty: the module has no identifier
    void Add(TMethod method);
    const TMethod* Find(const QString& method) const;

private:
    QString name_;
    QString id_;
    QHash<QString, TMethod> methods_;  // by lower-case name
};

class TDispatcher {
public:
    void Add(TModule module);
    const TModule* Find(const QString& module) const;
    // A TResult or a TFault for the call, made on behalf of `user` (the
    // authenticated user; "" on a server without accounts).
    Rpc::TMessage Execute(const TModule& module, Rpc::TCall call, const TDbConfig& db, const QString& user) const;

private:
    QHash<QString, TModule> modules_;
};
