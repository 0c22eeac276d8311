// RECEPCAO: the authorisation of the document of the intake (NF-e, NFC-e, CT-e, CT-e
// simplificado, MDF-e). It is signed and sent, its result fetched (the NF-e lot by its receipt),
// the proc assembled, archived, printed and mailed. Before the send the signed document is kept in
// the send journal, so an answer that never arrives is settled later by consultation instead of
// being taken for a rejection.

#include "flows/autorizacao.h"

#include "flows/apoio_fluxo.h"
#include "flows/evento_documento.h"
#include "flows/fluxos.h"
#include "flows/nfse.h"
#include "flows/operacoes.h"
#include "flows/proc.h"
#include "flows/transporte.h"
#include "tarefa/chave.h"
#include "util/arquivos.h"
#include "util/posicoes.h"
#include "util/situacao.h"
#include "util/tabelas.h"

#include <QThread>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// The codes the flow goes on with: the document (or its lot) was accepted.
const QStringList kAceitos{u"100"_s, u"101"_s, u"102"_s, u"103"_s, u"104"_s, u"106"_s, u"111"_s, u"112"_s,
                           u"113"_s, u"114"_s, u"124"_s, u"128"_s, u"132"_s, u"134"_s, u"135"_s, u"136"_s,
                           u"150"_s, u"151"_s, u"204"_s, u"205"_s, u"301"_s, u"302"_s, u"303"_s};
// The use of the document was denied: stored, not mailed.
const QStringList kDenegacao{u"110"_s, u"205"_s, u"301"_s, u"302"_s, u"303"_s};
// The document is not in the authority's base: it never arrived.
const QStringList kNaoConsta{u"217"_s};

// The access key of a signed document or proc: its first Id without the kind's prefix.
QString chaveDoDocumento(const QString& documento) {
    const qsizetype p = Posicao(u"Id=\""_s, documento);
    if (p == 0) return {};
    return Copia(documento, p + (documento.contains(u"infMDFe"_s) ? 8 : 7), 44);
}

} // namespace

Autorizacao::Autorizacao(Operacoes& op) : op_(op), ctx_(op.ctx()), diario_(op.diario()) {}

bool Autorizacao::simplificado() const {
    return ctx_.Tarefa == u"Simplificado"_s;
}

// A consultation of the document's key; the answer stays in LbRetorno.
Autorizacao::Resultado Autorizacao::consulta(const QString& chave) {
    ctx_.CHAVE = chave;
    op_.ChamaWebService(Servico::Consultar);
    const QString resposta = primeira(ctx_.LbRetorno);
    original_ = op_.respostaOriginal();
    const QString situacao = cStatDe(resposta);
    if (situacao.isEmpty()) return {Desconhecido, {}, resposta, resposta};
    if (protocoloDaResposta(ctx_.Tipo, resposta).isEmpty()) {
        if (kNaoConsta.contains(situacao)) return {NaoConsta, situacao, resposta, {}};
        return {Desconhecido, situacao, resposta, u"a consulta não trouxe o protocolo do documento"_s};
    }
    return decide(situacao, resposta, false);
}

// What an answer with a status code means for the document in LbXML.
Autorizacao::Resultado Autorizacao::decide(const QString& situacao, const QString& resposta,
                                           bool podeConsultar) {
    if (!kAceitos.contains(situacao)) return {Rejeitado, situacao, resposta, {}};
    const QString protocolo = protocoloDaResposta(ctx_.Tipo, resposta);
    // A duplicate, a lot not found, or an accepted code without its protocol: the protocol is
    // fetched by consultation, never made up.
    if (podeConsultar && (situacao == u"204"_s || situacao == u"106"_s || protocolo.isEmpty())) {
        const QString chave = chaveDoDocumento(primeira(ctx_.LbXML));
        Resultado r = consulta(chave);
        if (r.tipo == NaoConsta)
            return {Desconhecido, r.situacao, r.resposta,
                    u"a SEFAZ aceitou o envio, mas a consulta diz que o documento não consta na base"_s};
        return r;
    }
    if (protocolo.isEmpty())
        return {Desconhecido, situacao, resposta, u"a resposta não trouxe o protocolo"_s};
    // A protocol of another key says nothing of this document: nothing is stored or deleted, and
    // the next run asks the authority again.
    if (!protocoloDaChave(protocolo, primeira(ctx_.LbXML)))
        return {Desconhecido, situacao, resposta,
                u"o protocolo da resposta é de outra chave ("_s + chaveDoProtocolo(protocolo) +
                    u"), não deste documento; nada foi arquivado"_s};
    if (!protocoloDoDocumento(protocolo, primeira(ctx_.LbXML))) return {Divergente, situacao, resposta, {}};
    const QString doProtocolo = situacaoDoProtocolo(protocolo);
    if (kDenegacao.contains(doProtocolo) || kDenegacao.contains(situacao))
        return {Denegado, doProtocolo.isEmpty() ? situacao : doProtocolo, resposta, {}};
    if (!kAceitos.contains(doProtocolo)) return {Rejeitado, doProtocolo, resposta, {}};
    return {Autorizado, doProtocolo, resposta, {}};
}

Pendente Autorizacao::entradaDoDiario(const QString& chave, const QString& arquivo,
                                      const QString& assinado) const {
    Pendente p;
    p.chave = chave;
    p.tipo = ctx_.Tipo;
    p.cnpj = ctx_.CNPJ;
    p.tarefa = ctx_.Tarefa;
    p.arquivo = arquivo;
    p.enviado = op_.agora();
    p.assinado = assinado;
    return p;
}

Autorizacao::Resultado Autorizacao::envia(bool reenvio) {
    std::optional<Pendente> registrado;
    OpcoesEnvio opcoes;
    opcoes.jaAssinado = reenvio;
    opcoes.antesDoEnvio = [&](const QString& documento, const QString& chave) {
        Pendente p = entradaDoDiario(chave, ctx_.ArquivoDocumento, documento);
        p.situacao = u"enviado; resposta ainda não recebida"_s;
        p.contingencia = contingencia_;
        if (!diario_.registra(p)) {
            op_.mensagem(u"!!!ERRO!!!|Não foi possível guardar o documento assinado antes do envio:|"_s +
                         diario_.arquivoDe(p.cnpj, p.chave) + u"|Nada foi enviado."_s);
            return false;
        }
        registrado = p;
        return true;
    };
    if (!op_.ChamaWebService(Servico::Recepcao, opcoes) || !registrado) return {NaoEnviado, {}, {}, {}};
    Pendente pendente = *registrado;

    op_.Mostra_Status(u"Preparando para Consultar"_s);
    const QString respostaEnvio = primeira(ctx_.LbRetorno);
    QString resposta = respostaEnvio;
    original_ = op_.respostaOriginal();
    QString situacao = cStatDe(resposta);
    const qsizetype marca = respostaEnvio.indexOf(u"<nRec>"_s);
    if (ctx_.Tipo == TipoDocumento::NFe && marca >= 0) {
        // The lot was received: its result is asked for by the receipt, with a pause between two
        // questions and a bound on their number.
        const QString recibo = valorElemento(respostaEnvio, u"nRec"_s).trimmed();
        pendente.recibo = recibo;
        pendente.situacao = u"lote recebido; recibo "_s + recibo;
        diario_.registra(pendente);
        const ConfiguracaoRede& rede = op_.recursos().rede;
        for (int consulta = 0; consulta < rede.consultasRetorno; ++consulta) {
            if (consulta > 0) QThread::msleep(static_cast<unsigned long>(rede.pausaRetornoMs));
            ctx_.CHAVE = recibo;
            op_.ChamaWebService(Servico::RetRecepcao);
            op_.Mostra_Status(u"Consultando Retorno"_s);
            // A query that got no answer leaves the last code known (105 while processing).
            if (const QString codigo = cStatDe(primeira(ctx_.LbRetorno)); !codigo.isEmpty()) {
                situacao = codigo;
                resposta = primeira(ctx_.LbRetorno);
                original_ = op_.respostaOriginal();
            }
            if (situacao != u"105"_s) break;
        }
    } else {
        op_.Mostra_Status(u"Consultando Retorno"_s);
    }
    ctx_.CHAVE = chaveDoDocumento(primeira(ctx_.LbXML));
    if (situacao.isEmpty())
        return {Desconhecido, {}, resposta, u"não houve resposta da SEFAZ ("_s + resposta.left(300) + u')'};
    if (situacao == u"105"_s)
        return {Desconhecido, situacao, resposta,
                u"o lote continua em processamento na SEFAZ (recibo "_s + pendente.recibo + u')'};
    return decide(situacao, resposta, true);
}

// The proc in the archive, the caller's document gone, the journal entry closed; then the
// copy for the insurer, the print and the e-mail. False when the proc could not be written:
// then nothing else is touched.
bool Autorizacao::armazena(const Resultado& r) {
    const TipoDocumento tipo = ctx_.Tipo;
    // The read answer has its entities undone and accents folded: the protocol goes into the proc
    // as the authority wrote it (its signature covers those bytes), when it is the same protocol.
    const QString protocolo = protocoloDaResposta(tipo, r.resposta);
    const QString fiel = protocoloDaResposta(tipo, original_);
    const bool mesmo = !fiel.isEmpty() &&
                       valorElemento(fiel, u"nProt"_s) == valorElemento(protocolo, u"nProt"_s) &&
                       chaveDoProtocolo(fiel) == chaveDoProtocolo(protocolo);
    const std::optional<QString> proc =
        montaProc(tipo, simplificado(), primeira(ctx_.LbXML), mesmo ? original_ : r.resposta);
    if (!proc) return false;
    ctx_.LbXML = QStringList{*proc};
    ctx_.LbRetorno = QStringList{r.resposta};
    const QString chave = chaveDoDocumento(*proc);
    ctx_.CHAVE = chave;
    const ArquivoDocumentos arquivo = op_.arquivo();
    op_.Mostra_Status(u"Armazenando Arquivos"_s);
    const bool denegado = r.tipo == Denegado;
    if (denegado) {
        if (!ArquivoDocumentos::grava(arquivo.denegacao(ctx_.CNPJ, chave), r.resposta))
            op_.mensagem(
                u"!!!ERRO!!!|Não foi possível salvar o arquivo.|Verifique permissões de aplicativo, pasta "
                "e usuários.|"_s +
                arquivo.denegacao(ctx_.CNPJ, chave));
        op_.Mostra_Mensagem(ModoResultado::ApresentaResultado, u"cStat"_s, u"xMotivo"_s, QString());
    }
    const QString caminho = arquivo.documento(ctx_.CNPJ, chave, tipo);
    // The proc is written before anything is deleted: until it is on disk the caller's document
    // and the journal entry are the only copies.
    if (!ArquivoDocumentos::grava(caminho, *proc)) {
        op_.mensagem(
            u"!!!ERRO!!!|Não foi possível salvar o documento autorizado no arquivo:|"_s + caminho +
            u"|Verifique permissões de aplicativo, pasta e usuários. O documento continua guardado e "
            "será arquivado na próxima execução."_s);
        return false;
    }
    if (!ctx_.ArquivoDocumento.isEmpty()) apagaArquivo(ctx_.ArquivoDocumento);
    diario_.encerra(ctx_.CNPJ, chave);
    ctx_.ArquivoDocumento = caminho;
    return true;
}

void Autorizacao::entrega(const Resultado& r) {
    const TipoDocumento tipo = ctx_.Tipo;
    const QString caminho = ctx_.ArquivoDocumento;
    // The copy for the insurance registration, when the settings name its folder.
    if (const QString averbacao = op_.cfg().Averbacao.trimmed(); !averbacao.isEmpty()) {
        const QString copia =
            caminhoNativo(averbacao) + u'/' + ctx_.CHAVE + u'-' + ArquivoDocumentos::sufixo(tipo) + u".xml"_s;
        if (!ArquivoDocumentos::grava(copia, primeira(ctx_.LbXML)))
            op_.Mostra_Status(u"Não foi possível gravar a cópia para averbação: "_s + copia);
    }
    op_.imprimeDepoisDeArquivar(caminho, tipo,
                                u"O documento foi autorizado e arquivado, mas não foi impresso"_s);
    ctx_.Tipo = tipo;
    if (tipo != TipoDocumento::MDFe) {
        op_.Mostra_Status(u"Enviando Email"_s);
        if (r.tipo != Denegado) op_.Envia_Email(caminho, ctx_.PrefixoPDF);
    }
}

void Autorizacao::pendente(const Resultado& r) {
    op_.Mostra_Status(u"Resultado desconhecido: "_s + r.motivo);
    const QString chave = chaveDoDocumento(primeira(ctx_.LbXML));
    op_.mensagem(u"O resultado do envio não é conhecido:|"_s + r.motivo + u"|Chave: "_s + chave +
                 u"|O documento assinado está guardado em|"_s + diario_.arquivoDe(ctx_.CNPJ, chave) +
                 u"|A SEFAZ será consultada na próxima execução; não envie o documento por outro meio."_s);
}

Passo Autorizacao::executa() {
    if (ctx_.Tipo == TipoDocumento::DOT) return recepcaoTransporte(op_);
    if (ctx_.Tipo == TipoDocumento::NFSe) return recepcaoNfse(op_);
    if (!ehSefaz(ctx_.Tipo)) return indisponivel(op_);
    op_.Mostra_Status(u"Preparando XML"_s);

    const Contingencia contingencia = contingenciaDaExecucao(ctx_, op_.cfg(), op_.recursos().enderecos);
    if (const std::optional<Passo> recusa = entraEmContingencia(contingencia)) return *recusa;
    if (contingencia.forma == FormaContingencia::Offline) return guardaContingencia(contingencia);
    if (contingencia.forma == FormaContingencia::Epec && tpEmisDoDocumento(primeira(ctx_.LbXML)) == u"4"_s)
        return emiteEpec(contingencia);
    // The document of this run as it goes out (in contingency, with its new key).
    const QStringList daExecucao = ctx_.LbXML;

    Resultado r{NaoEnviado, {}, {}, {}};
    // A document of this key that went out before without a known result: the authority is asked
    // first, so it is never authorised twice.
    if (const std::optional<Pendente> antes = diario_.procura(ctx_.CNPJ, ctx_.CHAVE)) {
        op_.Mostra_Status(u"Consultando documento enviado antes: "_s + antes->chave);
        const QString tarefa = ctx_.Tarefa;
        ctx_.LbXML = QStringList{antes->assinado};
        ctx_.Tarefa = antes->tarefa;
        r = consulta(antes->chave);
        if (r.tipo == NaoConsta) {
            // It never arrived: the document of this run is sent as a new one.
            diario_.encerra(ctx_.CNPJ, antes->chave);
            ctx_.Tarefa = tarefa;
            ctx_.LbXML = daExecucao;
            r = {NaoEnviado, {}, {}, {}};
        }
    }
    if (r.tipo == NaoEnviado) r = envia(false);

    switch (r.tipo) {
    case NaoEnviado:
        // Nothing left: a document the user decided not to send (test mode) goes, as the caller
        // expects; one that could not be sent (no certificate, no service) stays for a new start.
        if (op_.recusadoNoTeste()) {
            apagaArquivo(ctx_.NomeBase + u".XML"_s);
            apagaArquivo(ctx_.NomeBase + u".EML"_s);
        }
        return {Desfecho::Recusada, {}};
    case Desconhecido:
        pendente(r);
        return {Desfecho::Recusada, {}};
    case NaoConsta:
    case Rejeitado:
        ctx_.LbRetorno = QStringList{r.resposta};
        op_.Mostra_Mensagem(ModoResultado::ApresentaResultado, u"cStat"_s, u"xMotivo"_s, QString());
        if (!ctx_.ArquivoDocumento.isEmpty()) {
            apagaArquivo(ctx_.ArquivoDocumento);
            apagaArquivo(ctx_.ArquivoDocumento.chopped(3) + u"EML"_s);
        }
        diario_.encerra(ctx_.CNPJ, chaveDoDocumento(primeira(ctx_.LbXML)));
        return {Desfecho::Recusada, {}};
    case Divergente:
        op_.mensagem(u"A SEFAZ tem, com a chave deste documento, um documento autorizado de conteúdo "
                     "diferente (o digVal do protocolo não é o da assinatura).|O documento não foi "
                     "arquivado nem apagado; confira a chave."_s);
        diario_.encerra(ctx_.CNPJ, chaveDoDocumento(primeira(ctx_.LbXML)));
        return {Desfecho::Recusada, {}};
    case Autorizado:
    case Denegado:
        break;
    }
    if (!armazena(r)) return {Desfecho::Recusada, {}};
    entrega(r);
    op_.limpaTemporarios();
    return {};
}

// The document of the run put into the contingency in force, before it is signed. A refusal
// leaves the caller's document where it is, for a run with the settings mended.
std::optional<Passo> Autorizacao::entraEmContingencia(const Contingencia& c) {
    const auto recusa = [&](const QString& texto) -> std::optional<Passo> {
        op_.mensagem(texto + u"|O documento não foi enviado."_s);
        return Passo{Desfecho::Recusada, {}};
    };
    const TipoDocumento tipo = ctx_.Tipo;
    // The setting is the NF-e's and the NFC-e's: CT-e and MDF-e go on as usual.
    if (tipo != TipoDocumento::NFe && tipo != TipoDocumento::NFCe) return std::nullopt;
    if (!c.erro.isEmpty()) return recusa(c.erro);
    if (c.forma == FormaContingencia::Nenhuma) return std::nullopt;
    const bool svc = c.forma == FormaContingencia::SvcAn || c.forma == FormaContingencia::SvcRs;
    if (svc && tipo != TipoDocumento::NFe)
        return recusa(u"A contingência "_s + c.nome +
                      u" autoriza só a NF-e (modelo 55); a NFC-e não é recebida em SVC. Use a contingência "
                      "OFFLINE para a NFC-e."_s);
    if (c.forma == FormaContingencia::Offline && tipo != TipoDocumento::NFCe)
        return recusa(u"A contingência OFFLINE é só da NFC-e (modelo 65); para a NF-e use SVC-AN, SVC-RS, "
                      "SVC ou EPEC."_s);
    if (c.forma == FormaContingencia::Epec && tipo != TipoDocumento::NFe)
        return recusa(u"A contingência EPEC é aqui só da NF-e (modelo 55); para a NFC-e use a contingência "
                      "OFFLINE."_s);

    QString documento;
    for (const QString& linha : std::as_const(ctx_.LbXML))
        documento += linha.trimmed();
    // A document the calling application already issued in a contingency form goes as it is,
    // to the authoriser of its form.
    if (const QString tpEmis = tpEmisDoDocumento(documento); tpEmis != u"1"_s) {
        op_.Mostra_Status(u"Documento já emitido em contingência (tpEmis "_s + tpEmis +
                          u"): enviado como está"_s);
        return std::nullopt;
    }
    // The same rule, and the same words, as the configuration window's.
    if (const QString erro = recusaJustificativa(c.nome, c.justificativa); !erro.isEmpty())
        return recusa(erro);
    const QString chave = chaveDoDocumento(documento);
    const QString dhCont = dataHoraDoEstado(op_.agora(), Converte_UF(cufDaChave(chave)));
    const DocumentoContingencia novo =
        poeEmContingencia(documento, tpEmisDe(c.forma), dhCont, c.justificativa);
    if (!novo.erro.isEmpty()) return recusa(novo.erro);
    ctx_.LbXML = QStringList{novo.documento};
    ctx_.CHAVE = novo.chave;
    op_.Mostra_Status(u"Emissão em contingência "_s + c.nome + u" (tpEmis "_s + tpEmisDe(c.forma) +
                      u"); nova chave de acesso: "_s + novo.chave);
    return std::nullopt;
}

// A document issued offline (an NFC-e, with its QR code) or in EPEC: signed, kept in the
// contingency folder and in the journal as not yet sent, and printed at once. The authorisation
// is not asked for: TRANSMITIR PENDENTES sends it when the authoriser can be reached.
Passo Autorizacao::guardaContingencia(const Contingencia& c) {
    const ArquivoDocumentos arquivo = op_.arquivo();
    const QString chave = ctx_.CHAVE;
    const QString guardado = arquivo.contingencia(ctx_.CNPJ, chave, ctx_.Tipo);
    const QString pedidoGuardado = arquivo.pedidoEmailContingencia(ctx_.CNPJ, chave, ctx_.Tipo);
    const QString pedidoDoChamador = ctx_.NomeBase.isEmpty() ? QString() : ctx_.NomeBase + u".EML"_s;
    const auto entrega = [&] {
        if (!ctx_.ArquivoDocumento.isEmpty()) apagaArquivo(ctx_.ArquivoDocumento);
        ctx_.ArquivoDocumento = guardado;
        const TipoDocumento tipo = ctx_.Tipo;
        op_.imprimeDepoisDeArquivar(
            guardado, tipo, u"O documento foi emitido em contingência e guardado, mas não foi impresso"_s);
        ctx_.Tipo = tipo;
        ctx_.CHAVE = chave;
        op_.Mostra_Status(u"Documento emitido em contingência "_s + c.nome + u", aguardando transmissão: "_s +
                          chave);
        op_.limpaTemporarios();
        return Passo{};
    };
    // The same document dropped again: the one signed, kept and printed the first time stands
    // (the consumer or the carrier holds its printout); it is printed again.
    if (diario_.procura(ctx_.CNPJ, chave) && existeArquivo(guardado)) {
        op_.Mostra_Status(u"Documento já emitido em contingência; impresso de novo como foi guardado: "_s +
                          chave);
        // A request that comes with it now is the caller's latest word on the e-mail.
        if (!pedidoDoChamador.isEmpty() && existeArquivo(pedidoDoChamador) &&
            !guardaPedidoEmail(pedidoDoChamador, pedidoGuardado))
            op_.Mostra_Status(u"Não foi possível guardar o pedido de email: "_s + pedidoGuardado);
        return entrega();
    }
    bool guardou = false;
    OpcoesEnvio opcoes;
    opcoes.antesDoEnvio = [&](const QString& documento, const QString& chaveAssinada) {
        Pendente p = entradaDoDiario(chaveAssinada, guardado, documento);
        p.situacao = u"emitido em contingência "_s + c.nome + u"; aguardando transmissão"_s;
        p.contingencia = c.nome;
        p.transmitido = false;
        // The e-mail request goes with the document, before the journal names it: the caller's
        // copy is deleted once the receipt is printed, and the mail can only go when the document
        // is authorised, in a later run. A request kept from an earlier emission of this key
        // that was rejected does not go with this one unless the caller asks again.
        const bool comPedido = !pedidoDoChamador.isEmpty() && existeArquivo(pedidoDoChamador);
        const bool pedidoOk =
            comPedido ? guardaPedidoEmail(pedidoDoChamador, pedidoGuardado) : apagaArquivo(pedidoGuardado);
        if (!pedidoOk || !ArquivoDocumentos::grava(guardado, documento) || !diario_.registra(p)) {
            op_.mensagem(u"!!!ERRO!!!|Não foi possível guardar o documento emitido em contingência:|"_s +
                         guardado + u"|Verifique permissões e espaço da pasta. Nada foi impresso."_s);
            apagaArquivo(guardado);
            apagaArquivo(pedidoGuardado);
            return false;
        }
        guardou = true;
        // Nothing leaves: the authority is out of reach.
        return false;
    };
    op_.ChamaWebService(Servico::Recepcao, opcoes);
    if (!guardou) {
        if (op_.recusadoNoTeste()) {
            apagaArquivo(ctx_.NomeBase + u".XML"_s);
            apagaArquivo(ctx_.NomeBase + u".EML"_s);
        }
        return {Desfecho::Recusada, {}};
    }
    return entrega();
}

Autorizacao::Transmissao Autorizacao::transmite(const Pendente& p, QString& motivo) {
    const ContextoExecucao daTarefa = ctx_;
    ctx_.Tipo = p.tipo;
    ctx_.Tarefa = p.tarefa;
    ctx_.CNPJ = p.cnpj;
    ctx_.cUF = cufDaChave(p.chave);
    ctx_.CHAVE = p.chave;
    ctx_.LbXML = QStringList{p.assinado};
    // The signed copy of the contingency folder goes once the proc is stored.
    const QString guardado = op_.arquivo().contingencia(p.cnpj, p.chave, p.tipo);
    const QString pedido = op_.arquivo().pedidoEmailContingencia(p.cnpj, p.chave, p.tipo);
    ctx_.ArquivoDocumento = existeArquivo(guardado) ? localizaCaminho(guardado) : QString();
    contingencia_ = p.contingencia;
    op_.Mostra_Status(u"Transmitindo documento emitido em contingência: "_s + p.chave);
    const Resultado r = envia(true);
    Transmissao t = Transmissao::SemResultado;
    switch (r.tipo) {
    case Autorizado:
    case Denegado:
        if (armazena(r)) {
            t = Transmissao::Autorizada;
            motivo = r.tipo == Denegado ? u"uso denegado ("_s + r.situacao + u')' : u"autorizado"_s;
            op_.Mostra_Status(u"Documento em contingência arquivado: "_s + ctx_.ArquivoDocumento);
            entregaPedidoGuardado(pedido, r.tipo == Autorizado);
        } else {
            motivo = u"autorizado, mas o arquivo não pôde ser gravado"_s;
        }
        break;
    case Rejeitado:
    case NaoConsta:
    case Divergente: {
        diario_.encerra(p.cnpj, p.chave);
        t = Transmissao::Recusada;
        const QString protocolo = protocoloDaResposta(p.tipo, r.resposta);
        motivo = u"rejeitado ("_s + r.situacao + u"): "_s +
                 valorElemento(protocolo.isEmpty() ? r.resposta : protocolo, u"xMotivo"_s);
        if (!ctx_.ArquivoDocumento.isEmpty())
            motivo += u"; o documento assinado fica em "_s + ctx_.ArquivoDocumento;
        // Nothing is mailed; the request stays beside the copy, the only record of where the
        // customer wanted the document, for whoever corrects and issues it again.
        if (existeArquivo(pedido)) motivo += u", com o pedido de email "_s + localizaCaminho(pedido);
        break;
    }
    case Desconhecido:
    case NaoEnviado:
        motivo = r.motivo.isEmpty() ? u"não foi enviado"_s : r.motivo;
        break;
    }
    op_.Mostra_Status(p.chave + u": "_s + motivo);
    contingencia_.clear();
    ctx_ = daTarefa;
    return t;
}

void Autorizacao::resolve(const Pendente& p) {
    // The run's own values are put back afterwards: this is a side errand of another task.
    const ContextoExecucao daTarefa = ctx_;
    ctx_.Tipo = p.tipo;
    ctx_.Tarefa = p.tarefa;
    ctx_.CNPJ = p.cnpj;
    ctx_.cUF = Copia(p.chave, 1, 2);
    ctx_.LbXML = QStringList{p.assinado};
    // The caller's file, if it is still there, is left for its own run (which will find the
    // document authorised and print and mail it).
    ctx_.ArquivoDocumento.clear();
    // The signed copy of a contingency document goes once its proc is stored, as when it is
    // transmitted.
    if (const QString guardado = op_.arquivo().contingencia(p.cnpj, p.chave, p.tipo);
        !p.contingencia.isEmpty() && existeArquivo(guardado))
        ctx_.ArquivoDocumento = localizaCaminho(guardado);
    // Its e-mail request too: no run of the caller's document will come to mail it.
    const QString pedido =
        p.contingencia.isEmpty() ? QString() : op_.arquivo().pedidoEmailContingencia(p.cnpj, p.chave, p.tipo);
    op_.Mostra_Status(u"Consultando documento pendente: "_s + p.chave);
    Resultado r = consulta(p.chave);
    if (r.tipo == NaoConsta) {
        op_.Mostra_Status(u"O documento pendente não consta na SEFAZ; enviando de novo: "_s + p.chave);
        r = envia(true);
    }
    switch (r.tipo) {
    case Autorizado:
    case Denegado:
        if (armazena(r)) {
            op_.Mostra_Status(u"Documento pendente arquivado: "_s + ctx_.ArquivoDocumento);
            if (!pedido.isEmpty()) entregaPedidoGuardado(pedido, r.tipo == Autorizado);
        }
        break;
    case Rejeitado:
    case NaoConsta:
    case Divergente:
        diario_.encerra(p.cnpj, p.chave);
        op_.Mostra_Status(u"Documento pendente recusado pela SEFAZ ("_s + r.situacao + u"): "_s + p.chave);
        break;
    case Desconhecido:
    case NaoEnviado:
        op_.Mostra_Status(u"Documento pendente continua sem resultado: "_s + p.chave);
        break;
    }
    resolvido_ = r.tipo != Desconhecido && r.tipo != NaoEnviado;
    ctx_ = daTarefa;
}

void resolvePendentes(Operacoes& op, const QString& excetoChave, bool desenha) {
    const ContextoExecucao& ctx = op.ctx();
    if (ctx.CNPJ.trimmed().isEmpty() || !op.certificadoPronto()) return;
    Autorizacao autorizacao(op);
    // Without an answer for one entry, its service is out of reach for the others too: they wait
    // for the next run instead of holding this task for a time-out each. The other service's
    // entries go on.
    bool nddForaDoAr = false;
    bool sefazForaDoAr = false;
    for (const Pendente& p : op.diario().daEmpresa(ctx.CNPJ)) {
        if (p.chave == excetoChave) continue;
        // A contingency document that never went out waits for TRANSMITIR PENDENTES.
        if (!p.transmitido) continue;
        // Its e-mail takes the PDF, which this run cannot draw: a run that draws settles it.
        if (!desenha && !p.contingencia.isEmpty() &&
            existeArquivo(op.arquivo().pedidoEmailContingencia(p.cnpj, p.chave, p.tipo)))
            continue;
        // An NFS-e lot is settled by the next run of its own document, which asks its provider.
        if (p.tipo == TipoDocumento::NFSe) continue;
        if (p.tipo == TipoDocumento::DOT) {
            if (!nddForaDoAr) nddForaDoAr = !resolvePendenteTransporte(op, p);
            continue;
        }
        if (sefazForaDoAr) continue;
        autorizacao.resolve(p);
        sefazForaDoAr = !autorizacao.resolvido();
    }
}

Passo recepcao(Operacoes& op) {
    return Autorizacao(op).executa();
}

} // namespace qel
