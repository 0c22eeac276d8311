#include "sign/assinatura_texto.h"

#include "util/posse_c.h"

#include <openssl/evp.h>

namespace qel {

QString assinaTextoSha1(const Certificado& certificado, const QByteArray& texto) {
    EVP_PKEY* chave = certificado.valido() ? certificado.chavePrivada() : nullptr;
    if (!chave || EVP_PKEY_get_base_id(chave) != EVP_PKEY_RSA) return {};
    const Posse<EVP_MD_CTX, EVP_MD_CTX_free> contexto(EVP_MD_CTX_new());
    size_t tamanho = 0;
    const auto* dados = reinterpret_cast<const unsigned char*>(texto.constData());
    if (!contexto || EVP_DigestSignInit(contexto.get(), nullptr, EVP_sha1(), nullptr, chave) != 1 ||
        EVP_DigestSign(contexto.get(), nullptr, &tamanho, dados, static_cast<size_t>(texto.size())) != 1)
        return {};
    QByteArray assinatura(static_cast<qsizetype>(tamanho), '\0');
    if (EVP_DigestSign(contexto.get(), reinterpret_cast<unsigned char*>(assinatura.data()), &tamanho, dados,
                       static_cast<size_t>(texto.size())) != 1)
        return {};
    assinatura.resize(static_cast<qsizetype>(tamanho));
    return QString::fromLatin1(assinatura.toBase64());
}

} // namespace qel
