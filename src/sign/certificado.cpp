#include "sign/certificado.h"

#include <QCryptographicHash>
#include <QList>
#include <QStringList>
#include <QTimeZone>
#include <mutex>
#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/provider.h>
#include <openssl/x509.h>

using namespace Qt::StringLiterals;

namespace qel {

struct Certificado::Dados {
    X509* certificado = nullptr;
    EVP_PKEY* chave = nullptr;
    QList<X509*> cadeia;
    ~Dados() {
        X509_free(certificado);
        EVP_PKEY_free(chave);
        for (X509* c : cadeia)
            X509_free(c);
    }
};

namespace {

QDateTime paraDataHora(const ASN1_TIME* tempo) {
    struct tm partes {};
    if (!tempo || ASN1_TIME_to_tm(tempo, &partes) != 1) return {};
    return QDateTime(QDate(partes.tm_year + 1900, partes.tm_mon + 1, partes.tm_mday),
                     QTime(partes.tm_hour, partes.tm_min, partes.tm_sec), Qt::UTC);
}

// Short names as Windows writes them in a subject.
QString nomeCurto(const ASN1_OBJECT* objeto) {
    switch (OBJ_obj2nid(objeto)) {
    case NID_stateOrProvinceName:
        return u"S"_s;
    case NID_pkcs9_emailAddress:
        return u"E"_s;
    case NID_serialNumber:
        return u"SERIALNUMBER"_s;
    case NID_undef: {
        char oid[80] = {};
        OBJ_obj2txt(oid, sizeof oid, objeto, 1);
        return u"OID."_s + QString::fromLatin1(oid);
    }
    default:
        return QString::fromLatin1(OBJ_nid2sn(OBJ_obj2nid(objeto)));
    }
}

QString valorEntrada(const X509_NAME_ENTRY* entrada) {
    unsigned char* utf8 = nullptr;
    const int n = ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(entrada));
    if (n < 0) return {};
    QString valor = QString::fromUtf8(reinterpret_cast<const char*>(utf8), n);
    OPENSSL_free(utf8);
    // Values that would break the list are quoted, as Windows does.
    static const QString especiais = u",+=\"<>#;\n"_s;
    bool citar = valor.startsWith(u' ') || valor.endsWith(u' ');
    for (const QChar c : valor)
        citar = citar || especiais.contains(c);
    if (citar) {
        valor.replace(u"\""_s, u"\"\""_s);
        valor = u'"' + valor + u'"';
    }
    return valor;
}

QString nomeDistinto(const X509_NAME* nome) {
    QStringList partes;
    for (int i = X509_NAME_entry_count(nome) - 1; i >= 0; --i) {
        const X509_NAME_ENTRY* entrada = X509_NAME_get_entry(nome, i);
        partes << nomeCurto(X509_NAME_ENTRY_get_object(entrada)) + u'=' + valorEntrada(entrada);
    }
    return partes.join(u", "_s);
}

QByteArray der(X509* certificado) {
    unsigned char* bytes = nullptr;
    const int n = i2d_X509(certificado, &bytes);
    if (n <= 0) return {};
    QByteArray resultado(reinterpret_cast<const char*>(bytes), n);
    OPENSSL_free(bytes);
    return resultado;
}

QByteArray conteudoBio(BIO* bio) {
    char* dados = nullptr;
    const long n = BIO_get_mem_data(bio, &dados);
    return QByteArray(dados, static_cast<qsizetype>(n));
}

} // namespace

void carregaProvedoresOpenSsl() {
    static std::once_flag uma;
    std::call_once(uma, [] {
        OSSL_PROVIDER_load(nullptr, "legacy");
        OSSL_PROVIDER_load(nullptr, "default");
    });
}

Certificado::Certificado(X509* certificado, EVP_PKEY* chave, QList<X509*> cadeia)
    : dados_(std::make_shared<Dados>()) {
    dados_->certificado = certificado;
    dados_->chave = chave;
    dados_->cadeia = std::move(cadeia);
}

QString Certificado::nomeSujeito() const {
    return valido() ? nomeDistinto(X509_get_subject_name(dados_->certificado)) : QString();
}

QString Certificado::nomeEmissor() const {
    return valido() ? nomeDistinto(X509_get_issuer_name(dados_->certificado)) : QString();
}

QDateTime Certificado::validoDe() const {
    return valido() ? paraDataHora(X509_get0_notBefore(dados_->certificado)) : QDateTime();
}

QDateTime Certificado::validoAte() const {
    return valido() ? paraDataHora(X509_get0_notAfter(dados_->certificado)) : QDateTime();
}

bool Certificado::validoEm(const QDateTime& instante) const {
    return valido() && validoDe() <= instante && instante <= validoAte();
}

QString Certificado::numeroSerie() const {
    if (!valido()) return {};
    BIGNUM* numero = ASN1_INTEGER_to_BN(X509_get0_serialNumber(dados_->certificado), nullptr);
    char* hexa = BN_bn2hex(numero);
    QString texto = QString::fromLatin1(hexa).toUpper();
    OPENSSL_free(hexa);
    BN_free(numero);
    return texto;
}

QString Certificado::exportaBase64() const {
    return valido() ? QString::fromLatin1(der(dados_->certificado).toBase64()) : QString();
}

QString Certificado::impressaoDigital() const {
    if (!valido()) return {};
    return QString::fromLatin1(
               QCryptographicHash::hash(der(dados_->certificado), QCryptographicHash::Sha1).toHex())
        .toUpper();
}

bool Certificado::chaveConfere() const {
    return valido() && dados_->chave && X509_check_private_key(dados_->certificado, dados_->chave) == 1;
}

X509* Certificado::x509() const {
    return valido() ? dados_->certificado : nullptr;
}

EVP_PKEY* Certificado::chavePrivada() const {
    return valido() ? dados_->chave : nullptr;
}

MaterialTls Certificado::materialTls() const {
    MaterialTls material;
    if (!valido()) return material;
    BIO* certificados = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(certificados, dados_->certificado);
    for (X509* c : std::as_const(dados_->cadeia))
        PEM_write_bio_X509(certificados, c);
    material.certificadoPem = conteudoBio(certificados);
    BIO_free(certificados);
    if (dados_->chave) {
        BIO* chave = BIO_new(BIO_s_mem());
        PEM_write_bio_PrivateKey(chave, dados_->chave, nullptr, nullptr, 0, nullptr, nullptr);
        material.chavePem = conteudoBio(chave);
        BIO_free(chave);
    }
    return material;
}

} // namespace qel
