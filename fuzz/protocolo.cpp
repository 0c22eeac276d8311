// An authorisation answer: the lot receipt, the protocol of the document, its status, its key and
// whether it names the document sent, and the proc assembled from them.

#include "apoio_fuzz.h"
#include "flows/apoio_fluxo.h"
#include "flows/proc.h"

namespace {

// A signed NF-e cut to what the proc reads: its key and its digest.
const QString kDocumento = QStringLiteral(
    "<NFe xmlns=\"http://www.portalfiscal.inf.br/nfe\"><infNFe versao=\"4.00\" "
    "Id=\"NFe35250311222333000181550010000000011000000010\"><ide><cUF>35</cUF></ide></infNFe>"
    "<Signature xmlns=\"http://www.w3.org/2000/09/xmldsig#\"><SignedInfo><Reference URI=\"#NFe3525\">"
    "<DigestValue>kWm2pxZ4O2iEGGmXfq4OkbJBq8Y=</DigestValue></Reference></SignedInfo></Signature></NFe>");

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace qel;
    const QString resposta = fuzz::texto(dados, tamanho);
    // The lot's receipt as the authorisation takes it.
    valorElemento(resposta, QStringLiteral("nRec"));
    cStatDe(resposta);
    versaoDe(resposta);
    valorElemento(resposta, QStringLiteral("nProt"));
    qsizetype fim = 0;
    elementoCompleto(resposta, QStringLiteral("protNFe"), 0, &fim);
    for (const TipoDocumento tipo : {TipoDocumento::NFe, TipoDocumento::CTe, TipoDocumento::MDFe}) {
        const QString protocolo = protocoloDaResposta(tipo, resposta);
        situacaoDoProtocolo(protocolo);
        chaveDoProtocolo(protocolo);
        protocoloDaChave(protocolo, kDocumento);
        protocoloDoDocumento(protocolo, kDocumento);
    }
    for (const bool simplificado : {false, true})
        montaProc(simplificado ? TipoDocumento::CTe : TipoDocumento::NFe, simplificado, kDocumento, resposta);
    montaRaiz(QStringLiteral("procEventoNFe"), TipoDocumento::NFe, kDocumento, resposta,
              QStringLiteral("retEvento"));
    return 0;
}
