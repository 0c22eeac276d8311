// CONSULTAR DOCUMENTO, CONSULTAR CCE, CONSULTAR ARQUIVO, CADASTRO, NAO ENCERRADOS: questions to the
// authorities that change nothing there. The answers are shown, kept as the caller's answer file,
// or (the correction letters) archived as the authority wrote them.

#include "flows/apoio_fluxo.h"
#include "flows/evento_documento.h"
#include "flows/fluxos.h"
#include "flows/operacoes.h"
#include "flows/proc.h"
#include "tarefa/chave.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// The consultation of the task's document; false, after saying why, when nothing was asked.
bool consulta(Operacoes& op) {
    ContextoExecucao& ctx = op.ctx();
    if (ctx.Tipo == TipoDocumento::NFSe || ctx.Tipo == TipoDocumento::DOT) {
        indisponivel(op);
        return false;
    }
    if (!ehSefaz(ctx.Tipo)) {
        op.mensagem(u"Chave de acesso não informada ou de modelo desconhecido: \""_s + ctx.CHAVE.trimmed() +
                    u"\"|Nada foi consultado."_s);
        return false;
    }
    // The document is asked of the authority of its key's state.
    if (ctx.cUF.trimmed().isEmpty()) ctx.cUF = cufDaChave(ctx.CHAVE.trimmed());
    return op.ChamaWebService(Servico::Consultar);
}

Passo respondido(const Operacoes& op) {
    return {cStatDe(primeira(op.ctx().LbRetorno)).isEmpty() ? Desfecho::Recusada : Desfecho::Concluida, {}};
}

// A query that did not go out. The caller waits for the answer file: one the schema refused (a
// state or document of the task that the layout does not take) leaves it the reasons.
Passo semResposta(Operacoes& op) {
    if (op.recusadoPeloEsquema()) op.gravaRetorno();
    return {Desfecho::Recusada, {}};
}

} // namespace

Passo consultaDocumento(Operacoes& op) {
    if (!consulta(op)) return {Desfecho::Recusada, {}};
    op.Mostra_Mensagem(ModoResultado::ApresentaResultado, u"cStat"_s, u"xMotivo"_s, QString());
    return respondido(op);
}

Passo consultaArquivo(Operacoes& op) {
    if (!consulta(op)) return {Desfecho::Recusada, {}};
    op.Mostra_Status(u"Processando Retorno"_s);
    const ContextoExecucao& ctx = op.ctx();
    op.Salva_Arquivo(ctx.PastaLocal + ctx.CHAVE.trimmed() + u".Qel"_s, ctx.LbRetorno);
    return respondido(op);
}

Passo consultaCCe(Operacoes& op) {
    if (!consulta(op)) return {Desfecho::Recusada, {}};
    op.Mostra_Status(u"Processando Retorno"_s);
    const ContextoExecucao& ctx = op.ctx();
    const ArquivoDocumentos arquivo = op.arquivo();
    int arquivadas = 0;
    // The authority's own bytes: a letter stored from the cleaned answer would not verify.
    for (const QString& proc : procsEventoDaResposta(ctx.Tipo, op.respostaOriginal())) {
        if (valorElemento(proc, u"tpEvento"_s).trimmed() != u"110110"_s) continue;
        const int sequencia = valorElemento(proc, u"nSeqEvento"_s).trimmed().toInt();
        if (sequencia < 1) continue;
        const QString caminho = arquivo.cartaCorrecao(ctx.CNPJ, ctx.CHAVE.trimmed(), sequencia);
        if (ArquivoDocumentos::grava(caminho, proc)) {
            ++arquivadas;
            op.Mostra_Status(u"Carta de correção arquivada: "_s + caminho);
        } else {
            op.mensagem(u"!!!ERRO!!!|Não foi possível salvar o arquivo.|Verifique permissões de aplicativo, "
                        "pasta e usuários.|"_s +
                        caminho);
        }
    }
    op.Mostra_Status(u"Cartas de correção arquivadas: "_s + QString::number(arquivadas));
    return respondido(op);
}

Passo cadastro(Operacoes& op) {
    const ContextoExecucao& ctx = op.ctx();
    if (ctx.UF_Consulta.trimmed().isEmpty() || ctx.Doc_Consulta.trimmed().isEmpty()) {
        op.mensagem(
            u"A consulta ao cadastro precisa da UF (CONSULTA UF) e do CNPJ, CPF ou inscrição estadual "
            "(CONSULTA DC) do contribuinte.|Nada foi consultado."_s);
        return {Desfecho::Recusada, {}};
    }
    if (!op.ChamaWebService(Servico::Cadastro)) return semResposta(op);
    op.gravaRetorno();
    return respondido(op);
}

Passo naoEncerrados(Operacoes& op) {
    if (!op.ChamaWebService(Servico::NaoEncerrados)) return semResposta(op);
    op.gravaRetorno();
    return respondido(op);
}

} // namespace qel
