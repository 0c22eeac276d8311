#include "ws/endpoints.h"

#include "ws/hosts.h"

#include <QStringList>
#include <array>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

const QString kWsdlNFe = u"http://www.portalfiscal.inf.br/nfe/wsdl/"_s;
const QString kWsdlCTe = u"http://www.portalfiscal.inf.br/cte/wsdl/"_s;
const QString kWsdlMDFe = u"http://www.portalfiscal.inf.br/mdfe/wsdl/"_s;
const QString kNsIssNet = u"http://www.issnetonline.com.br/webservice/nfd"_s;
const QString kNsCuritiba = u"http://www.e-governeapps2.com.br/"_s;

struct Entrada {
    QString esquema = u"https"_s;
    QString papel;
    int porta = 0;
    QString caminho;
    QString acao;
    QString namespace_;
    QString versao = u"2.00"_s;
};

Endpoint monta(const Entrada& e, const QString& ambiente) {
    return {montaEndereco(e.esquema, e.papel, ambiente, e.porta, e.caminho), e.acao, e.namespace_, e.versao};
}

// The six NF-e/NFC-e services, in this order of paths in the tables below.
const QStringList kServicosNFe{u"Status"_s,     u"Recepcao"_s,  u"RetRecepcao"_s,
                               u"Inutilizar"_s, u"Consultar"_s, u"Evento"_s};

std::optional<Entrada> nfe(const QString& tipo, const QString& servico, const QString& cUF) {
    const qsizetype i = kServicosNFe.indexOf(servico);
    if (i < 0) return std::nullopt;
    static const std::array<std::pair<const char16_t*, const char16_t*>, 6> servicos{{
        {u"NFeStatusServico4", u"nfeStatusServicoNF"},
        {u"NFeAutorizacao4", u"nfeAutorizacaoLote"},
        {u"NFeRetAutorizacao4", u"nfeRetAutorizacaoLote"},
        {u"NFeInutilizacao4", u"nfeInutilizacaoNF"},
        {u"NFeConsultaProtocolo4", u"nfeConsultaNF"},
        {u"NFeRecepcaoEvento4", u"nfeRecepcaoEvento"},
    }};
    static const std::array<const char16_t*, 6> caminhosRs{u"/ws/NfeStatusServico/NfeStatusServico4.asmx",
                                                           u"/ws/NfeAutorizacao/NFeAutorizacao4.asmx",
                                                           u"/ws/NfeRetAutorizacao/NFeRetAutorizacao4.asmx",
                                                           u"/ws/nfeinutilizacao/nfeinutilizacao4.asmx",
                                                           u"/ws/NfeConsulta/NfeConsulta4.asmx",
                                                           u"/ws/recepcaoevento/recepcaoevento4.asmx"};
    static const std::array<const char16_t*, 6> caminhosPr{
        u"/nfe/NFeStatusServico4?wsdl", u"/nfe/NFeAutorizacao4?wsdl",       u"/nfe/NFeRetAutorizacao4?wsdl",
        u"/nfe/NFeInutilizacao4?wsdl",  u"/nfe/NFeConsultaProtocolo4?wsdl", u"/nfe/NFeRecepcaoEvento4?wsdl"};
    static const std::array<const char16_t*, 6> caminhosMg{
        u"/nfe2/services/NFeStatusServico4",     u"/nfe2/services/NFeAutorizacao4",
        u"/nfe2/services/NFeRetAutorizacao4",    u"/nfe2/services/NFeInutilizacao4",
        u"/nfe2/services/NFeConsultaProtocolo4", u"/nfe2/services/NFeRecepcaoEvento4"};
    static const std::array<const char16_t*, 6> caminhosMt{
        u"/nfews/v2/services/NfeStatusServico4?wsdl",  u"/nfews/v2/services/NfeAutorizacao4?wsdl",
        u"/nfews/v2/services/NfeRetAutorizacao4?wsdl", u"/nfews/v2/services/NfeInutilizacao4?wsdl",
        u"/nfews/v2/services/NfeConsulta4?wsdl",       u"/nfews/v2/services/RecepcaoEvento4?wsdl"};

    QString papel;
    const std::array<const char16_t*, 6>* caminhos = &caminhosRs;
    if (cUF == u"43"_s)
        papel = tipo == u"NFCe"_s ? u"sefaz-rs-nfce"_s : u"sefaz-rs-nfe"_s;
    else if (cUF == u"42"_s)
        papel = u"svrs-nfe"_s;
    else if (cUF == u"41"_s)
        papel = u"sefa-pr-nfe"_s, caminhos = &caminhosPr;
    else if (cUF == u"31"_s)
        papel = u"sef-mg-nfe"_s, caminhos = &caminhosMg;
    else if (cUF == u"51"_s)
        papel = u"sefaz-mt-nfe"_s, caminhos = &caminhosMt;
    else
        return std::nullopt;

    const QString ns = kWsdlNFe + QString::fromUtf16(servicos.at(i).first);
    Entrada e;
    e.papel = papel;
    e.caminho = QString::fromUtf16(caminhos->at(i));
    e.namespace_ = ns;
    e.acao = ns + u'/' + QString::fromUtf16(servicos.at(i).second);
    e.versao = servico == u"Evento"_s ? u"1.00"_s : u"4.00"_s;
    return e;
}

std::optional<Entrada> cte(const QString& servico, const QString& cUF) {
    if (cUF == u"43"_s) {
        static const std::array<std::pair<const char16_t*, const char16_t*>, 7> svrs{{
            {u"Status", u"CTeStatusServicoV4"},
            {u"Recepcao", u"CTeRecepcaoSincV4"},
            {u"Simplificado", u"CTeRecepcaoSimpV4"},
            {u"RetRecepcao", u"CTeRecepcaoSincV4"},
            {u"Inutilizar", u"CteInutilizacao"},
            {u"Consultar", u"CTeConsultaV4"},
            {u"Evento", u"CTeRecepcaoEventoV4"},
        }};
        for (const auto& [chave, servicoWsdl] : svrs) {
            if (servico != QStringView(chave)) continue;
            const QString nome = QString::fromUtf16(servicoWsdl);
            Entrada e;
            e.papel = u"svrs-cte"_s;
            e.versao = u"4.00"_s;
            e.namespace_ = kWsdlCTe + nome;
            e.caminho = nome == u"CteInutilizacao"_s ? u"/ws/cteinutilizacao/cteinutilizacao.asmx"_s
                                                     : u"/ws/"_s + nome + u'/' + nome + u".asmx"_s;
            if (servico == u"Simplificado"_s) e.acao = e.namespace_ + u"/cteRecepcaoSimp"_s;
            return e;
        }
        return std::nullopt;
    }
    static const QStringList seis{u"Status"_s,     u"Recepcao"_s,  u"RetRecepcao"_s,
                                  u"Inutilizar"_s, u"Consultar"_s, u"Evento"_s};
    static const std::array<const char16_t*, 6> nomes{u"CteStatusServico", u"CteRecepcao",
                                                      u"CteRetRecepcao",   u"CteInutilizacao",
                                                      u"CteConsulta",      u"CteRecepcaoEvento"};
    const qsizetype i = seis.indexOf(servico);
    if (i < 0 || (cUF != u"31"_s && cUF != u"51"_s)) return std::nullopt;
    static const std::array<const char16_t*, 6> caminhosMg{
        u"/cte/services/CteStatusServico.asmx", u"/cte/services/CteRecepcao.asmx",
        u"/cte/services/CteRetRecepcao.asmx",   u"/cte/services/CteInutilizacao.asmx",
        u"/cte/services/CteConsulta.asmx",      u"/cte/services/RecepcaoEvento.asmx"};
    static const std::array<const char16_t*, 6> caminhosMt{
        u"/ctews/services/CteStatusServico", u"/ctews/services/CteRecepcao",
        u"/ctews/services/CteRetRecepcao",   u"/ctews/services/CteInutilizacao",
        u"/ctews/services/CteConsulta",      u"/ctews2/services/CteRecepcaoEvento"};
    Entrada e;
    e.papel = cUF == u"31"_s ? u"sef-mg-cte"_s : u"sefaz-mt-cte"_s;
    e.caminho = QString::fromUtf16((cUF == u"31"_s ? caminhosMg : caminhosMt).at(i));
    e.namespace_ = kWsdlCTe + QString::fromUtf16(nomes.at(i));
    return e;
}

std::optional<Entrada> mdfe(const QString& servico) {
    static const std::array<std::tuple<const char16_t*, const char16_t*, const char16_t*>, 5> tabela{{
        {u"Recepcao", u"/ws/mdferecepcaosinc/MDFeRecepcaoSinc.asmx", u"MDFeRecepcaoSinc"},
        {u"Consultar", u"/ws/mdfeconsulta/MDFeConsulta.asmx", u"MDFeConsulta"},
        {u"Evento", u"/ws/mdferecepcaoevento/MDFeRecepcaoEvento.asmx", u"MDFeRecepcaoEvento"},
        {u"Status", u"/ws/mdfestatusservico/MDFeStatusServico.asmx", u"MDFeStatusServico"},
        {u"NaoEncerrados", u"/ws/mdfeconsnaoenc/MDFeConsNaoEnc.asmx", u"MDFeConsNaoEnc"},
    }};
    for (const auto& [chave, caminho, nome] : tabela) {
        if (servico != QStringView(chave)) continue;
        Entrada e;
        e.papel = u"svrs-mdfe"_s;
        e.versao = u"3.00"_s;
        e.caminho = QString::fromUtf16(caminho);
        e.namespace_ = kWsdlMDFe + QString::fromUtf16(nome);
        return e;
    }
    return std::nullopt;
}

std::optional<Entrada> cadastro(const QString& uf) {
    const QString padrao = u"/ws/cadconsultacadastro/cadconsultacadastro4.asmx"_s;
    static const std::array<std::tuple<const char16_t*, const char16_t*, const char16_t*>, 11> porUf{{
        {u"RS", u"sefaz-rs-cadastro", nullptr},
        {u"CE", u"sefaz-ce-nfe", u"/nfe4/services/CadConsultaCadastro4?wsdl"},
        {u"PE", u"sefaz-pe-nfe", u"/nfe-service/services/CadConsultaCadastro4?wsdl"},
        {u"BA", u"sefaz-ba-nfe", u"/webservices/CadConsultaCadastro4/CadConsultaCadastro4.asmx"},
        {u"MG", u"sef-mg-nfe", u"/nfe2/services/CadConsultaCadastro4"},
        {u"SP", u"sefaz-sp-nfe", u"/ws/cadconsultacadastro4.asmx"},
        {u"PR", u"sefa-pr-nfe", u"/nfe/CadConsultaCadastro4?wsdl"},
        {u"MS", u"sefaz-ms-nfe", u"/ws/CadConsultaCadastro4"},
        {u"MT", u"sefaz-mt-nfe", u"/nfews/v2/services/CadConsultaCadastro4?wsdl"},
        {u"GO", u"sefaz-go-nfe", u"/nfe/services/CadConsultaCadastro4?wsdl"},
        {u"SVRS", u"svrs-cadastro", nullptr},
    }};
    static const QStringList svrs{u"AC"_s, u"RN"_s, u"PB"_s, u"ES"_s, u"SC"_s};
    const QString chave = svrs.contains(uf) ? u"SVRS"_s : uf;
    for (const auto& [sigla, papel, caminho] : porUf) {
        if (chave != QStringView(sigla)) continue;
        Entrada e;
        e.papel = QString::fromUtf16(papel);
        e.caminho = caminho ? QString::fromUtf16(caminho) : padrao;
        e.namespace_ = kWsdlNFe + u"CadConsultaCadastro4"_s;
        e.acao = e.namespace_ + u"/consultaCadastro"_s;
        return e;
    }
    return std::nullopt;
}

std::optional<Entrada> nfse(const QString& servico, const QString& cUF, const QString& municipio) {
    const auto entrada = [](QString esquema, QString papel, int porta, QString caminho, QString acao,
                            QString ns) {
        Entrada e;
        e.esquema = std::move(esquema);
        e.papel = std::move(papel);
        e.porta = porta;
        e.caminho = std::move(caminho);
        e.acao = std::move(acao);
        e.namespace_ = std::move(ns);
        e.versao = u"1.00"_s;
        return std::optional<Entrada>(e);
    };
    static const QStringList tres{u"Recepcao"_s, u"Consultar"_s, u"Cancelar"_s};
    const qsizetype i = tres.indexOf(servico);
    if (cUF == u"43"_s) {
        static const QStringList thema{u"recepcionarLoteRpsLimitado"_s, u"consultarNfsePorRps"_s,
                                       u"cancelarNfse"_s};
        static const QStringList caminhosThema{u"/thema-nfse/services/NFSEremessa"_s,
                                               u"/thema-nfse/services/NFSEconsulta"_s,
                                               u"/thema-nfse/services/NFSEcancelamento"_s};
        if (municipio == u"Lajeado"_s && i >= 0)
            return entrada(u"http"_s, u"nfse-lajeado"_s, 0, caminhosThema.at(i), {}, thema.at(i));
        if (municipio == u"Santa Cruz do Sul"_s && i >= 0)
            return entrada(u"https"_s, u"nfse-santa-cruz"_s, 0, caminhosThema.at(i), {}, thema.at(i));
        if (municipio == u"Montenegro"_s && i >= 0)
            return entrada(i == 2 ? u"http"_s : u"https"_s, u"nfse-montenegro"_s, 0,
                           caminhosThema.at(i) + u"?wsdl"_s, {}, thema.at(i));
        if (municipio == u"Estrela"_s)
            return servico == u"Recepcao"_s
                       ? entrada(u"https"_s, u"nfse-estrela"_s, 0,
                                 u"/datacenter/web_services_exemplo_retorno.php"_s, {}, u"Qel-Post"_s)
                       : std::nullopt;
        static const QStringList tecnos{u"mEnvioLoteRPSSincrono"_s, u"mConsultaNFSePorRPS"_s,
                                        u"cancelarNfse"_s};
        static const std::array<int, 3> portasTecnos{9091, 9095, 9098};
        const std::pair<const char16_t*, const char16_t*> tecnosMunicipios[] = {
            {u"Colinas", u"nfse-colinas"},
            {u"Arroio do Meio", u"nfse-arroio-do-meio"},
            {u"Encantado", u"nfse-encantado"}};
        for (const auto& [nome, papel] : tecnosMunicipios)
            if (municipio == QStringView(nome) && i >= 0)
                return entrada(u"http"_s, QString::fromUtf16(papel), portasTecnos.at(i), {}, {},
                               kNsSoapPadrao + tecnos.at(i));
        if (municipio == u"Cruzeiro do Sul"_s) {
            static const QStringList quatro{u"Recepcao"_s, u"Substituicao"_s, u"Consultar"_s, u"Cancelar"_s};
            static const QStringList operacoes{u"mEnvioLoteRPSSincrono"_s, u"mSubstituicaoNFSe"_s,
                                               u"mConsultaNFSePorRPS"_s, u"mCancelamentoNFSe"_s};
            static const std::array<int, 4> portas{9091, 9086, 9095, 9098};
            const qsizetype j = quatro.indexOf(servico);
            if (j < 0) return std::nullopt;
            return entrada(u"http"_s, u"nfse-cruzeiro-do-sul"_s, portas.at(j), {}, {},
                           kNsSoapPadrao + operacoes.at(j));
        }
        if (municipio == u"Marques de Souza"_s && i >= 0) {
            const QString caminho = u"/NfseService/NfseService?wsdl"_s;
            if (i == 0)
                return entrada(u"https"_s, u"nfse-marques-de-souza"_s, 8182, caminho, u"GerarNfse"_s,
                               u"GerarNfse"_s);
            return entrada(u"https"_s, u"nfse-marques-de-souza"_s, 8182, caminho, {},
                           kNsSoapPadrao + (i == 1 ? u"ConsultarNfseFaixa"_s : u"CancelarNfse"_s));
        }
        if (municipio == u"Novo Hamburgo"_s && i >= 0) {
            const QString caminho = u"/webserviceabrasf/homologacao/servicos.asmx"_s;
            if (i == 0)
                return entrada(u"https"_s, u"nfse-issnet"_s, 0, caminho, kNsIssNet + u"/RecepcionarLoteRps"_s,
                               u"RecepcionarLoteRps"_s);
            return entrada(u"https"_s, u"nfse-issnet"_s, 0, caminho, {},
                           kNsIssNet + (i == 1 ? u"/ConsultarNFSePorRPS"_s : u"/CancelarNfse"_s));
        }
        return std::nullopt;
    }
    if (cUF == u"42"_s && municipio == u"Florianopolis"_s) {
        if (i == 0)
            return entrada(u"https"_s, u"nfse-florianopolis-hom"_s, 0, u"/api/v1/autenticacao/oauth/token"_s,
                           {}, u"Qel-Post"_s);
        if (i == 1)
            return entrada(u"https"_s, u"nfse-florianopolis"_s, 0,
                           u"/api/v1/consultas/notas/numero/{numero}"_s, {}, u"Qel-Get"_s);
        if (i == 2)
            return entrada(u"https"_s, u"nfse-florianopolis"_s, 0, u"/api/v1/cancelamento/notas/cancela"_s,
                           {}, u"Qel-Post"_s);
        return std::nullopt;
    }
    if (cUF == u"41"_s && municipio == u"Curitiba"_s && i >= 0) {
        static const QStringList operacoes{u"/RecepcionarLoteRps"_s, u"/ConsultarNfsePorRps"_s,
                                           u"/CancelarNfse"_s};
        return entrada(u"https"_s, u"nfse-curitiba"_s, 0, u"/Iss.NfseWebService/nfsews.asmx"_s, {},
                       kNsCuritiba + operacoes.at(i));
    }
    return std::nullopt;
}

std::optional<Entrada> procura(const ChaveEndpoint& c) {
    if (c.tipo == u"DOT"_s) {
        Entrada e;
        e.papel = u"ndd-cargo"_s;
        e.caminho = u"/wsagente/ExchangeMessage.asmx"_s;
        e.namespace_ = kNsSoapPadrao + u"Send"_s;
        return e;
    }
    if (c.servico == u"Download"_s) {
        Entrada e;
        e.papel = u"an-distribuicao"_s;
        e.caminho = u"/NFeDistribuicaoDFe/NFeDistribuicaoDFe.asmx"_s;
        e.namespace_ = kWsdlNFe + u"NFeDistribuicaoDFe"_s;
        e.acao = e.namespace_ + u"/nfeDistDFeInteresse"_s;
        e.versao = u"1.01"_s;
        return e;
    }
    if (c.tarefa == u"Manifestar"_s) {
        Entrada e;
        if (c.tipo == u"CTe"_s) {
            e.papel = u"svrs-cte"_s;
            e.caminho = u"/ws/CTeRecepcaoEventoV4/CTeRecepcaoEventoV4.asmx"_s;
            e.namespace_ = kWsdlCTe + u"CTeRecepcaoEventoV4"_s;
            e.versao = u"4.00"_s;
            return e;
        }
        if (c.tipo == u"NFe"_s) {
            e.papel = u"an-evento"_s;
            e.caminho = u"/NFeRecepcaoEvento4/NFeRecepcaoEvento4.asmx"_s;
            e.namespace_ = kWsdlNFe + u"NFeRecepcaoEvento4"_s;
            e.acao = e.namespace_ + u"/nfeRecepcaoEventoNF"_s;
            e.versao = u"1.00"_s;
            return e;
        }
        return std::nullopt;
    }
    if (c.servico == u"Cadastro"_s) return cadastro(c.ufConsulta);
    if (c.tipo == u"MDFe"_s) return mdfe(c.servico);
    static const QStringList estados{u"43"_s, u"42"_s, u"41"_s, u"31"_s, u"51"_s};
    if (!estados.contains(c.cUF)) return std::nullopt;
    if (c.tipo == u"NFe"_s || c.tipo == u"NFCe"_s) return nfe(c.tipo, c.servico, c.cUF);
    if (c.tipo == u"CTe"_s) return cte(c.servico, c.cUF);
    if (c.tipo == u"NFSe"_s) return nfse(c.servico, c.cUF, c.municipio);
    return std::nullopt;
}

} // namespace

bool Endereco_WebService(const ChaveEndpoint& chave, Endpoint& endpoint) {
    endpoint = {};
    const std::optional<Entrada> entrada = procura(chave);
    if (!entrada) return false;
    Endpoint achado = monta(*entrada, chave.ambiente);
    if (achado.acao.isEmpty()) achado.acao = achado.namespace_;
    if (achado.endereco.trimmed().isEmpty() || achado.namespace_.trimmed().isEmpty()) return false;
    endpoint = achado;
    return true;
}

} // namespace qel
