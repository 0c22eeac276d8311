// RECEPCAO of an NFS-e: the RPS lot of the caller's document is signed and sent to the provider
// of its municipality; the NFS-e it became is asked for by its RPS, and the nfseProc (the lot as
// sent and the municipality's protocol) is archived under a key of the national layout, printed
// and mailed, and the answer file written. A lot whose outcome is unknown stays in the send
// journal: the next run of the same document asks for its NFS-e before sending anything again.

#include "flows/apoio_fluxo.h"
#include "flows/nfse.h"
#include "flows/operacoes.h"
#include "nfse/nota.h"
#include "nfse/provedor.h"
#include "nfse/resposta.h"
#include "nfse/xml_nfse.h"
#include "tarefa/identificacao.h"
#include "util/arquivos.h"
#include "util/texto.h"

#include <QRegularExpression>
#include <QThread>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// The journal names an NFS-e lot by its municipality and RPS, which the document and the lot
// sent both carry.
QString chaveDiario(const QString& municipio, const IdentificacaoRps& rps) {
    static const QRegularExpression estranhos(u"[^A-Za-z0-9]"_s);
    QString serie = rps.serie;
    return u"NFSe-"_s + municipio + u'-' + serie.remove(estranhos) + u'-' + nfse::numeroInteiro(rps.numero);
}

// The RPS identifier of a lot sent: the Tecnos declaration's Id, or the ABRASF RPS's without its
// first letter.
QString idRpsDoLote(const QString& lote) {
    const QString declaracao = nfse::atributoId(lote, u"InfDeclaracaoPrestacaoServico"_s);
    return declaracao.isEmpty() ? nfse::atributoId(lote, u"InfRps"_s).mid(1) : declaracao;
}

// The journal keeps what the reception answered in its receipt field: protocol, date, lot.
QString recibo(const RespostaNfse& r) {
    return r.protocolo + u'|' + r.dataRecebimento + u'|' + r.numeroLote;
}
RespostaNfse doRecibo(const QString& texto) {
    RespostaNfse r;
    const QStringList partes = texto.split(u'|');
    r.protocolo = partes.value(0);
    r.dataRecebimento = partes.value(1);
    r.numeroLote = partes.value(2);
    return r;
}

class RecepcaoNfse {
public:
    explicit RecepcaoNfse(Operacoes& op) : op_(op), ctx_(op.ctx()), diario_(op.diario()) {}
    Passo executa();

private:
    enum Situacao {
        NaoEnviado,   // stopped before anything left (the user was told)
        Desconhecido, // no answer, or the lot's NFS-e not found yet: the journal keeps it
        Recusado,     // the municipality refused the lot
        Emitida,      // the NFS-e exists: stored
    };
    struct Resultado {
        Situacao situacao;
        RespostaNfse recepcao;
        RespostaNfse nota;
        QString motivo;
        QString respostaNota; // the consultation answer as LbRetorno held it
    };

    Resultado envia(bool reenvio);
    Resultado consultaNota(const RespostaNfse& recepcao);
    RespostaNfse resultadoDoLote(const QString& protocolo);
    Passo recusado(const RespostaNfse& r);
    Passo desconhecido(const QString& motivo);
    Passo armazena(const Resultado& r);

    Operacoes& op_;
    ContextoExecucao& ctx_;
    DiarioEnvio diario_;
    const ProvedorNfse* provedor_ = nullptr;
    QString chaveDiario_;
    Pendente pendente_;
};

RecepcaoNfse::Resultado RecepcaoNfse::envia(bool reenvio) {
    bool registrado = false;
    OpcoesEnvio opcoes;
    opcoes.jaAssinado = reenvio;
    opcoes.antesDoEnvio = [&](const QString& lote, const QString&) {
        pendente_.chave = chaveDiario_;
        pendente_.tipo = TipoDocumento::NFSe;
        pendente_.cnpj = ctx_.CNPJ;
        pendente_.tarefa = ctx_.Tarefa;
        pendente_.arquivo = ctx_.ArquivoDocumento;
        pendente_.enviado = op_.agora();
        pendente_.situacao = u"lote enviado; resposta ainda não recebida"_s;
        pendente_.assinado = lote;
        if (!diario_.registra(pendente_)) {
            op_.mensagem(u"!!!ERRO!!!|Não foi possível guardar o lote assinado antes do envio:|"_s +
                         diario_.arquivoDe(pendente_.cnpj, pendente_.chave) + u"|Nada foi enviado."_s);
            return false;
        }
        registrado = true;
        return true;
    };
    if (!op_.ChamaWebService(Servico::Recepcao, opcoes)) return {NaoEnviado, {}, {}, {}, {}};
    // A call that found no address for the municipality posted nothing: its failure line says so.
    if (!registrado) return {NaoEnviado, {}, {}, primeira(ctx_.LbRetorno), {}};
    op_.Mostra_Status(u"Preparando para Consultar"_s);
    const RespostaNfse r = leRespostaNfse(op_.respostaOriginal());
    if (!r.lida) return {Desconhecido, r, {}, primeira(ctx_.LbRetorno), {}};
    if (r.recusada()) return {Recusado, r, {}, {}, {}};
    if (!r.falha.isEmpty())
        return {Desconhecido, r, {}, u"o provedor respondeu com uma falha: "_s + r.falha, {}};
    if (r.protocolo.isEmpty() && r.numeroNfse.isEmpty())
        return {Desconhecido, r, {}, u"a resposta do provedor não trouxe o protocolo do lote"_s, {}};
    pendente_.recibo = recibo(r);
    pendente_.situacao = u"lote recebido; protocolo "_s + r.protocolo;
    diario_.registra(pendente_);
    return consultaNota(r);
}

// The NFS-e the lot became, asked for by its RPS: a provider that processes lots later may not
// have it at once, so it is asked again, with a pause, a bounded number of times.
RecepcaoNfse::Resultado RecepcaoNfse::consultaNota(const RespostaNfse& recepcao) {
    const ConfiguracaoRede& rede = op_.recursos().rede;
    const QString lote = primeira(ctx_.LbXML);
    RespostaNfse nota;
    QString respostaNota;
    for (int vez = 0; vez < std::max(1, rede.consultasRetorno); ++vez) {
        if (vez > 0) QThread::msleep(static_cast<unsigned long>(rede.pausaRetornoMs));
        ctx_.LbXML = QStringList{lote};
        op_.ChamaWebService(Servico::Consultar);
        op_.Mostra_Status(u"Consultando Retorno"_s);
        ctx_.LbXML = QStringList{lote};
        nota = leRespostaNfse(op_.respostaOriginal());
        respostaNota = primeira(ctx_.LbRetorno);
        if (!nota.numeroNfse.isEmpty()) break;
    }
    // A synchronous lot's answer is the NFS-e itself.
    if (nota.numeroNfse.isEmpty() && !recepcao.numeroNfse.isEmpty()) nota = recepcao;
    // A lot the provider refuses while processing it never becomes an NFS-e, and its RPS is never
    // found: only the lot's own result, asked for by its protocol, tells the refusal.
    if (nota.numeroNfse.isEmpty() && !recepcao.protocolo.isEmpty() && provedor_ &&
        provedor_->consultaLotes()) {
        const RespostaNfse doLote = resultadoDoLote(recepcao.protocolo);
        if (doLote.loteRecusado()) return {Recusado, doLote, nota, {}, {}};
    }
    if (nota.numeroNfse.isEmpty()) {
        QString motivo = u"o lote foi recebido (protocolo "_s + recepcao.protocolo +
                         u"), mas a consulta pelo RPS ainda não trouxe a NFS-e"_s;
        if (!nota.mensagens.isEmpty())
            motivo += u" ("_s + nota.mensagens.first().codigo + u' ' + nota.mensagens.first().mensagem + u')';
        return {Desconhecido, recepcao, nota, motivo, respostaNota};
    }
    return {Emitida, recepcao, nota, {}, respostaNota};
}

RespostaNfse RecepcaoNfse::resultadoDoLote(const QString& protocolo) {
    const QString lote = primeira(ctx_.LbXML);
    ctx_.Protocolo = protocolo;
    op_.ChamaWebService(Servico::RetRecepcao);
    op_.Mostra_Status(u"Consultando Lote"_s);
    ctx_.LbXML = QStringList{lote};
    return leRespostaNfse(op_.respostaOriginal());
}

Passo RecepcaoNfse::recusado(const RespostaNfse& r) {
    // The municipality's messages, each with its code and correction, for the user and the
    // calling application; the lot and its request files go, as with any refused document.
    const QStringList texto = mensagensDaRecusaNfse(op_, r, u"A prefeitura recusou o lote:"_s,
                                                    u"Lote recusado pela prefeitura: "_s);
    op_.mensagem(texto.join(u'|'));
    if (!ctx_.ArquivoDocumento.isEmpty()) apagaArquivo(ctx_.ArquivoDocumento);
    if (!ctx_.PrefixoPDF.isEmpty()) apagaArquivo(caminhoNativo(ctx_.PrefixoPDF + u"-1.PDF"_s));
    if (!ctx_.NomeBase.isEmpty()) apagaArquivo(ctx_.NomeBase + u".EML"_s);
    op_.EnviaMensagem(u"Documento"_s, u"Erro"_s);
    diario_.encerra(ctx_.CNPJ, chaveDiario_);
    return {Desfecho::Recusada, {}};
}

Passo RecepcaoNfse::desconhecido(const QString& motivo) {
    op_.Mostra_Status(u"Resultado desconhecido: "_s + motivo);
    QString texto = u"O resultado do envio da NFS-e não é conhecido:|"_s + motivo;
    if (diario_.procura(ctx_.CNPJ, chaveDiario_))
        texto +=
            u"|O lote assinado está guardado em|"_s + diario_.arquivoDe(ctx_.CNPJ, chaveDiario_) +
            u"|O provedor será consultado quando este documento for enviado de novo; não envie o RPS por "
            "outro meio."_s;
    op_.mensagem(texto);
    return {Desfecho::Recusada, {}};
}

Passo RecepcaoNfse::armazena(const Resultado& r) {
    const QString lote = primeira(ctx_.LbXML);
    const bool tecnos = provedor_->grupo() == GrupoNfse::Tecnos;
    const QString rps = provedor_->numeroRpsDaChave(lote, ctx_.NomeBase, ctx_.CHAVE);
    const QString data = provedor_->periodoDaEmissao() ? r.nota.dataEmissao : r.recepcao.dataRecebimento;
    const QString chave =
        chaveNfse(ctx_.cUF, data.isEmpty() ? r.nota.dataEmissao : data, op_.agora().date(), ctx_.CNPJ, rps);
    const QString numero = numeroNota(r.nota.numeroNfse, tecnos);
    const QString proc = montaNfseProc(lote, r.recepcao, r.nota, numero, ctx_.ambiente);
    ctx_.CHAVE = chave;
    ctx_.LbXML = QStringList{proc};
    op_.Mostra_Status(u"Armazenando Arquivos"_s);
    const QString caminho = op_.arquivo().documento(ctx_.CNPJ, chave, TipoDocumento::NFSe);
    // The NFS-e is on disk before anything of the caller's goes.
    if (!ArquivoDocumentos::grava(caminho, proc)) {
        op_.mensagem(u"!!!ERRO!!!|Não foi possível salvar a NFS-e emitida no arquivo:|"_s + caminho +
                     u"|Verifique permissões de aplicativo, pasta e usuários. O lote continua guardado e a "
                     "NFS-e será buscada na próxima execução deste documento."_s);
        return {Desfecho::Recusada, {}};
    }
    if (!ctx_.ArquivoDocumento.isEmpty()) apagaArquivo(ctx_.ArquivoDocumento);
    diario_.encerra(ctx_.CNPJ, chaveDiario_);
    ctx_.ArquivoDocumento = caminho;

    op_.imprimeDepoisDeArquivar(caminho, TipoDocumento::NFSe,
                                u"A NFS-e foi emitida e arquivada, mas não foi impressa"_s);
    ctx_.Tipo = TipoDocumento::NFSe;
    op_.Mostra_Status(u"Enviando Email"_s);
    op_.Envia_Email(caminho, ctx_.PrefixoPDF);
    // The answer file: the consultation's answer, the company, the NFS-e number.
    ctx_.LbRetorno = QStringList{r.respostaNota, u"CNPJ "_s + ctx_.CNPJ, numero};
    op_.gravaRetorno();
    op_.limpaTemporarios();
    return {};
}

Passo RecepcaoNfse::executa() {
    op_.Mostra_Status(u"Preparando XML"_s);
    QString documento;
    for (const QString& linha : std::as_const(ctx_.LbXML))
        documento += linha.trimmed();
    Identifica_Municipio(ctx_, documento);
    completaMunicipioNfse(ctx_, documento);
    const GrupoNfse grupo = grupoNfse(ctx_.CODIGO_MUNICIPIO);
    provedor_ = provedorNfse(grupo);
    if (grupo == GrupoNfse::Estrela) {
        // The provider's program takes the document from the exchange folder: handed over, the
        // caller's files go.
        if (!op_.certificadoPronto()) {
            op_.mensagem(
                u"A tarefa solicitada nescessita da configuração do Qel DFe|Não é possível continuar."_s);
            return {Desfecho::Recusada, {}};
        }
        if (trocaNfseEstrela(op_, documento) != TrocaEstrela::Trocado) return {Desfecho::Recusada, {}};
        if (!ctx_.ArquivoDocumento.isEmpty()) apagaArquivo(ctx_.ArquivoDocumento);
        if (!ctx_.NomeBase.isEmpty()) apagaArquivo(ctx_.NomeBase + u".EML"_s);
        return {};
    }
    // The journal entry is written under the CNPJ the lot names; it is looked for under the same.
    prestadorDaNfse(ctx_, documento);
    chaveDiario_ = chaveDiario(ctx_.CODIGO_MUNICIPIO, rpsDoDocumento(documento));

    Resultado r{NaoEnviado, {}, {}, {}, {}};
    if (const std::optional<Pendente> antes = diario_.procura(ctx_.CNPJ, chaveDiario_); antes && provedor_) {
        // This RPS went out before without a known result: its NFS-e is asked for first, so it is
        // never sent twice.
        op_.Mostra_Status(u"Consultando NFS-e enviada antes: "_s + chaveDiario_);
        pendente_ = *antes;
        ctx_.LbXML = QStringList{antes->assinado};
        ctx_.CHAVE = idRpsDoLote(antes->assinado);
        const RespostaNfse recepcao = doRecibo(antes->recibo);
        r = consultaNota(recepcao);
        if (r.situacao == Desconhecido && recepcao.protocolo.isEmpty()) {
            // The provider never gave the lot a protocol and knows no NFS-e of the RPS: the lot
            // is sent again as it was signed.
            op_.Mostra_Status(u"A NFS-e não consta no provedor; enviando o lote de novo"_s);
            r = envia(true);
        }
    } else {
        r = envia(false);
    }

    switch (r.situacao) {
    case NaoEnviado:
        if (!r.motivo.isEmpty()) {
            op_.Mostra_Status(u"NFS-e não enviada: "_s + r.motivo);
            op_.mensagem(r.motivo + (grupo == GrupoNfse::SemServico
                                         ? u"|O município não tem serviço de NFS-e: nada foi enviado."_s
                                         : u"|Nada foi enviado."_s));
        } else if (grupo == GrupoNfse::Florianopolis) {
            op_.Mostra_Status(u"NFPS-e de Florianópolis preparada e assinada; não enviada"_s);
            op_.mensagem(
                u"A NFPS-e de Florianópolis foi preparada e assinada, mas o serviço do município não é "
                "chamado por esta versão.|Nada foi enviado; o documento continua na pasta de troca."_s);
        }
        return {Desfecho::Recusada, {}};
    case Desconhecido:
        if (!r.recepcao.lida && r.motivo.isEmpty()) return desconhecido(u"não houve resposta do provedor"_s);
        return desconhecido(r.motivo);
    case Recusado:
        return recusado(r.recepcao);
    case Emitida:
        break;
    }
    return armazena(r);
}

} // namespace

Passo recepcaoNfse(Operacoes& op) {
    return RecepcaoNfse(op).executa();
}

} // namespace qel
