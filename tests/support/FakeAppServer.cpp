#include "FakeAppServer.h"

#include "rpc/Frame.h"

#include <QPointer>
#include <QTimer>
#include <memory>

TFakeAppServer::TFakeAppServer(QString module) : module_(std::move(module))
{
    listener_.listen(QHostAddress::LocalHost, 0);
    connect(&listener_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = listener_.nextPendingConnection()) {
            clients_.append(socket);
            auto reader = std::make_shared<Rpc::TFrameReader>(Rpc::TRpcLimits().MaxFrameSize);
            connect(socket, &QTcpSocket::disconnected, this,
                    [this, socket] { Events << QStringLiteral("closed ") + moduleOf_.value(socket); });
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, reader] {
                while (reader->ReadFrom(*socket))
                    Answer(socket, reader->TakeFrame());
            });
        }
    });
}

void TFakeAppServer::DropClients()
{
    for (QTcpSocket* socket : std::as_const(clients_))
        socket->abort();
    clients_.clear();
}

void TFakeAppServer::Push(const QByteArray& bytes)
{
    for (QTcpSocket* socket : std::as_const(clients_)) {
        socket->write(bytes);
        socket->flush();
    }
}

void TFakeAppServer::Answer(QTcpSocket* socket, const QByteArray& payload)
{
    const Rpc::TRpcLimits limits;
    const Rpc::TMessage message = Rpc::DecodeMessage(payload, limits, featuresOf_.value(socket));
    if (const auto* hello = std::get_if<Rpc::THello>(&message)) {
        ++Hellos;
        Events << QStringLiteral("hello ") + hello->Module;
        moduleOf_[socket] = hello->Module;
        if (BaseProtocolOnly && hello->Features) {
            socket->write(Rpc::EncodeFrame(Rpc::TFault{std::nullopt, Rpc::Fault::Frame,
                                                       QStringLiteral("\"hello\" deve ter 4 elementos")},
                                           limits));
            socket->disconnectFromHost();
        } else if (!module_.isEmpty() && hello->Module != module_)
            socket->write(Rpc::EncodeFrame(Rpc::TFault{std::nullopt, Rpc::Fault::Module,
                                                       QStringLiteral("Módulo remoto desconhecido: %1.").arg(hello->Module)},
                                           limits));
        else if (RequestIds && hello->Features && hello->Features->RequestId) {
            featuresOf_[socket] = Rpc::TFeatures{.RequestId = true};
            socket->write(Rpc::EncodeFrame(Rpc::TWelcome{1, hello->Module, QString(), featuresOf_[socket]}, limits));
        } else
            socket->write(Rpc::EncodeFrame(Rpc::TWelcome{1, hello->Module, QString(), std::nullopt}, limits));
        return;
    }
    const auto& call = std::get<Rpc::TCall>(message);
    Calls.append(call);
    Events << QStringLiteral("call %1 %2").arg(moduleOf_.value(socket), call.Method);
    if (CloseOnCall || (DropCalls > 0 && DropCalls-- > 0)) {
        socket->abort();
        return;
    }
    const std::optional<Rpc::TMessage> reply = OnCall ? OnCall(call) : std::nullopt;
    if (!reply)
        return;
    const QByteArray frame = Rpc::EncodeFrame(*reply, limits);
    QPointer<QTcpSocket> target(socket);
    QTimer::singleShot(DelayMs, this, [target, frame] {
        if (target)
            target->write(frame);
    });
}
