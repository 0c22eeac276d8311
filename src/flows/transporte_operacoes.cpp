// PAGAMENTO DOCUMENTO, CANCELAR DOCUMENTO and ROTA on a transport operation (kind DOT): the
// payment of an instalment, the cancellation of a registered operation, and a route query. The
// CIOT number and its verification code come from the stored operation of the task's key (or from
// the task). Each request goes under a new GUID and its result is asked for until it comes, a
// bounded number of times; a payment or cancellation is kept in the send journal meanwhile, so
// one whose result never came is asked for, not sent again. The result reaches the calling
// application as the answer file and a message; a route also as the route file.

#include "ciot/respostas_ndd.h"
#include "flows/apoio_fluxo.h"
#include "flows/fluxos.h"
#include "flows/operacoes.h"
#include "flows/transporte.h"
#include "util/arquivos.h"
#include "util/texto.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

enum class Pedido { Pagamento, Cancelamento, Rota };

// The route file the calling application reads.
const QString kArquivoRota = u"C:\\Qel\\test\\ConsultaRota.XML"_s;

class OperacaoNdd {
public:
    OperacaoNdd(Operacoes& op, Pedido pedido)
        : op_(op), ctx_(op.ctx()), diario_(op.diario()), troca_(op), pedido_(pedido) {}
    Passo executa();

private:
    void leOperacaoArquivada();
    Passo envia();
    Passo espera(bool jaRespondido);
    Passo decide();
    Passo desconhecido(const QString& motivo);
    QString nomeTarefa() const;

    Operacoes& op_;
    ContextoExecucao& ctx_;
    DiarioEnvio diario_;
    TrocaNdd troca_;
    Pedido pedido_;
    QString chave_; // the operation's key
    QString cnpj_;  // the company (a route query goes in another's name)
    QString guid_;
    bool registrado_ = false; // the request is in the journal
    QString substitui_;       // the GUID of an earlier send that never arrived: its entry goes
};

QString OperacaoNdd::nomeTarefa() const {
    return Maiusculo(ctx_.Tarefa);
}

// The CIOT number and verification code of the stored operation, when it is stored.
void OperacaoNdd::leOperacaoArquivada() {
    if (chave_.isEmpty()) return;
    const QString caminho = op_.arquivo().procura(chave_, TipoDocumento::DOT);
    if (caminho.isEmpty()) return;
    ctx_.LbXML = lerLinhas(caminho);
    const QString proc = ctx_.LbXML.join(QString());
    if (const QString numero = valorNdd(proc, u"numero"_s, u"ciot"_s); !numero.isEmpty())
        ctx_.NroInicial = numero;
    if (const QString codigo = valorNdd(proc, u"ciotCodVerificador"_s); !codigo.isEmpty())
        ctx_.NroFinal = codigo;
}

Passo OperacaoNdd::desconhecido(const QString& motivo) {
    op_.Mostra_Status(u"Resultado desconhecido: "_s + motivo);
    QString texto = u"O resultado não é conhecido:|"_s + motivo + u"|GUID: "_s + guid_;
    if (registrado_)
        texto += u"|O pedido assinado está guardado em|"_s + diario_.arquivoDe(cnpj_, guid_) +
                 u"|O NDD Cargo será consultado na próxima execução; não envie o pedido de novo."_s;
    op_.mensagem(texto);
    return {Desfecho::Recusada, {}};
}

Passo OperacaoNdd::envia() {
    if (!troca_.novoGuid()) return {Desfecho::Recusada, {}};
    if (!substitui_.isEmpty()) diario_.encerra(cnpj_, substitui_);
    guid_ = ctx_.CHAVE;
    OpcoesEnvio opcoes;
    // A payment or a cancellation changes the operation: it is kept until its result is known.
    if (pedido_ != Pedido::Rota) {
        opcoes.antesDoEnvio = [&](const QString& documento, const QString& guid) {
            Pendente p;
            p.chave = guid;
            p.tipo = TipoDocumento::DOT;
            p.cnpj = cnpj_;
            p.tarefa = nomeTarefa();
            p.operacao = chave_;
            p.enviado = op_.agora();
            p.situacao = u"enviado; resultado ainda não recebido"_s;
            p.assinado = documento;
            if (!diario_.registra(p)) {
                op_.mensagem(u"!!!ERRO!!!|Não foi possível guardar o pedido assinado antes do envio:|"_s +
                             diario_.arquivoDe(p.cnpj, p.chave) + u"|Nada foi enviado."_s);
                return false;
            }
            registrado_ = true;
            return true;
        };
    }
    const Servico servico = pedido_ == Pedido::Pagamento      ? Servico::Pagar
                            : pedido_ == Pedido::Cancelamento ? Servico::Cancelar
                                                              : Servico::Rota;
    if (!op_.ChamaWebService(servico, opcoes) || (pedido_ != Pedido::Rota && !registrado_))
        return {Desfecho::Recusada, {}};
    if (!troca_.respondeu())
        return desconhecido(u"não houve resposta do NDD Cargo ao pedido ("_s +
                            primeira(ctx_.LbRetorno).left(300) + u')');
    return espera(true);
}

// The result: in the answer at hand (a payment is answered at once, a route may be), or asked for
// until it comes or the questions run out.
Passo OperacaoNdd::espera(bool jaRespondido) {
    const bool rota = pedido_ == Pedido::Rota;
    // The GUID of an earlier run may be unknown to the service: its request never arrived.
    const auto chegou = [rota, jaRespondido](const QString& resposta) {
        return temResultado(resposta) || (rota && temRota(resposta)) ||
               (!jaRespondido && guidRecusado(resposta));
    };
    const QString resposta = primeira(ctx_.LbRetorno);
    const bool pronto = jaRespondido && (chegou(resposta) || mensagemRecusada(resposta));
    const ConfiguracaoRede& rede = op_.recursos().rede;
    if (!pronto && !troca_.aguarda(chegou, rota ? rede.pausaRotaMs : rede.pausaNddMs)) {
        if (!jaRespondido && troca_.respondeu() && !mensagemRecusada(primeira(ctx_.LbRetorno)))
            if (const std::optional<Pendente> p = diario_.procura(cnpj_, guid_)) avisaPendenteAntigo(op_, *p);
        return desconhecido(u"o NDD Cargo ainda não informou o resultado (ainda em processamento)"_s);
    }
    if (!jaRespondido && guidRecusado(primeira(ctx_.LbRetorno))) {
        op_.Mostra_Status(u"O NDD Cargo não conhece o GUID "_s + guid_ + u" ("_s +
                          valorNdd(primeira(ctx_.LbRetorno), u"ResponseCodeMessage"_s) +
                          u"): o pedido não chegou e será enviado de novo"_s);
        substitui_ = guid_;
        registrado_ = false;
        return envia();
    }
    return decide();
}

Passo OperacaoNdd::decide() {
    const QString resposta = primeira(ctx_.LbRetorno);
    if (falhaOperacao(resposta)) {
        mostraFalhaNdd(op_);
        if (!ctx_.ArquivoDocumento.isEmpty()) apagaArquivo(ctx_.ArquivoDocumento);
        if (registrado_) diario_.encerra(cnpj_, guid_);
        return {Desfecho::Recusada, {}};
    }
    if (pedido_ == Pedido::Rota) op_.Salva_Arquivo(caminhoNativo(kArquivoRota), ctx_.LbRetorno);
    if (registrado_) diario_.encerra(cnpj_, guid_);
    ctx_.CHAVE = chave_;
    // The calling application learns the result: the answer file and a message.
    const QString codigo = valorNdd(resposta, u"codigo"_s);
    const QString mensagem = valorNdd(resposta, u"mensagem"_s);
    op_.Mostra_Status(u"Resultado: "_s + codigo + u" - "_s + mensagem);
    op_.gravaRetorno();
    op_.EnviaMensagem(u"Documento"_s, ctx_.Tarefa.trimmed());
    op_.EnviaMensagem(u"Codigo"_s, codigo);
    op_.EnviaMensagem(u"Mensagem"_s, mensagem);
    op_.EnviaMensagem(u"Fim"_s, QString());
    return {};
}

Passo OperacaoNdd::executa() {
    if (!tokenNddConfigurado(op_)) return {Desfecho::Recusada, {}};
    chave_ = ctx_.CHAVE.trimmed();
    cnpj_ = ctx_.CNPJ;
    if (pedido_ != Pedido::Rota) leOperacaoArquivada();
    if (ctx_.Justificativa.trimmed().isEmpty()) ctx_.Justificativa = u"Preenchimento Incorreto"_s;
    if (pedido_ != Pedido::Rota &&
        (ctx_.NroInicial.trimmed().isEmpty() || ctx_.NroFinal.trimmed().isEmpty())) {
        op_.mensagem(u"A operação de transporte da chave \""_s + chave_ +
                     u"\" não está no arquivo e a tarefa não informa o CIOT (NROINICIAL) e o código "
                     "verificador (NROFINAL).|Nada foi enviado."_s);
        return {Desfecho::Recusada, {}};
    }
    op_.Mostra_Status(u"Preparando XML"_s);
    // The same request went out before and its result never came: it is asked for, not repeated.
    if (const std::optional<Pendente> antes = pendenteDaTarefa(op_)) {
        guid_ = antes->chave;
        registrado_ = true;
        ctx_.CHAVE = guid_;
        op_.Mostra_Status(u"Consultando pedido enviado antes: GUID "_s + guid_);
        return espera(false);
    }
    return envia();
}

} // namespace

Passo transporte(Operacoes& op) {
    const QString tarefa = Maiusculo(op.ctx().Tarefa);
    if (tarefa == u"PAGAMENTO DOCUMENTO"_s) return OperacaoNdd(op, Pedido::Pagamento).executa();
    if (tarefa == u"CANCELAR DOCUMENTO"_s) return OperacaoNdd(op, Pedido::Cancelamento).executa();
    if (tarefa == u"ROTA"_s) return OperacaoNdd(op, Pedido::Rota).executa();
    // An event of the state authorities has no counterpart for a transport operation.
    op.mensagem(u"A tarefa "_s + op.ctx().Tarefa.trimmed() +
                u" não se aplica a operações de transporte (NDD Cargo).|Nada foi enviado."_s);
    return {Desfecho::Recusada, {}};
}

} // namespace qel
