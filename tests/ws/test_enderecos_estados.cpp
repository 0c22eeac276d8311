// Every state's authorisers in the built-in tables: each state code, model, service and
// environment resolves to an address of the authoriser the published tables name, a homologation
// run never reaches a production host, and every state has its NFC-e consultation pages and its
// contingency authoriser.

#include "ws/enderecos.h"

#include <QSet>
#include <QUrl>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace qel;

namespace {

const TabelaEnderecos& embutida() {
    static const TabelaEnderecos t = TabelaEnderecos::carrega({});
    return t;
}

// Who authorises each state's documents in production, by host (the authorisers' tables by
// state: NF-e portal, CT-e portal, NT 2013.007 for the contingency).
struct Estado {
    const char* uf;
    const char* cUF;
    const char* nfe;
    const char* nfce;
    const char* cte;
    const char* svc;
};

constexpr const char* kSvrsNFe = "nfe.svrs.rs.gov.br";
constexpr const char* kSvrsNFCe = "nfce.svrs.rs.gov.br";
constexpr const char* kSvrsCTe = "cte.svrs.rs.gov.br";
constexpr const char* kSvcAn = "www.svc.fazenda.gov.br";
constexpr const char* kSvcRs = "nfe.svrs.rs.gov.br";

const Estado kEstados[] = {
    {"RO", "11", kSvrsNFe, kSvrsNFCe, kSvrsCTe, kSvcAn},
    {"AC", "12", kSvrsNFe, kSvrsNFCe, kSvrsCTe, kSvcAn},
    {"AM", "13", "nfe.sefaz.am.gov.br", "nfce.sefaz.am.gov.br", kSvrsCTe, kSvcRs},
    {"RR", "14", kSvrsNFe, kSvrsNFCe, kSvrsCTe, kSvcAn},
    {"PA", "15", kSvrsNFe, kSvrsNFCe, kSvrsCTe, kSvcAn},
    {"AP", "16", kSvrsNFe, kSvrsNFCe, kSvrsCTe, kSvcAn},
    {"TO", "17", kSvrsNFe, kSvrsNFCe, kSvrsCTe, kSvcAn},
    {"MA", "21", "www.sefazvirtual.fazenda.gov.br", kSvrsNFCe, kSvrsCTe, kSvcRs},
    {"PI", "22", kSvrsNFe, kSvrsNFCe, kSvrsCTe, kSvcAn},
    {"CE", "23", "nfe.sefaz.ce.gov.br", "nfce.sefaz.ce.gov.br", kSvrsCTe, kSvcAn},
    {"RN", "24", kSvrsNFe, kSvrsNFCe, kSvrsCTe, kSvcAn},
    {"PB", "25", kSvrsNFe, kSvrsNFCe, kSvrsCTe, kSvcAn},
    {"PE", "26", "nfe.sefaz.pe.gov.br", kSvrsNFCe, kSvrsCTe, kSvcRs},
    {"AL", "27", kSvrsNFe, kSvrsNFCe, kSvrsCTe, kSvcAn},
    {"SE", "28", kSvrsNFe, kSvrsNFCe, kSvrsCTe, kSvcAn},
    {"BA", "29", "nfe.sefaz.ba.gov.br", kSvrsNFCe, kSvrsCTe, kSvcRs},
    {"MG", "31", "nfe.fazenda.mg.gov.br", "nfce.fazenda.mg.gov.br", "cte.fazenda.mg.gov.br", kSvcAn},
    {"ES", "32", kSvrsNFe, kSvrsNFCe, kSvrsCTe, kSvcAn},
    {"RJ", "33", kSvrsNFe, kSvrsNFCe, kSvrsCTe, kSvcAn},
    {"SP", "35", "nfe.fazenda.sp.gov.br", "nfce.fazenda.sp.gov.br", "nfe.fazenda.sp.gov.br", kSvcAn},
    {"PR", "41", "nfe.sefa.pr.gov.br", "nfce.sefa.pr.gov.br", "cte.fazenda.pr.gov.br", kSvcRs},
    {"SC", "42", kSvrsNFe, kSvrsNFCe, kSvrsCTe, kSvcAn},
    {"RS", "43", "nfe.sefazrs.rs.gov.br", "nfce.sefazrs.rs.gov.br", kSvrsCTe, kSvcAn},
    {"MS", "50", "nfe.sefaz.ms.gov.br", "nfce.sefaz.ms.gov.br", "producao.cte.ms.gov.br", kSvcRs},
    {"MT", "51", "nfe.sefaz.mt.gov.br", "nfce.sefaz.mt.gov.br", "cte.sefaz.mt.gov.br", kSvcRs},
    {"GO", "52", "nfe.sefaz.go.gov.br", "nfe.sefaz.go.gov.br", kSvrsCTe, kSvcRs},
    {"DF", "53", kSvrsNFe, kSvrsNFCe, kSvrsCTe, kSvcAn},
};

const Servico kServicosNFe[] = {Servico::Status,     Servico::Recepcao,  Servico::RetRecepcao,
                                Servico::Inutilizar, Servico::Consultar, Servico::Evento};
// The CT-e 4.00 services every authoriser publishes (inutilização: below).
const Servico kServicosCTe[] = {Servico::Status,      Servico::Recepcao,  Servico::Simplificado,
                                Servico::RetRecepcao, Servico::Consultar, Servico::Evento};
const Servico kServicosMDFe[] = {Servico::Status, Servico::Recepcao, Servico::Consultar, Servico::Evento,
                                 Servico::NaoEncerrados};
const Ambiente kAmbientes[] = {Ambiente::Producao, Ambiente::Homologacao};

std::optional<Endpoint> entrada(TipoDocumento tipo, Servico servico, const QString& cUF, Ambiente ambiente,
                                const TabelaEnderecos& t = embutida()) {
    ChaveEndpoint chave;
    chave.tipo = tipo;
    chave.servico = servico;
    chave.cUF = cUF;
    chave.ambiente = ambiente;
    Endpoint e;
    if (!t.Endereco_WebService(chave, e)) return std::nullopt;
    return e;
}

QString host(const QString& endereco) {
    return QUrl(endereco).host();
}

TEST(EnderecosPorEstado, TodoEstadoModeloServicoEAmbiente) {
    ASSERT_TRUE(embutida().erros().isEmpty()) << embutida().erros().join(u'\n').toStdString();
    QSet<QString> hostsProducao, hostsHomologacao;
    for (const Estado& estado : kEstados) {
        const QString cUF = QString::fromLatin1(estado.cUF);
        const struct {
            TipoDocumento tipo;
            const Servico* inicio;
            const Servico* fim;
            const char* autorizador;
        } modelos[] = {
            {TipoDocumento::NFe, std::begin(kServicosNFe), std::end(kServicosNFe), estado.nfe},
            {TipoDocumento::NFCe, std::begin(kServicosNFe), std::end(kServicosNFe), estado.nfce},
            {TipoDocumento::CTe, std::begin(kServicosCTe), std::end(kServicosCTe), estado.cte},
            {TipoDocumento::MDFe, std::begin(kServicosMDFe), std::end(kServicosMDFe), "mdfe.svrs.rs.gov.br"},
        };
        for (const auto& modelo : modelos) {
            for (const Servico* s = modelo.inicio; s != modelo.fim; ++s) {
                for (const Ambiente ambiente : kAmbientes) {
                    SCOPED_TRACE(std::string(estado.uf) + ' ' + texto(modelo.tipo).toStdString() + ' ' +
                                 nome(*s).toStdString() + (ambiente == Ambiente::Producao ? " 1" : " 2"));
                    const std::optional<Endpoint> e = entrada(modelo.tipo, *s, cUF, ambiente);
                    ASSERT_TRUE(e);
                    const QUrl url(e->endereco);
                    EXPECT_EQ(url.scheme(), u"https"_s);
                    EXPECT_FALSE(url.host().isEmpty());
                    EXPECT_GT(url.path().size(), 1);
                    EXPECT_FALSE(e->namespace_.isEmpty());
                    EXPECT_FALSE(e->versao.isEmpty());
                    if (ambiente == Ambiente::Producao) {
                        EXPECT_EQ(url.host(), QString::fromLatin1(modelo.autorizador));
                        hostsProducao.insert(url.host());
                    } else {
                        hostsHomologacao.insert(url.host());
                    }
                    // Both environments run the same service: only the host differs.
                    const std::optional<Endpoint> outro =
                        entrada(modelo.tipo, *s, cUF,
                                ambiente == Ambiente::Producao ? Ambiente::Homologacao : Ambiente::Producao);
                    ASSERT_TRUE(outro);
                    EXPECT_EQ(QUrl(outro->endereco).path(), url.path());
                    EXPECT_NE(host(outro->endereco), url.host());
                }
            }
        }
    }
    const QSet<QString> comuns = QSet<QString>(hostsProducao).intersect(hostsHomologacao);
    EXPECT_TRUE(comuns.isEmpty()) << QStringList(comuns.values()).join(u' ').toStdString();
}

// The national environment serves every state; the registry query, the states that offer it.
TEST(EnderecosPorEstado, AmbienteNacionalECadastro) {
    const QStringList comCadastro = {u"AC"_s, u"RN"_s, u"PB"_s, u"ES"_s, u"SC"_s, u"RS"_s, u"CE"_s, u"PE"_s,
                                     u"BA"_s, u"MG"_s, u"SP"_s, u"PR"_s, u"MS"_s, u"MT"_s, u"GO"_s};
    for (const Estado& estado : kEstados) {
        for (const Ambiente ambiente : kAmbientes) {
            SCOPED_TRACE(std::string(estado.uf) + (ambiente == Ambiente::Producao ? " 1" : " 2"));
            ChaveEndpoint chave;
            chave.tipo = TipoDocumento::NFe;
            chave.cUF = QString::fromLatin1(estado.cUF);
            chave.ambiente = ambiente;
            Endpoint e;
            chave.servico = Servico::Download;
            ASSERT_TRUE(embutida().Endereco_WebService(chave, e));
            EXPECT_TRUE(host(e.endereco).endsWith(u".nfe.fazenda.gov.br"_s)) << e.endereco.toStdString();
            chave.servico = Servico::Evento;
            chave.manifestar = true;
            ASSERT_TRUE(embutida().Endereco_WebService(chave, e));
            EXPECT_TRUE(host(e.endereco).endsWith(u".nfe.fazenda.gov.br"_s)) << e.endereco.toStdString();
            chave.manifestar = false;
            chave.servico = Servico::Cadastro;
            chave.ufConsulta = QString::fromLatin1(estado.uf);
            EXPECT_EQ(embutida().Endereco_WebService(chave, e), comCadastro.contains(chave.ufConsulta));
        }
    }
}

// The 4.00 lists of the states with their own CT-e services publish no inutilização; SVRS keeps
// one. A missing entry is an error the user sees, never another authoriser's service.
TEST(EnderecosPorEstado, InutilizacaoDoCTe) {
    for (const Estado& estado : kEstados) {
        SCOPED_TRACE(estado.uf);
        const std::optional<Endpoint> e = entrada(TipoDocumento::CTe, Servico::Inutilizar,
                                                  QString::fromLatin1(estado.cUF), Ambiente::Producao);
        if (QString::fromLatin1(estado.cte) == QString::fromLatin1(kSvrsCTe)) {
            ASSERT_TRUE(e);
            EXPECT_EQ(host(e->endereco), QString::fromLatin1(kSvrsCTe));
        } else {
            EXPECT_FALSE(e);
        }
    }
}

TEST(EnderecosPorEstado, ContingenciaDaNFe) {
    for (const Estado& estado : kEstados) {
        for (const Ambiente ambiente : kAmbientes) {
            SCOPED_TRACE(std::string(estado.uf) + (ambiente == Ambiente::Producao ? " 1" : " 2"));
            Endpoint e;
            ASSERT_TRUE(embutida().Endereco_Grupo(u"SVC-NFe"_s, QString::fromLatin1(estado.cUF),
                                                  Servico::Recepcao, ambiente, e));
            if (ambiente == Ambiente::Producao) {
                EXPECT_EQ(host(e.endereco), QString::fromLatin1(estado.svc));
            }
            // The SVC is asked for by the state's own one, by name: the same entry.
            Endpoint porNome;
            const QString svc =
                QString::fromLatin1(estado.svc) == QString::fromLatin1(kSvcAn) ? u"SVC-AN"_s : u"SVC-RS"_s;
            ASSERT_TRUE(embutida().Endereco_Grupo(u"SVC-NFe"_s, svc, Servico::Recepcao, ambiente, porNome));
            EXPECT_EQ(porNome.endereco, e.endereco);
            // The contingency authorisers have no inutilização.
            EXPECT_FALSE(embutida().Endereco_Grupo(u"SVC-NFe"_s, QString::fromLatin1(estado.cUF),
                                                   Servico::Inutilizar, ambiente, e));
        }
    }
}

TEST(EnderecosPorEstado, PaginasDeConsultaDaNFCe) {
    const QString paginaRs = embutida().enderecoQr(TipoDocumento::NFCe, u"43"_s, Ambiente::Producao);
    for (const Estado& estado : kEstados) {
        const QString cUF = QString::fromLatin1(estado.cUF);
        for (const Ambiente ambiente : kAmbientes) {
            SCOPED_TRACE(std::string(estado.uf) + (ambiente == Ambiente::Producao ? " 1" : " 2"));
            const QUrl qr(embutida().enderecoQr(TipoDocumento::NFCe, cUF, ambiente));
            EXPECT_TRUE(qr.scheme() == u"http"_s || qr.scheme() == u"https"_s);
            EXPECT_FALSE(qr.host().isEmpty());
            EXPECT_FALSE(qr.hasQuery()) << "the builder adds the parameters";
            // Another state's page would not find the document.
            if (cUF != u"43"_s) {
                EXPECT_NE(qr.toString(), paginaRs);
            }
            // The layout's limits of urlChave (leiauteNFe 4.00, infNFeSupl).
            const QString urlChave = embutida().enderecoConsultaNfce(cUF, ambiente);
            EXPECT_GE(urlChave.size(), 21);
            EXPECT_LE(urlChave.size(), 85);
            EXPECT_FALSE(urlChave.contains(u'?'));
        }
    }
    // The CT-e and MDF-e pages: the authoriser's.
    for (const Estado& estado : kEstados) {
        SCOPED_TRACE(estado.uf);
        const QString cUF = QString::fromLatin1(estado.cUF);
        const QUrl cte(embutida().enderecoQr(TipoDocumento::CTe, cUF, Ambiente::Producao));
        if (QString::fromLatin1(estado.cte) == QString::fromLatin1(kSvrsCTe)) {
            EXPECT_EQ(cte.host(), u"dfe-portal.svrs.rs.gov.br"_s);
        } else {
            EXPECT_NE(cte.host(), u"dfe-portal.svrs.rs.gov.br"_s);
        }
        EXPECT_EQ(QUrl(embutida().enderecoQr(TipoDocumento::MDFe, cUF, Ambiente::Homologacao)).host(),
                  u"dfe-portal.svrs.rs.gov.br"_s);
    }
    EXPECT_TRUE(embutida().enderecoConsultaNfce(u"99"_s, Ambiente::Producao).isEmpty());
    EXPECT_TRUE(embutida().enderecoQr(TipoDocumento::NFCe, u"99"_s, Ambiente::Producao).isEmpty());
}

// Rows read by hand against the authorities' published lists.
TEST(EnderecosPorEstado, AmostraConferidaNasListasPublicadas) {
    const struct {
        TipoDocumento tipo;
        Servico servico;
        const char* cUF;
        Ambiente ambiente;
        const char* endereco;
    } casos[] = {
        {TipoDocumento::NFe, Servico::Recepcao, "35", Ambiente::Producao,
         "https://nfe.fazenda.sp.gov.br/ws/nfeautorizacao4.asmx"},
        {TipoDocumento::NFe, Servico::Consultar, "29", Ambiente::Homologacao,
         "https://hnfe.sefaz.ba.gov.br/webservices/NFeConsultaProtocolo4/NFeConsultaProtocolo4.asmx"},
        {TipoDocumento::NFe, Servico::Recepcao, "21", Ambiente::Producao,
         "https://www.sefazvirtual.fazenda.gov.br/NFeAutorizacao4/NFeAutorizacao4.asmx"},
        {TipoDocumento::NFCe, Servico::Recepcao, "12", Ambiente::Homologacao,
         "https://nfce-homologacao.svrs.rs.gov.br/ws/NfeAutorizacao/NFeAutorizacao4.asmx"},
        {TipoDocumento::NFCe, Servico::Consultar, "13", Ambiente::Producao,
         "https://nfce.sefaz.am.gov.br/nfce-services/services/NfeConsulta4"},
        {TipoDocumento::CTe, Servico::Recepcao, "31", Ambiente::Homologacao,
         "https://hcte.fazenda.mg.gov.br/cte/services/CTeRecepcaoSincV4"},
        {TipoDocumento::CTe, Servico::Simplificado, "51", Ambiente::Producao,
         "https://cte.sefaz.mt.gov.br/cte-ws/services/CTeRecepcaoSimpV4"},
        {TipoDocumento::CTe, Servico::Evento, "50", Ambiente::Producao,
         "https://producao.cte.ms.gov.br/ws/CTeRecepcaoEventoV4"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.endereco);
        const std::optional<Endpoint> e = entrada(c.tipo, c.servico, QString::fromLatin1(c.cUF), c.ambiente);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->endereco, QString::fromLatin1(c.endereco));
    }
    const std::optional<Endpoint> mg =
        entrada(TipoDocumento::CTe, Servico::Status, u"31"_s, Ambiente::Producao);
    ASSERT_TRUE(mg);
    EXPECT_EQ(mg->acao, u"http://www.portalfiscal.inf.br/cte/wsdl/CTeStatusServicoV4"_s);
    EXPECT_EQ(mg->versao, u"4.00"_s);
    EXPECT_EQ(
        embutida().enderecoQr(TipoDocumento::NFCe, u"35"_s, Ambiente::Homologacao),
        u"https://www.homologacao.nfce.fazenda.sp.gov.br/NFCeConsultaPublica/Paginas/ConsultaQRCode.aspx"_s);
    EXPECT_EQ(embutida().enderecoConsultaNfce(u"35"_s, Ambiente::Producao),
              u"https://www.nfce.fazenda.sp.gov.br/NFCeConsultaPublica"_s);
    EXPECT_EQ(embutida().enderecoConsultaNfce(u"43"_s, Ambiente::Homologacao),
              u"www.sefaz.rs.gov.br/nfce/consulta"_s);
    EXPECT_EQ(embutida().enderecoQr(TipoDocumento::CTe, u"31"_s, Ambiente::Homologacao),
              u"https://cte.fazenda.mg.gov.br/portalcte/sistema/qrcode.xhtml"_s);
    Endpoint svc;
    ASSERT_TRUE(
        embutida().Endereco_Grupo(u"SVC-NFe"_s, u"23"_s, Servico::Recepcao, Ambiente::Homologacao, svc));
    EXPECT_EQ(svc.endereco, u"https://hom.svc.fazenda.gov.br/NFeAutorizacao4/NFeAutorizacao4.asmx"_s);
}

// An installation moves a state's consultation page with a row of its own file.
TEST(EnderecosPorEstado, PaginaDeConsultaDaInstalacao) {
    TabelaEnderecos t = embutida();
    t.leEnderecos(u"consulta-nfce 42 1 https://novo.sef.sc.gov.br/nfce/qr novo.sef.sc.gov.br/nfce/consulta\n"
                  "consulta-nfce 42 3 https://x.example/qr x.example/consulta\n"
                  "consulta-nfce 42 2 ftp://x.example/qr x.example/consulta\n"_s,
                  u"instalacao"_s);
    EXPECT_EQ(t.erros().size(), 2) << "an unknown environment and a page that is no web address";
    EXPECT_EQ(t.enderecoQr(TipoDocumento::NFCe, u"42"_s, Ambiente::Producao),
              u"https://novo.sef.sc.gov.br/nfce/qr"_s);
    EXPECT_EQ(t.enderecoConsultaNfce(u"42"_s, Ambiente::Producao), u"novo.sef.sc.gov.br/nfce/consulta"_s);
    EXPECT_EQ(t.enderecoQr(TipoDocumento::NFCe, u"42"_s, Ambiente::Homologacao),
              embutida().enderecoQr(TipoDocumento::NFCe, u"42"_s, Ambiente::Homologacao));
}

} // namespace
