// The journal entries of transport operations: requests sent to the NDD Cargo service whose result
// never came. Each is settled by asking for the result of its GUID; none is sent again while the
// service knows its GUID, since it would take a second send as a new operation (or a second
// payment). A GUID the service refuses to know never received its request: only then is the
// entry closed, and its operation or request may go out again under a new GUID.

#include "ciot/crosstalk.h"
#include "ciot/operacao_ndd.h"
#include "ciot/respostas_ndd.h"
#include "flows/apoio_fluxo.h"
#include "flows/operacoes.h"
#include "flows/transporte.h"
#include "util/arquivos.h"
#include "util/erros.h"
#include "util/texto.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

bool mesmoArquivo(const QString& a, const QString& b) {
    return !a.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
}

// The document holds the operation the entry went out with (company, series and number): the
// calling application may have dropped another one under the same file name.
bool mesmaOperacao(const Pendente& p, const QString& documento) {
    return identificaOperacaoNdd(p.assinado) == identificaOperacaoNdd(documento);
}

QString juntaLinhas(const QStringList& linhas) {
    QString texto;
    for (const QString& linha : linhas)
        texto += linha.trimmed();
    return texto;
}

// The caller's file of the entry still holds its operation.
bool arquivoComAOperacao(const Pendente& p) {
    if (p.arquivo.isEmpty() || !existeArquivo(p.arquivo)) return false;
    try {
        return mesmaOperacao(p, juntaLinhas(lerLinhas(p.arquivo)));
    } catch (const ErroInesperado&) {
        return false;
    }
}

// The entry is the task of this run: the reception of the run's document (same file, same
// operation), or the same payment (same operation and instalment) or cancellation.
bool daTarefa(const ContextoExecucao& ctx, const Pendente& p) {
    const QString tarefa = Maiusculo(ctx.Tarefa);
    if (tarefa == u"RECEPCAO"_s)
        return p.tarefa == kTarefaRecepcaoNdd && mesmoArquivo(p.arquivo, ctx.ArquivoDocumento) &&
               mesmaOperacao(p, juntaLinhas(ctx.LbXML));
    if (tarefa != u"PAGAMENTO DOCUMENTO"_s && tarefa != u"CANCELAR DOCUMENTO"_s) return false;
    if (p.tarefa != tarefa || p.operacao.isEmpty() || p.operacao != ctx.CHAVE.trimmed()) return false;
    if (tarefa == u"CANCELAR DOCUMENTO"_s) return true;
    const QString parcela =
        ctx.Justificativa.trimmed().isEmpty() ? u"Preenchimento Incorreto"_s : ctx.Justificativa.trimmed();
    return valorNdd(p.assinado, u"nomeParcela"_s) == escapaNdd(parcela);
}

// The entry's GUID was refused as unknown: its request never reached the service, and its result
// will never come. The entry goes; the operation or request is sent again by its own task.
void naoChegou(Operacoes& op, const Pendente& p, const QString& resposta) {
    op.diario().encerra(p.cnpj, p.chave);
    const QString motivo =
        valorNdd(resposta, u"ResponseCode"_s) + u" - "_s + valorNdd(resposta, u"ResponseCodeMessage"_s);
    if (p.tarefa == kTarefaRecepcaoNdd)
        op.Mostra_Status(u"Operação de transporte pendente não chegou ao NDD Cargo ("_s + motivo +
                         u"): GUID "_s + p.chave + u"; ela será enviada na próxima execução do documento "_s +
                         p.arquivo);
    else
        op.Mostra_Status(u"Pedido pendente ("_s + p.tarefa + u' ' + p.operacao +
                         u") não chegou ao NDD Cargo ("_s + motivo + u"): GUID "_s + p.chave +
                         u"; envie a tarefa de novo"_s);
}

} // namespace

bool avisaPendenteAntigo(Operacoes& op, const Pendente& p) {
    if (!p.enviado.isValid() || p.enviado.secsTo(op.agora()) <= 24 * 3600) return false;
    op.mensagem(u"O NDD Cargo não informa o resultado deste pedido há mais de 24 horas.|GUID: "_s + p.chave +
                u"|Enviado em "_s + p.enviado.toLocalTime().toString(u"dd/MM/yyyy HH:mm:ss"_s) +
                u"|O pedido assinado está guardado em|"_s + op.diario().arquivoDe(p.cnpj, p.chave) +
                u"|Consulte o NDD Cargo sobre este GUID antes de remover o arquivo; enquanto ele existir, "
                "o pedido não é enviado de novo."_s);
    return true;
}

std::optional<Pendente> pendenteDaTarefa(Operacoes& op) {
    const ContextoExecucao& ctx = op.ctx();
    for (const Pendente& p : op.diario().daEmpresa(ctx.CNPJ))
        if (p.tipo == TipoDocumento::DOT && daTarefa(ctx, p)) return p;
    return std::nullopt;
}

bool resolvePendenteTransporte(Operacoes& op, const Pendente& p) {
    ContextoExecucao& ctx = op.ctx();
    if (daTarefa(ctx, p)) return true;
    // Without a token every question is refused, which says nothing of the entry.
    if (op.cfg().TokenCiot.trimmed().isEmpty()) {
        op.Mostra_Status(u"Operação de transporte pendente não consultada, CIOT TOKEN em branco: GUID "_s +
                         p.chave);
        return false;
    }
    // The run's own values are put back afterwards: this is a side errand of another task.
    const ContextoExecucao daTarefaAtual = ctx;
    ctx.Tipo = TipoDocumento::DOT;
    ctx.CNPJ = p.cnpj;
    ctx.CHAVE = p.chave;
    ctx.LbXML = QStringList{p.assinado};
    op.Mostra_Status(u"Consultando operação de transporte pendente: GUID "_s + p.chave);
    TrocaNdd troca(op);
    op.ChamaWebService(Servico::Consultar);
    const QString resposta = primeira(ctx.LbRetorno);
    const bool respondeu = troca.respondeu();
    const DiarioEnvio diario = op.diario();
    // Refused while the service still takes this company's messages: it does not know the GUID.
    if (guidRecusado(resposta) && troca.aceitaMensagens()) {
        naoChegou(op, p, resposta);
    } else if (!temResultado(resposta)) {
        op.Mostra_Status(u"Operação de transporte pendente continua sem resultado: GUID "_s + p.chave);
        if (respondeu && !mensagemRecusada(resposta)) avisaPendenteAntigo(op, p);
    } else if (p.tarefa != kTarefaRecepcaoNdd) {
        op.Mostra_Status(u"Resultado do pedido pendente ("_s + p.tarefa + u' ' + p.operacao + u"): "_s +
                         valorNdd(resposta, u"codigo"_s) + u" - "_s + valorNdd(resposta, u"mensagem"_s));
        diario.encerra(p.cnpj, p.chave);
    } else if (falhaRecepcao(resposta)) {
        op.Mostra_Status(u"Operação de transporte pendente não registrada ("_s +
                         valorNdd(resposta, u"codigo"_s) + u" - "_s + valorNdd(resposta, u"mensagem"_s) +
                         u"): GUID "_s + p.chave);
        diario.encerra(p.cnpj, p.chave);
    } else {
        const QString nomeBase = p.arquivo.size() > 4 ? p.arquivo.chopped(4) : QString();
        const QString caminho = arquivaOperacaoNdd(op, p.assinado, troca.original(), nomeBase);
        if (!caminho.isEmpty()) {
            // The caller's document is done: left in place, its next run would register it again.
            // A file that now holds another operation is that operation's, to be sent.
            if (arquivoComAOperacao(p)) apagaArquivo(p.arquivo);
            diario.encerra(p.cnpj, p.chave);
            op.Mostra_Status(u"Operação de transporte pendente arquivada: "_s + caminho);
        }
    }
    ctx = daTarefaAtual;
    return respondeu;
}

} // namespace qel
