// INUTILIZAR: a range of numbers of one series voided at the authority (NF-e, NFC-e, CT-e). The
// request is checked and signed, its proc archived as "Inu" and its receipt printed. Also reached
// from the cancellation of a document that was never authorised.

#include "flows/apoio_fluxo.h"
#include "flows/evento_documento.h"
#include "flows/fluxos.h"
#include "flows/inutilizacao_documento.h"
#include "flows/operacoes.h"
#include "tarefa/chave.h"
#include "util/arquivos.h"
#include "util/tabelas.h"
#include "util/texto.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

TipoDocumento tipoDoModelo(const QString& modelo) {
    const QString m = modelo.trimmed();
    if (m == u"55"_s) return TipoDocumento::NFe;
    if (m == u"65"_s) return TipoDocumento::NFCe;
    if (m == u"57"_s || m == u"67"_s) return TipoDocumento::CTe;
    return TipoDocumento::Nenhum;
}

// Beside the document of the task's key; without a key, under the request's own Id in the
// month it was made.
QString destino(const Operacoes& op, const QString& id) {
    const ContextoExecucao& ctx = op.ctx();
    const ArquivoDocumentos arquivo = op.arquivo();
    const QString chave = ctx.CHAVE.trimmed();
    if (chave.size() == 44) return arquivo.irmao(ctx.CNPJ, chave, u"Inu"_s);
    const QString hoje = dataHoraDoEstado(op.agora(), Converte_UF(ctx.cUF.trimmed()));
    return arquivo.pastaEmpresa(ctx.CNPJ) + hoje.mid(2, 2) + u'-' + hoje.mid(5, 2) + u'/' + id +
           u"-Inu.xml"_s;
}

void imprimeRecibo(Operacoes& op, const QString& caminho) {
    op.imprimeDepoisDeArquivar(
        caminho, TipoDocumento::Evento,
        u"A inutilização foi homologada e arquivada, mas o comprovante não foi impresso"_s);
}

} // namespace

Passo inutiliza(Operacoes& op) {
    ContextoExecucao& ctx = op.ctx();
    for (const QString* valor :
         {&ctx.Justificativa, &ctx.NroInicial, &ctx.NroFinal, &ctx.Modelo, &ctx.Serie, &ctx.Ano})
        if (valor->trimmed().isEmpty()) {
            op.Mostra_Status(
                u"Inutilização sem justificativa, faixa, modelo, série ou ano: nada foi enviado"_s);
            return {Desfecho::Recusada, {}};
        }
    if (ctx.Tipo == TipoDocumento::Nenhum) ctx.Tipo = tipoDoModelo(ctx.Modelo);
    if (ctx.cUF.trimmed().isEmpty() && ctx.CHAVE.trimmed().size() == 44)
        ctx.cUF = cufDaChave(ctx.CHAVE.trimmed());
    if (ctx.CNPJ.trimmed().isEmpty() && ctx.CHAVE.trimmed().size() == 44)
        ctx.CNPJ = cnpjDaChave(ctx.CHAVE.trimmed());

    PedidoInutilizacao pedido;
    pedido.tipo = ctx.Tipo;
    pedido.ambiente = ctx.ambiente;
    pedido.cUF = ctx.cUF;
    pedido.ano = ctx.Ano;
    pedido.cnpj = ctx.CNPJ;
    pedido.modelo = ctx.Modelo;
    pedido.serie = ctx.Serie;
    pedido.numeroInicial = ctx.NroInicial;
    pedido.numeroFinal = ctx.NroFinal;
    pedido.justificativa = ctx.Justificativa;
    const DocumentoInutilizacao documento = montaInutilizacao(pedido);
    if (!documento.recusa.isEmpty()) {
        op.Mostra_Status(u"Inutilização não enviada: "_s + documento.recusa);
        op.mensagem(documento.recusa + u"|Nada foi enviado à SEFAZ."_s);
        return {Desfecho::Recusada, {}};
    }

    op.Mostra_Status(u"Preparando XML"_s);
    ctx.LbXML = QStringList{documento.xml};
    if (!op.ChamaWebService(Servico::Inutilizar)) return {Desfecho::Recusada, {}};
    const QString resposta = primeira(ctx.LbRetorno);
    const QString situacao = cStatDe(resposta);
    const QString caminho = destino(op, documento.id);

    if (situacao.isEmpty()) {
        op.Mostra_Status(u"Resultado desconhecido: não houve resposta da SEFAZ"_s);
        op.mensagem(
            u"O resultado do pedido de inutilização não é conhecido:|não houve resposta da SEFAZ ("_s +
            resposta.left(300) +
            u")|Envie a mesma tarefa de novo: uma faixa já inutilizada é informada pela SEFAZ."_s);
        return {Desfecho::Recusada, {}};
    }
    if (situacao == u"563"_s) {
        // The range was voided by an earlier request: its receipt, when archived, is printed again.
        op.Mostra_Mensagem(ModoResultado::ApresentaResultado, u"cStat"_s, u"xMotivo"_s, QString());
        if (existeArquivo(caminho)) imprimeRecibo(op, localizaCaminho(caminho));
        return {Desfecho::Concluida, {}};
    }
    if (situacao != u"102"_s) {
        op.Mostra_Mensagem(ModoResultado::ApresentaResultado, u"cStat"_s, u"xMotivo"_s, QString());
        if (!ctx.ArquivoDocumento.isEmpty()) {
            apagaArquivo(ctx.ArquivoDocumento);
            apagaArquivo(ctx.ArquivoDocumento.chopped(3) + u"EML"_s);
        }
        return {Desfecho::Recusada, {}};
    }
    const std::optional<QString> proc =
        montaProcInutilizacao(ctx.Tipo, primeira(ctx.LbXML), op.respostaOriginal());
    if (!proc) {
        op.mensagem(u"A SEFAZ homologou a inutilização (cStat 102), mas a resposta não trouxe o seu registro "
                    "(retInut); nada foi arquivado."_s);
        return {Desfecho::Recusada, {}};
    }
    op.Mostra_Status(u"Armazenando Arquivos"_s);
    if (!ArquivoDocumentos::grava(caminho, *proc)) {
        // The authority gives this registration once: a request sent again only says the range
        // is voided. So it is kept in the local folder rather than lost.
        const QString reserva = ctx.PastaLocal + caminho.section(u'/', -1);
        const bool guardado = ArquivoDocumentos::grava(reserva, *proc);
        op.mensagem(u"!!!ERRO!!!|A inutilização foi homologada, mas não foi possível gravar o arquivo:|"_s +
                    caminho + u"|Verifique permissões de aplicativo, pasta e usuários."_s +
                    (guardado ? u"|O registro foi guardado em "_s + reserva : QString()));
        return {Desfecho::Recusada, {}};
    }
    ctx.LbXML = QStringList{*proc};
    imprimeRecibo(op, caminho);
    return {Desfecho::Concluida, {}};
}

} // namespace qel
