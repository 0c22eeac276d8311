// Secrets end to end: the certificate password, the SMTP password, the NFS-e login, the CSC and
// CIOT tokens never reach a file the program writes, its output or an error text; the certificate
// store and the settings that hold secrets are private, and a store others can read is refused.

#include "../nfse/nfse_teste.h"
#include "autoridade.h"
#include "servidor_smtp.h"

#include <QDirIterator>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

using namespace teste;

constexpr char kSenhaCertificado[] = "Cert-Segredo-4471";
constexpr char kSenhaSmtp[] = "Smtp-Segredo-8832";
constexpr char kTokenCsc[] = "CSC-Segredo-1953";
constexpr char kSenhaNfse[] = "NFSe-Segredo-2290";
constexpr char kTokenCiot[] = "CIOT-Segredo-6614";

unsigned modo(const QString& caminho) {
    struct stat s {};
    return stat(QFile::encodeName(caminho).constData(), &s) == 0 ? (s.st_mode & 0777u) : 0u;
}

class Segredos : public ComAutoridade {
protected:
    QString iniServidor() const { return trabalho(u"INI/12345678000195.INI"_s); }
    QString iniLocal() const { return local(u"INI/12345678000195.INI"_s); }
    void configuracoes() const {
        escreve(iniServidor(), "Token "_ba + kTokenCsc +
                                   "\r\nIDToken 000001\r\nUsuario nfs prestador\r\nSenha nfs "_ba +
                                   kSenhaNfse + "\r\n"_ba);
        escreve(iniLocal(), "CIOT Token "_ba + kTokenCiot + "\r\n"_ba);
        chmod(QFile::encodeName(iniServidor()).constData(), 0600);
        chmod(QFile::encodeName(iniLocal()).constData(), 0600);
    }
    // The company certificate exported again under a password of its own.
    QString certificadoComSenha(const QTemporaryDir& pasta) const {
        const QString pem = pasta.filePath(u"empresa.pem"_s);
        const QString pfx = pasta.filePath(u"empresa-segredo.pfx"_s);
        EXPECT_EQ(
            QProcess::execute(u"openssl"_s, {u"pkcs12"_s, u"-in"_s, gerado(u"empresa.pfx"_s), u"-passin"_s,
                                             u"pass:1234"_s, u"-nodes"_s, u"-out"_s, pem}),
            0);
        EXPECT_EQ(QProcess::execute(u"openssl"_s,
                                    {u"pkcs12"_s, u"-export"_s, u"-in"_s, pem, u"-passout"_s,
                                     u"pass:"_s + QString::fromUtf8(kSenhaCertificado), u"-out"_s, pfx}),
                  0);
        return pfx;
    }
};

// One run of each kind that handles a secret, with the diagnostic copies on; then every file
// under the drive root (the certificate store included) and every output is searched for them.
TEST_F(Segredos, NenhumSegredoEmArquivoSaidaOuErro) {
    configuracoes();
    noLocal(u"Apresentar.DFe"_s, "");
    QTemporaryDir fora;
    QList<Execucao> execucoes;

    execucoes << roda({u"--importar-certificado"_s, certificadoComSenha(fora)}, kSenhaCertificado + "\n"_ba,
                      false);
    ASSERT_EQ(execucoes.last().codigo, 0) << execucoes.last().erros.toStdString();

    // An NFC-e (the CSC goes into its QR code) mailed through a server that refuses the login.
    ServidorSmtpTeste smtp(u"starttls"_s, gerado(u"servidor"_s));
    ASSERT_NE(smtp.porta(), 0) << smtp.erroPartida().toStdString();
    const Documento nfce = documento(u"nfe"_s, 41, 1, u"65"_s);
    noLocal(u"NFCe41.EML"_s,
            "Remetente fiscal@empresa.com.br\r\nDestinatario a@exemplo.com.br\r\nSMTP 127.0.0.1\r\n"
            "Porta "_ba +
                QByteArray::number(smtp.porta()) + "\r\nUsuario usuario\r\nSenha "_ba + kSenhaSmtp +
                "\r\nSSL\r\n"_ba);
    execucoes << entrega(u"NFCe41.xml"_s, nfce);
    EXPECT_EQ(execucoes.last().codigo, 0) << execucoes.last().saida.toStdString();
    EXPECT_TRUE(execucoes.last().saida.contains(u"Email não enviado"_s))
        << execucoes.last().saida.toStdString();

    // An NFS-e with the company's NFS-e login in its settings.
    noLocal(u"NFSe0000000077.xml"_s, documentoNfse(u"rps_abrasf1.xml"_s, u"4316808"_s, u"51"_s).toUtf8());
    execucoes << roda();
    EXPECT_EQ(execucoes.last().codigo, 0) << execucoes.last().saida.toStdString();

    // A route at NDD Cargo: the CIOT token travels in the message's header.
    noLocal(u"Qel_DFe.Qel"_s, "TAREFA ROTA\r\nCNPJ 12345678000195\r\nCATEGORIA PEDAGIO 7\r\nTIPO ROTA 1\r\n"
                              "CIDADE ROTA 4314902\r\nCIDADE ROTA 4305108\r\n");
    execucoes << roda();
    EXPECT_EQ(execucoes.last().codigo, 0) << execucoes.last().saida.toStdString();

    EXPECT_TRUE(QFile::exists(raiz() + u"/Teste/XML_Assinado.XML"_s)) << "the diagnostic copies were made";
    EXPECT_FALSE(QDir(raiz() + u"/Teste"_s).entryList({u"Send-*"_s}).isEmpty());

    // The files that are the secrets' own place: the settings and the store's password file.
    const auto guardaSegredo = [&](const QString& caminho) {
        return caminho == iniServidor() || caminho == iniLocal() || caminho.endsWith(u".senha"_s) ||
               caminho == local(u"NFCe41.EML"_s);
    };
    int vistos = 0;
    QDirIterator it(raiz(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString caminho = it.next();
        if (guardaSegredo(caminho)) continue;
        ++vistos;
        const QByteArray conteudo = le(caminho);
        for (const char* segredo : {kSenhaCertificado, kSenhaSmtp, kTokenCsc, kSenhaNfse, kTokenCiot})
            EXPECT_FALSE(conteudo.contains(segredo)) << segredo << " in " << caminho.toStdString();
    }
    EXPECT_GT(vistos, 10) << "log, archive, journal, diagnostic copies, store";
    for (const Execucao& r : std::as_const(execucoes))
        for (const char* segredo : {kSenhaCertificado, kSenhaSmtp, kTokenCsc, kSenhaNfse, kTokenCiot}) {
            EXPECT_FALSE(r.saida.contains(QString::fromUtf8(segredo))) << segredo;
            EXPECT_FALSE(r.erros.contains(QString::fromUtf8(segredo))) << segredo;
        }
}

// The store and the settings under every mode: a store others can reach is refused before
// anything is sent; a settings file others can read is only told.
TEST_F(Segredos, ModosDoRepositorioEDasConfiguracoes) {
    configuracoes();
    const QString senha = QDir(certificados()).entryList({u"*.senha"_s}).value(0);
    ASSERT_FALSE(senha.isEmpty());
    const struct {
        const char* caso;
        unsigned pasta, arquivo, ini;
        bool recusa, aviso;
    } casos[] = {
        {"all private", 0700, 0600, 0600, false, false},
        {"store folder open to all", 0755, 0600, 0600, true, false},
        {"store folder open to the group", 0750, 0600, 0600, true, false},
        {"password file readable by others", 0700, 0604, 0600, true, false},
        {"password file readable by the group", 0700, 0640, 0600, true, false},
        {"settings readable by others", 0700, 0600, 0644, false, true},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        chmod(QFile::encodeName(certificados()).constData(), c.pasta);
        chmod(QFile::encodeName(certificados() + u'/' + senha).constData(), c.arquivo);
        chmod(QFile::encodeName(iniServidor()).constData(), c.ini);
        const int antes = pedidos(u"nfe_status"_s);
        noLocal(u"Qel_DFe.Qel"_s, "TAREFA Consultar Servico (NFe)\r\nCNPJ 12345678000195\r\nUF RS\r\n");
        const Execucao r = roda();
        EXPECT_EQ(r.codigo, c.recusa ? 1 : 0) << r.saida.toStdString();
        EXPECT_EQ(pedidos(u"nfe_status"_s), antes + (c.recusa ? 0 : 1));
        EXPECT_EQ(r.saida.contains(u"por outros usuários"_s), c.recusa || c.aviso) << r.saida.toStdString();
        EXPECT_EQ(r.saida.contains(u"Aviso: o arquivo de configuração"_s), c.aviso) << r.saida.toStdString();
    }
}

// Whatever the umask, the import leaves the store 0700 and its files 0600.
TEST_F(Segredos, ImportacaoPrivadaComQualquerUmask) {
    QDir(certificados()).removeRecursively();
    const mode_t antes = umask(0);
    const Execucao r = roda({u"--importar-certificado"_s, gerado(u"empresa.pfx"_s)}, "1234\n", false);
    umask(antes);
    ASSERT_EQ(r.codigo, 0) << r.erros.toStdString();
    EXPECT_EQ(modo(certificados()), 0700u);
    const QFileInfoList entradas = QDir(certificados()).entryInfoList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(entradas.size(), 2) << "the .pfx and its .senha, no temporary file left";
    for (const QFileInfo& f : entradas)
        EXPECT_EQ(modo(f.filePath()), 0600u) << f.fileName().toStdString();
}

} // namespace
