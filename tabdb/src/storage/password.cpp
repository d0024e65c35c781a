// password.cpp - PBKDF2-HMAC-SHA256 password hashes through OpenSSL.
#include "storage/password.h"

#include <cstdlib>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

namespace tabdb {
namespace {

constexpr int kDefaultIterations = 100000;
// Most iterations a stored hash may ask for. The count comes from the
// database file; a file asking for billions would hang every logon.
constexpr int kMaxIterations = 10 * kDefaultIterations;

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
constexpr int kHashBytes = 32;

std::string Derive(const std::string& password, const std::string& salt, int iterations) {
  std::string out(kHashBytes, '\0');
  PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                    reinterpret_cast<const unsigned char*>(salt.data()),
                    static_cast<int>(salt.size()), iterations, EVP_sha256(), kHashBytes,
                    reinterpret_cast<unsigned char*>(out.data()));
  return out;
}

}  // namespace

bool MakePasswordHash(const std::string& password, PasswordHash* out) {
  std::string salt(kSaltBytes, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(salt.data()), kSaltBytes) != 1) return false;
  out->salt = salt;
  out->iterations = Iterations();
  out->hash = Derive(password, salt, out->iterations);
  return true;
}

bool CheckPassword(const std::string& password, const PasswordHash& stored) {
  if (stored.iterations <= 0 || stored.iterations > kMaxIterations ||
      stored.hash.size() != static_cast<size_t>(kHashBytes)) {
    BurnPasswordCheck(password);
    return false;
  }
  std::string h = Derive(password, stored.salt, stored.iterations);
  return CRYPTO_memcmp(h.data(), stored.hash.data(), kHashBytes) == 0;
}

void BurnPasswordCheck(const std::string& password) {
  Derive(password, std::string(kSaltBytes, '\0'), Iterations());
}

}  // namespace tabdb
