// EPEC (NF-e technical note 2013.004 and the contingency chapter of the NF-e manual): the issuer
// registers a summary of the NF-e at the national environment (event 110140, cOrgao 91) and may
// then print its DANFE; the NF-e itself goes to its state's authoriser once that answers again.

#include "flows/epec.h"

#include "flows/apoio_fluxo.h"
#include "flows/autorizacao.h"
#include "flows/evento_documento.h"
#include "flows/operacoes.h"
#include "flows/proc.h"
#include "tarefa/chave.h"
#include "util/arquivos.h"
#include "util/tabelas.h"
#include "util/texto.h"
#include "ws/construtores.h"
#include "ws/enderecos.h"

using namespace Qt::StringLiterals;

namespace qel {

EventoEpec montaEventoEpec(const QString& documento, const QString& chave, const QString& cnpj,
                           Ambiente ambiente, const QString& dhEvento) {
    const QString ide = elementoCompleto(documento, u"ide"_s);
    const QString emitente = elementoCompleto(documento, u"emit"_s);
    const QString dest = elementoCompleto(documento, u"dest"_s);
    const QString totais = elementoCompleto(documento, u"ICMSTot"_s);
    if (chave.size() != 44 || ide.isEmpty() || emitente.isEmpty() || totais.isEmpty())
        return {
            {},
            u"O documento não tem os grupos ide, emit e ICMSTot de uma NF-e; o EPEC não pode ser feito."_s};
    if (dest.isEmpty())
        return {{}, u"O EPEC pede o destinatário da NF-e (grupo dest), que o documento não tem."_s};
    const QString autor = CnpjSemPontuacao(cnpj);
    // The recipient: its state ("EX" abroad), its identification and registration.
    const QString ufDestino = valorElemento(elementoCompleto(dest, u"enderDest"_s), u"UF"_s);
    QString identificacao;
    for (const QString& nome : {u"CNPJ"_s, u"CPF"_s, u"idEstrangeiro"_s})
        if (dest.contains(u'<' + nome + u'>')) {
            identificacao = elementoXml(nome, valorElemento(dest, nome));
            break;
        }
    const QString ieDestino = valorElemento(dest, u"IE"_s);
    const QString detalhe =
        elementoXml(u"descEvento"_s, u"EPEC"_s) + elementoXml(u"cOrgaoAutor"_s, cufDaChave(chave)) +
        elementoXml(u"tpAutor"_s, u"1"_s) + elementoXml(u"verAplic"_s, valorElemento(ide, u"verProc"_s)) +
        elementoXml(u"dhEmi"_s, valorElemento(ide, u"dhEmi"_s)) +
        elementoXml(u"tpNF"_s, valorElemento(ide, u"tpNF"_s)) +
        elementoXml(u"IE"_s, valorElemento(emitente, u"IE"_s)) + u"<dest>"_s +
        elementoXml(u"UF"_s, ufDestino.isEmpty() ? u"EX"_s : ufDestino) + identificacao +
        (ieDestino.isEmpty() ? QString() : elementoXml(u"IE"_s, ieDestino)) +
        elementoXml(u"vNF"_s, valorElemento(totais, u"vNF"_s)) +
        elementoXml(u"vICMS"_s, valorElemento(totais, u"vICMS"_s)) +
        elementoXml(u"vST"_s, valorElemento(totais, u"vST"_s)) + u"</dest>"_s;
    const QString info = elementoXml(u"cOrgao"_s, u"91"_s) + elementoXml(u"tpAmb"_s, codigo(ambiente)) +
                         elementoXml(autor.size() == 11 ? u"CPF"_s : u"CNPJ"_s, autor) +
                         elementoXml(u"chNFe"_s, chave) + elementoXml(u"dhEvento"_s, dhEvento) +
                         elementoXml(u"tpEvento"_s, u"110140"_s) + elementoXml(u"nSeqEvento"_s, u"1"_s) +
                         elementoXml(u"verEvento"_s, u"1.00"_s) + u"<detEvento versao=\"1.00\">"_s + detalhe +
                         u"</detEvento>"_s;
    return {u"<evento xmlns=\""_s + kNsNFe + u"\" versao=\"1.00\"><infEvento Id=\"ID110140"_s + chave +
                u"01\">"_s + info + u"</infEvento></evento>"_s,
            {}};
}

// The NF-e of the run in EPEC: the event registered first, then the document signed, kept and
// printed as an offline NFC-e is; it waits for TRANSMITIR PENDENTES.
Passo Autorizacao::emiteEpec(const Contingencia& c) {
    const QString chave = ctx_.CHAVE;
    const ArquivoDocumentos arquivo = op_.arquivo();
    if (diario_.procura(ctx_.CNPJ, chave) && existeArquivo(arquivo.contingencia(ctx_.CNPJ, chave, ctx_.Tipo)))
        return guardaContingencia(c);
    const QStringList documento = ctx_.LbXML;
    const QString tarefa = ctx_.Tarefa;
    const EventoEpec evento = montaEventoEpec(primeira(documento), chave, ctx_.CNPJ, ctx_.ambiente,
                                              dataHoraDoEstado(op_.agora(), Converte_UF(cufDaChave(chave))));
    if (!evento.recusa.isEmpty()) {
        op_.mensagem(evento.recusa + u"|O documento não foi enviado."_s);
        return {Desfecho::Recusada, {}};
    }
    op_.Mostra_Status(u"Registrando o EPEC no Ambiente Nacional: "_s + chave);
    ctx_.LbXML = QStringList{evento.xml};
    ctx_.Tarefa = u"EPEC"_s;
    const bool chamou = op_.ChamaWebService(Servico::Evento);
    const QString eventoAssinado = primeira(ctx_.LbXML);
    const QString resposta = primeira(ctx_.LbRetorno);
    const QString original = op_.respostaOriginal();
    ctx_.Tarefa = tarefa;
    ctx_.LbXML = documento;
    ctx_.CHAVE = chave;
    if (!chamou) return {Desfecho::Recusada, {}};
    const QString registro = elementoCompleto(resposta, u"retEvento"_s);
    const QString situacao = valorElemento(registro, u"cStat"_s);
    if (situacao.isEmpty()) {
        op_.mensagem(
            u"O EPEC não teve resposta do Ambiente Nacional:|"_s + resposta.left(300) +
            u"|O documento não foi emitido; envie-o de novo (um EPEC já registrado é reconhecido)."_s);
        return {Desfecho::Recusada, {}};
    }
    if (situacao != u"135"_s && situacao != u"136"_s && situacao != u"573"_s) {
        ctx_.LbRetorno = QStringList{registro};
        op_.Mostra_Mensagem(ModoResultado::ApresentaResultado, u"cStat"_s, u"xMotivo"_s, QString());
        return {Desfecho::Recusada, {}};
    }
    // The registration as the authority wrote it, beside where the proc will be.
    if (const std::optional<QString> proc = montaProcEvento(TipoDocumento::NFe, eventoAssinado, original))
        if (!ArquivoDocumentos::grava(arquivo.irmao(ctx_.CNPJ, chave, u"epec"_s), *proc))
            op_.Mostra_Status(u"Não foi possível gravar o registro do EPEC: "_s +
                              arquivo.irmao(ctx_.CNPJ, chave, u"epec"_s));
    op_.Mostra_Status(u"EPEC registrado ("_s + situacao + u"): "_s + valorElemento(registro, u"nProt"_s));
    return guardaContingencia(c);
}

} // namespace qel
