// The reference of the engine benchmarks: one whole message through OpenSSL's
// MD5_Init, MD5_Update and MD5_Final, the interface shaped like ours (its EVP
// interface costs it a few per cent in look-up and dispatch on small inputs).
#pragma once

#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>

#include <cstddef>

inline void OpenSslDigest(const unsigned char* data, std::size_t size, unsigned char digest[16])
{
    MD5_CTX context;
    MD5_Init(&context);
    MD5_Update(&context, data, size);
    MD5_Final(digest, &context);
}
