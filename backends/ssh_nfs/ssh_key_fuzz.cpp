// Feeds arbitrary text to the private-key reader; whatever it accepts must
// sign, and its signatures must verify. The passphrase opens the encrypted
// seeds of the corpus.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "backends/ssh_nfs/ssh_key.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<tarn::SshKey> key;
  tarn::Status st = tarn::SshKey::Read(text, "fuzzpw", key);
  if (st.ok() != (key != nullptr)) std::abort();
  if (!st.ok()) {
    if (st.message.empty()) std::abort();
    return 0;
  }
  const uint8_t message[] = {1, 2, 3, 4};
  std::vector<uint8_t> sig;
  if (!key->sign(message, sig).ok() || !key->verify(message, sig)) std::abort();
  if (tarn::SshBlobKeyType(key->publicBlob()).empty()) std::abort();
  return 0;
}
