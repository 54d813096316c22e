#pragma once

// Owning smart pointers for the OpenSSL objects the library holds. Each frees
// its object with the matching OpenSSL call; the OpenSSL free functions of
// keys and cipher contexts cleanse their key material.

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace session {

template <typename T, void (*Free)(T*)>
struct OpenSslDeleter {
  void operator()(T* object) const { Free(object); }
};

template <typename T, void (*Free)(T*)>
using OpenSslPtr = std::unique_ptr<T, OpenSslDeleter<T, Free>>;

inline void FreeBio(BIO* bio) { BIO_free_all(bio); }

using EvpPkeyPtr = OpenSslPtr<EVP_PKEY, EVP_PKEY_free>;
using EvpPkeyCtxPtr = OpenSslPtr<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;
using EvpCipherCtxPtr = OpenSslPtr<EVP_CIPHER_CTX, EVP_CIPHER_CTX_free>;
using X509Ptr = OpenSslPtr<X509, X509_free>;
using X509NamePtr = OpenSslPtr<X509_NAME, X509_NAME_free>;
using X509StorePtr = OpenSslPtr<X509_STORE, X509_STORE_free>;
using X509SigPtr = OpenSslPtr<X509_SIG, X509_SIG_free>;
using X509AlgorPtr = OpenSslPtr<X509_ALGOR, X509_ALGOR_free>;
using X509ExtensionPtr = OpenSslPtr<X509_EXTENSION, X509_EXTENSION_free>;
using Pkcs8InfoPtr = OpenSslPtr<PKCS8_PRIV_KEY_INFO, PKCS8_PRIV_KEY_INFO_free>;
using BioPtr = OpenSslPtr<BIO, FreeBio>;
using SslCtxPtr = OpenSslPtr<SSL_CTX, SSL_CTX_free>;
using SslPtr = OpenSslPtr<SSL, SSL_free>;
using Asn1IntegerPtr = OpenSslPtr<ASN1_INTEGER, ASN1_INTEGER_free>;
using BignumPtr = OpenSslPtr<BIGNUM, BN_free>;

}  // namespace session
