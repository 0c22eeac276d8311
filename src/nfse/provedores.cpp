// The dispatcher of the provider units, and what they share.

#include "nfse/provedor.h"
#include "nfse/xml_nfse.h"
#include "util/arvore_xml.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace nfse {
const ProvedorNfse& provedorTecnos();
const ProvedorNfse& provedorThema();
const ProvedorNfse& provedorIssnet();
const ProvedorNfse& provedorCuritiba();
const ProvedorNfse& provedorFlorianopolis();
const ProvedorNfse& provedorEstrela();
const ProvedorNfse& provedorSemServico();
} // namespace nfse

const ProvedorNfse* provedorNfse(GrupoNfse grupo) {
    switch (grupo) {
    case GrupoNfse::Tecnos:
        return &nfse::provedorTecnos();
    case GrupoNfse::Thema:
        return &nfse::provedorThema();
    case GrupoNfse::Issnet:
        return &nfse::provedorIssnet();
    case GrupoNfse::Curitiba:
        return &nfse::provedorCuritiba();
    case GrupoNfse::Florianopolis:
        return &nfse::provedorFlorianopolis();
    case GrupoNfse::Estrela:
        return &nfse::provedorEstrela();
    case GrupoNfse::SemServico:
        return &nfse::provedorSemServico();
    case GrupoNfse::Nenhum:
        break;
    }
    return nullptr;
}

CorpoNfse ProvedorNfse::consultaLote(const DadosNfse&) const {
    CorpoNfse c;
    c.recusa = u"O provedor não tem consulta de lote."_s;
    return c;
}

QString ProvedorNfse::numeroRpsDaChave(const QString& loteEnviado, const QString&,
                                       const QString& chave) const {
    // The RPS identifier (the Id of the RPS without its first letter) is its number; a caller
    // whose Ids are not made so gets the RPS's own number.
    const QString n = nfse::numeroInteiro(chave);
    return n.isEmpty() ? nfse::numeroInteiro(rpsDoDocumento(loteEnviado).numero) : n;
}

IdentificacaoRps rpsDoDocumento(const QString& texto) {
    const LeituraXml leitura = leArvoreXml(texto);
    if (!leitura.raiz) return {};
    const NoXml* id = leitura.raiz->nome == u"IdentificacaoRps"_s ? &*leitura.raiz
                                                                  : leitura.raiz->busca(u"IdentificacaoRps");
    if (!id) return {};
    return {id->valor(u"Numero"), id->valor(u"Serie"), id->valor(u"Tipo")};
}

} // namespace qel
