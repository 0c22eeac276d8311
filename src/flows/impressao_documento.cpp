// IMPRIMIR and GERAR PDF: the printout of a stored document, previewed or exported.

#include "flows/fluxos.h"
#include "flows/operacoes.h"
#include "tarefa/identificacao.h"
#include "util/arquivos.h"
#include "util/texto.h"

using namespace Qt::StringLiterals;

namespace qel {

Passo imprimeOuExporta(Operacoes& op) {
    ContextoExecucao& ctx = op.ctx();
    const bool exporta = Maiusculo(ctx.Tarefa) == u"GERAR PDF"_s;
    const QString arquivo = caminhoNativo(ctx.Arquivo);
    // The base name is the file as given, extension included, mapped like every path the
    // calling application writes: its ".EML" sits beside it.
    ctx.NomeBase = arquivo;
    if (exporta) op.cfg().Sem_Email_Auto = false;
    if (ctx.Arquivo.trimmed().isEmpty() || !existeArquivo(arquivo)) {
        op.Mostra_Status(u"Arquivo não encontrado: "_s + ctx.Arquivo);
        return {Desfecho::Recusada, {}};
    }
    if (ctx.Tipo == TipoDocumento::Nenhum) {
        ctx.LbXML = lerLinhas(arquivo);
        Identifica_Documento(ctx, [&op] { op.carregaDadosEmpresa(); });
    }
    const bool impresso = op.imprime(arquivo, ctx.Tipo);
    // A print leaves nothing behind; an export leaves its PDF and e-mail request for the caller.
    if (!exporta) {
        if (!ctx.PrefixoPDF.isEmpty()) apagaArquivo(caminhoNativo(ctx.PrefixoPDF + u"-1.PDF"_s));
        apagaArquivo(caminhoNativo(u"c:\\Qel\\PDF_Arq_Qel.PDF"_s));
        apagaArquivo(ctx.NomeBase + u".EML"_s);
    }
    return {impresso ? Desfecho::Concluida : Desfecho::Recusada, {}};
}

} // namespace qel
