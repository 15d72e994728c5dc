#pragma once
// TRemoteArg: one argument of a late-bound remote call, by value or by
// reference. A by-value argument carries a value of the protocol's value
// model (text, date, number, boolean, null, array, data packet); a
// by-reference one (`ByRef(variable)`) sends the variable's current value and
// receives the server's final value into that same variable when the call
// returns. The variable must outlive the call.
//
//   net->AppServer().Call("GetDados", {filial, ByRef(sNrExpedicaoFiltro), ...});
#include "rtl/DateTime.h"

#include <QString>
#include <QVariant>
#include <functional>

class TRemoteArg {
public:
    TRemoteArg(const QVariant& value) : value_(value) {}
    TRemoteArg(const QString& value) : value_(value) {}
    TRemoteArg(const char* value) : value_(QString::fromUtf8(value)) {}
    TRemoteArg(TDateTime value) : value_(QVariant::fromValue(value)) {}
    TRemoteArg(double value) : value_(value) {}
    TRemoteArg(bool value) : value_(value) {}
    TRemoteArg(const QVariantList& value) : value_(value) {}
    // Any other registered value (a data packet, say).
    template <class T>
        requires(!std::is_convertible_v<T, QVariant> && !std::is_arithmetic_v<T>)
    TRemoteArg(const T& value) : value_(QVariant::fromValue(value))
    {
    }

    const QVariant& Value() const { return value_; }
    bool IsByRef() const { return static_cast<bool>(writeBack_); }
    // Stores the server's final value into the caller's variable. Raises
    // EServerError when the value does not fit the variable's type.
    void WriteBack(const QVariant& value) const { writeBack_(value); }

    friend TRemoteArg ByRef(QString& variable);
    friend TRemoteArg ByRef(QVariant& variable);
    friend TRemoteArg ByRef(TDateTime& variable);
    friend TRemoteArg ByRef(double& variable);
    friend TRemoteArg ByRef(bool& variable);

private:
    TRemoteArg(QVariant value, std::function<void(const QVariant&)> writeBack)
        : value_(std::move(value))
        , writeBack_(std::move(writeBack))
    {
    }

    QVariant value_;
    std::function<void(const QVariant&)> writeBack_;
};

TRemoteArg ByRef(QString& variable);
TRemoteArg ByRef(QVariant& variable);
TRemoteArg ByRef(TDateTime& variable);
TRemoteArg ByRef(double& variable);
TRemoteArg ByRef(bool& variable);
