// The answer of NDD Cargo: the CrossTalk message taken out of its envelope, its result read,
// and the proc of the operation assembled from it.

#include "apoio_fuzz.h"
#include "ciot/respostas_ndd.h"

namespace {

const QString kPedido = QStringLiteral(
    "<OT xmlns=\"http://www.nddigital.com.br/nddcargo\"><infOT Id=\"OT1\"><ide><cnpj>11222333000181</cnpj>"
    "<serie>1</serie><nOT>1</nOT></ide></infOT></OT>");

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace qel;
    const QString corpo = fuzz::texto(dados, tamanho);
    for (const QString& resposta : {corpo, crossTalkDaResposta(corpo)}) {
        temResultado(resposta);
        temRota(resposta);
        mensagemRecusada(resposta);
        guidRecusado(resposta);
        falhaRecepcao(resposta);
        falhaOperacao(resposta);
        guidDaResposta(resposta);
        valorNdd(resposta, QStringLiteral("codigo"), QStringLiteral("mensagem"));
        chaveOperacaoNdd({QStringLiteral("43"), QStringLiteral("11222333000181"), QStringLiteral("DOT123"),
                          QDate(2025, 3, 20), false},
                         resposta);
        montaCiotProc(kPedido, resposta);
        montaTagProc(kPedido, resposta);
    }
    return 0;
}
