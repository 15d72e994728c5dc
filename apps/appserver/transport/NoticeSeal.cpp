#include "NoticeSeal.h"

#include "storage/Schema.h"

#include <QRandomGenerator>

#include <openssl/evp.h>

#include <memory>

namespace {

constexpr int NonceBytes = 12;
constexpr int TagBytes = 16;

QByteArray RandomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator::system()->generate(reinterpret_cast<quint32*>(bytes.data()),
                                         reinterpret_cast<quint32*>(bytes.data() + size));
    return bytes;
}

QByteArray& Key()
{
    static QByteArray key = RandomBytes(NoticeKeyBytes);
    return key;
}

using TCipher = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

const unsigned char* Bytes(const QByteArray& bytes)
{
    return reinterpret_cast<const unsigned char*>(bytes.constData());
}

unsigned char* Bytes(QByteArray& bytes)
{
    return reinterpret_cast<unsigned char*>(bytes.data());
}

} // namespace

void SetNoticeKey(const QByteArray& key)
{
    Q_ASSERT(key.size() == NoticeKeyBytes);
    Key() = key;
}

QByteArray SealNotice(const QByteArray& text)
{
    const QByteArray nonce = RandomBytes(NonceBytes);
    QByteArray out(text.size(), Qt::Uninitialized);
    QByteArray tag(TagBytes, Qt::Uninitialized);
    TCipher cipher(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    int length = 0;
    int last = 0;
    if (!cipher || EVP_EncryptInit_ex(cipher.get(), EVP_aes_256_gcm(), nullptr, Bytes(Key()), Bytes(nonce)) != 1
        || EVP_EncryptUpdate(cipher.get(), Bytes(out), &length, Bytes(text), int(text.size())) != 1
        || EVP_EncryptFinal_ex(cipher.get(), Bytes(out) + length, &last) != 1
        || EVP_CIPHER_CTX_ctrl(cipher.get(), EVP_CTRL_GCM_GET_TAG, TagBytes, tag.data()) != 1)
        return QByteArray();  // opens as nothing: the notice is lost, never forged
    return (nonce + out + tag).toBase64();
}

std::optional<QByteArray> OpenNotice(const QByteArray& sealed)
{
    const auto decoded = QByteArray::fromBase64Encoding(sealed, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() < NonceBytes + TagBytes)
        return std::nullopt;
    const QByteArray& whole = decoded.decoded;
    const QByteArray nonce = whole.first(NonceBytes);
    const QByteArray body = whole.sliced(NonceBytes, whole.size() - NonceBytes - TagBytes);
    QByteArray tag = whole.last(TagBytes);
    QByteArray text(body.size(), Qt::Uninitialized);
    TCipher cipher(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    int length = 0;
    int last = 0;
    if (!cipher || EVP_DecryptInit_ex(cipher.get(), EVP_aes_256_gcm(), nullptr, Bytes(Key()), Bytes(nonce)) != 1
        || EVP_DecryptUpdate(cipher.get(), Bytes(text), &length, Bytes(body), int(body.size())) != 1
        || EVP_CIPHER_CTX_ctrl(cipher.get(), EVP_CTRL_GCM_SET_TAG, TagBytes, tag.data()) != 1
        || EVP_DecryptFinal_ex(cipher.get(), Bytes(text) + length, &last) != 1)
        return std::nullopt;
    return text;
}
