// The cancellation of a stored NFS-e (CANCELAR DOCUMENTO of a key of model "NS"): the request its
// provider's layout asks for (the NFS-e's number from the archive, the company's CNPJ and
// municipal registration, the reason code), signed and sent; a cancellation the municipality
// confirms is archived with its confirmation as "<key>-can.xml", its receipt printed and mailed.
// A refused cancellation of an NFS-e the provider shows cancelled already (the answer of an
// earlier request was lost) is archived the same way, with that NFS-e as the confirmation.

#include "flows/apoio_fluxo.h"
#include "flows/nfse.h"
#include "flows/operacoes.h"
#include "nfse/nota.h"
#include "nfse/provedor.h"
#include "nfse/resposta.h"
#include "nfse/xml_nfse.h"
#include "tarefa/chave.h"
#include "util/arquivos.h"
#include "util/arvore_xml.h"
#include "util/posicoes.h"
#include "util/texto.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// What the cancellation takes from the stored NFS-e.
struct NotaArquivada {
    QString numero;    // the NFS-e number (the protocol's NumeroNota, or the Numero inside it)
    QString municipio; // the municipality the lot names
    QString inscricao; // the provider's municipal registration in the lot
};

NotaArquivada daNotaArquivada(const QString& proc) {
    NotaArquivada n;
    n.municipio = municipioDoDocumento(proc);
    const LeituraXml leitura = leArvoreXml(proc);
    if (!leitura.raiz) return n;
    const NoXml& raiz = *leitura.raiz;
    if (const NoXml* numero = raiz.busca(u"NumeroNota")) {
        n.numero = numero->texto.trimmed();
        if (n.numero.isEmpty()) n.numero = numero->valor(u"Numero");
    }
    if (const NoXml* lote = raiz.busca(u"LoteRps")) n.inscricao = lote->valor(u"InscricaoMunicipal");
    if (n.inscricao.isEmpty()) n.inscricao = raiz.valor(u"Prestador/InscricaoMunicipal");
    return n;
}

Passo recusa(Operacoes& op, const QString& texto) {
    op.Mostra_Status(u"Cancelamento não enviado: "_s + texto);
    op.mensagem(texto + u"|Nada foi enviado à prefeitura."_s);
    return {Desfecho::Recusada, {}};
}

Passo recusado(Operacoes& op, const RespostaNfse& r) {
    ContextoExecucao& ctx = op.ctx();
    const QStringList texto = mensagensDaRecusaNfse(op, r, u"A prefeitura recusou o cancelamento da NFS-e:"_s,
                                                    u"Cancelamento recusado pela prefeitura: "_s);
    op.mensagem(texto.join(u'|') + u"|A NFS-e continua válida; nada foi arquivado."_s);
    if (!ctx.NomeBase.isEmpty()) apagaArquivo(ctx.NomeBase + u".EML"_s);
    return {Desfecho::Recusada, {}};
}

// The NFS-e as the provider holds it now, asked for by the RPS of the stored lot: its
// NfseCancelamento says whether it is cancelled already.
RespostaNfse situacaoDaNota(Operacoes& op, const QString& proc) {
    ContextoExecucao& ctx = op.ctx();
    op.Mostra_Status(u"Consultando a NFS-e na prefeitura"_s);
    ctx.LbXML = QStringList{proc};
    op.ChamaWebService(Servico::Consultar);
    return leRespostaNfse(op.respostaOriginal());
}

// The receipt of the cancellation, printed and mailed.
Passo entrega(Operacoes& op, const QString& caminho) {
    ContextoExecucao& ctx = op.ctx();
    ctx.LbXML = QStringList{lerTexto(caminho)};
    const QString pdfDaTarefa = ctx.NomePDF.trimmed();
    op.imprimeDepoisDeArquivar(
        caminho, TipoDocumento::Evento,
        u"O cancelamento foi registrado e arquivado, mas o comprovante não foi impresso"_s);
    ctx.Tipo = TipoDocumento::NFSe;
    op.Mostra_Status(u"Enviando Email"_s);
    op.Envia_Email(caminho, ctx.NomePDF);
    if (pdfDaTarefa.isEmpty() && !ctx.NomePDF.trimmed().isEmpty())
        apagaArquivo(caminhoNativo(ctx.NomePDF.trimmed()));
    op.limpaTemporarios();
    return {};
}

} // namespace

Passo cancelamentoNfse(Operacoes& op) {
    ContextoExecucao& ctx = op.ctx();
    ctx.CHAVE = ctx.CHAVE.trimmed();
    // An NFS-e has no correction letter, closing or manifestation: only its cancellation.
    if (Maiusculo(ctx.Tarefa) != u"CANCELAR DOCUMENTO"_s)
        return recusa(op, u"A tarefa "_s + ctx.Tarefa + u" não se aplica a uma NFS-e; só o cancelamento."_s);
    const ArquivoDocumentos arquivo = op.arquivo();
    const QString armazenada = arquivo.procura(ctx.CHAVE, TipoDocumento::NFSe);
    if (armazenada.isEmpty())
        return recusa(op, u"A NFS-e da chave "_s + ctx.CHAVE + u" não está no arquivo:|"_s +
                              arquivo.documento(Copia(ctx.CHAVE, 7, 14), ctx.CHAVE, TipoDocumento::NFSe));
    const QString cnpj = Copia(ctx.CHAVE, 7, 14);
    const QString destino = arquivo.irmao(cnpj, ctx.CHAVE, u"can"_s);
    if (existeArquivo(destino)) {
        op.Mostra_Status(u"Cancelamento já registrado e arquivado: "_s + localizaCaminho(destino));
        return entrega(op, localizaCaminho(destino));
    }

    const QString proc = lerTexto(armazenada);
    const NotaArquivada nota = daNotaArquivada(proc);
    if (ctx.CODIGO_MUNICIPIO.trimmed().isEmpty() || !municipioNfse(ctx.CODIGO_MUNICIPIO))
        ctx.CODIGO_MUNICIPIO = nota.municipio;
    if (ctx.InscricaoMunicipal.trimmed().isEmpty()) ctx.InscricaoMunicipal = nota.inscricao;
    if (!nota.numero.isEmpty()) ctx.NroInicial = nota.numero;
    ctx.CNPJ = cnpj;
    ctx.Tipo = TipoDocumento::NFSe;
    if (nfse::numeroInteiro(ctx.NroInicial).isEmpty())
        return recusa(op, u"A NFS-e arquivada não traz o seu número (NumeroNota)."_s);
    const GrupoNfse grupo = grupoNfse(ctx.CODIGO_MUNICIPIO);
    if (grupo == GrupoNfse::Estrela || grupo == GrupoNfse::SemServico || grupo == GrupoNfse::Nenhum)
        return recusa(op, u"O cancelamento da NFS-e deste município ("_s + ctx.CODIGO_MUNICIPIO +
                              u") não é feito por serviço."_s);

    op.Mostra_Status(u"Preparando XML"_s);
    // The builder works on the stored NFS-e: the municipality and state come from it.
    ctx.LbXML = QStringList{proc};
    if (!op.ChamaWebService(Servico::Cancelar)) return {Desfecho::Recusada, {}};
    const QString pedido = primeira(ctx.LbXML);
    RespostaNfse r = leRespostaNfse(op.respostaOriginal());
    if (r.recusada()) {
        // A cancellation sent again after its answer was lost is refused as done already: the
        // NFS-e itself, when it shows its cancellation, is the confirmation that answer held.
        const QString numero = nfse::numeroInteiro(ctx.NroInicial);
        const RespostaNfse situacao = situacaoDaNota(op, proc);
        if (!situacao.cancelada || nfse::numeroInteiro(situacao.numeroNfse) != numero) return recusado(op, r);
        op.Mostra_Status(u"A NFS-e já está cancelada na prefeitura ("_s + r.codigos() + u')');
        r = situacao;
    }
    if (!r.cancelada) {
        const QString motivo = !r.lida ? primeira(ctx.LbRetorno)
                               : !r.falha.isEmpty()
                                   ? u"o provedor respondeu com uma falha: "_s + r.falha
                                   : u"a resposta do provedor não confirmou o cancelamento"_s;
        op.Mostra_Status(u"Resultado desconhecido: "_s + motivo);
        op.mensagem(u"O resultado do cancelamento da NFS-e não é conhecido:|"_s + motivo + u"|Chave: "_s +
                    ctx.CHAVE + u"|Envie a mesma tarefa de novo."_s);
        return {Desfecho::Recusada, {}};
    }
    op.Mostra_Status(u"Armazenando Arquivos"_s);
    if (!ArquivoDocumentos::grava(destino, montaCancelamentoNfse(pedido, r))) {
        op.mensagem(u"!!!ERRO!!!|A prefeitura cancelou a NFS-e, mas não foi possível gravar o arquivo:|"_s +
                    destino + u"|Verifique permissões de aplicativo, pasta e usuários."_s);
        return {Desfecho::Recusada, {}};
    }
    return entrega(op, destino);
}

} // namespace qel
