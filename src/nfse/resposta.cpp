#include "nfse/resposta.h"

#include "util/arvore_xml.h"

#include <functional>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// The ABRASF message inside the answer: the element below Body that holds the provider's result,
// whatever wraps it. The message roots end in "Resposta" (or are the typed result of Curitiba).
const NoXml* mensagemAbrasf(const NoXml& raiz) {
    std::function<const NoXml*(const NoXml&)> procura = [&](const NoXml& no) -> const NoXml* {
        if (no.nome.endsWith(u"Resposta"_s)) return &no;
        for (const NoXml& f : no.filhos)
            if (const NoXml* achado = procura(f)) return achado;
        return nullptr;
    };
    if (const NoXml* achado = procura(raiz)) return achado;
    // Typed answers: the result element itself holds the elements of the message.
    const NoXml* corpo = raiz.busca(u"Body");
    if (corpo && !corpo->filhos.isEmpty() && !corpo->filhos.first().filhos.isEmpty())
        return &corpo->filhos.first().filhos.first();
    return corpo ? nullptr : &raiz;
}

} // namespace

bool RespostaNfse::recusada() const {
    for (const MensagemNfse& m : mensagens)
        if (m.codigo != u"E500"_s && m.codigo != u"E0807"_s) return true;
    return false;
}

bool RespostaNfse::loteRecusado() const {
    if (!recusada() || !numeroNfse.isEmpty()) return false;
    // The codes by which the providers say that the RPS or the lot is not in their base, or not
    // processed, yet (Thema answers E86 for a lot it lists as not received): none of them proves
    // the lot was refused, so it is asked for again later.
    for (const MensagemNfse& m : mensagens)
        if (m.codigo == u"E4"_s || m.codigo == u"E86"_s || m.codigo == u"E92"_s) return false;
    return true;
}

QString RespostaNfse::codigos() const {
    QStringList c;
    for (const MensagemNfse& m : mensagens)
        c << m.codigo;
    return c.join(u", "_s);
}

RespostaNfse leRespostaNfse(const QString& corpo) {
    RespostaNfse r;
    const LeituraXml leitura = leArvoreXml(corpo, true);
    if (!leitura.raiz) return r;
    const NoXml& raiz = *leitura.raiz;
    r.lida = true;
    if (const NoXml* falha = raiz.busca(u"Fault")) {
        r.falha = falha->valor(u"faultstring");
        if (r.falha.isEmpty()) r.falha = falha->valor(u"Text");
        if (r.falha.isEmpty()) r.falha = u"SOAP Fault"_s;
    }
    const NoXml* msg = mensagemAbrasf(raiz);
    if (!msg) return r;
    // An ABRASF 2 lot refused as a whole answers ListaMensagemRetornoLote (its messages name the
    // RPS they are about); the other answers ListaMensagemRetorno.
    for (const QStringView nomeLista : {u"ListaMensagemRetorno", u"ListaMensagemRetornoLote"}) {
        for (const NoXml* lista : msg->todos(nomeLista)) {
            QList<const NoXml*> itens = lista->todos(u"MensagemRetorno");
            itens += lista->todos(u"MensagemRetornoLote");
            for (const NoXml* m : std::as_const(itens)) {
                const QString codigo = m->valor(u"Codigo");
                if (codigo.isEmpty()) continue; // the empty MensagemRetorno some providers send
                r.mensagens.append({codigo, m->valor(u"Mensagem"), m->valor(u"Correcao")});
            }
        }
    }
    // The message roots of a reception hold these directly; a consultation's NFS-e holds its own.
    r.numeroLote = msg->valor(u"NumeroLote");
    r.dataRecebimento = msg->valor(u"DataRecebimento");
    r.protocolo = msg->valor(u"Protocolo");
    if (const NoXml* inf = msg->busca(u"InfNfse")) {
        if (const NoXml* numero = inf->filho(u"Numero")) r.numeroNfse = numero->texto.trimmed();
        if (const NoXml* codigo = inf->filho(u"CodigoVerificacao"))
            r.codigoVerificacao = codigo->texto.trimmed();
        if (const NoXml* emissao = inf->filho(u"DataEmissao")) r.dataEmissao = emissao->texto.trimmed();
    }
    // A cancellation is confirmed by a confirmation with its date and time (ABRASF 1.00 and 2),
    // or by ISSNet's success flag; the rejections of Thema carry the confirmation with an empty
    // date beside their messages.
    for (const NoXml* confirmacao : msg->todos(u"Confirmacao")) {
        QString quando = confirmacao->valor(u"DataHoraCancelamento");
        if (quando.isEmpty()) quando = confirmacao->valor(u"DataHora");
        if (!quando.isEmpty()) {
            r.cancelada = true;
            r.dataHoraCancelamento = quando;
        }
    }
    if (const NoXml* inf = msg->busca(u"InfConfirmacaoCancelamento")) {
        if (inf->valor(u"Sucesso").compare(u"true"_s, Qt::CaseInsensitive) == 0) {
            r.cancelada = true;
            r.dataHoraCancelamento = inf->valor(u"DataHora");
        }
    }
    if (r.recusada()) r.cancelada = false;
    // The message as the provider wrote it: the escaped text, or the typed elements written back.
    r.documento = msg->xml();
    return r;
}

} // namespace qel
