// Tecnos (Arroio do Meio, Colinas, Cruzeiro do Sul, Encantado, Marques de Souza): the ABRASF 2
// layout of the provider, a synchronous lot of declarations each signed on its own, the
// messages as CDATA of the ASMX operations' "remessa" and "cabecalho" parameters.

#include "nfse/provedor.h"
#include "nfse/xml_nfse.h"

using namespace Qt::StringLiterals;

namespace qel::nfse {

namespace {

const QString kDeclaracao = u"tcDeclaracaoPrestacaoServico"_s;
const QString kInfDeclaracao = u"InfDeclaracaoPrestacaoServico"_s;

QString cpfCnpj(const QString& cnpj) {
    return u"<CpfCnpj>"_s + el(u"Cnpj"_s, cnpj) + u"</CpfCnpj>"_s;
}

// The declaration with the ABRASF 2 namespace declared on its signed part, right behind the Id
// value, so the part signed alone reads the same inside the lot.
QString comNamespace(const QString& declaracao) {
    const qsizetype inicio = declaracao.indexOf(u'<' + kInfDeclaracao);
    if (inicio < 0) return declaracao;
    const qsizetype fimTag = declaracao.indexOf(u'>', inicio);
    const QString tag = declaracao.mid(inicio, fimTag - inicio);
    if (tag.contains(u"xmlns="_s)) return declaracao;
    qsizetype id = tag.indexOf(u" Id=\""_s);
    if (id < 0) id = tag.indexOf(u" id=\""_s);
    const qsizetype fimId = id < 0 ? tag.size() : tag.indexOf(u'"', id + 5) + 1;
    QString saida = declaracao;
    saida.insert(inicio + fimId, u" xmlns=\""_s + kNsAbrasf2 + u'"');
    return saida;
}

// The lot number: the one the caller wrote into the declaration ("Lote NFSe: 000123"), else the
// task's, else characters 23 to 31 of the RPS identifier, else 1.
QString numeroLote(const QString& assinado, const DadosNfse& dados, const QString& chave) {
    QString n;
    if (const qsizetype p = assinado.indexOf(u"Lote NFSe:"_s); p >= 0)
        n = numeroInteiro(assinado.mid(p + 11, 6));
    if (n.isEmpty() || n == u"0"_s) n = numeroInteiro(dados.numeroLote);
    if (n.isEmpty() || n == u"0"_s) n = numeroInteiro(chave.mid(22, 9));
    return n.isEmpty() || n == u"0"_s ? u"1"_s : n;
}

class Tecnos : public ProvedorNfse {
public:
    GrupoNfse grupo() const override { return GrupoNfse::Tecnos; }
    bool periodoDaEmissao() const override { return true; }

    CorpoNfse recepcao(const DadosNfse& dados, const AssinadorNfse& assina) const override {
        CorpoNfse c;
        const QString declaracao = recorta(dados.documento, kDeclaracao);
        c.chave = atributoId(declaracao, kInfDeclaracao);
        if (declaracao.isEmpty() || c.chave.isEmpty()) {
            c.recusa = u"O documento não traz a declaração (tcDeclaracaoPrestacaoServico com "
                       "InfDeclaracaoPrestacaoServico e seu Id) que o provedor Tecnos recebe."_s;
            return c;
        }
        // Each declaration is signed on its own; the signature closes it.
        const std::optional<QString> assinado =
            assina(comNamespace(declaracao), {true, c.chave, kDeclaracao.size() + 3});
        if (!assinado) {
            c.recusa = u"Erro durante a assinatura."_s;
            return c;
        }
        const QString lote = numeroLote(*assinado, dados, c.chave);
        c.texto = u"<EnviarLoteRpsSincronoEnvio xmlns=\""_s + kNsAbrasf2 + u"\"><LoteRps Id=\"12022"_s +
                  escapa(c.chave.mid(1, 30)) + u"\" versao=\"20.01\">"_s + el(u"NumeroLote"_s, lote) +
                  cpfCnpj(dados.cnpj) + el(u"InscricaoMunicipal"_s, dados.inscricaoMunicipal) +
                  el(u"QuantidadeRps"_s, u"1"_s) + u"<ListaRps><Rps>"_s + *assinado +
                  u"</Rps></ListaRps></LoteRps></EnviarLoteRpsSincronoEnvio>"_s;
        return c;
    }

    CorpoNfse consulta(const DadosNfse& dados) const override {
        CorpoNfse c;
        c.texto = u"<ConsultarNfseRpsEnvio xmlns=\""_s + kNsAbrasf2 + u"\"><IdentificacaoRps>"_s +
                  el(u"Numero"_s, dados.rps.numero) + el(u"Serie"_s, dados.rps.serie) +
                  el(u"Tipo"_s, dados.rps.tipo) + u"</IdentificacaoRps><Prestador>"_s + cpfCnpj(dados.cnpj) +
                  el(u"RazaoSocial"_s, dados.razaoSocial) +
                  el(u"InscricaoMunicipal"_s, dados.inscricaoMunicipal) +
                  u"</Prestador></ConsultarNfseRpsEnvio>"_s;
        return c;
    }

    CorpoNfse cancelamento(const DadosNfse& dados, const AssinadorNfse& assina) const override {
        CorpoNfse c;
        const QString id = u'C' + dados.cnpj + dados.numeroNfse;
        const QString codigo =
            dados.codigoCancelamento.trimmed().isEmpty() ? u"1"_s : dados.codigoCancelamento.trimmed();
        const QString texto =
            u"<CancelarNfseEnvio xmlns=\""_s + kNsAbrasf2 + u"\"><Pedido><InfPedidoCancelamento Id=\""_s +
            escapa(id) + u"\"><IdentificacaoNfse>"_s + el(u"Numero"_s, dados.numeroNfse) +
            cpfCnpj(dados.cnpj) + el(u"InscricaoMunicipal"_s, dados.inscricaoMunicipal) +
            el(u"CodigoMunicipio"_s, dados.codigoMunicipio) + u"</IdentificacaoNfse>"_s +
            el(u"CodigoCancelamento"_s, codigo) + el(u"MotivoCancelamento"_s, dados.motivo) +
            u"</InfPedidoCancelamento></Pedido></CancelarNfseEnvio>"_s;
        // The signature goes into Pedido, after the request it signs.
        const std::optional<QString> assinado =
            assina(texto, {true, id,
                           static_cast<qsizetype>(QStringLiteral("</Pedido></CancelarNfseEnvio>").size())});
        if (!assinado) {
            c.recusa = u"Erro durante a assinatura."_s;
            return c;
        }
        c.texto = *assinado;
        return c;
    }

    EnvelopeNfse envelope(Servico, const Endpoint& endpoint, const QString& corpo) const override {
        // The endpoint names the ASMX operation by its action (default SOAP namespace + name); a
        // provider of the ABRASF 2 model (Marques de Souza's reception) names it by itself.
        if (!endpoint.namespace_.contains(u'/'))
            return {envelopeModeloAbrasf2(endpoint.namespace_, corpo), false};
        const QString operacao = endpoint.namespace_.section(u'/', -1);
        const QString cabecalho = u"<cabecalho xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                                  "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" xmlns=\""_s +
                                  kNsAbrasf2 + u"\"><versaoDados>20.01</versaoDados></cabecalho>"_s;
        return {u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><soap:Envelope "
                "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
                "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><"_s +
                    operacao + u" xmlns=\""_s + kNsSoapPadrao + u"\"><remessa>"_s + cdata(corpo) +
                    u"</remessa><cabecalho>"_s + cdata(cabecalho) + u"</cabecalho></"_s + operacao +
                    u"></soap:Body></soap:Envelope>"_s,
                false};
    }

    QString numeroRpsDaChave(const QString& loteEnviado, const QString& nomeBase,
                             const QString&) const override {
        // The caller names the document by its RPS: the last ten characters of its name.
        const QString n = numeroInteiro(nomeBase.right(10));
        return n.isEmpty() ? numeroInteiro(rpsDoDocumento(loteEnviado).numero) : n;
    }

private:
    // The ABRASF 2 model operation: the header and the message as CDATA of nfseCabecMsg and
    // nfseDadosMsg.
    static QString envelopeModeloAbrasf2(const QString& operacao, const QString& corpo) {
        return u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><S:Envelope "
               "xmlns:S=\"http://schemas.xmlsoap.org/soap/envelope/\" "
               "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\"><SOAP-ENV:Header/><S:Body><ns2:"_s +
               operacao + u" xmlns:ns2=\"http://nfse.abrasf.org.br\"><nfseCabecMsg>"_s +
               cdata(u"<?xml version='1.0' encoding='UTF-8'?><cabecalho xmlns=\""_s + kNsAbrasf2 +
                     u"\" versao=\"2.01\"><versaoDados>2.01</versaoDados></cabecalho>"_s) +
               u"</nfseCabecMsg><nfseDadosMsg>"_s + cdata(corpo) + u"</nfseDadosMsg></ns2:"_s + operacao +
               u"></S:Body></S:Envelope>"_s;
    }
};

} // namespace

const ProvedorNfse& provedorTecnos() {
    static const Tecnos p;
    return p;
}

} // namespace qel::nfse
