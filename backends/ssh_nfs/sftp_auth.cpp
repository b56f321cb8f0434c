// Authentication of an SftpConnection: public key through our own key reader
// and signer, else password or keyboard-interactive.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "backends/ssh_nfs/sftp_connection.h"
#include "backends/ssh_nfs/sftp_status.h"
#include "backends/ssh_nfs/ssh_key.h"

namespace tarn {
namespace {

bool Offers(const std::string& methods, std::string_view method) {
  size_t start = 0;
  while (start <= methods.size()) {
    size_t end = methods.find(',', start);
    if (end == std::string::npos) end = methods.size();
    if (std::string_view(methods).substr(start, end - start) == method) return true;
    start = end + 1;
  }
  return false;
}

int SignCallback(LIBSSH2_SESSION* /*session*/, unsigned char** sig, size_t* sigLen, const unsigned char* data,
                 size_t dataLen, void** abstract) {
  const auto* key = static_cast<const SshKey*>(*abstract);
  std::vector<uint8_t> signature;
  if (!key->sign(std::span<const uint8_t>(data, dataLen), signature).ok()) return -1;
  // libssh2 releases the signature with its default allocator (free).
  auto* out = static_cast<unsigned char*>(std::malloc(signature.size()));
  if (out == nullptr) return -1;
  std::memcpy(out, signature.data(), signature.size());
  *sig = out;
  *sigLen = signature.size();
  return 0;
}

}  // namespace

Status SftpConnection::authenticate(const EndpointConfig& config) {
  if (config.user.empty()) return Status(Status::kInvalid, "sftp user is empty");
  char* list = libssh2_userauth_list(session_, config.user.data(), unsigned(config.user.size()));
  if (list == nullptr) {
    if (libssh2_userauth_authenticated(session_)) return Status();
    return error("ask the server for authentication methods");
  }
  const std::string methods = list;
  if (!config.privateKey.empty()) {
    if (!Offers(methods, "publickey"))
      return Status(Status::kAuthFailed, "public key authentication: the server offers only " + methods);
    return authenticateWithKey(config);
  }
  if (config.password.empty())
    return Status(Status::kAuthFailed, "no password or private key for user " + config.user);
  return authenticateWithPassword(config, methods);
}

Status SftpConnection::authenticateWithKey(const EndpointConfig& config) {
  std::unique_ptr<SshKey> key;
  Status st = SshKey::Read(config.privateKey, config.password, key);
  if (!st.ok()) return st;
  std::vector<uint8_t> blob = key->authBlob();
  void* abstract = key.get();
  int rc = libssh2_userauth_publickey(session_, config.user.c_str(), blob.data(), blob.size(), SignCallback,
                                      &abstract);
  if (rc == 0) return Status();
  st = error("public key authentication as " + config.user + " with " + key->algorithm() + " key", rc);
  if (rc == LIBSSH2_ERROR_AUTHENTICATION_FAILED || rc == LIBSSH2_ERROR_PUBLICKEY_UNVERIFIED)
    st.message = "public key authentication as " + config.user + ": the server refused the " + key->algorithm() +
                 " key";
  return st;
}

Status SftpConnection::authenticateWithPassword(const EndpointConfig& config, const std::string& methods) {
  int rc;
  std::string step;
  if (Offers(methods, "password")) {
    step = "password authentication as " + config.user;
    rc = libssh2_userauth_password_ex(session_, config.user.data(), unsigned(config.user.size()),
                                      config.password.data(), unsigned(config.password.size()), nullptr);
  } else if (Offers(methods, "keyboard-interactive")) {
    step = "keyboard-interactive authentication as " + config.user;
    kbdPassword_ = &config.password;
    rc = libssh2_userauth_keyboard_interactive_ex(session_, config.user.data(), unsigned(config.user.size()),
                                                  KeyboardCallback);
    kbdPassword_ = nullptr;
  } else {
    return Status(Status::kAuthFailed, "password authentication: the server offers only " + methods);
  }
  if (rc == 0) return Status();
  Status st = error(step, rc);
  if (rc == LIBSSH2_ERROR_AUTHENTICATION_FAILED) st.message = step + ": the server refused the password";
  return st;
}

void SftpConnection::KeyboardCallback(const char* /*name*/, int /*nameLen*/, const char* /*instruction*/,
                                      int /*instructionLen*/, int promptCount,
                                      const LIBSSH2_USERAUTH_KBDINT_PROMPT* /*prompts*/,
                                      LIBSSH2_USERAUTH_KBDINT_RESPONSE* responses, void** abstract) {
  auto* self = static_cast<SftpConnection*>(*abstract);
  // PAM asks "Password: " and then sends a round without prompts, which
  // needs no answer.
  for (int i = 0; i < promptCount; ++i) {
    responses[i].text = nullptr;
    responses[i].length = 0;
    if (self == nullptr || self->kbdPassword_ == nullptr) continue;
    const std::string& pw = *self->kbdPassword_;
    auto* text = static_cast<char*>(std::malloc(pw.size() + 1));
    if (text == nullptr) continue;
    std::memcpy(text, pw.data(), pw.size());
    text[pw.size()] = '\0';
    responses[i].text = text;
    responses[i].length = unsigned(pw.size());
  }
}

}  // namespace tarn
