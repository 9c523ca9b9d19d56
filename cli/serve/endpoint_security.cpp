#include "serve/endpoint_security.h"

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <QFile>
#include <QSslKey>
#include <QSslSocket>

namespace {

QByteArray readFile(const std::string& path, std::string& why) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        why = path + ": " + file.errorString().toStdString();
        return {};
    }
    return file.readAll();
}

// Whether the private key is the certificate's: OpenSSL's own check, as Qt has none.
bool keyFitsCertificate(const QByteArray& certificate, const QByteArray& key) {
    BIO* certBio = BIO_new_mem_buf(certificate.constData(), static_cast<int>(certificate.size()));
    BIO* keyBio = BIO_new_mem_buf(key.constData(), static_cast<int>(key.size()));
    X509* cert = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
    EVP_PKEY* pkey = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    const bool fits = cert && pkey && X509_check_private_key(cert, pkey) == 1;
    EVP_PKEY_free(pkey);
    X509_free(cert);
    BIO_free(keyBio);
    BIO_free(certBio);
    return fits;
}

QList<QSslCertificate> certificatesIn(const std::string& path, std::string& why) {
    const QByteArray pem = readFile(path, why);
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(pem, QSsl::Pem);
    if (why.empty() && certificates.isEmpty()) why = path + ": no certificate in it (PEM)";
    return certificates;
}

} // namespace

bool MakeEndpointSecurity(const WebConfig& web, EndpointSecurity& out, std::string& why) {
    EndpointSecurity s;
    if (!web.users.empty()) s.auth = std::make_unique<BasicAuth>(web.users);
    if (web.tls) {
        if (!QSslSocket::supportsSsl()) {
            why = "TLS is not available: Qt finds no TLS library";
            return false;
        }
        const QList<QSslCertificate> chain = certificatesIn(web.certFile, why);
        const QByteArray keyPem = why.empty() ? readFile(web.keyFile, why) : QByteArray();
        if (!why.empty()) return false;
        QSslKey key;
        for (QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa})
            if (key.isNull()) key = QSslKey(keyPem, algorithm, QSsl::Pem);
        if (key.isNull()) {
            why = web.keyFile + ": no private key in it (PEM, without a passphrase)";
            return false;
        }
        if (!keyFitsCertificate(chain.first().toPem(), keyPem)) {
            why = web.keyFile + " is not the key of the certificate in " + web.certFile;
            return false;
        }
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificateChain(chain);
        tls.setPrivateKey(key);
        tls.setProtocol(web.tls13 ? QSsl::TlsV1_3OrLater : QSsl::TlsV1_2OrLater);
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);
        if (web.requireClientCert) {
            const QList<QSslCertificate> authorities = certificatesIn(web.clientCaFile, why);
            if (!why.empty()) return false;
            tls.setCaCertificates(authorities);
            tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
        }
        s.tls = tls;
    }
    out = std::move(s);
    return true;
}
