#include "serve/http/tls_files.h"

#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

// A certificate file is small: anything else (a device, a pipe, a huge file) is refused before
// it is read.
constexpr off_t kLargestFile = 1 << 20;

bool readFile(const std::string& path, std::string& out, std::string& why) {
    struct stat s {};
    if (::stat(path.c_str(), &s) != 0) {
        why = path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(s.st_mode)) {
        why = path + ": not a regular file";
        return false;
    }
    if (s.st_size > kLargestFile) {
        why = path + ": " + std::to_string(s.st_size) + " bytes, larger than a certificate or key file is (1 MiB)";
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        why = path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream content;
    content << file.rdbuf();
    out = content.str();
    return true;
}

// The first certificate and the private key in PEM texts, as OpenSSL reads them; each null when
// there is none.
struct Parsed {
    X509* certificate = nullptr;
    EVP_PKEY* key = nullptr;
    ~Parsed() {
        X509_free(certificate);
        EVP_PKEY_free(key);
    }
};

X509* firstCertificate(const std::string& pem) {
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    return cert;
}

EVP_PKEY* privateKey(const std::string& pem) {
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    return key;
}

} // namespace

bool ReadTlsFiles(const WebConfig& web, TlsFiles& out, std::string& why) {
    TlsFiles f;
    if (!web.tls) {
        out = f;
        return true;
    }
    if (!readFile(web.certFile, f.certificate, why) || !readFile(web.keyFile, f.key, why)) return false;
    Parsed parsed;
    parsed.certificate = firstCertificate(f.certificate);
    if (!parsed.certificate) {
        why = web.certFile + ": no certificate in it (PEM)";
        return false;
    }
    parsed.key = privateKey(f.key);
    if (!parsed.key) {
        why = web.keyFile + ": no private key in it (PEM, without a passphrase)";
        return false;
    }
    if (X509_check_private_key(parsed.certificate, parsed.key) != 1) {
        why = web.keyFile + " is not the key of the certificate in " + web.certFile;
        return false;
    }
    if (web.requireClientCert) {
        if (!readFile(web.clientCaFile, f.clientAuthority, why)) return false;
        X509* authority = firstCertificate(f.clientAuthority);
        X509_free(authority);
        if (!authority) {
            why = web.clientCaFile + ": no certificate in it (PEM)";
            return false;
        }
    }
    out = f;
    return true;
}
