#pragma once

// What the end-to-end tests against the local authority simulator share: the documents the
// calling application drops, the program with its certificate and the simulator, the archive, the
// schemas and the signature check.

#include "../certificados_teste.h"
#include "../esquema.h"
#include "programa.h"
#include "simulador.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace teste {

struct Documento {
    QString chave;
    QByteArray texto;
};

// A document as the calling application drops it, made by the tests' document script.
// An NF-e or NFC-e is issued in RS unless a state's code is given; `cnpj`: the issuer, the test
// company when blank.
inline Documento documento(const QString& tipo, int numero, int itens = 1, const QString& modelo = u"55"_s,
                           const QString& cUF = u"43"_s, const QString& cnpj = {}) {
    QProcess gera;
    QStringList argumentos{QString::fromUtf8(QEL_DOCUMENTOS),
                           tipo,
                           QString::number(numero),
                           QString::number(itens),
                           modelo,
                           cUF};
    if (!cnpj.isEmpty()) argumentos << cnpj;
    gera.start(u"/usr/bin/python3"_s, argumentos);
    if (!gera.waitForFinished(30000) || gera.exitCode() != 0)
        ADD_FAILURE() << "document script: " << gera.readAllStandardError().toStdString();
    return {QString::fromUtf8(gera.readAllStandardError()).trimmed(), gera.readAllStandardOutput()};
}

inline QString esquemas() {
    return teste::pastaReferencia() + u"/schemas/"_s;
}

// The reference schemas with the tax reform's NF-e package installed over them (by the test
// script, from scripts/esquemas-reforma.sh), or blank where it could not be fetched.
inline QString esquemasReforma() {
    const QString pasta = qEnvironmentVariable("QEL_ESQUEMAS_REFORMA");
    return !pasta.isEmpty() && QFile::exists(pasta + u"/nfe/DFeTiposBasicos_v1.00.xsd"_s) ? pasta : QString();
}

// The xmlsec1 command on a signature of a stored proc: empty when it verifies. The document's
// signature with the company's CA; the protocol's with the simulator's certificate. pai: the
// element that holds the signature, where the signed element's name is not unique (an event
// proc has two infEvento).
inline QString verificaAssinatura(const QByteArray& proc, const QString& elementoId, const QString& confiavel,
                                  const QString& pai = {}) {
    static QTemporaryDir pasta;
    const QString arquivo = pasta.path() + u"/proc.xml"_s;
    teste::escreve(arquivo, proc);
    QProcess xmlsec;
    xmlsec.start(
        u"xmlsec1"_s,
        {u"--verify"_s, u"--id-attr:Id"_s, elementoId, u"--trusted-pem"_s, confiavel, u"--node-xpath"_s,
         pai.isEmpty() ? u"//*[local-name()='"_s + elementoId + u"']/../*[local-name()='Signature']"_s
                       : u"//*[local-name()='"_s + pai + u"']/*[local-name()='Signature']"_s,
         arquivo});
    if (!xmlsec.waitForFinished(30000)) return u"xmlsec1 did not finish"_s;
    return xmlsec.exitCode() == 0 ? QString() : QString::fromUtf8(xmlsec.readAllStandardError()).right(300);
}

class ComAutoridade : public ::testing::Test, protected Programa {
protected:
    static QString gerado(const QString& nome) { return CertificadosTeste::instancia().caminho(nome); }

    void SetUp() override {
        ASSERT_EQ(roda({u"--importar-certificado"_s, gerado(u"empresa.pfx"_s)}, "1234\n", false).codigo, 0);
        extras.insert(u"QEL_DFE_CA"_s, gerado(u"ca.crt"_s));
        extras.insert(u"QEL_DFE_TEMPO_LIMITE"_s, u"5"_s);
        extras.insert(u"QEL_DFE_HOST"_s, simulador.host());
        extras.insert(u"QEL_DFE_PAUSA_RETORNO"_s, u"20"_s);
        // Test documents are of the homologation environment.
        teste::escreve(trabalho(u"Homologacao.Qel"_s), "");
    }

    QString trabalho(const QString& nome = {}) const { return raiz() + u"/DFe/"_s + nome; }
    // The settings lines of the CSC a version 2 NFC-e QR code is made with.
    static QByteArray csc() { return "Token 0123456789ABCDEF\r\nIDToken 000001\r\n"; }
    // The company's server settings file: the CSC and the lines given.
    void configuraEmpresa(const QByteArray& linhas = {}) const {
        teste::escreve(trabalho(u"INI/12345678000195.ini"_s), csc() + linhas);
    }
    QString arquivo(const Documento& d, const QString& sufixo) const {
        return trabalho(u"Arquivos_XML/CNPJ-12345678000195/26-12/"_s + d.chave + u'-' + sufixo + u".xml"_s);
    }
    QStringList pendentes() const {
        return QDir(trabalho(u"Arquivos_XML/CNPJ-12345678000195/Pendentes"_s)).entryList(QDir::Files);
    }
    // How many requests of a service the simulator saw.
    int pedidos(const QString& servico) const {
        return simulador.registro().count(QRegularExpression(u"servico="_s + servico + u"\\b"_s));
    }
    Execucao entrega(const QString& nome, const Documento& d) {
        noLocal(nome, d.texto);
        return roda();
    }

    Simulador simulador{gerado(u"servidor.crt"_s), gerado(u"servidor.key"_s), gerado(u"ca.crt"_s), 8};
};

} // namespace teste
