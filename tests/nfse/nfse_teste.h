#pragma once

// What the NFS-e unit tests share: the documents of tests/data/nfse, the requests of a provider
// signed for real (checked with xmlsec1) or with a stand-in that marks where the signature goes.

#include "../apoio.h"
#include "../certificados_teste.h"
#include "nfse/provedor.h"

#include <QProcess>
#include <QTemporaryDir>

namespace teste {

using namespace Qt::StringLiterals;

// A document of tests/data/nfse on one line (lines trimmed and joined, as the program reads it),
// with its placeholders replaced.
inline QString documentoNfse(const QString& nome, const QString& municipio = {},
                             const QString& natureza = u"1"_s) {
    QString texto;
    for (const QString& linha :
         QString::fromUtf8(le(QString::fromUtf8(QEL_DADOS_TESTE) + u"/nfse/"_s + nome)).split(u'\n'))
        texto += linha.trimmed();
    return texto.replace(u"{MUNICIPIO}"_s, municipio).replace(u"{NATUREZA}"_s, natureza);
}

// Puts an empty Signature at the place given: what is signed where, without a key.
inline qel::AssinadorNfse marcaAssinatura() {
    return [](const QString& texto, const qel::LocalAssinatura& local) -> std::optional<QString> {
        return texto.left(texto.size() - local.cauda) + u"<Signature URI=\"#"_s + local.idReferencia +
               u"\"/>"_s + texto.right(local.cauda);
    };
}

// Signs with the test company's certificate.
inline qel::AssinadorNfse assinaDeVerdade() {
    return [](const QString& texto, const qel::LocalAssinatura& local) -> std::optional<QString> {
        qel::ContextoAssinatura c;
        c.certificado = &CertificadosTeste::instancia().empresa();
        c.local = local;
        const qel::ResultadoAssinatura r = qel::assinaXml(texto, c);
        if (!r.erro.isEmpty()) {
            ADD_FAILURE() << r.erro.toStdString();
            return std::nullopt;
        }
        return r.texto;
    };
}

// xmlsec1 on the signature inside `pai` of the element whose id attribute (Id or id) names it:
// empty when it verifies against the test CA.
inline QString verificaComXmlsec(const QString& xml, const QString& atributo, const QString& elemento,
                                 const QString& pai) {
    QTemporaryDir pasta;
    const QString arquivo = pasta.path() + u"/doc.xml"_s;
    escreve(arquivo, xml.toUtf8());
    QProcess xmlsec;
    xmlsec.start(u"xmlsec1"_s,
                 {u"--verify"_s, u"--id-attr:"_s + atributo, elemento, u"--trusted-pem"_s,
                  CertificadosTeste::instancia().caminho(u"ca.crt"_s), u"--node-xpath"_s,
                  u"//*[local-name()='"_s + pai + u"']/*[local-name()='Signature']"_s, arquivo});
    if (!xmlsec.waitForFinished(30000)) return u"xmlsec1 did not finish"_s;
    return xmlsec.exitCode() == 0 ? QString() : QString::fromUtf8(xmlsec.readAllStandardError()).right(400);
}

} // namespace teste
