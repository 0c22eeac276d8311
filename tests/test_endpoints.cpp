#include "apoio.h"
#include "ws/endpoints.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

// Hosts of municipal providers are the installation's to set: one is set here, in the file that
// overrides the built-in hosts, before the first lookup reads them.
const bool kHostsDeTeste = [] {
    static QTemporaryDir pasta;
    teste::escreve(pasta.path() + u"/hosts.conf"_s,
                   "# test\nnfse-curitiba  isscuritiba.example  isscuritiba-hom.example\n"
                   "svrs-mdfe  mdfe.exemplo.gov.br  -\n");
    qputenv("QEL_DFE_HOSTS", (pasta.path() + u"/hosts.conf"_s).toUtf8());
    qunsetenv("QEL_DFE_HOST");
    return true;
}();

Endpoint procura(ChaveEndpoint chave, bool* ok = nullptr) {
    if (chave.ambiente.isEmpty()) chave.ambiente = u"1"_s;
    Endpoint e;
    const bool achou = Endereco_WebService(chave, e);
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
        {"NFCe", "Recepcao", "41", "https://nfe.sefa.pr.gov.br/nfe/NFeAutorizacao4?wsdl", "4.00"},
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
        {"CTe", "Status", "31", "https://cte.fazenda.mg.gov.br/cte/services/CteStatusServico.asmx", "2.00"},
        {"CTe", "Evento", "51", "https://cte.sefaz.mt.gov.br/ctews2/services/CteRecepcaoEvento", "2.00"},
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
    const Endpoint curitiba = procura({u"NFSe"_s, u"Cancelar"_s, u"41"_s, {}, {}, u"Curitiba"_s});
    EXPECT_EQ(curitiba.endereco, u"https://isscuritiba.example/Iss.NfseWebService/nfsews.asmx"_s);
    EXPECT_TRUE(curitiba.acao.endsWith(u"/CancelarNfse"_s));

    const struct {
        ChaveEndpoint chave;
        const char* porque;
    } falhas[] = {
        {{u"NFe"_s, u"Cadastro"_s, u"43"_s, {}, u"RJ"_s}, "registry of RJ"},
        {{u"NFe"_s, u"Status"_s, u"35"_s}, "NF-e of a state outside the table"},
        {{u"CTe"_s, u"Status"_s, u"42"_s}, "CT-e of SC"},
        {{u"MDFe"_s, u"Cancelar"_s, u"43"_s}, "unknown MDF-e service"},
        {{u"NFCe"_s, u"Evento"_s, u"43"_s, u"Manifestar"_s}, "manifestation of an NFC-e"},
        {{u"NFSe"_s, u"Consultar"_s, u"43"_s, {}, {}, u"Estrela"_s}, "Estrela consult"},
        {{u"NFSe"_s, u"Recepcao"_s, u"43"_s, {}, {}, u"Imigrante"_s}, "Imigrante"},
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
    qputenv("QEL_DFE_HOST", "127.0.0.1:8443");
    EXPECT_EQ(procura({u"NFe"_s, u"Status"_s, u"41"_s}).endereco,
              u"https://127.0.0.1:8443/nfe/NFeStatusServico4?wsdl"_s);
    qunsetenv("QEL_DFE_HOST");
}

} // namespace
