#include "flows/despacho.h"

#include "flows/autorizacao.h"
#include "flows/contingencia.h"
#include "flows/fluxos.h"
#include "flows/operacoes.h"
#include "util/erros.h"
#include "util/texto.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

using enum TipoDocumento;

constexpr LinhaDespacho kTabela[] = {
    {u"CONFIGURAR", false, configura, Nenhum, false},
    {u"VALIDADE DO CERTIFICADO", true, validadeCertificado},
    {u"IMPRIMIR", false, imprimeOuExporta, Nenhum, false, true},
    {u"GERAR PDF", false, imprimeOuExporta, Nenhum, false, true},
    {u"CONSULTAR SERVICO (NFE)", false, consultaServico, NFe},
    {u"CONSULTAR SERVICO (CTE)", false, consultaServico, CTe},
    {u"CONSULTAR SERVICO (MDFE)", false, consultaServico, MDFe},
    {u"CONSULTAR DOCUMENTO", false, consultaDocumento},
    {u"CONSULTAR CCE", false, consultaCCe},
    {u"CONSULTAR ARQUIVO", false, consultaArquivo},
    {u"DOWNLOAD", false, download},
    {u"CADASTRO", false, cadastro},
    {u"NAO ENCERRADOS", false, naoEncerrados, MDFe},
    {u"INUTILIZAR", false, inutiliza, Nenhum, true, true},
    {u"CANCELAR DOCUMENTO", false, evento, Nenhum, true, true},
    {u"ENCERRAMENTO", false, evento},
    {u"CARTA DE CORRECAO", false, evento, Nenhum, true, true},
    {u"MANIFESTAR", false, evento},
    {u"ROTA", false, transporte, DOT},
    {u"PAGAMENTO DOCUMENTO", false, transporte, DOT},
    {u"RECEPCAO", false, recepcao, Nenhum, true, true},
    {u"TRANSMITIR PENDENTES", false, transmitePendentes, Nenhum, true, true},
};

// Flows may hand the task over to another flow; more hand-overs than this would be a loop.
constexpr int kMaximoPassagens = 4;

} // namespace

std::span<const LinhaDespacho> tabelaDespacho() {
    return kTabela;
}

const LinhaDespacho* linhaDaTarefa(const QString& tarefa) {
    const QString nome = Maiusculo(tarefa);
    for (const LinhaDespacho& linha : kTabela) {
        const QStringView alvo(linha.tarefa.data(), static_cast<qsizetype>(linha.tarefa.size()));
        if (linha.prefixo ? nome.startsWith(alvo) : nome == alvo) return &linha;
    }
    return nullptr;
}

Desfecho despacha(Operacoes& op) {
    ContextoExecucao& ctx = op.ctx();
    const LinhaDespacho* primeira = linhaDaTarefa(ctx.Tarefa);
    if (!primeira || primeira->certificado) {
        const bool servico =
            ctx.Tipo == TipoDocumento::NFSe && !op.cfg().Certificado_NFSe.trimmed().isEmpty();
        op.Selecionar_Certificado(servico ? UsoCertificado::Servico : UsoCertificado::Documentos, false);
    }
    op.carregaDadosEmpresa();
    // Documents of the company sent before without a known result are settled first; the one
    // this task authorises is settled by its own flow.
    // Offline or in EPEC the state's authoriser is out of reach: each earlier document would cost
    // a time-out there.
    const FormaContingencia forma = contingenciaDaExecucao(ctx, op.cfg(), op.recursos().enderecos).forma;
    const bool offline = forma == FormaContingencia::Offline || forma == FormaContingencia::Epec;
    if ((!primeira || primeira->certificado) && !offline) {
        const bool autoriza = primeira && primeira->fluxo == recepcao;
        resolvePendentes(op, autoriza ? ctx.CHAVE : QString(), primeira && primeira->desenha);
    }

    for (int passagem = 0; passagem < kMaximoPassagens; ++passagem) {
        const LinhaDespacho* linha = linhaDaTarefa(ctx.Tarefa);
        if (linha && linha->tipo != TipoDocumento::Nenhum) ctx.Tipo = linha->tipo;
        const Passo passo = linha ? linha->fluxo(op) : tarefaNaoReconhecida(op);
        if (!passo.novaTarefa) return passo.desfecho;
        ctx.Tarefa = *passo.novaTarefa;
        op.Mostra_Status(u"Alterando Tarefa"_s);
        op.Mostra_Status(u"Tarefa: "_s + ctx.Tarefa);
    }
    throw ErroInesperado(u"A tarefa mudou mais vezes do que o previsto; última tarefa: "_s + ctx.Tarefa);
}

Passo tarefaNaoReconhecida(Operacoes& op) {
    // No flow and no answer file: the calling application sees that nothing was done.
    op.Mostra_Status(u"Tarefa não reconhecida"_s);
    return {Desfecho::Recusada, {}};
}

Passo indisponivel(Operacoes& op) {
    op.Mostra_Status(u"Tarefa ainda não disponível nesta versão: "_s + op.ctx().Tarefa);
    return {Desfecho::Recusada, {}};
}

int codigoSaida(Desfecho desfecho) {
    switch (desfecho) {
    case Desfecho::Concluida:
    case Desfecho::Ociosa:
        return 0;
    case Desfecho::Recusada:
        return 1;
    case Desfecho::Erro:
        return 2;
    }
    return 2;
}

} // namespace qel
