#include "sign/repositorio_certificados.h"

#include "util/arquivo_privado.h"
#include "util/arquivos.h"
#include "util/posse_c.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstring>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

const QStringList kEntradas{u"*.pfx"_s, u"*.p12"_s, u"*.pem"_s, u"*.senha"_s};

QByteArray leArquivo(const QString& caminho, bool* ok) {
    QFile f(caminho);
    *ok = f.open(QIODevice::ReadOnly);
    return *ok ? f.readAll() : QByteArray();
}

struct Leitura {
    Certificado certificado;
    QString erro;
};

void liberaPilhaX509(STACK_OF(X509) * pilha) {
    sk_X509_pop_free(pilha, X509_free);
}

Leitura lePkcs12(const QByteArray& bytes, const QByteArray& senha) {
    carregaProvedoresOpenSsl();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto pacote = possui<PKCS12_free>(d2i_PKCS12(nullptr, &p, bytes.size()));
    if (!pacote) return {{}, u"o arquivo não é um certificado PKCS#12 (.pfx) nem PEM"_s};
    if (PKCS12_verify_mac(pacote.get(), senha.constData(), static_cast<int>(senha.size())) != 1)
        return {{}, u"senha incorreta"_s};
    EVP_PKEY* chave = nullptr;
    X509* certificado = nullptr;
    STACK_OF(X509)* cadeia = nullptr;
    const int ok = PKCS12_parse(pacote.get(), senha.constData(), &chave, &certificado, &cadeia);
    auto posseChave = possui<EVP_PKEY_free>(chave);
    auto posseCertificado = possui<X509_free>(certificado);
    const auto posseCadeia = possui<liberaPilhaX509>(cadeia);
    if (ok != 1 || !certificado) {
        ERR_clear_error();
        return {{}, u"o conteúdo do arquivo não pôde ser lido (formato ou cifra não suportados)"_s};
    }
    QList<X509*> outros;
    while (cadeia && sk_X509_num(cadeia) > 0)
        outros.append(sk_X509_shift(cadeia));
    return {Certificado(posseCertificado.release(), posseChave.release(), outros), {}};
}

int senhaPem(char* destino, int tamanho, int, void* dados) {
    const QByteArray* senha = static_cast<const QByteArray*>(dados);
    const int n = std::min<int>(tamanho, static_cast<int>(senha->size()));
    std::memcpy(destino, senha->constData(), static_cast<size_t>(n));
    return n;
}

Leitura lePem(const QByteArray& bytes, const QByteArray& senha) {
    carregaProvedoresOpenSsl();
    std::vector<Posse<X509, X509_free>> certificados;
    if (const auto bio =
            possui<BIO_free>(BIO_new_mem_buf(bytes.constData(), static_cast<int>(bytes.size())))) {
        while (X509* c = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr))
            certificados.emplace_back(c);
    }
    ERR_clear_error();
    QByteArray copia = senha;
    Posse<EVP_PKEY, EVP_PKEY_free> chave;
    if (const auto bio = possui<BIO_free>(BIO_new_mem_buf(bytes.constData(), static_cast<int>(bytes.size()))))
        chave.reset(PEM_read_bio_PrivateKey(bio.get(), nullptr, senhaPem, &copia));
    const bool cifrada = bytes.contains("ENCRYPTED");
    ERR_clear_error();
    if (certificados.empty() || !chave) {
        if (!certificados.empty() && cifrada) return {{}, u"senha incorreta"_s};
        return {{}, u"o arquivo PEM deve conter o certificado e a sua chave privada"_s};
    }
    QList<X509*> cadeia;
    for (auto c = certificados.begin() + 1; c != certificados.end(); ++c)
        cadeia.append(c->release());
    return {Certificado(certificados.front().release(), chave.release(), cadeia), {}};
}

Leitura leCertificado(const QByteArray& bytes, const QByteArray& senha) {
    return bytes.contains("-----BEGIN") ? lePem(bytes, senha) : lePkcs12(bytes, senha);
}

} // namespace

QString RepositorioCertificados::pastaPadrao() {
    const QString pasta = qEnvironmentVariable("QEL_DFE_CERTIFICADOS");
    if (!pasta.isEmpty()) return pasta;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/qel-dfe/certificados"_s;
}

QString RepositorioCertificados::acessoIndevido() const {
    // A store not yet made holds nothing to protect.
    if (!QFileInfo::exists(pasta_)) return {};
    const QString conserto = u"|Nada foi enviado. Corrija com: chmod 700 \""_s + pasta_ +
                             u"\"; chmod 600 \""_s + pasta_ + u"\"/*"_s;
    if (const unsigned modo = modoDe(pasta_); (modo & 077u) != 0)
        return u"A pasta de certificados "_s + pasta_ + u" pode ser lida por outros usuários (modo "_s +
               textoModo(modo) + u"; deve ser 0700)."_s + conserto;
    const QDir pasta(pasta_);
    for (const QString& nome : pasta.entryList(kEntradas, QDir::Files | QDir::Hidden, QDir::Name)) {
        const QString caminho = pasta.filePath(nome);
        if (const unsigned modo = modoDe(caminho); (modo & 077u) != 0)
            return u"O arquivo "_s + caminho +
                   u" do repositório de certificados pode ser lido por outros "
                   "usuários (modo "_s +
                   textoModo(modo) + u"; deve ser 0600)."_s + conserto;
    }
    return {};
}

QList<Certificado> RepositorioCertificados::lista() const {
    QList<Certificado> certificados;
    const QDir pasta(pasta_);
    const QStringList nomes =
        pasta.entryList({u"*.pfx"_s, u"*.p12"_s, u"*.pem"_s}, QDir::Files | QDir::Readable, QDir::Name);
    for (const QString& nome : nomes) {
        bool ok = false;
        const QByteArray bytes = leArquivo(pasta.filePath(nome), &ok);
        if (!ok) continue;
        QByteArray senha;
        if (!nome.endsWith(u".pem"_s, Qt::CaseInsensitive)) {
            senha = leArquivo(pasta.filePath(QFileInfo(nome).completeBaseName() + u".senha"_s), &ok);
            if (!ok) continue;
        }
        // An entry that cannot be read with its key is no certificate to sign with.
        const Leitura leitura = leCertificado(bytes, senha);
        if (leitura.erro.isEmpty() && leitura.certificado.chaveConfere())
            certificados.append(leitura.certificado);
    }
    return certificados;
}

QList<Certificado> RepositorioCertificados::busca(const QString& textoSujeito,
                                                  const QDateTime& instante) const {
    QList<Certificado> achados;
    for (const Certificado& c : lista())
        if (c.validoEm(instante) && c.nomeSujeito().contains(textoSujeito, Qt::CaseInsensitive))
            achados.append(c);
    return achados;
}

QString RepositorioCertificados::importa(const QString& arquivo, const QByteArray& senha,
                                         const QDateTime& instante, Certificado* importado) const {
    bool ok = false;
    const QByteArray bytes = leArquivo(arquivo, &ok);
    if (!ok) return u"Não foi possível ler o arquivo "_s + arquivo + u"."_s;
    const Leitura leitura = leCertificado(bytes, senha);
    if (!leitura.erro.isEmpty()) return u"Certificado não importado: "_s + leitura.erro + u"."_s;
    const Certificado& c = leitura.certificado;
    if (!c.chaveConfere())
        return u"Certificado não importado: a chave privada não corresponde ao certificado."_s;
    if (c.validoAte() < instante)
        return u"Certificado não importado: venceu em "_s +
               c.validoAte().toLocalTime().toString(u"dd/MM/yyyy"_s) + u"."_s;

    // The folder is made private before a secret goes in, whatever the umask made of it.
    if (!QDir().mkpath(pasta_) || chmod(QFile::encodeName(pasta_).constData(), S_IRWXU) != 0)
        return u"Não foi possível preparar a pasta de certificados "_s + pasta_ + u"."_s;
    const QString base = QDir(pasta_).filePath(c.impressaoDigital());
    // The same certificate imported again replaces its entry, whatever its earlier form.
    for (const QString& extensao : {u".pfx"_s, u".senha"_s, u".pem"_s})
        QFile::remove(base + extensao);
    const bool pem = bytes.contains("-----BEGIN");
    // PEM entries are stored as certificate plus unencrypted key: the folder is the protection.
    const bool gravado =
        pem ? gravaPrivado(base + u".pem"_s, c.materialTls().certificadoPem + c.materialTls().chavePem)
            : gravaPrivado(base + u".senha"_s, senha) && gravaPrivado(base + u".pfx"_s, bytes);
    if (!gravado) {
        QFile::remove(base + u".pfx"_s);
        QFile::remove(base + u".senha"_s);
        QFile::remove(base + u".pem"_s);
        return u"Não foi possível gravar o certificado na pasta "_s + pasta_ + u"."_s;
    }
    // Whatever else touched the folder meanwhile, it leaves the import private again.
    chmod(QFile::encodeName(pasta_).constData(), S_IRWXU);
    if (importado) *importado = c;
    return {};
}

} // namespace qel
