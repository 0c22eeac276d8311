// The result analysis of an answer ("Apresenta Resultado"): code and text found, the answer cut
// into the dialog's lines, the messages to the calling application.

#include "flows/resultado.h"
#include "apoio_fuzz.h"
#include "flows/mensagens.h"

namespace {

class CanalMudo : public qel::CanalMensagens {
public:
    void envia(const QString&, const QString&) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* dados, size_t tamanho) {
    using namespace qel;
    const QString resposta = fuzz::texto(dados, tamanho);
    CanalMudo canal;
    preparaResultado(
        ModoResultado::ApresentaResultado, QStringLiteral("cStat"), QStringLiteral("xMotivo"), QString(),
        {resposta}, [] { return QStringList(); }, canal, QStringLiteral("Resultado"));
    preparaResultado(
        ModoResultado::Mensagem, QString(), QString(), resposta, {}, [] { return QStringList(); }, canal,
        QStringLiteral("Resultado"));
    divideLinhasLongas(quebraPorFechamento(resposta));
    return 0;
}
