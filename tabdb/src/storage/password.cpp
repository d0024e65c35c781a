// password.cpp - PBKDF2 password hashes through OpenSSL: new ones with
// HMAC-SHA512 at the strength of Oracle's 12C verifier, and the
// HMAC-SHA256 hashes of older databases, told apart by their length.
#include "storage/password.h"

#include <cstdlib>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

namespace tabdb {
namespace {

// New hashes: PBKDF2-HMAC-SHA512 with 4 096 iterations and a 64-byte
// key, the derivation of Oracle's 12C password verifier.
constexpr int kDefaultIterations = 4096;
// Most iterations a stored hash may ask for. The count comes from the
// database file; a file asking for billions would hang every logon. Older
// databases hold SHA-256 hashes of 100 000 iterations.
constexpr int kMaxIterations = 1000000;

// Iterations of new hashes. TABDB_TEST_KDF_ITERATIONS lowers them for test
// runs, which log on thousands of times; stored hashes keep their own count.
int Iterations() {
  static const int n = [] {
#ifdef TABDB_TEST_HOOKS
    const char* v = std::getenv("TABDB_TEST_KDF_ITERATIONS");
#else
    const char* v = nullptr;
#endif
    int k = v ? std::atoi(v) : 0;
    return k >= 1000 ? k : kDefaultIterations;
  }();
  return n;
}
constexpr int kSaltBytes = 16;
constexpr size_t kSha512Bytes = 64;  // hashes made now
constexpr size_t kSha256Bytes = 32;  // hashes of older databases

// The derivation whose key has `bytes` bytes: SHA-512 for 64, SHA-256 for 32.
std::string Derive(const std::string& password, const std::string& salt, int iterations,
                   size_t bytes) {
  std::string out(bytes, '\0');
  PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                    reinterpret_cast<const unsigned char*>(salt.data()),
                    static_cast<int>(salt.size()), iterations,
                    bytes == kSha512Bytes ? EVP_sha512() : EVP_sha256(), static_cast<int>(bytes),
                    reinterpret_cast<unsigned char*>(out.data()));
  return out;
}

}  // namespace

bool MakePasswordHash(const std::string& password, PasswordHash* out) {
  std::string salt(kSaltBytes, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(salt.data()), kSaltBytes) != 1) return false;
  out->salt = salt;
  out->iterations = Iterations();
  out->hash = Derive(password, salt, out->iterations, kSha512Bytes);
  return true;
}

bool CheckPassword(const std::string& password, const PasswordHash& stored) {
  size_t bytes = stored.hash.size();
  if (stored.iterations <= 0 || stored.iterations > kMaxIterations ||
      (bytes != kSha512Bytes && bytes != kSha256Bytes)) {
    BurnPasswordCheck(password);
    return false;
  }
  std::string h = Derive(password, stored.salt, stored.iterations, bytes);
  return CRYPTO_memcmp(h.data(), stored.hash.data(), bytes) == 0;
}

void BurnPasswordCheck(const std::string& password) {
  Derive(password, std::string(kSaltBytes, '\0'), Iterations(), kSha512Bytes);
}

}  // namespace tabdb
