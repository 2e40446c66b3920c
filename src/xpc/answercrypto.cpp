#include "answercrypto.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

namespace {

constexpr int aesKeySize = 32;
constexpr int nonceSize = 12;
constexpr int tagSize = 16;

struct PKeyFree
{
    void operator()(EVP_PKEY *key) const { EVP_PKEY_free(key); }
};
struct PKeyCtxFree
{
    void operator()(EVP_PKEY_CTX *context) const { EVP_PKEY_CTX_free(context); }
};
struct CipherCtxFree
{
    void operator()(EVP_CIPHER_CTX *context) const { EVP_CIPHER_CTX_free(context); }
};
struct BioFree
{
    void operator()(BIO *bio) const { BIO_free(bio); }
};
using PKey = std::unique_ptr<EVP_PKEY, PKeyFree>;
using PKeyCtx = std::unique_ptr<EVP_PKEY_CTX, PKeyCtxFree>;
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree>;
using Bio = std::unique_ptr<BIO, BioFree>;

bool useOaepSha512(EVP_PKEY_CTX *context)
{
    return EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_OAEP_PADDING) > 0 &&
           EVP_PKEY_CTX_set_rsa_oaep_md(context, EVP_sha512()) > 0 &&
           EVP_PKEY_CTX_set_rsa_mgf1_md(context, EVP_sha512()) > 0;
}

const unsigned char *bytes(const QByteArray &data)
{
    return reinterpret_cast<const unsigned char *>(data.constData());
}

unsigned char *bytes(QByteArray &data)
{
    return reinterpret_cast<unsigned char *>(data.data());
}

} // namespace

struct AnswerKey::Key
{
    PKey key;
};

AnswerKey::AnswerKey() : m_key(std::make_unique<Key>()) {}
AnswerKey::~AnswerKey() = default;

std::unique_ptr<AnswerKey> AnswerKey::generate()
{
    auto answerKey = std::make_unique<AnswerKey>();
    answerKey->m_key->key.reset(EVP_RSA_gen(2048));
    if (!answerKey->m_key->key)
        return nullptr;
    return answerKey;
}

QByteArray AnswerKey::publicKeyPEM() const
{
    Bio bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PUBKEY(bio.get(), m_key->key.get()) != 1)
        return {};
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, int(size));
}

std::optional<QByteArray> AnswerKey::open(const QByteArray &sealed) const
{
    if (sealed.size() < 2)
        return std::nullopt;
    const int wrappedSize = (uchar(sealed[0]) << 8) | uchar(sealed[1]);
    if (sealed.size() < 2 + wrappedSize + nonceSize + tagSize)
        return std::nullopt;
    const QByteArray wrapped = sealed.mid(2, wrappedSize);
    const QByteArray nonce = sealed.mid(2 + wrappedSize, nonceSize);
    const QByteArray tag = sealed.right(tagSize);
    const QByteArray ciphertext = sealed.mid(2 + wrappedSize + nonceSize,
                                             sealed.size() - 2 - wrappedSize - nonceSize - tagSize);

    PKeyCtx rsa(EVP_PKEY_CTX_new(m_key->key.get(), nullptr));
    size_t keySize = 0;
    if (!rsa || EVP_PKEY_decrypt_init(rsa.get()) <= 0 || !useOaepSha512(rsa.get()) ||
        EVP_PKEY_decrypt(rsa.get(), nullptr, &keySize, bytes(wrapped), size_t(wrapped.size())) <= 0)
        return std::nullopt;
    QByteArray aesKey(int(keySize), Qt::Uninitialized);
    if (EVP_PKEY_decrypt(rsa.get(), bytes(aesKey), &keySize, bytes(wrapped),
                         size_t(wrapped.size())) <= 0 ||
        keySize != size_t(aesKeySize))
        return std::nullopt;

    CipherCtx aes(EVP_CIPHER_CTX_new());
    QByteArray plain(ciphertext.size(), Qt::Uninitialized);
    int length = 0;
    int final = 0;
    QByteArray mutableTag = tag;
    const bool ok =
        aes &&
        EVP_DecryptInit_ex(aes.get(), EVP_aes_256_gcm(), nullptr, bytes(aesKey), bytes(nonce)) ==
            1 &&
        EVP_DecryptUpdate(aes.get(), bytes(plain), &length, bytes(ciphertext),
                          int(ciphertext.size())) == 1 &&
        EVP_CIPHER_CTX_ctrl(aes.get(), EVP_CTRL_GCM_SET_TAG, tagSize, mutableTag.data()) == 1 &&
        EVP_DecryptFinal_ex(aes.get(), bytes(plain) + length, &final) == 1;
    if (!ok)
        return std::nullopt;
    plain.resize(length + final);
    return plain;
}

std::optional<QByteArray> sealAnswer(const QByteArray &publicKeyPEM, const QByteArray &answer)
{
    Bio bio(BIO_new_mem_buf(publicKeyPEM.constData(), int(publicKeyPEM.size())));
    PKey key(bio ? PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!key)
        return std::nullopt;
    QByteArray aesKey(aesKeySize, Qt::Uninitialized);
    QByteArray nonce(nonceSize, Qt::Uninitialized);
    if (RAND_bytes(bytes(aesKey), aesKeySize) != 1 || RAND_bytes(bytes(nonce), nonceSize) != 1)
        return std::nullopt;

    PKeyCtx rsa(EVP_PKEY_CTX_new(key.get(), nullptr));
    size_t wrappedSize = 0;
    if (!rsa || EVP_PKEY_encrypt_init(rsa.get()) <= 0 || !useOaepSha512(rsa.get()) ||
        EVP_PKEY_encrypt(rsa.get(), nullptr, &wrappedSize, bytes(aesKey), aesKeySize) <= 0)
        return std::nullopt;
    QByteArray wrapped(int(wrappedSize), Qt::Uninitialized);
    if (EVP_PKEY_encrypt(rsa.get(), bytes(wrapped), &wrappedSize, bytes(aesKey), aesKeySize) <= 0)
        return std::nullopt;
    wrapped.resize(int(wrappedSize));

    CipherCtx aes(EVP_CIPHER_CTX_new());
    QByteArray ciphertext(answer.size(), Qt::Uninitialized);
    QByteArray tag(tagSize, Qt::Uninitialized);
    int length = 0;
    int final = 0;
    const bool ok = aes &&
                    EVP_EncryptInit_ex(aes.get(), EVP_aes_256_gcm(), nullptr, bytes(aesKey),
                                       bytes(nonce)) == 1 &&
                    EVP_EncryptUpdate(aes.get(), bytes(ciphertext), &length, bytes(answer),
                                      int(answer.size())) == 1 &&
                    EVP_EncryptFinal_ex(aes.get(), bytes(ciphertext) + length, &final) == 1 &&
                    EVP_CIPHER_CTX_ctrl(aes.get(), EVP_CTRL_GCM_GET_TAG, tagSize, tag.data()) == 1;
    if (!ok)
        return std::nullopt;
    ciphertext.resize(length + final);
    QByteArray sealed;
    sealed.append(char(wrapped.size() >> 8)).append(char(wrapped.size() & 0xff));
    return sealed + wrapped + nonce + ciphertext + tag;
}
