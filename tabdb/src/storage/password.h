// password.h - salted, deliberately slow password hashes for database users.
//
// Passwords are never stored; a user row keeps the salt, the iteration
// count and the PBKDF2 derivation of the password: HMAC-SHA512 with a
// 64-byte key for hashes made now, HMAC-SHA256 with a 32-byte key in
// databases made before.
#pragma once

#include <string>

namespace tabdb {

struct PasswordHash {
  std::string salt;     // 16 random bytes
  int iterations = 0;
  std::string hash;     // 64 bytes (SHA-512), or 32 (SHA-256, older databases)
};

// Derives a new hash with a fresh random salt. Returns false only when the
// system cannot provide random bytes.
bool MakePasswordHash(const std::string& password, PasswordHash* out);

// True when `password` derives to `stored.hash`. Compares in constant time.
bool CheckPassword(const std::string& password, const PasswordHash& stored);

// Spends the same time as CheckPassword, for logons of unknown users, so
// that the answer does not reveal whether a user exists.
void BurnPasswordCheck(const std::string& password);

}  // namespace tabdb
