#include "apoio.h"
#include "ws/enderecos.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

// Hosts of municipal providers are the installation's to set: one is set here, in the file that
// overrides the built-in hosts.
const TabelaEnderecos& tabela() {
    static const TabelaEnderecos t = [] {
        QTemporaryDir pasta;
        teste::escreve(pasta.path() + u"/hosts.conf"_s,
                       "# test\nnfse-curitiba  isscuritiba.example  isscuritiba-hom.example\n"
                       "svrs-mdfe  mdfe.exemplo.gov.br  -\n");
        ConfiguracaoRede rede;
        rede.arquivoHosts = pasta.path() + u"/hosts.conf"_s;
        return TabelaEnderecos::carrega(rede);
    }();
    return t;
}

// A lookup as the tables of cases write it: kind, service, state, task, queried state,
// municipality (its code) and environment as texts.
struct Chave {
    QString tipo, servico, cUF, tarefa = {}, ufConsulta = {}, municipio = {}, ambiente = {};
};

ChaveEndpoint chaveDe(const Chave& c) {
    ChaveEndpoint k;
    k.tipo = tipoDocumento(c.tipo);
    k.servico = servicoDoNome(c.servico).value();
    k.cUF = c.cUF;
    k.manifestar = c.tarefa == u"Manifestar"_s;
    k.ufConsulta = c.ufConsulta;
    k.municipio = c.municipio;
    k.ambiente = c.ambiente == u"2"_s ? Ambiente::Homologacao : Ambiente::Producao;
    return k;
}

Endpoint procura(const Chave& chave, bool* ok = nullptr, const TabelaEnderecos& t = tabela()) {
    Endpoint e;
    const bool achou = t.Endereco_WebService(chaveDe(chave), e);
    if (ok) *ok = achou;
    return e;
}

TEST(Endpoints, NFeENFCePorEstado) {
    const Endpoint rs = procura({u"NFe"_s, u"Status"_s, u"43"_s});
    EXPECT_EQ(rs.endereco, u"https://nfe.sefazrs.rs.gov.br/ws/NfeStatusServico/NfeStatusServico4.asmx"_s);
    EXPECT_EQ(rs.versao, u"4.00"_s);
    EXPECT_EQ(rs.namespace_, u"http://www.portalfiscal.inf.br/nfe/wsdl/NFeStatusServico4"_s);
    EXPECT_EQ(rs.acao, u"http://www.portalfiscal.inf.br/nfe/wsdl/NFeStatusServico4/nfeStatusServicoNF"_s);
    EXPECT_EQ(procura({u"NFCe"_s, u"Status"_s, u"43"_s}).endereco,
              u"https://nfce.sefazrs.rs.gov.br/ws/NfeStatusServico/NfeStatusServico4.asmx"_s);
    const struct {
        const char* tipo;
        const char* servico;
        const char* cuf;
        const char* endereco;
        const char* versao;
    } casos[] = {
        {"NFe", "Evento", "42", "https://nfe.svrs.rs.gov.br/ws/recepcaoevento/recepcaoevento4.asmx", "1.00"},
        {"NFCe", "Recepcao", "41", "https://nfce.sefa.pr.gov.br/nfce/NFeAutorizacao4", "4.00"},
        {"NFe", "Consultar", "31", "https://nfe.fazenda.mg.gov.br/nfe2/services/NFeConsultaProtocolo4",
         "4.00"},
        {"NFe", "RetRecepcao", "51", "https://nfe.sefaz.mt.gov.br/nfews/v2/services/NfeRetAutorizacao4?wsdl",
         "4.00"},
        {"NFe", "Inutilizar", "43", "https://nfe.sefazrs.rs.gov.br/ws/nfeinutilizacao/nfeinutilizacao4.asmx",
         "4.00"},
        {"CTe", "RetRecepcao", "43", "https://cte.svrs.rs.gov.br/ws/CTeRecepcaoSincV4/CTeRecepcaoSincV4.asmx",
         "4.00"},
        {"CTe", "Inutilizar", "43", "https://cte.svrs.rs.gov.br/ws/cteinutilizacao/cteinutilizacao.asmx",
         "4.00"},
        {"CTe", "Status", "31", "https://cte.fazenda.mg.gov.br/cte/services/CTeStatusServicoV4", "4.00"},
        {"CTe", "Evento", "51", "https://cte.sefaz.mt.gov.br/ctews2/services/CTeRecepcaoEventoV4", "4.00"},
        {"MDFe", "Status", "35", "https://mdfe.exemplo.gov.br/ws/mdfestatusservico/MDFeStatusServico.asmx",
         "3.00"},
        {"MDFe", "NaoEncerrados", "", "https://mdfe.exemplo.gov.br/ws/mdfeconsnaoenc/MDFeConsNaoEnc.asmx",
         "3.00"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.endereco);
        bool ok = false;
        const Endpoint e =
            procura({QString::fromUtf8(c.tipo), QString::fromUtf8(c.servico), QString::fromUtf8(c.cuf)}, &ok);
        EXPECT_TRUE(ok);
        EXPECT_EQ(e.endereco, QString::fromUtf8(c.endereco));
        EXPECT_EQ(e.versao, QString::fromUtf8(c.versao));
    }
    // Without an action of its own the entry's action is its namespace.
    const Endpoint cte = procura({u"CTe"_s, u"Status"_s, u"43"_s});
    EXPECT_EQ(cte.acao, cte.namespace_);
    EXPECT_EQ(procura({u"CTe"_s, u"Simplificado"_s, u"43"_s}).acao,
              u"http://www.portalfiscal.inf.br/cte/wsdl/CTeRecepcaoSimpV4/cteRecepcaoSimp"_s);
}

TEST(Endpoints, EntradasUnicasEAsQueFalham) {
    const Endpoint manifestar = procura({u"NFe"_s, u"Evento"_s, u"31"_s, u"Manifestar"_s});
    EXPECT_EQ(manifestar.endereco,
              u"https://www.nfe.fazenda.gov.br/NFeRecepcaoEvento4/NFeRecepcaoEvento4.asmx"_s);
    EXPECT_EQ(manifestar.versao, u"1.00"_s);
    EXPECT_EQ(procura({u"CTe"_s, u"Evento"_s, u"51"_s, u"Manifestar"_s}).versao, u"4.00"_s);
    const Endpoint download = procura({u"NFe"_s, u"Download"_s, u"43"_s});
    EXPECT_EQ(download.endereco,
              u"https://www1.nfe.fazenda.gov.br/NFeDistribuicaoDFe/NFeDistribuicaoDFe.asmx"_s);
    EXPECT_EQ(download.versao, u"1.01"_s);
    EXPECT_EQ(download.acao,
              u"http://www.portalfiscal.inf.br/nfe/wsdl/NFeDistribuicaoDFe/nfeDistDFeInteresse"_s);
    const Endpoint sc = procura({u"CTe"_s, u"Cadastro"_s, u"43"_s, {}, u"SC"_s});
    EXPECT_EQ(sc.endereco, u"https://cad.svrs.rs.gov.br/ws/cadconsultacadastro/cadconsultacadastro4.asmx"_s);
    EXPECT_EQ(sc.versao, u"2.00"_s);
    EXPECT_EQ(sc.acao, u"http://www.portalfiscal.inf.br/nfe/wsdl/CadConsultaCadastro4/consultaCadastro"_s);
    EXPECT_EQ(procura({u"NFe"_s, u"Cadastro"_s, {}, {}, u"PE"_s}).endereco,
              u"https://nfe.sefaz.pe.gov.br/nfe-service/services/CadConsultaCadastro4?wsdl"_s);
    const Endpoint curitiba = procura({u"NFSe"_s, u"Cancelar"_s, u"41"_s, {}, {}, u"4106902"_s});
    EXPECT_EQ(curitiba.endereco, u"https://isscuritiba.example/Iss.NfseWebService/nfsews.asmx"_s);
    EXPECT_TRUE(curitiba.acao.endsWith(u"/CancelarNfse"_s));
    // The provider's namespace ends with "/": the operation follows it without another one.
    EXPECT_EQ(curitiba.acao, u"http://www.e-governeapps2.com.br/CancelarNfse"_s);

    const struct {
        Chave chave;
        const char* porque;
    } falhas[] = {
        {{u"NFe"_s, u"Cadastro"_s, u"43"_s, {}, u"RJ"_s}, "registry of RJ"},
        {{u"NFe"_s, u"Status"_s, u"99"_s}, "NF-e of a code that is no state"},
        {{u"CTe"_s, u"Inutilizar"_s, u"31"_s}, "CT-e inutilização of MG (none published for 4.00)"},
        {{u"MDFe"_s, u"Cancelar"_s, u"43"_s}, "unknown MDF-e service"},
        {{u"NFCe"_s, u"Evento"_s, u"43"_s, u"Manifestar"_s}, "manifestation of an NFC-e"},
        {{u"NFSe"_s, u"Consultar"_s, u"43"_s, {}, {}, u"4307807"_s}, "Estrela consult"},
        {{u"NFSe"_s, u"Recepcao"_s, u"43"_s, {}, {}, u"4310363"_s}, "Imigrante"},
        {{u"DOT"_s, u"Rota"_s, u"43"_s}, "NDD Cargo host not configured"},
        {{u"MDFe"_s, u"Status"_s, u"43"_s, {}, {}, {}, u"2"_s}, "no homologation host: never production"},
    };
    for (const auto& f : falhas) {
        bool ok = true;
        const Endpoint e = procura(f.chave, &ok);
        EXPECT_FALSE(ok) << f.porque;
        EXPECT_TRUE(e.endereco.isEmpty() && e.acao.isEmpty() && e.namespace_.isEmpty() && e.versao.isEmpty());
    }
}

TEST(Endpoints, AmbienteEHostUnico) {
    EXPECT_EQ(procura({u"NFe"_s, u"Status"_s, u"43"_s, {}, {}, {}, u"2"_s}).endereco,
              u"https://nfe-homologacao.sefazrs.rs.gov.br/ws/NfeStatusServico/NfeStatusServico4.asmx"_s);
    TabelaEnderecos simulador = tabela();
    simulador.defineHostUnico(u"127.0.0.1:8443"_s);
    EXPECT_EQ(procura({u"NFe"_s, u"Status"_s, u"41"_s}, nullptr, simulador).endereco,
              u"https://127.0.0.1:8443/nfe/NFeStatusServico4?wsdl"_s);
    // The pages the printed QR codes point to are the authority's, whatever host takes the
    // requests.
    EXPECT_EQ(simulador.enderecoQr(TipoDocumento::NFCe, u"43"_s, Ambiente::Producao),
              u"https://www.sefaz.rs.gov.br/NFCE/NFCE-COM.aspx"_s);
    EXPECT_EQ(simulador.enderecoQr(TipoDocumento::MDFe, u"31"_s, Ambiente::Homologacao),
              u"https://dfe-portal.svrs.rs.gov.br/mdfe/qrCode"_s);
}

TEST(Endpoints, DadosEmbutidosSemErroENovaLinhaSemCodigo) {
    EXPECT_TRUE(tabela().erros().isEmpty()) << tabela().erros().join(u'\n').toStdString();
    // A new authoriser for a state, and a state taken away, are rows of an installation's file.
    TabelaEnderecos t = tabela();
    t.leEnderecos(
        u"atende NFe 35 -\natende NFe 35 NFE-PR sefa-pr-nfe\natende NFe 43 -\nlinha sem sentido\n"_s,
        u"teste"_s);
    ASSERT_EQ(t.erros().size(), 1);
    EXPECT_TRUE(t.erros().first().startsWith(u"teste:4: "_s));
    EXPECT_EQ(procura({u"NFe"_s, u"Consultar"_s, u"35"_s}, nullptr, t).endereco,
              u"https://nfe.sefa.pr.gov.br/nfe/NFeConsultaProtocolo4?wsdl"_s);
    bool ok = true;
    procura({u"NFe"_s, u"Status"_s, u"43"_s}, &ok, t);
    EXPECT_FALSE(ok);
}

TEST(Endpoints, MarcadoresDeChamadaPreparada) {
    const Endpoint florianopolis = procura({u"NFSe"_s, u"Recepcao"_s, u"42"_s, {}, {}, u"4205407"_s});
    // The hosts of that provider are the installation's: none built in, no entry.
    EXPECT_TRUE(florianopolis.endereco.isEmpty());
    TabelaEnderecos t = tabela();
    t.leHosts(u"nfse-florianopolis-hom nfps-hom.example -\nnfse-florianopolis nfps.example -\n"_s,
              u"teste"_s);
    bool ok = false;
    const Endpoint recepcao = procura({u"NFSe"_s, u"Recepcao"_s, u"42"_s, {}, {}, u"4205407"_s}, &ok, t);
    EXPECT_TRUE(ok);
    EXPECT_EQ(recepcao.envio, Envio::QelPost);
    EXPECT_EQ(recepcao.endereco, u"https://nfps-hom.example/api/v1/autenticacao/oauth/token"_s);
    const Endpoint consulta = procura({u"NFSe"_s, u"Consultar"_s, u"42"_s, {}, {}, u"4205407"_s}, &ok, t);
    EXPECT_EQ(consulta.envio, Envio::QelGet);
    EXPECT_EQ(consulta.endereco, u"https://nfps.example/api/v1/consultas/notas/numero/{numero}"_s);
}

} // namespace

namespace {

// The municipal providers: a host no provider publishes still takes the single host of the tests;
// a set without a host in the environment gives way to the next set that has one.
TEST(Endpoints, ProvedoresSemHostEPilotoDeCuritiba) {
    TabelaEnderecos t = TabelaEnderecos::carrega({});
    bool ok = true;
    procura({u"NFSe"_s, u"Recepcao"_s, u"43"_s, {}, {}, u"4312401"_s, {}}, &ok, t);
    EXPECT_FALSE(ok) << "Montenegro has no published host";
    t.defineHostUnico(u"127.0.0.1:8443"_s);
    EXPECT_EQ(procura({u"NFSe"_s, u"Recepcao"_s, u"43"_s, {}, {}, u"4312401"_s, {}}, &ok, t).endereco,
              u"https://127.0.0.1:8443/thema-nfse/services/NFSEremessa?wsdl"_s);
    EXPECT_EQ(procura({u"NFSe"_s, u"Cancelar"_s, u"43"_s, {}, {}, u"4306809"_s, {}}, &ok, t).endereco,
              u"http://127.0.0.1:8443/CancelamentoNFSe.asmx"_s);
    const TabelaEnderecos embutida = TabelaEnderecos::carrega({});
    EXPECT_EQ(
        procura({u"NFSe"_s, u"Consultar"_s, u"41"_s, {}, {}, u"4106902"_s, u"2"_s}, &ok, embutida).endereco,
        u"https://piloto-iss.curitiba.pr.gov.br/nfse_ws/NfseWs.asmx"_s);
    EXPECT_EQ(procura({u"NFSe"_s, u"Consultar"_s, u"41"_s, {}, {}, u"4106902"_s, {}}, &ok, embutida).endereco,
              u"https://isscuritiba.curitiba.pr.gov.br/Iss.NfseWebService/nfsews.asmx"_s);
}

} // namespace
