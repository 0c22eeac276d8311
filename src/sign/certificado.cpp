#include "sign/certificado.h"

#include "util/posse_c.h"

#include <QCryptographicHash>
#include <QList>
#include <QStringList>
#include <QTimeZone>
#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/provider.h>
#include <openssl/x509.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace qel {

struct Certificado::Dados {
    Posse<X509, X509_free> certificado;
    Posse<EVP_PKEY, EVP_PKEY_free> chave;
    std::vector<Posse<X509, X509_free>> cadeia;
};

namespace {

void liberaOpenSsl(void* p) {
    OPENSSL_free(p);
}

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
    const auto posse = possui<liberaOpenSsl>(utf8);
    if (n < 0) return {};
    QString valor = QString::fromUtf8(reinterpret_cast<const char*>(utf8), n);
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
    const auto posse = possui<liberaOpenSsl>(bytes);
    if (n <= 0) return {};
    return QByteArray(reinterpret_cast<const char*>(bytes), n);
}

QByteArray conteudoBio(BIO* bio) {
    char* dados = nullptr;
    const long n = BIO_get_mem_data(bio, &dados);
    return QByteArray(dados, static_cast<qsizetype>(n));
}

} // namespace

void carregaProvedoresOpenSsl() {
    // Loaded for the life of the process; the handles are kept, so they stay owned.
    static OSSL_PROVIDER* const legado = OSSL_PROVIDER_load(nullptr, "legacy");
    static OSSL_PROVIDER* const padrao = OSSL_PROVIDER_load(nullptr, "default");
    (void)legado;
    (void)padrao;
}

Certificado::Certificado(X509* certificado, EVP_PKEY* chave, QList<X509*> cadeia)
    : dados_(std::make_shared<Dados>()) {
    dados_->certificado.reset(certificado);
    dados_->chave.reset(chave);
    dados_->cadeia.reserve(static_cast<size_t>(cadeia.size()));
    for (X509* c : cadeia)
        dados_->cadeia.emplace_back(c);
}

QString Certificado::nomeSujeito() const {
    return valido() ? nomeDistinto(X509_get_subject_name(dados_->certificado.get())) : QString();
}

QString Certificado::nomeEmissor() const {
    return valido() ? nomeDistinto(X509_get_issuer_name(dados_->certificado.get())) : QString();
}

QDateTime Certificado::validoDe() const {
    return valido() ? paraDataHora(X509_get0_notBefore(dados_->certificado.get())) : QDateTime();
}

QDateTime Certificado::validoAte() const {
    return valido() ? paraDataHora(X509_get0_notAfter(dados_->certificado.get())) : QDateTime();
}

bool Certificado::validoEm(const QDateTime& instante) const {
    return valido() && validoDe() <= instante && instante <= validoAte();
}

QString Certificado::numeroSerie() const {
    if (!valido()) return {};
    const auto numero =
        possui<BN_free>(ASN1_INTEGER_to_BN(X509_get0_serialNumber(dados_->certificado.get()), nullptr));
    if (!numero) return {};
    const auto hexa = possui<liberaOpenSsl>(BN_bn2hex(numero.get()));
    return QString::fromLatin1(hexa.get()).toUpper();
}

QString Certificado::exportaBase64() const {
    return valido() ? QString::fromLatin1(der(dados_->certificado.get()).toBase64()) : QString();
}

QString Certificado::impressaoDigital() const {
    if (!valido()) return {};
    return QString::fromLatin1(
               QCryptographicHash::hash(der(dados_->certificado.get()), QCryptographicHash::Sha1).toHex())
        .toUpper();
}

bool Certificado::chaveConfere() const {
    return valido() && dados_->chave &&
           X509_check_private_key(dados_->certificado.get(), dados_->chave.get()) == 1;
}

X509* Certificado::x509() const {
    return valido() ? dados_->certificado.get() : nullptr;
}

EVP_PKEY* Certificado::chavePrivada() const {
    return valido() ? dados_->chave.get() : nullptr;
}

MaterialTls Certificado::materialTls() const {
    MaterialTls material;
    if (!valido()) return material;
    const auto certificados = possui<BIO_free>(BIO_new(BIO_s_mem()));
    if (!certificados) return material;
    PEM_write_bio_X509(certificados.get(), dados_->certificado.get());
    for (const auto& c : dados_->cadeia)
        PEM_write_bio_X509(certificados.get(), c.get());
    material.certificadoPem = conteudoBio(certificados.get());
    if (dados_->chave) {
        const auto chave = possui<BIO_free>(BIO_new(BIO_s_mem()));
        if (!chave) return material;
        PEM_write_bio_PrivateKey(chave.get(), dados_->chave.get(), nullptr, nullptr, 0, nullptr, nullptr);
        material.chavePem = conteudoBio(chave.get());
    }
    return material;
}

} // namespace qel
