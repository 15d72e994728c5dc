#include "RemoteArg.h"

#include "rpc/ValueCodec.h"
#include "rtl/Exceptions.h"

namespace {

// The server's value must have the kind of the variable; null clears a text.
template <class T>
T Expect(const QVariant& value, const QString& kind)
{
    if (value.metaType() != QMetaType::fromType<T>())
        throw EServerError(QStringLiteral("O servidor de aplicação devolveu %1 num argumento por referência do tipo %2.")
                               .arg(Rpc::KindName(value), kind));
    return value.value<T>();
}

} // namespace

TRemoteArg ByRef(QString& variable)
{
    return TRemoteArg(variable, [&variable](const QVariant& value) {
        variable = value.isValid() ? Expect<QString>(value, QStringLiteral("texto")) : QString();
    });
}

TRemoteArg ByRef(QVariant& variable)
{
    return TRemoteArg(variable, [&variable](const QVariant& value) { variable = value; });
}

TRemoteArg ByRef(TDateTime& variable)
{
    return TRemoteArg(QVariant::fromValue(variable), [&variable](const QVariant& value) {
        variable = Expect<TDateTime>(value, QStringLiteral("data"));
    });
}

TRemoteArg ByRef(double& variable)
{
    return TRemoteArg(variable, [&variable](const QVariant& value) {
        variable = Expect<double>(value, QStringLiteral("número"));
    });
}

TRemoteArg ByRef(bool& variable)
{
    return TRemoteArg(variable, [&variable](const QVariant& value) {
        variable = Expect<bool>(value, QStringLiteral("lógico"));
    });
}
