// The task run in-process with a scripted user interface: configuration, certificate choice,
// answer files and clean-up, without any window.

#include "apoio.h"
#include "app/execucao.h"
#include "certificados_teste.h"
#include "ui_roteirizada.h"
#include "util/arquivos.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

struct CanalMudo : CanalMensagens {
    QStringList recebidas;
    void envia(const QString& p, const QString& v) override { recebidas << p + u'=' + v; }
};

class Execucao : public ::testing::Test {
protected:
    static QString loja() { return CertificadosTeste::instancia().loja(); }

    void SetUp() override {
        qputenv("QEL_DFE_RAIZ", raiz.path().toUtf8());
        teste::escreve(raiz.path() + u"/Qel/test/Qel.Ini"_s,
                       "SERVIDOR " + raiz.path().toUtf8() + "/servidor\r\n");
        QDir().mkpath(raiz.path() + u"/servidor"_s);
    }
    void TearDown() override { qunsetenv("QEL_DFE_RAIZ"); }

    QString local(const QString& nome) const { return raiz.path() + u"/Qel/test/DFe/"_s + nome; }

    Desfecho roda(const QByteArray& tarefa) {
        teste::escreve(local(u"Qel_DFe.Qel"_s), tarefa);
        return execucao.ExecutaTarefa();
    }

    static RecursosExecucao recursos() {
        RecursosExecucao r = RecursosExecucao::doAmbiente();
        r.certificados = RepositorioCertificados(loja());
        return r;
    }

    QTemporaryDir raiz;
    UiRoteirizada ui;
    CanalMudo canal;
    ExecucaoTarefa execucao{ui, canal, {}, recursos()};
    Operacoes& op = execucao.operacoes();
};

TEST_F(Execucao, ConfigurarEscolheCertificadoNoSeletorESalva) {
    ui.certificadoEscolhido = 1; // the store lists by entry name; pick the second
    ui.dialogoConfiguracao = [](ConfiguracaoEmpresa& cfg, AcoesConfiguracao& acoes) {
        EXPECT_TRUE(acoes.selecionaCertificado(UsoCertificado::Documentos));
        cfg.ImpressoraNFe = acoes.escolheImpressora();
        acoes.salva();
        return true;
    };
    ui.respostas = {u"QelPDF"_s};
    EXPECT_EQ(roda("TAREFA Configurar\r\nCNPJ 12345678000195\r\n"), Desfecho::Concluida);
    ASSERT_EQ(ui.certificadosOferecidos.size(), 2);
    const QString escolhido = ui.certificadosOferecidos.at(1).sujeito;
    EXPECT_EQ(op.cfg().Certificado_DFe, escolhido);
    EXPECT_TRUE(op.certificadoPronto());
    // The run made the folder as "Ini"; the file is found in it without regard to case.
    const QByteArray salvo = teste::le(localizaCaminho(local(u"INI/12345678000195.INI"_s)));
    EXPECT_TRUE(salvo.startsWith("Certificado " + escolhido.toUtf8() +
                                 "\r\nNFS Certificado \r\n"
                                 "DANFE Impressora QelPDF\r\n"))
        << salvo.toStdString();
    EXPECT_TRUE(existeArquivo(raiz.path() + u"/servidor/DFe/INI/12345678000195.INI"_s));
}

TEST_F(Execucao, SeletorCanceladoFechaODialogo) {
    ui.certificadoEscolhido = std::nullopt;
    bool fechado = false;
    ui.dialogoConfiguracao = [&](ConfiguracaoEmpresa&, AcoesConfiguracao& acoes) {
        fechado = !acoes.selecionaCertificado(UsoCertificado::Servico);
        return true;
    };
    EXPECT_EQ(roda("TAREFA Configurar\r\nCNPJ 12345678000195\r\n"), Desfecho::Concluida);
    EXPECT_TRUE(fechado);
    ASSERT_EQ(ui.mostrados.size(), 1u);
    EXPECT_EQ(ui.mostrados[0].linhasMensagem, QStringList{u"Erro ao selecionar certificado"_s});
    EXPECT_FALSE(existeArquivo(local(u"INI/12345678000195.INI"_s)))
        << "closing without saving writes nothing";
}

TEST_F(Execucao, ConfigurarEmMaiusculasBuscaSemSeletor) {
    ui.dialogoConfiguracao = [](ConfiguracaoEmpresa& cfg, AcoesConfiguracao& acoes) {
        cfg.Certificado_DFe = u"Antigo"_s;
        EXPECT_TRUE(acoes.selecionaCertificado(UsoCertificado::Documentos) == false);
        return true;
    };
    roda("TAREFA CONFIGURAR\r\nCNPJ 12345678000195\r\n");
    EXPECT_TRUE(ui.certificadosOferecidos.isEmpty()) << "the picker is only for the task \"Configurar\"";
}

TEST_F(Execucao, ServicoNFSeUsaOCertificadoDeServicoQuandoHa) {
    teste::escreve(local(u"INI/12345678000195.ini"_s),
                   "Certificado CN=EMPRESA TESTE LTDA:12345678000195, OU=Teste\r\n"
                   "NFS Certificado CN=OUTRA EMPRESA SA:98765432000110, OU=Teste\r\n");
    roda("TAREFA Validade do Certificado (arquivo)\r\nCNPJ 12345678000195\r\n");
    EXPECT_TRUE(op.CertificadoSelecionado().nomeSujeito().startsWith(u"CN=EMPRESA TESTE"_s));
    // A 31-character key marks an NFS-e.
    roda("TAREFA Validade do Certificado (arquivo)\r\nCNPJ 12345678000195\r\n"
         "CHAVE 1234567890123456789012345678901\r\n");
    EXPECT_TRUE(op.CertificadoSelecionado().nomeSujeito().startsWith(u"CN=OUTRA EMPRESA"_s));
}

TEST_F(Execucao, ModoDeTestePerguntaAntesDeTransmitir) {
    // Nothing listens there: a request that goes out fails at once.
    op.recursos().enderecos.defineHostUnico(u"127.0.0.1:9"_s);
    teste::escreve(local(u"Teste.NFe"_s), "");
    const QByteArray nfe =
        "<NFe xmlns=\"http://www.portalfiscal.inf.br/nfe\"><infNFe versao=\"4.00\" "
        "Id=\"NFe43240112345678000195550010000000011000000016\"><ide><cUF>43</cUF></ide></infNFe></NFe>";
    for (const char* resposta : {"Nao", "Sim"}) {
        SCOPED_TRACE(resposta);
        // The intake gives the company, its certificate and the test mode; the document is the
        // one the call prepares.
        ui.respostas = {};
        roda("TAREFA Cadastro\r\nCNPJ 12345678000195\r\nUF RS\r\n");
        ASSERT_TRUE(op.ctx().TesteNFe);
        op.ctx().Tipo = TipoDocumento::NFe;
        op.ctx().LbXML = QStringList{QString::fromUtf8(nfe)};
        ui.respostas = {QString::fromLatin1(resposta)};
        ui.status_.clear();
        ui.previas = 0;
        const bool enviou = op.ChamaWebService(Servico::Recepcao);
        EXPECT_EQ(enviou, QString::fromLatin1(resposta) == u"Sim"_s);
        // The document is shown as it would print before the question.
        EXPECT_EQ(ui.previas, 1);
        EXPECT_FALSE(ui.status_.join(u'\n').contains(u"Pré-visualização ainda não disponível"_s));
        EXPECT_EQ(ui.mostrados.back().linhasPrincipal, QStringList{u"Deseja transmitir este documento ?"_s});
        EXPECT_EQ(ui.status_.contains(u"Enviando XML - Recepcao"_s), enviou);
        if (enviou) {
            EXPECT_FALSE(op.ctx().TesteNFe);
        }
    }
}

TEST_F(Execucao, LimpezaDosTemporariosDaTarefa) {
    const QString nfe = raiz.path() + u"/nfe.xml"_s;
    teste::escreve(
        nfe, "<nfeProc><NFe><infNFe versao=\"4.00\" Id=\"NFe43240112345678000195550010000012341000012349\">"
             "<ide><nNF>1234</nNF><mod>55</mod></ide></infNFe></NFe></nfeProc>");
    EXPECT_EQ(roda("TAREFA GERAR PDF\r\nARQUIVO " + nfe.toUtf8() + "\r\n"), Desfecho::Concluida);
    // Pages 1 and 2 exist, 3 does not: the deletion stops at the first missing page.
    teste::escreve(raiz.path() + u"/Qel/Danfe1234-2.PDF"_s, "x");
    teste::escreve(raiz.path() + u"/Qel/Danfe1234-4.PDF"_s, "x");
    teste::escreve(nfe + u".EML"_s, "x");
    op.limpaTemporarios();
    EXPECT_TRUE(ui.status_.contains(u"Limpando Arquivos Temporarios"_s));
    EXPECT_FALSE(QFile::exists(raiz.path() + u"/Qel/Danfe1234-1.PDF"_s));
    EXPECT_FALSE(QFile::exists(raiz.path() + u"/Qel/Danfe1234-2.PDF"_s));
    EXPECT_TRUE(QFile::exists(raiz.path() + u"/Qel/Danfe1234-4.PDF"_s));
    EXPECT_FALSE(QFile::exists(nfe + u".EML"_s));
}

TEST_F(Execucao, SalvaArquivoAvisaQuandoNaoGrava) {
    roda("CNPJ 12345678000195\r\n");
    teste::escreve(raiz.path() + u"/ocupado"_s, "arquivo");
    op.Salva_Arquivo(raiz.path() + u"/Retorno.Qel"_s, {u"ok"_s});
    EXPECT_EQ(teste::le(raiz.path() + u"/Retorno.Qel"_s), QByteArray("ok\r\n"));
    EXPECT_TRUE(ui.mostrados.empty());
    // A name that is a folder cannot be written: said, and the run goes on.
    QDir().mkpath(raiz.path() + u"/pasta.Qel"_s);
    op.Salva_Arquivo(raiz.path() + u"/pasta.Qel"_s, {u"x"_s});
    ASSERT_EQ(ui.mostrados.size(), 1u);
    EXPECT_EQ(ui.mostrados[0].linhasMensagem,
              (QStringList{u"!!!ERRO!!!"_s, u"Não foi possível salvar o arquivo."_s,
                           u"Verifique permissões de aplicativo, pasta e usuários."_s,
                           raiz.path() + u"/pasta.Qel"_s}));
    op.Salva_Arquivo(u"  "_s, {u"x"_s});
    EXPECT_EQ(ui.mostrados.size(), 1u);
}

TEST_F(Execucao, CnpjFormatadoSemCertificadoLembradoAchaODaEmpresa) {
    // No settings file remembers a certificate: the root of the CNPJ is searched, whatever its
    // punctuation.
    roda("TAREFA Validade do Certificado (arquivo)\r\nCNPJ 12.345.678/0001-95\r\n");
    EXPECT_TRUE(op.certificadoPronto());
    EXPECT_TRUE(op.CertificadoSelecionado().nomeSujeito().contains(u"12345678000195"_s));
    EXPECT_TRUE(teste::le(local(u"Retorno_DFe.Qel"_s)).contains("Validade do certificado"));
}

TEST_F(Execucao, ConsultaCadastroLevaOEnvelopeDaNFe) {
    // The diagnostic copy of the envelope shows what went out; nothing listens at that address.
    // The header names the state asked about, whatever the company's.
    teste::escreve(local(u"Apresentar.DFe"_s), "");
    op.recursos().enderecos.defineHostUnico(u"127.0.0.1:9"_s);
    for (const TipoDocumento tipo : {TipoDocumento::Nenhum, TipoDocumento::CTe, TipoDocumento::MDFe}) {
        SCOPED_TRACE(texto(tipo).toStdString());
        roda("TAREFA Cadastro\r\nCNPJ 12345678000195\r\nCONSULTA UF RS\r\nCONSULTA DC 98765432000110\r\n");
        op.ctx().Tipo = tipo;
        EXPECT_TRUE(op.ChamaWebService(Servico::Cadastro));
        const QString envelope = QString::fromUtf8(teste::le(raiz.path() + u"/Teste/Send-Cadastro.xml"_s));
        EXPECT_TRUE(
            envelope.contains(u"<soap:Header><nfeCabecMsg xmlns=\"http://www.portalfiscal.inf.br/nfe/wsdl/"
                              "CadConsultaCadastro4\"><cUF>43</cUF><versaoDados>2.00</versaoDados>"_s))
            << envelope.toStdString();
        EXPECT_TRUE(
            envelope.contains(u"<soap:Body><nfeDadosMsg xmlns=\"http://www.portalfiscal.inf.br/nfe/wsdl/"
                              "CadConsultaCadastro4\"><ConsCad"_s))
            << envelope.toStdString();
    }
}

TEST_F(Execucao, EmitenteDoDocumentoMesmoComOutraParteAntes) {
    // A CT-e whose other payer (toma4) comes before the issuer: the company is the issuer.
    op.recursos().enderecos.defineHostUnico(u"127.0.0.1:9"_s);
    teste::escreve(local(u"CTe1.xml"_s),
                   "<CTe xmlns=\"http://www.portalfiscal.inf.br/cte\"><infCte versao=\"4.00\" "
                   "Id=\"CTe43261212345678000195570010000000011000000016\"><ide><toma4><toma>4</toma>"
                   "<CNPJ>55666777000188</CNPJ></toma4></ide><emit><CNPJ>12345678000195</CNPJ></emit>"
                   "<dest><CNPJ>98765432000110</CNPJ></dest></infCte></CTe>");
    execucao.ExecutaTarefa();
    EXPECT_EQ(op.ctx().CNPJ, u"12345678000195"_s);
}

TEST_F(Execucao, PastaDeDiagnosticoQueNaoSeCriaEFalhaDeAssinatura) {
    roda("TAREFA Validade do Certificado (arquivo)\r\nCNPJ 12345678000195\r\n");
    ASSERT_TRUE(op.certificadoPronto());
    teste::escreve(local(u"Apresentar.DFe"_s), "");
    teste::escreve(raiz.path() + u"/Teste"_s, "um arquivo onde a pasta deveria estar");
    const QString assinado =
        op.Assinar_XML(u"<NFe xmlns=\"http://www.portalfiscal.inf.br/nfe\"><infNFe versao=\"4.00\" "
                       "Id=\"NFe43240112345678000195550010000000011000000016\"><ide/></infNFe></NFe>"_s);
    EXPECT_TRUE(assinado.isEmpty());
    ASSERT_FALSE(ui.mostrados.empty());
    EXPECT_TRUE(ui.mostrados.back().linhasMensagem.value(0).startsWith(u"Houve um erro: "_s))
        << ui.mostrados.back().linhasMensagem.join(u'|').toStdString();
}

TEST_F(Execucao, ImpressaoComArquivoNaUnidadeCEAPreviaNaImpressoraDaConfiguracao) {
    teste::escreve(
        raiz.path() + u"/nfe.xml"_s,
        "<nfeProc><NFe><infNFe versao=\"4.00\" Id=\"NFe43240112345678000195550010000012341000012349\">"
        "<ide><nNF>1234</nNF><mod>55</mod></ide></infNFe></NFe></nfeProc>");
    teste::escreve(raiz.path() + u"/nfe.xml.EML"_s, "Para cliente@exemplo.com.br\r\n");
    teste::escreve(local(u"INI/12345678000195.ini"_s), "DANFE Impressora QelPDF\r\n");
    EXPECT_EQ(roda("TAREFA IMPRIMIR\r\nCNPJ 12345678000195\r\nARQUIVO C:\\nfe.xml\r\n"), Desfecho::Concluida);
    // The preview offers the DANFE printer of the settings, as a direct print would use.
    EXPECT_EQ(ui.impressorasDasPrevias, QStringList{u"QelPDF"_s});
    // The e-mail request beside the mapped file is a side file of the print: gone.
    EXPECT_FALSE(QFile::exists(raiz.path() + u"/nfe.xml.EML"_s));
}

TEST_F(Execucao, RegistroComORelogioDaExecucao) {
    RecursosExecucao r = recursos();
    r.relogio = [] { return QDateTime(QDate(2025, 3, 20), QTime(15, 0), Qt::UTC); };
    ExecucaoTarefa fixa{ui, canal, {}, std::move(r)};
    QDir().mkpath(local(QString()));
    teste::escreve(local(u"Qel_DFe.Qel"_s), "TAREFA Nenhuma\r\n");
    fixa.ExecutaTarefa();
    const QString registro = QString::fromUtf8(teste::le(local(u"Qel_DFe.log"_s)));
    ASSERT_FALSE(registro.isEmpty());
    for (const QString& linha : registro.split(u'\n', Qt::SkipEmptyParts))
        EXPECT_TRUE(linha.startsWith(u"20/03/2025 "_s)) << linha.toStdString();
}

} // namespace
