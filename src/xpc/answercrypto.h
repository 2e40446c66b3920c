#pragma once

#include "result.h"

#include <QByteArray>

#include <memory>

// Answers to the client's questions travel encrypted for the one service run that asked:
// RSA-OAEP with SHA-512 wraps a one-time AES-256-GCM key. Sealed form: 2-byte big-endian
// length of the wrapped key, the wrapped key, a 12-byte nonce, the ciphertext, a 16-byte tag.
class AnswerKey
{
public:
    AnswerKey();
    ~AnswerKey();
    AnswerKey(const AnswerKey &) = delete;
    AnswerKey &operator=(const AnswerKey &) = delete;

    // A fresh 2048-bit key pair, or nothing when OpenSSL cannot make one.
    static std::unique_ptr<AnswerKey> generate();
    QByteArray publicKeyPEM() const;
    std::optional<QByteArray> open(const QByteArray &sealed) const;

private:
    struct Key;
    std::unique_ptr<Key> m_key;
};

// Seals an answer for the holder of the public key.
std::optional<QByteArray> sealAnswer(const QByteArray &publicKeyPEM, const QByteArray &answer);
