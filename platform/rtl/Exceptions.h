#pragma once
// The exception family every layer raises. Errors travel as exceptions until
// the one dispatch boundary of the UI layer hands them to the error display;
// `EAbort` is the silent one: the display ignores it, so it ends an action
// without a message.
#include <QByteArray>
#include <QString>
#include <exception>

class Exception : public std::exception {
public:
    explicit Exception(QString message) : message_(std::move(message)), utf8_(message_.toUtf8()) {}
    const QString& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

#define EXP_DECLARE_EXCEPTION(Name, Base)        \
    class Name : public Base {                   \
    public:                                      \
        using Base::Base;                        \
    };

EXP_DECLARE_EXCEPTION(EAbort, Exception)
EXP_DECLARE_EXCEPTION(EDatabaseError, Exception)
EXP_DECLARE_EXCEPTION(EConvertError, Exception)
EXP_DECLARE_EXCEPTION(EServerError, Exception)
EXP_DECLARE_EXCEPTION(EConnectionError, Exception)
EXP_DECLARE_EXCEPTION(EPackageError, Exception)

// Raises the silent exception: ends the current action without a message.
[[noreturn]] inline void Abort() { throw EAbort(QStringLiteral("Operação cancelada")); }
