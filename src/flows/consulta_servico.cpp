// CONSULTAR SERVICO (NFE|CTE|MDFE): the service status of the company's state, shown and sent to
// the calling application.

#include "flows/fluxos.h"
#include "flows/operacoes.h"

using namespace Qt::StringLiterals;

namespace qel {

Passo consultaServico(Operacoes& op) {
    op.ChamaWebService(Servico::Status);
    op.Mostra_Mensagem(ModoResultado::ApresentaResultado, u"cStat"_s, u"xMotivo"_s, QString());
    // Answered with a status: carried out, whatever the status says; no answer: a failure.
    const bool respondeu = op.ctx().LbRetorno.value(0).contains(u"<cStat>"_s);
    return {respondeu ? Desfecho::Concluida : Desfecho::Recusada, {}};
}

} // namespace qel
