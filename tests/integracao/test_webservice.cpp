// The real program against the local authority simulator on loopback: the service-status tasks,
// the answers and the failures of the exchange. Runs under dbus-run-session.

#include "../certificados_teste.h"
#include "programa.h"
#include "simulador.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {

class WebService : public ::testing::Test, protected Programa {
protected:
    static QString gerado(const QString& nome) { return CertificadosTeste::instancia().caminho(nome); }

    void SetUp() override {
        ASSERT_EQ(roda({u"--importar-certificado"_s, gerado(u"empresa.pfx"_s)}, "1234\n", false).codigo, 0);
        extras.insert(u"QEL_DFE_CA"_s, gerado(u"ca.crt"_s));
        extras.insert(u"QEL_DFE_TEMPO_LIMITE"_s, u"2"_s);
    }
    Execucao status(const QByteArray& tarefa, const QByteArray& uf = "RS",
                    const QByteArray& cnpj = "12345678000195") {
        noLocal(u"Qel_DFe.Qel"_s, "TAREFA " + tarefa + "\r\nCNPJ " + cnpj + "\r\nUF " + uf + "\r\n");
        return roda();
    }
    // Slower than the whole exchange may take with the time-out of 2 s of these tests.
    Simulador simulador{gerado(u"servidor.crt"_s), gerado(u"servidor.key"_s), gerado(u"ca.crt"_s), 6};
};

TEST_F(WebService, ConsultaDeServicoDasTresFamilias) {
    extras.insert(u"QEL_DFE_HOST"_s, simulador.host());
    const struct {
        const char* tarefa;
        const char* uf;
        const char* caminho;
    } casos[] = {
        {"CONSULTAR SERVICO (NFE)", "RS", "/ws/NfeStatusServico/NfeStatusServico4.asmx"},
        {"Consultar Servico (CTe)", "RS", "/ws/CTeStatusServicoV4/CTeStatusServicoV4.asmx"},
        {"CONSULTAR SERVICO (MDFE)", "SP", "/ws/mdfestatusservico/MDFeStatusServico.asmx"},
        // Mato Grosso speaks SOAP 1.2: the action travels in the content type.
        {"CONSULTAR SERVICO (NFE)", "MT", "/nfews/v2/services/NfeStatusServico4"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.tarefa);
        const Execucao r = status(c.tarefa, c.uf);
        EXPECT_EQ(r.codigo, 0) << r.saida.toStdString() << r.erros.toStdString();
        EXPECT_TRUE(r.saida.contains(u"Gerando Assinatura - Status\nEnviando XML - Status\n"_s))
            << r.saida.toStdString();
        EXPECT_TRUE(r.saida.contains(u"Apresenta Retorno WebService (Versao 20/03/2025-03)\nCodigo: 107\n"_s))
            << r.saida.toStdString();
        EXPECT_TRUE(simulador.registro().contains(QString::fromUtf8(c.caminho), Qt::CaseInsensitive))
            << simulador.registro().toStdString();
    }
}

TEST_F(WebService, CertificadoDeExportacaoAntigaServeDeCliente) {
    // The same certificate in the legacy PKCS#12 encryption replaces the store's entry.
    ASSERT_EQ(roda({u"--importar-certificado"_s, gerado(u"empresa-legado.pfx"_s)}, "1234\n", false).codigo,
              0);
    ASSERT_EQ(QDir(certificados()).entryList({u"*.pfx"_s}, QDir::Files).size(), 1);
    extras.insert(u"QEL_DFE_HOST"_s, simulador.host());
    EXPECT_EQ(status("CONSULTAR SERVICO (CTE)").codigo, 0);
}

TEST_F(WebService, MensagensDoResultadoAoAplicativo) {
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run under dbus-run-session";
    extras.insert(u"QEL_DFE_HOST"_s, simulador.host());
    QProcess ouvinte;
    ouvinte.start(QString::fromUtf8(QEL_OUVINTE), {u"--sair-no-fim"_s});
    QElapsedTimer relogio;
    relogio.start();
    while (!QDBusConnection::sessionBus().interface()->isServiceRegistered(u"qel.TrocaMensagens"_s).value() &&
           relogio.elapsed() < 10000)
        QThread::msleep(20);
    const Execucao r = status("CONSULTAR SERVICO (NFE)");
    EXPECT_EQ(r.codigo, 0);
    ASSERT_TRUE(ouvinte.waitForFinished(10000));
    const QString mensagens = QString::fromUtf8(ouvinte.readAllStandardOutput());
    EXPECT_TRUE(mensagens.startsWith(
        u"DFe-Documento\tAviso/Erro\nDFe-Codigo\t107\nDFe-Mensagem\tServico em Operacao"_s))
        << mensagens.toStdString();
    EXPECT_TRUE(mensagens.endsWith(u"DFe-Fim\t\n"_s));
}

TEST_F(WebService, Resposta500EhAResposta) {
    extras.insert(u"QEL_DFE_HOST"_s, simulador.host());
    simulador.cenario("erro500");
    const Execucao r = status("CONSULTAR SERVICO (NFE)");
    EXPECT_EQ(r.codigo, 1) << "a fault is no status";
    EXPECT_TRUE(r.saida.contains(u"Fault"_s)) << r.saida.toStdString();
    EXPECT_FALSE(r.saida.contains(u"Nao foi possivel acessar o WebService."_s));
}

TEST_F(WebService, FalhasDaTrocaDaoOTextoDeFalha) {
    const QString caminho = u"/ws/NfeStatusServico/NfeStatusServico4.asmx"_s;
    const auto falha = [&](const QString& host) {
        return u"Nao foi possivel acessar o WebService.Verifique sinal de internet, ou outro bloqueio ao "
               u"servico."
               "Site de acesso: https://"_s +
               host + caminho;
    };
    Simulador estranho{gerado(u"servidor-estranho.crt"_s), gerado(u"servidor-estranho.key"_s),
                       gerado(u"ca.crt"_s)};
    const struct {
        const char* caso;
        QString host;
        QByteArray cenario;
    } casos[] = {
        {"HTTP 404", simulador.host(), "404"},
        {"connection closed", simulador.host(), "fechar"},
        {"too slow", simulador.host(), "lento"},
        {"unknown server CA", estranho.host(), "normal"},
        {"nobody listening", u"127.0.0.1:9"_s, "normal"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.caso);
        simulador.cenario(c.cenario);
        extras.insert(u"QEL_DFE_HOST"_s, c.host);
        QElapsedTimer relogio;
        relogio.start();
        const Execucao r = status("CONSULTAR SERVICO (NFE)");
        EXPECT_EQ(r.codigo, 1);
        EXPECT_TRUE(r.saida.contains(falha(c.host) + u'\n')) << r.saida.toStdString();
        EXPECT_LT(relogio.elapsed(), 20000) << "bounded by the time-out setting";
    }
}

TEST_F(WebService, CopiasDeDiagnostico) {
    extras.insert(u"QEL_DFE_HOST"_s, simulador.host());
    noLocal(u"Apresentar.DFe"_s, "");
    EXPECT_EQ(status("CONSULTAR SERVICO (MDFE)").codigo, 0);
    const QByteArray enviado = teste::le(raiz() + u"/Teste/Send-Status.xml"_s);
    EXPECT_TRUE(enviado.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?><soap:Envelope"))
        << enviado.constData();
    EXPECT_TRUE(enviado.contains("<mdfeCabecMsg"));
    EXPECT_TRUE(teste::le(raiz() + u"/Teste/Get-Status.xml"_s).contains("<cStat>107</cStat>"));
}

TEST_F(WebService, ClienteDeOutraAutoridadeRecusado) {
    ASSERT_EQ(roda({u"--importar-certificado"_s, gerado(u"estranho-cliente.pfx"_s)}, "1234\n", false).codigo,
              0);
    extras.insert(u"QEL_DFE_HOST"_s, simulador.host());
    const Execucao r = status("CONSULTAR SERVICO (NFE)", "RS", "11111111000111");
    EXPECT_EQ(r.codigo, 1);
    EXPECT_TRUE(r.saida.contains(u"Nao foi possivel acessar o WebService."_s)) << r.saida.toStdString();
    EXPECT_FALSE(simulador.registro().contains(u"NfeStatusServico"_s, Qt::CaseInsensitive));
}

TEST_F(WebService, SemCertificadoNadaSaiDaqui) {
    extras.insert(u"QEL_DFE_HOST"_s, simulador.host());
    const Execucao r = status("CONSULTAR SERVICO (NFE)", "RS", "99888777000166");
    EXPECT_EQ(r.codigo, 1);
    EXPECT_TRUE(r.saida.contains(
        u"A tarefa solicitada nescessita da configuração do Qel DFe\nNão é possível continuar.\n"_s))
        << r.saida.toStdString();
    EXPECT_FALSE(r.saida.contains(u"Enviando XML"_s));
    EXPECT_TRUE(simulador.registro().isEmpty());
}

} // namespace
