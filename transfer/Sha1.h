#pragma once

// The SHA-1 digest of bytes handed over piece by piece, so that data streaming past (a body
// as it arrives, a file read in blocks) is hashed without being held whole or read twice.
// Header-only, so that the archive code and the transfer share it without linking each other;
// whoever includes it links OpenSSL's libcrypto.

#include <QByteArray>
#include <QByteArrayView>

#include <openssl/evp.h>

#include <memory>
#include <optional>

class Sha1
{
public:
    static constexpr int kSize = 20;

    Sha1() : m_context(EVP_MD_CTX_new()) { reset(); }

    // Starts over, forgetting whatever was added.
    void reset()
    {
        m_valid = m_context && EVP_DigestInit_ex(m_context.get(), EVP_sha1(), nullptr) == 1;
    }

    void addData(QByteArrayView data)
    {
        if (m_valid && !data.isEmpty())
            m_valid = EVP_DigestUpdate(m_context.get(), data.data(), size_t(data.size())) == 1;
    }

    // The 20 raw bytes of the digest of everything added since the last reset; none when
    // OpenSSL failed on the way. It ends the digest: reset() before adding more.
    std::optional<QByteArray> result()
    {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        const bool finished =
            m_valid && EVP_DigestFinal_ex(m_context.get(), digest, &length) == 1 && length == kSize;
        m_valid = false;
        if (!finished)
            return std::nullopt;
        return QByteArray(reinterpret_cast<const char*>(digest), kSize);
    }

private:
    struct ContextFree
    {
        void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
    };

    std::unique_ptr<EVP_MD_CTX, ContextFree> m_context;
    bool m_valid = false;
};
