// AES-CTR as the SSH library gets it. libssh2 1.10 encrypts and decrypts a
// packet one 16-byte block per cipher call, each call going through
// OpenSSL's provider dispatch to a lone, unpipelined AES block: most of a
// transfer's client CPU. The library asks for its CTR ciphers through
// OpenSSL's entry points EVP_aes_128_ctr, EVP_aes_192_ctr and
// EVP_aes_256_ctr; ssh_ctr_cipher.cpp defines those three in the program,
// where the dynamic linker binds the library's references, and hands out
// ciphers that XOR each call's bytes with a keystream that OpenSSL's own
// AES-CTR makes 8 KiB at a time. Output is AES-CTR byte for byte for any
// sequence of call lengths; only the cost of a call changes.
//
// The ciphers serve every caller of those entry points in the process (no
// other part of the system uses them; OpenSSL itself fetches by name).
// Each context is used by one thread at a time, as OpenSSL requires.
#pragma once

namespace tarn {

// True when the process's lookups of the CTR entry points find these
// ciphers, which is what the SSH library binds to. Also keeps this file's
// definitions in every program that opens SSH connections.
bool SshCtrCiphersBound();

}  // namespace tarn
