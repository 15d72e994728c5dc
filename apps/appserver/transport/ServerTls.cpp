#include "ServerTls.h"
#include "PrivateFile.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>

namespace {

// Certificates and keys are a few kilobytes; anything larger is no such file.
constexpr qint64 MaxPemBytes = 1 << 20;

std::optional<QByteArray> ReadPem(const QString& fileName, const QString& what, QString& error)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Não foi possível ler %1 %2: %3.").arg(what, fileName, file.errorString());
        return std::nullopt;
    }
    if (file.size() > MaxPemBytes) {
        error = QStringLiteral("%1 %2 é grande demais para ser um arquivo PEM.").arg(what, fileName);
        return std::nullopt;
    }
    return file.readAll();
}

} // namespace

std::optional<QSslConfiguration> LoadServerTls(const QString& certificateFile, const QString& keyFile, QString& error)
{
    if (!QSslSocket::supportsSsl()) {
        error = QStringLiteral("O suporte a TLS não está disponível neste computador (a biblioteca OpenSSL não foi "
                               "encontrada); instale-a ou rode sem --tls-cert e --tls-key, só na interface local.");
        return std::nullopt;
    }
    const auto certificates = ReadPem(certificateFile, QStringLiteral("o certificado"), error);
    if (!certificates)
        return std::nullopt;
    const QList<QSslCertificate> chain = QSslCertificate::fromData(*certificates, QSsl::Pem);
    if (chain.isEmpty() || chain.first().isNull()) {
        error = QStringLiteral("O arquivo %1 não contém um certificado no formato PEM.").arg(certificateFile);
        return std::nullopt;
    }
    const auto keyText = ReadPrivateFile(keyFile, QStringLiteral("a chave privada"), MaxPemBytes, error);
    if (!keyText)
        return std::nullopt;
    QSslKey key(*keyText, QSsl::Rsa, QSsl::Pem, QSsl::PrivateKey);
    if (key.isNull())
        key = QSslKey(*keyText, QSsl::Ec, QSsl::Pem, QSsl::PrivateKey);
    if (key.isNull()) {
        error = QStringLiteral("O arquivo %1 não contém uma chave privada RSA ou EC no formato PEM, sem senha.")
                    .arg(keyFile);
        return std::nullopt;
    }
    if (key.algorithm() != chain.first().publicKey().algorithm()) {
        error = QStringLiteral("A chave privada %1 não é do tipo da chave do certificado %2.").arg(keyFile, certificateFile);
        return std::nullopt;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    return configuration;
}
