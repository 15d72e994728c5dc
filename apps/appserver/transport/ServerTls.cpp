#include "ServerTls.h"
#include "PrivateFile.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <memory>

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

template <typename T, void (*Free)(T*)>
using TOwned = std::unique_ptr<T, std::integral_constant<decltype(Free), Free>>;

// Whether `key` is the private key of the first certificate of `chain` (both
// PEM, the key already known to be unprotected). A key of the right kind but
// of another pair loads, and then fails every handshake. Qt has no such
// check; OpenSSL's libcrypto is the library its TLS runs on.
bool KeyFitsCertificate(const QByteArray& chain, const QByteArray& key)
{
    const auto noPassphrase = [](char*, int, int, void*) { return 0; };
    const TOwned<BIO, BIO_free_all> chainIn(BIO_new_mem_buf(chain.constData(), int(chain.size())));
    const TOwned<BIO, BIO_free_all> keyIn(BIO_new_mem_buf(key.constData(), int(key.size())));
    const TOwned<X509, X509_free> certificate(chainIn ? PEM_read_bio_X509(chainIn.get(), nullptr, noPassphrase, nullptr)
                                                      : nullptr);
    const TOwned<EVP_PKEY, EVP_PKEY_free> privateKey(
        keyIn ? PEM_read_bio_PrivateKey(keyIn.get(), nullptr, noPassphrase, nullptr) : nullptr);
    const bool fits = certificate && privateKey && X509_check_private_key(certificate.get(), privateKey.get()) == 1;
    ERR_clear_error();  // what failed is told in our own words; Qt's TLS must not find it queued
    return fits;
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
    if (!KeyFitsCertificate(*certificates, *keyText)) {
        error = QStringLiteral("A chave privada %1 não é a do certificado %2.").arg(keyFile, certificateFile);
        return std::nullopt;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    return configuration;
}
