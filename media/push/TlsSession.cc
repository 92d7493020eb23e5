#include "media/push/TlsSession.h"

#include <gnutls/gnutls.h>

#include <cstdlib>
#include <mutex>

#include "base/Log.h"

namespace streammanager {

namespace {

// The trust for every handshake: the system's store and the optional extra file.
gnutls_certificate_credentials_t Credentials() {
    static gnutls_certificate_credentials_t credentials = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        if (gnutls_certificate_allocate_credentials(&credentials) != GNUTLS_E_SUCCESS) {
            credentials = nullptr;
            return;
        }
        const int system = gnutls_certificate_set_x509_system_trust(credentials);
        SC_LOG("TLS: %d certificates from the system's trust store.\n", system);
        const char* file = std::getenv("STREAMCOURIER_TLS_CA_FILE");
        if (file != nullptr && *file != '\0') {
            const int added =
                gnutls_certificate_set_x509_trust_file(credentials, file, GNUTLS_X509_FMT_PEM);
            SC_LOG("TLS: %d certificates from %s%s.\n", added < 0 ? 0 : added, file,
                   added < 0 ? " (unreadable)" : "");
        }
    });
    return credentials;
}

// A name for the server name indication; an address literal is not sent.
bool IsAddressLiteral(const std::string& host) {
    if (host.find(':') != std::string::npos) {
        return true;
    }
    return host.find_first_not_of("0123456789.") == std::string::npos;
}

}  // namespace

void* TlsSession::Handshake(int fd, const std::string& host, int timeoutMs, std::string* error) {
    gnutls_certificate_credentials_t credentials = Credentials();
    gnutls_session_t session = nullptr;
    if (credentials == nullptr || gnutls_init(&session, GNUTLS_CLIENT) != GNUTLS_E_SUCCESS) {
        *error = "no TLS credentials";
        return nullptr;
    }
    int result = gnutls_set_default_priority(session);
    if (result == GNUTLS_E_SUCCESS && !IsAddressLiteral(host)) {
        result = gnutls_server_name_set(session, GNUTLS_NAME_DNS, host.data(), host.size());
    }
    if (result == GNUTLS_E_SUCCESS) {
        result = gnutls_credentials_set(session, GNUTLS_CRD_CERTIFICATE, credentials);
    }
    if (result == GNUTLS_E_SUCCESS) {
        gnutls_session_set_verify_cert(session, host.c_str(), 0);
        gnutls_transport_set_int(session, fd);
        gnutls_handshake_set_timeout(session, static_cast<unsigned>(timeoutMs));
        do {
            result = gnutls_handshake(session);
        } while (result < 0 && gnutls_error_is_fatal(result) == 0);
    }
    if (result == GNUTLS_E_SUCCESS) {
        return session;
    }
    *error = gnutls_strerror(result);
    if (result == GNUTLS_E_CERTIFICATE_VERIFICATION_ERROR) {
        gnutls_datum_t reason{};
        const unsigned status = gnutls_session_get_verify_cert_status(session);
        if (gnutls_certificate_verification_status_print(status, GNUTLS_CRT_X509, &reason, 0) ==
            GNUTLS_E_SUCCESS) {
            *error += ": ";
            error->append(reinterpret_cast<const char*>(reason.data), reason.size);
            gnutls_free(reason.data);
        }
    }
    gnutls_deinit(session);
    return nullptr;
}

void TlsSession::Free(void* session) {
    if (session != nullptr) {
        gnutls_deinit(static_cast<gnutls_session_t>(session));
    }
}

}  // namespace streammanager
