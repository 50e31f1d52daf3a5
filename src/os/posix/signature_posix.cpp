#include "os/signature.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <memory>
#include <vector>

namespace corvane::os {
namespace {

template <auto Free>
struct Deleter {
  template <typename T>
  void operator()(T* p) const { Free(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX_free>>;
using ParamBldPtr = std::unique_ptr<OSSL_PARAM_BLD, Deleter<OSSL_PARAM_BLD_free>>;
using ParamPtr = std::unique_ptr<OSSL_PARAM, Deleter<OSSL_PARAM_free>>;
using BnPtr = std::unique_ptr<BIGNUM, Deleter<BN_clear_free>>;
using SigPtr = std::unique_ptr<ECDSA_SIG, Deleter<ECDSA_SIG_free>>;

// The key as OpenSSL holds it; the import checks that the point lies on the curve.
PkeyPtr make_key(const P256PublicKey& key, const P256PrivateKey* secret) {
  ParamBldPtr build(OSSL_PARAM_BLD_new());
  if (!build) return nullptr;
  BnPtr scalar;
  if (OSSL_PARAM_BLD_push_utf8_string(build.get(), OSSL_PKEY_PARAM_GROUP_NAME, "prime256v1", 0) != 1 ||
      OSSL_PARAM_BLD_push_octet_string(build.get(), OSSL_PKEY_PARAM_PUB_KEY, key.data(), key.size()) != 1) {
    return nullptr;
  }
  if (secret != nullptr) {
    scalar.reset(BN_bin2bn(secret->data(), static_cast<int>(secret->size()), nullptr));
    if (!scalar || OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_PRIV_KEY, scalar.get()) != 1) return nullptr;
  }
  ParamPtr params(OSSL_PARAM_BLD_to_param(build.get()));
  PkeyCtxPtr ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1) return nullptr;
  EVP_PKEY* made = nullptr;
  const int selection = secret != nullptr ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY;
  if (EVP_PKEY_fromdata(ctx.get(), &made, selection, params.get()) != 1) return nullptr;
  return PkeyPtr(made);
}

// r || s as the DER SEQUENCE of two INTEGERs that OpenSSL reads.
bool to_der(const P256Signature& signature, std::vector<unsigned char>& der) {
  SigPtr sig(ECDSA_SIG_new());
  BIGNUM* r = BN_bin2bn(signature.data(), 32, nullptr);
  BIGNUM* s = BN_bin2bn(signature.data() + 32, 32, nullptr);
  if (!sig || r == nullptr || s == nullptr || ECDSA_SIG_set0(sig.get(), r, s) != 1) {
    BN_free(r);
    BN_free(s);
    return false;
  }
  const int length = i2d_ECDSA_SIG(sig.get(), nullptr);
  if (length <= 0) return false;
  der.resize(static_cast<std::size_t>(length));
  unsigned char* out = der.data();
  return i2d_ECDSA_SIG(sig.get(), &out) == length;
}

bool from_der(const std::vector<unsigned char>& der, P256Signature& signature) {
  const unsigned char* in = der.data();
  SigPtr sig(d2i_ECDSA_SIG(nullptr, &in, static_cast<long>(der.size())));
  if (!sig) return false;
  const BIGNUM* r = nullptr;
  const BIGNUM* s = nullptr;
  ECDSA_SIG_get0(sig.get(), &r, &s);
  return BN_bn2binpad(r, signature.data(), 32) == 32 && BN_bn2binpad(s, signature.data() + 32, 32) == 32;
}

}  // namespace

bool p256_verify(const P256PublicKey& key, std::string_view message, const P256Signature& signature) {
  const PkeyPtr pkey = make_key(key, nullptr);
  std::vector<unsigned char> der;
  MdCtxPtr md(EVP_MD_CTX_new());
  if (!pkey || !md || !to_der(signature, der)) return false;
  if (EVP_DigestVerifyInit(md.get(), nullptr, EVP_sha256(), nullptr, pkey.get()) != 1) return false;
  return EVP_DigestVerify(md.get(), der.data(), der.size(), reinterpret_cast<const unsigned char*>(message.data()),
                          message.size()) == 1;
}

bool p256_sign(const P256PrivateKey& secret, const P256PublicKey& key, std::string_view message,
               P256Signature& signature) {
  const PkeyPtr pkey = make_key(key, &secret);
  MdCtxPtr md(EVP_MD_CTX_new());
  if (!pkey || !md || EVP_DigestSignInit(md.get(), nullptr, EVP_sha256(), nullptr, pkey.get()) != 1) return false;
  const auto* data = reinterpret_cast<const unsigned char*>(message.data());
  std::size_t length = 0;
  if (EVP_DigestSign(md.get(), nullptr, &length, data, message.size()) != 1) return false;
  std::vector<unsigned char> der(length);
  if (EVP_DigestSign(md.get(), der.data(), &length, data, message.size()) != 1) return false;
  der.resize(length);
  return from_der(der, signature);
}

}  // namespace corvane::os
