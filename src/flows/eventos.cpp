// CANCELAR DOCUMENTO, ENCERRAMENTO, CARTA DE CORRECAO, MANIFESTAR: an event registered against a
// document. The event is built from the task and the archived document, checked, signed and
// sent; the event proc is archived, and the receipt printed and mailed when the event has one.
// An event the authority already holds (a second send after an answer that never arrived) is
// fetched by consulting the document, so sending a task again is always safe.

#include "flows/apoio_fluxo.h"
#include "flows/evento_documento.h"
#include "flows/fluxos.h"
#include "flows/nfse.h"
#include "flows/operacoes.h"
#include "flows/proc.h"
#include "tarefa/chave.h"
#include "util/arquivos.h"
#include "util/numeros.h"
#include "util/posicoes.h"
#include "util/tabelas.h"
#include "util/texto.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

struct TarefaEvento {
    const char16_t* tarefa;
    TipoEvento evento;
};
constexpr TarefaEvento kTarefas[] = {
    {u"CANCELAR DOCUMENTO", TipoEvento::Cancelamento},
    {u"ENCERRAMENTO", TipoEvento::Encerramento},
    {u"CARTA DE CORRECAO", TipoEvento::CartaCorrecao},
    {u"MANIFESTAR", TipoEvento::Manifestacao},
};

// Answers that say the event, or the state it leads to, exists already.
const QStringList kJaRegistrado{u"218"_s, u"573"_s, u"631"_s};

class FluxoEvento {
public:
    FluxoEvento(Operacoes& op, TipoEvento evento) : op_(op), ctx_(op.ctx()), evento_(evento) {}
    Passo executa();

private:
    std::optional<Passo> prepara();
    Passo paraInutilizacao();
    int sequencia(QString& recusa) const;
    Passo recusa(const QString& texto);
    Passo rejeitado();
    Passo desconhecido(const QString& motivo);
    Passo registrado(const QString& proc);
    Passo jaRegistrado(const QString& respostaEvento);
    Passo entrega(const QString& caminho);
    QString destino() const;
    QString uf() const;

    Operacoes& op_;
    ContextoExecucao& ctx_;
    TipoEvento evento_;
    PedidoEvento pedido_;
};

QString FluxoEvento::uf() const {
    if (Converte_UF(ctx_.UF.trimmed()).size() == 2) return ctx_.UF.trimmed();
    return Converte_UF(cufDaChave(ctx_.CHAVE));
}

int FluxoEvento::sequencia(QString& recusa) const {
    if (evento_ != TipoEvento::CartaCorrecao) return 1;
    const QString pedida = ctx_.Seq_Evento.trimmed();
    if (pedida.isEmpty()) {
        // Without a sequence in the task, the letter follows the last one archived.
        const QList<int> anteriores = op_.arquivo().sequenciasCCe(ctx_.CHAVE);
        return anteriores.isEmpty() ? 1 : anteriores.last() + 1;
    }
    bool ok = false;
    const int n = pedida.toInt(&ok);
    if (!ok) recusa = u"Sequência do evento inválida: \""_s + pedida + u'"';
    return ok ? n : 0;
}

std::optional<Passo> FluxoEvento::prepara() {
    ctx_.CHAVE = ctx_.CHAVE.trimmed();
    const TipoDocumento tipo = ctx_.Tipo;
    PedidoEvento& p = pedido_;
    p.evento = evento_;
    p.tipo = tipo;
    p.chave = ctx_.CHAVE;
    p.cnpj = ctx_.CNPJ;
    p.ambiente = ctx_.ambiente;
    p.codigo = codigoEvento(evento_, ctx_.TpEvento);
    p.justificativa = ctx_.Justificativa;
    p.correcoes = ctx_.Tb_Correcao;
    p.condicaoUso = ctx_.CCe_Condicao;
    const QString dhEvento = dataHoraDoEstado(op_.agora(), uf());
    p.dhEvento = dhEvento;
    // The event goes to the authority of the key's state when the task names none.
    if (ctx_.cUF.trimmed().isEmpty()) ctx_.cUF = cufDaChave(ctx_.CHAVE);
    p.dataEncerramento = dhEvento.left(10);

    const bool manifestacaoNFe =
        evento_ == TipoEvento::Manifestacao && (tipo == TipoDocumento::NFe || tipo == TipoDocumento::NFCe);
    // The recipient's events go to the national environment; a CT-e taker's to the CT-e's state.
    const QString cUF = ctx_.cUF.trimmed();
    if (manifestacaoNFe)
        p.cOrgao = u"91"_s;
    else if (evento_ == TipoEvento::Manifestacao || cUF.size() != 2)
        p.cOrgao = cufDaChave(ctx_.CHAVE);
    else
        p.cOrgao = cUF;

    if (evento_ == TipoEvento::Cancelamento || evento_ == TipoEvento::Encerramento) {
        const std::optional<DadosArquivados> dados = op_.arquivo().dados(ctx_.CHAVE, tipo);
        if (dados) {
            p.protocolo = dados->protocolo;
            ctx_.UFEncerramento = dados->ufEncerramento;
            ctx_.MunEncerramento = dados->munEncerramento;
        }
        // The task's own protocol stands in for a document archived elsewhere.
        if (p.protocolo.isEmpty()) p.protocolo = ctx_.Protocolo.trimmed();
        // A document that is in no archive and has no protocol was never authorised: its number
        // is voided instead.
        if (!dados && p.protocolo.isEmpty() && evento_ == TipoEvento::Cancelamento) return paraInutilizacao();
        p.ufEncerramento = ctx_.UFEncerramento.trimmed();
        p.munEncerramento = ctx_.MunEncerramento.trimmed();
    }
    QString erro;
    p.sequencia = sequencia(erro);
    if (!erro.isEmpty()) return recusa(erro);
    ctx_.Seq_Evento = QString::number(p.sequencia);
    return std::nullopt;
}

Passo FluxoEvento::paraInutilizacao() {
    const QString& chave = ctx_.CHAVE;
    ctx_.NroInicial = Copia(chave, 26, 9);
    ctx_.NroFinal = ctx_.NroInicial;
    ctx_.Modelo = Copia(chave, 21, 2);
    ctx_.Serie = Copia(chave, 23, 3);
    ctx_.Ano = Copia(chave, 3, 2);
    if (Maiusculo(ctx_.Justificativa) == u"PREENCHIMENTO INCORRETO"_s)
        ctx_.Justificativa = u"Inutilizado por erro detectado antes da transmissao"_s;
    return {Desfecho::Concluida, u"Inutilizar"_s};
}

QString FluxoEvento::destino() const {
    const ArquivoDocumentos arquivo = op_.arquivo();
    switch (evento_) {
    case TipoEvento::CartaCorrecao:
        return arquivo.cartaCorrecao(ctx_.CNPJ, ctx_.CHAVE, pedido_.sequencia);
    case TipoEvento::Manifestacao: {
        // Without the task's month the manifestation goes under the month it was made in.
        QString anoMes = ctx_.Ano_Mes.trimmed();
        if (anoMes.isEmpty()) anoMes = pedido_.dhEvento.mid(2, 2) + u'-' + pedido_.dhEvento.mid(5, 2);
        return arquivo.manifestacao(ctx_.CNPJ, anoMes, ctx_.CHAVE, sufixoManifestacao(pedido_.codigo));
    }
    case TipoEvento::Cancelamento:
        return arquivo.irmao(ctx_.CNPJ, ctx_.CHAVE, u"can"_s);
    case TipoEvento::Encerramento:
        return arquivo.irmao(ctx_.CNPJ, ctx_.CHAVE, u"enc"_s);
    }
    return {};
}

Passo FluxoEvento::recusa(const QString& texto) {
    op_.Mostra_Status(u"Evento não enviado: "_s + texto);
    op_.mensagem(texto + u"|Nada foi enviado à SEFAZ."_s);
    return {Desfecho::Recusada, {}};
}

Passo FluxoEvento::rejeitado() {
    op_.Mostra_Mensagem(ModoResultado::ApresentaResultado, u"cStat"_s, u"xMotivo"_s, QString());
    if (!ctx_.ArquivoDocumento.isEmpty()) {
        apagaArquivo(ctx_.ArquivoDocumento);
        apagaArquivo(ctx_.ArquivoDocumento.chopped(3) + u"EML"_s);
    }
    if (!ctx_.NomeBase.isEmpty()) apagaArquivo(ctx_.NomeBase + u".EML"_s);
    return {Desfecho::Recusada, {}};
}

Passo FluxoEvento::desconhecido(const QString& motivo) {
    op_.Mostra_Status(u"Resultado desconhecido: "_s + motivo);
    op_.mensagem(u"O resultado do envio do evento não é conhecido:|"_s + motivo + u"|Chave: "_s + ctx_.CHAVE +
                 u"|Envie a mesma tarefa de novo: um evento que a SEFAZ já registrou é reconhecido e "
                 "arquivado."_s);
    return {Desfecho::Recusada, {}};
}

Passo FluxoEvento::entrega(const QString& caminho) {
    ctx_.LbXML = QStringList{lerTexto(caminho)};
    const TipoDocumento tipo = ctx_.Tipo;
    const bool comRecibo = evento_ != TipoEvento::Encerramento && evento_ != TipoEvento::Manifestacao &&
                           tipo != TipoDocumento::MDFe && tipo != TipoDocumento::DOT;
    if (comRecibo) {
        const QString pdfDaTarefa = ctx_.NomePDF.trimmed();
        op_.imprimeDepoisDeArquivar(
            caminho, TipoDocumento::Evento,
            u"O evento foi registrado e arquivado, mas o comprovante não foi impresso"_s);
        ctx_.Tipo = tipo;
        op_.Mostra_Status(u"Enviando Email"_s);
        op_.Envia_Email(caminho, ctx_.NomePDF);
        // The receipt's own PDF goes once mailed; one the task asked for by name is the caller's.
        if (pdfDaTarefa.isEmpty() && !ctx_.NomePDF.trimmed().isEmpty())
            apagaArquivo(caminhoNativo(ctx_.NomePDF.trimmed()));
    }
    op_.limpaTemporarios();
    return {Desfecho::Concluida, {}};
}

Passo FluxoEvento::registrado(const QString& proc) {
    const QString caminho = destino();
    op_.Mostra_Status(u"Armazenando Arquivos"_s);
    if (!ArquivoDocumentos::grava(caminho, proc)) {
        op_.mensagem(
            u"!!!ERRO!!!|O evento foi registrado pela SEFAZ, mas não foi possível gravar o arquivo:|"_s +
            caminho +
            u"|Verifique permissões de aplicativo, pasta e usuários e envie a mesma tarefa de novo "
            "para arquivá-lo."_s);
        return {Desfecho::Recusada, {}};
    }
    return entrega(caminho);
}

Passo FluxoEvento::jaRegistrado(const QString& respostaEvento) {
    const QString caminho = destino();
    if (existeArquivo(caminho) && lerTexto(caminho).contains(u"<nProt>"_s)) {
        op_.Mostra_Status(u"Evento já registrado e arquivado: "_s + localizaCaminho(caminho));
        return entrega(localizaCaminho(caminho));
    }
    // The registration is fetched from the authority: never a proc without its protocol.
    op_.Mostra_Status(u"Evento já registrado; consultando o documento"_s);
    const QStringList evento = ctx_.LbXML;
    std::optional<QString> achado;
    if (op_.ChamaWebService(Servico::Consultar)) {
        for (const QString& proc : procsEventoDaResposta(ctx_.Tipo, op_.respostaOriginal())) {
            if (valorElemento(proc, u"tpEvento"_s).trimmed() == pedido_.codigo &&
                valorElemento(proc, u"nSeqEvento"_s).trimmed().toInt() == pedido_.sequencia &&
                proc.contains(u"<nProt>"_s))
                achado = proc;
        }
    }
    ctx_.LbXML = evento;
    if (achado) return registrado(*achado);
    ctx_.LbRetorno = QStringList{respostaEvento};
    op_.Mostra_Mensagem(ModoResultado::ApresentaResultado, u"cStat"_s, u"xMotivo"_s, QString());
    op_.mensagem(u"A SEFAZ informa que o evento já está registrado, mas a consulta do documento não trouxe o "
                 "registro; nada foi arquivado.|Chave: "_s +
                 ctx_.CHAVE);
    return {Desfecho::Recusada, {}};
}

Passo FluxoEvento::executa() {
    const TipoDocumento tipo = ctx_.Tipo;
    if (tipo == TipoDocumento::DOT) return transporte(op_);
    if (tipo == TipoDocumento::NFSe) return cancelamentoNfse(op_);
    if (!ehSefaz(tipo))
        return recusa(u"Chave de acesso não informada ou de modelo desconhecido: \""_s +
                      ctx_.CHAVE.trimmed() + u'"');
    if (std::optional<Passo> passo = prepara()) return *passo;
    const DocumentoEvento documento = montaEvento(pedido_);
    if (!documento.recusa.isEmpty()) return recusa(documento.recusa);

    op_.Mostra_Status(u"Preparando XML"_s);
    ctx_.LbXML = QStringList{documento.xml};
    if (!op_.ChamaWebService(Servico::Evento)) return {Desfecho::Recusada, {}};
    const QString resposta = primeira(ctx_.LbRetorno);
    const QString situacao = cStatDe(resposta);
    if (situacao.isEmpty())
        return desconhecido(u"não houve resposta da SEFAZ ("_s + resposta.left(300) + u')');
    const int numero = situacao.toInt();
    if (kJaRegistrado.contains(situacao)) return jaRegistrado(resposta);
    if (numero >= 200 || numero == 108) return rejeitado();
    const std::optional<QString> proc = montaProcEvento(tipo, primeira(ctx_.LbXML), op_.respostaOriginal());
    if (!proc) return desconhecido(u"a resposta não trouxe o registro do evento (cStat "_s + situacao + u')');
    return registrado(*proc);
}

} // namespace

Passo evento(Operacoes& op) {
    const QString tarefa = Maiusculo(op.ctx().Tarefa);
    for (const TarefaEvento& t : kTarefas)
        if (tarefa == QStringView(t.tarefa)) return FluxoEvento(op, t.evento).executa();
    return tarefaNaoReconhecida(op);
}

} // namespace qel
