// TLS for rtmps:// connections, with GnuTLS: the client handshake on a connected socket, the
// server's name sent and its certificate verified against the system's trust store plus the
// PEM file named by STREAMCOURIER_TLS_CA_FILE (read once, at the first handshake).
//
// The credentials are loaded once and live as long as the process; each handshake makes a
// session that its caller hands to librtmp, which ends it when the connection closes.
// Stateless otherwise; any thread.
#pragma once

#include <string>

namespace streammanager {

class TlsSession {
  public:
    // The GnuTLS session (gnutls_session_t) of a finished, verified handshake on `fd` with
    // `host`, or null with `error` set (the socket is then left to the caller).
    static void* Handshake(int fd, const std::string& host, int timeoutMs, std::string* error);
    // Ends a session that was never handed on.
    static void Free(void* session);
};

}  // namespace streammanager
