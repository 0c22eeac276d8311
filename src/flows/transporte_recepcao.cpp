// RECEPCAO of a transport operation (kind DOT): the CIOT operation or toll-voucher operation the
// calling application dropped is registered with the NDD Cargo service. A GUID is asked for, the
// operation is signed and sent under it, and its result asked for with the GUID, a bounded number
// of times. A registered operation is given its key, stored as ciotProc (tagProc for a toll
// voucher) and, a CIOT operation, printed. Before the send the signed operation is kept in the
// send journal with its GUID: a result that never came is asked for at the next run, and the
// operation is never sent twice.

#include "ciot/pedidos_ndd.h"
#include "ciot/respostas_ndd.h"
#include "flows/apoio_fluxo.h"
#include "flows/fluxos.h"
#include "flows/operacoes.h"
#include "flows/transporte.h"
#include "util/arquivos.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

class RecepcaoNdd {
public:
    explicit RecepcaoNdd(Operacoes& op) : op_(op), ctx_(op.ctx()), diario_(op.diario()), troca_(op) {}
    Passo executa();

private:
    enum Tipo {
        NaoEnviado,   // stopped before anything left
        NaoChegou,    // the service does not know the GUID it was sent under: it never arrived
        Desconhecido, // no result: the journal keeps the operation
        Falhou,       // the service did not register it
        Registrado,
    };
    struct Resultado {
        Tipo tipo;
        QString motivo; // why the result is unknown
    };

    // `substitui`: the GUID of an earlier send that never arrived, whose entry goes once a new
    // GUID is at hand.
    Resultado envia(const QString& substitui = {});
    Resultado espera(bool jaRespondido);
    Passo desconhecido(const QString& motivo);
    Passo falhou();
    Passo registrado();

    Operacoes& op_;
    ContextoExecucao& ctx_;
    DiarioEnvio diario_;
    TrocaNdd troca_;
    QString guid_;
    QString pedido_; // the operation as it was sent (the lot, or the toll-voucher request)
};

RecepcaoNdd::Resultado RecepcaoNdd::envia(const QString& substitui) {
    if (!troca_.novoGuid()) return {NaoEnviado, {}};
    if (!substitui.isEmpty()) diario_.encerra(ctx_.CNPJ, substitui);
    guid_ = ctx_.CHAVE;
    bool registrado = false;
    OpcoesEnvio opcoes;
    opcoes.antesDoEnvio = [&](const QString& documento, const QString& guid) {
        Pendente p;
        p.chave = guid;
        p.tipo = TipoDocumento::DOT;
        p.cnpj = ctx_.CNPJ;
        p.tarefa = kTarefaRecepcaoNdd;
        p.arquivo = ctx_.ArquivoDocumento;
        p.enviado = op_.agora();
        p.situacao = u"enviado; resultado ainda não recebido"_s;
        p.assinado = documento;
        if (!diario_.registra(p)) {
            op_.mensagem(u"!!!ERRO!!!|Não foi possível guardar a operação assinada antes do envio:|"_s +
                         diario_.arquivoDe(p.cnpj, p.chave) + u"|Nada foi enviado."_s);
            return false;
        }
        registrado = true;
        return true;
    };
    if (!op_.ChamaWebService(Servico::Recepcao, opcoes) || !registrado) return {NaoEnviado, {}};
    pedido_ = primeira(ctx_.LbXML);
    op_.Mostra_Status(u"Preparando para Consultar"_s);
    if (!troca_.respondeu())
        return {Desconhecido,
                u"não houve resposta do NDD Cargo ao envio ("_s + primeira(ctx_.LbRetorno).left(300) + u')'};
    return espera(true);
}

// The result of the GUID: in the answer at hand, or asked for until it comes or the questions
// run out. The GUID of an earlier run may be unknown to the service (its send never arrived).
RecepcaoNdd::Resultado RecepcaoNdd::espera(bool jaRespondido) {
    const QString resposta = primeira(ctx_.LbRetorno);
    // A message the service refused was not taken: nothing will come under its GUID.
    const bool pronto = jaRespondido && (temResultado(resposta) || mensagemRecusada(resposta));
    const auto chegou = [jaRespondido](const QString& r) {
        return temResultado(r) || (!jaRespondido && guidRecusado(r));
    };
    if (!pronto && !troca_.aguarda(chegou, op_.recursos().rede.pausaNddMs))
        return {Desconhecido,
                u"o NDD Cargo ainda não informou o resultado da operação (GUID "_s + guid_ + u')'};
    if (!jaRespondido && guidRecusado(primeira(ctx_.LbRetorno))) return {NaoChegou, {}};
    return {falhaRecepcao(primeira(ctx_.LbRetorno)) ? Falhou : Registrado, {}};
}

Passo RecepcaoNdd::desconhecido(const QString& motivo) {
    op_.Mostra_Status(u"Resultado desconhecido: "_s + motivo);
    op_.mensagem(u"O resultado do envio não é conhecido:|"_s + motivo + u"|GUID: "_s + guid_ +
                 u"|A operação assinada está guardada em|"_s + diario_.arquivoDe(ctx_.CNPJ, guid_) +
                 u"|O NDD Cargo será consultado na próxima execução; não envie a operação de novo."_s);
    return {Desfecho::Recusada, {}};
}

Passo RecepcaoNdd::falhou() {
    mostraFalhaNdd(op_);
    if (!ctx_.ArquivoDocumento.isEmpty()) apagaArquivo(ctx_.ArquivoDocumento);
    diario_.encerra(ctx_.CNPJ, guid_);
    return {Desfecho::Recusada, {}};
}

Passo RecepcaoNdd::registrado() {
    const bool valePedagio = ehValePedagio(pedido_);
    const QString cnpj = ctx_.CNPJ;
    const QString caminho = arquivaOperacaoNdd(op_, pedido_, troca_.original(), ctx_.NomeBase);
    // Until the proc is on disk the caller's document and the journal entry are its only copies.
    if (caminho.isEmpty()) return {Desfecho::Recusada, {}};
    if (!ctx_.ArquivoDocumento.isEmpty()) apagaArquivo(ctx_.ArquivoDocumento);
    diario_.encerra(cnpj, guid_);
    ctx_.ArquivoDocumento = caminho;
    op_.Mostra_Status(u"Operação de transporte registrada: "_s + ctx_.CHAVE);

    // A toll voucher has no printout.
    if (valePedagio)
        op_.Mostra_Status(u"Imprimindo"_s);
    else
        op_.imprimeDepoisDeArquivar(caminho, TipoDocumento::DOT,
                                    u"A operação foi registrada e arquivada, mas não foi impressa"_s);
    op_.limpaTemporarios();
    return {};
}

Passo RecepcaoNdd::executa() {
    if (!tokenNddConfigurado(op_)) return {Desfecho::Recusada, {}};
    op_.Mostra_Status(u"Preparando XML"_s);
    Resultado r{NaoEnviado, {}};
    // This document went out before and its result never came: the service is asked for it; the
    // operation is sent a second time only when the service does not know that GUID.
    if (const std::optional<Pendente> antes = pendenteDaTarefa(op_)) {
        const QStringList documento = ctx_.LbXML;
        guid_ = antes->chave;
        pedido_ = antes->assinado;
        ctx_.CHAVE = guid_;
        ctx_.LbXML = QStringList{pedido_};
        op_.Mostra_Status(u"Consultando operação enviada antes: GUID "_s + guid_);
        r = espera(false);
        if (r.tipo == NaoChegou) {
            op_.Mostra_Status(u"O NDD Cargo não conhece o GUID "_s + guid_ + u" ("_s +
                              valorNdd(primeira(ctx_.LbRetorno), u"ResponseCodeMessage"_s) +
                              u"): a operação não chegou e será enviada de novo"_s);
            ctx_.LbXML = documento;
            r = envia(antes->chave);
        } else if (r.tipo == Desconhecido && troca_.respondeu() &&
                   !mensagemRecusada(primeira(ctx_.LbRetorno))) {
            avisaPendenteAntigo(op_, *antes);
        }
    } else {
        r = envia();
    }
    switch (r.tipo) {
    case NaoEnviado:
    case NaoChegou:
        return {Desfecho::Recusada, {}};
    case Desconhecido:
        return desconhecido(r.motivo);
    case Falhou:
        return falhou();
    case Registrado:
        break;
    }
    return registrado();
}

} // namespace

Passo recepcaoTransporte(Operacoes& op) {
    return RecepcaoNdd(op).executa();
}

} // namespace qel
