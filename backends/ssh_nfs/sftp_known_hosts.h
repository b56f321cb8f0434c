// Pins the host keys of SFTP servers as ssh does: "known_hosts" in the data
// folder, in OpenSSH's format (plain and hashed names, lines of any other
// kind kept as they are). The first connection to a host records the key it
// offered; later connections must offer a key recorded for that host, and a
// host that offers another key, or a key of a type never recorded for it, is
// refused before any credential is sent.
//
// Free functions over a libssh2 session that the caller owns; a
// process-wide mutex orders the file's read-modify-write between the
// connections of several pools, so any thread may call them.
#pragma once

#include <libssh2.h>

#include <cstdint>
#include <string>

#include "foundation/status.h"

namespace tarn {

// "known_hosts" in the data folder.
std::string KnownHostsPath();

// Before the handshake: when `file` records a key for the host, its type
// goes first in the host-key algorithms the session offers, so that a
// server with several keys shows the recorded one.
void PreferKnownHostKeyType(LIBSSH2_SESSION* session, const std::string& host, uint32_t port,
                            const std::string& file);

// After the handshake: ok when the session's host key is recorded for the
// host, or when the host is new (the key is then appended to `file`);
// auth-failed (4) naming both SHA-256 fingerprints and the way to accept
// the new key when the host is known with other keys.
Status CheckHostKey(LIBSSH2_SESSION* session, const std::string& host, uint32_t port, const std::string& file);

// "SHA256:" and the unpadded base64 of the SHA-256 of a public-key blob, as
// ssh prints fingerprints.
std::string HostKeyFingerprint(const void* blob, size_t size);

// The session's host key as "ssh-keygen -lf" shows it: its fingerprint and
// its kind ("SHA256:... (ED25519)"); empty before the handshake.
std::string SessionHostKeyText(LIBSSH2_SESSION* session);

}  // namespace tarn
