// The e-mail of the stored document for the task run.

#include "flows/email.h"
#include "flows/operacoes.h"
#include "util/arquivos.h"

using namespace Qt::StringLiterals;

namespace qel {

void Operacoes::Envia_Email(const QString& documento, const QString& pdf) {
    if (cfg_.Sem_Email_Auto) return;
    const QString arquivoPedido = ctx_.NomeBase + u".EML"_s;
    if (ctx_.NomeBase.isEmpty() || !existeArquivo(arquivoPedido)) return;
    ctx_.LbQel = lerLinhas(arquivoPedido);
    const PedidoEmail pedido = interpretaPedidoEmail(ctx_.LbQel);
    const DocumentoEmail email{ctx_.CHAVE, ctx_.Tarefa, ctx_.Tipo, resumo_, documento, pdf};
    const EnvioEmail envio = preparaEmail(pedido, email, recursos_.rede, agora());
    const QString erro = envio.erro.isEmpty() ? enviaSmtp(envio.servidor, envio.mensagem) : envio.erro;
    if (erro.isEmpty()) {
        Mostra_Status(u"Email enviado para "_s + envio.mensagem.destinatarios.join(u", "_s));
        return;
    }
    // The document is stored whatever happens to its e-mail: said, and the run goes on.
    Mostra_Status(u"Email não enviado: "_s + erro);
    mensagem(u"O documento foi arquivado, mas o email não foi enviado.|"_s + erro);
}

} // namespace qel
