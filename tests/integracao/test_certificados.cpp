// The certificate store, its import command and the certificate-validity tasks, with test
// certificates made by the openssl command. Runs under dbus-run-session.

#include "programa.h"
#include "sign/repositorio_certificados.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QThread>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

const QString kSujeito = u"CN=EMPRESA TESTE LTDA:12345678000195, OU=Teste, O=ICP-Brasil, C=BR"_s;

class Certificados : public ::testing::Test, protected Programa {
protected:
    static void SetUpTestSuite() {
        gerados_ = new QTemporaryDir;
        QProcess gera;
        gera.start(u"sh"_s,
                   {QString::fromUtf8(QEL_DADOS_TESTE) + u"/gera_certificados.sh"_s, gerados_->path()});
        ASSERT_TRUE(gera.waitForFinished(60000));
        ASSERT_EQ(gera.exitCode(), 0) << gera.readAllStandardError().toStdString();
    }
    static void TearDownTestSuite() { delete gerados_; }
    static QString gerado(const QString& nome) { return gerados_->path() + u'/' + nome; }

    Execucao importa(const QString& nome, const QByteArray& senha = "1234") const {
        return roda({u"--importar-certificado"_s, gerado(nome)}, senha + '\n', false);
    }
    // Puts an entry into the store as it is, as an older program version might have left it
    // (private: a store others can read is refused).
    void colocaNaLoja(const QString& nome) const {
        QDir().mkpath(certificados());
        QFile::setPermissions(certificados(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QFile::copy(gerado(nome + u".pfx"_s), certificados() + u'/' + nome + u".pfx"_s);
        teste::escreve(certificados() + u'/' + nome + u".senha"_s, "1234");
        for (const QString& extensao : {u".pfx"_s, u".senha"_s})
            QFile::setPermissions(certificados() + u'/' + nome + extensao,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    void tarefa(const QByteArray& linhas) const { noLocal(u"Qel_DFe.Qel"_s, linhas); }

    static QTemporaryDir* gerados_;
};
QTemporaryDir* Certificados::gerados_ = nullptr;

TEST_F(Certificados, ImportacaoAceitaOuRecusaSemGuardarNada) {
    const struct {
        const char* arquivo;
        const char* senha;
        const char* erro; // empty: accepted
    } casos[] = {
        {"vencido.pfx", "1234", "Certificado não importado: venceu em 02/01/2021."},
        {"empresa.pfx", "errada", "Certificado não importado: senha incorreta."},
        {"chave-errada.pem", "",
         "Certificado não importado: a chave privada não corresponde ao certificado."},
        {"nao-existe.pfx", "1234", "Não foi possível ler o arquivo "},
        {"ca.cnf", "1234",
         "Certificado não importado: o arquivo não é um certificado PKCS#12 (.pfx) nem PEM."},
        {"empresa-legado.pfx", "1234", ""},
        {"empresa.pfx", "1234", ""},
        {"outra.pem", "", ""},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.arquivo);
        const QStringList antes = QDir(certificados()).entryList(QDir::Files);
        const Execucao r = importa(QString::fromUtf8(c.arquivo), c.senha);
        if (*c.erro) {
            EXPECT_EQ(r.codigo, 1);
            EXPECT_TRUE(r.erros.startsWith(QString::fromUtf8(c.erro))) << r.erros.toStdString();
            EXPECT_EQ(QDir(certificados()).entryList(QDir::Files), antes);
        } else {
            EXPECT_EQ(r.codigo, 0) << r.erros.toStdString();
            EXPECT_TRUE(r.saida.startsWith(u"Certificado importado: CN="_s)) << r.saida.toStdString();
        }
    }
    // The legacy and the current export of one certificate are one entry; the folder is private.
    EXPECT_EQ(RepositorioCertificados(certificados()).lista().size(), 2);
    EXPECT_EQ(QFileInfo(certificados()).permissions() & 0x0077, QFileDevice::Permissions()) << "mode 0700";
    for (const QFileInfo& f : QDir(certificados()).entryInfoList(QDir::Files))
        EXPECT_EQ(f.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
                  QFileDevice::Permissions())
            << f.fileName().toStdString();
}

TEST_F(Certificados, BuscaSoValidosEDadosDoCertificado) {
    colocaNaLoja(u"vencido"_s);
    colocaNaLoja(u"empresa"_s);
    colocaNaLoja(u"outra"_s);
    const RepositorioCertificados loja(certificados());
    const QDateTime hoje = QDateTime(QDate(2026, 12, 9), QTime(10, 0), Qt::UTC);

    const QList<Certificado> achados = loja.busca(u"empresa teste ltda:12345678000195"_s, hoje);
    ASSERT_EQ(achados.size(), 1);
    const Certificado& c = achados.first();
    EXPECT_EQ(c.nomeSujeito(), kSujeito);
    EXPECT_EQ(c.nomeEmissor(), u"CN=AC Qel Teste, O=Qel Teste, C=BR"_s);
    EXPECT_EQ(c.validoDe(), QDateTime(QDate(2025, 1, 2), QTime(12, 0), Qt::UTC));
    EXPECT_EQ(c.validoAte(), QDateTime(QDate(2030, 12, 30), QTime(12, 0), Qt::UTC));
    EXPECT_EQ(c.numeroSerie(), u"1001"_s);

    QProcess der;
    der.start(u"sh"_s, {u"-c"_s, u"openssl x509 -in '"_s + gerado(u"empresa.crt"_s) +
                                     u"' -outform DER | base64 -w0"_s});
    ASSERT_TRUE(der.waitForFinished(10000));
    EXPECT_EQ(c.exportaBase64(), QString::fromLatin1(der.readAllStandardOutput()));
    EXPECT_FALSE(c.exportaBase64().contains(u'\n'));
    EXPECT_TRUE(c.chaveConfere());
    const MaterialTls tls = c.materialTls();
    EXPECT_EQ(tls.certificadoPem.count("BEGIN CERTIFICATE"), 2) << "the certificate and its chain";
    EXPECT_TRUE(tls.chavePem.contains("PRIVATE KEY"));

    // On a day of 2020 only the expired one was valid.
    const QList<Certificado> em2020 =
        loja.busca(u"12345678000195"_s, QDateTime(QDate(2020, 6, 1), QTime(12, 0), Qt::UTC));
    ASSERT_EQ(em2020.size(), 1);
    EXPECT_EQ(em2020.first().numeroSerie(), u"1002"_s);
    EXPECT_EQ(loja.busca(u"98765432000110"_s, hoje).size(), 1);
    EXPECT_EQ(loja.busca(u"00000000000000"_s, hoje).size(), 0);
}

TEST_F(Certificados, ValidadeParaArquivoEMensagem) {
    ASSERT_EQ(importa(u"empresa.pfx"_s).codigo, 0);
    QProcess ouvinte;
    const bool barramento = QDBusConnection::sessionBus().isConnected();
    if (barramento) {
        ouvinte.start(QString::fromUtf8(QEL_OUVINTE), {u"--sair-no-fim"_s});
        QElapsedTimer relogio;
        relogio.start();
        while (!QDBusConnection::sessionBus()
                    .interface()
                    ->isServiceRegistered(u"qel.TrocaMensagens"_s)
                    .value() &&
               relogio.elapsed() < 10000)
            QThread::msleep(20);
    }
    tarefa("TAREFA VALIDADE DO CERTIFICADO (ARQUIVO)\r\nCNPJ 12345678000195\r\n");
    const Execucao r = roda();
    EXPECT_EQ(r.codigo, 0) << r.erros.toStdString();
    EXPECT_EQ(teste::le(local(u"Retorno_DFe.Qel"_s)),
              QByteArray("CNPJ 12345678000195\r\n\r\nValidade do certificado\r\n"
                         "Valido de 02/01/2025 00:00:00 at\xe9 30/12/2030 00:00:00\r\n"));
    EXPECT_FALSE(r.saida.contains(u"Resultado ("_s)) << "no dialog";
    if (barramento) {
        ouvinte.terminate();
        ASSERT_TRUE(ouvinte.waitForFinished(10000));
        EXPECT_EQ(QString::fromUtf8(ouvinte.readAllStandardOutput()),
                  u"DFe-Validade do Certificado\tValido de 02/01/2025 até 30/12/2030\n"_s);
    } else {
        ADD_FAILURE() << "run under dbus-run-session to check the message";
    }
}

TEST_F(Certificados, ValidadeNaTelaESemCertificado) {
    ASSERT_EQ(importa(u"empresa.pfx"_s).codigo, 0);
    tarefa("TAREFA Validade do Certificado\r\nCNPJ 12345678000195\r\n");
    const Execucao tela = roda();
    EXPECT_EQ(tela.codigo, 0);
    EXPECT_TRUE(tela.saida.endsWith(u"Resultado (Versao 20/03/2025-03)\nValidade do certificado digital "
                                    "(12345678000195)\n \n"_s +
                                    kSujeito + u"\nValido de 02/01/2025 até 30/12/2030\n"_s))
        << tela.saida.toStdString();
    EXPECT_FALSE(QFile::exists(local(u"Retorno_DFe.Qel"_s)));

    // Another company: its certificate is not in the store, and the company's is never taken.
    tarefa("TAREFA VALIDADE DO CERTIFICADO (ARQUIVO)\r\nCNPJ 99888777000166\r\n");
    const Execucao falta = roda();
    EXPECT_EQ(falta.codigo, 1);
    EXPECT_EQ(
        teste::le(local(u"Retorno_DFe.Qel"_s)),
        QByteArray("CNPJ 99888777000166\r\n\r\nN\xe3o foi poss\xedvel selecionar o Certificado Digital\r\n"));
    EXPECT_FALSE(falta.saida.contains(u"Resultado ("_s));

    tarefa("TAREFA VALIDADE DO CERTIFICADO\r\nCNPJ 99888777000166\r\n");
    const Execucao faltaTela = roda();
    EXPECT_EQ(faltaTela.codigo, 1);
    EXPECT_TRUE(faltaTela.saida.contains(
        u"Não foi possível selecionar um certificado digital para o CNPJ 99888777000166\n"_s));
}

TEST_F(Certificados, IdentidadeLembradaDecide) {
    ASSERT_EQ(importa(u"empresa.pfx"_s).codigo, 0);
    ASSERT_EQ(importa(u"outra.pfx"_s).codigo, 0);
    const struct {
        const char* certificado; // the CERTIFICADO line of the local settings
        const char* escolhido;   // subject shown, empty when none is found
    } casos[] = {
        {"Certificado CN=OUTRA EMPRESA SA:98765432000110, OU=Teste, O=ICP-Brasil, C=BR", "OUTRA EMPRESA SA"},
        {"Certificado 12345678", "EMPRESA TESTE LTDA"},
        {"Certificado ", "EMPRESA TESTE LTDA"},
        {"Certificado CN=EMPRESA SUMIDA:11111111000111, O=X", ""},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.certificado);
        teste::escreve(local(u"INI/12345678000195.ini"_s), QByteArray(c.certificado) + "\r\n");
        tarefa("TAREFA Validade do Certificado\r\nCNPJ 12345678000195\r\n");
        const Execucao r = roda();
        if (*c.escolhido) {
            EXPECT_EQ(r.codigo, 0);
            EXPECT_TRUE(r.saida.contains(u"\nCN="_s + QString::fromUtf8(c.escolhido)))
                << r.saida.toStdString();
        } else {
            EXPECT_EQ(r.codigo, 1);
        }
    }
}

TEST_F(Certificados, TarefaDesconhecidaTerminaSemResposta) {
    ASSERT_EQ(importa(u"empresa.pfx"_s).codigo, 0);
    for (const QByteArray& nome : {QByteArray("RECEPÇÃO"), QByteArray("=RECEPCAO")}) {
        tarefa("TAREFA " + nome + "\r\nCNPJ 12345678000195\r\n");
        const Execucao r = roda();
        EXPECT_EQ(r.codigo, 1);
        EXPECT_TRUE(r.saida.endsWith(u"Tarefa não reconhecida\n"_s)) << r.saida.toStdString();
        EXPECT_FALSE(QFile::exists(local(u"Retorno_DFe.Qel"_s)));
    }
}

} // namespace
