// TRANSMITIR PENDENTES: the company's documents issued in contingency that have not gone to the
// authority yet (offline NFC-e, EPEC NF-e) are sent, oldest first, each as the authorisation sends a
// document, and each outcome is told.

#include "flows/autorizacao.h"
#include "flows/fluxos.h"
#include "flows/operacoes.h"

using namespace Qt::StringLiterals;

namespace qel {

Passo transmitePendentes(Operacoes& op) {
    ContextoExecucao& ctx = op.ctx();
    if (ctx.CNPJ.trimmed().isEmpty()) {
        op.mensagem(u"A tarefa TRANSMITIR PENDENTES pede o CNPJ da empresa (linha CNPJ)."_s);
        return {Desfecho::Recusada, {}};
    }
    const QList<Pendente> pendentes = op.diario().aTransmitir(ctx.CNPJ);
    if (pendentes.isEmpty()) {
        op.Mostra_Status(u"Nenhum documento emitido em contingência aguarda transmissão"_s);
        return {};
    }
    // Without the certificate nothing can go: the entries stay as they are.
    if (!op.certificadoPronto()) return {Desfecho::Recusada, {}};
    op.Mostra_Status(u"Documentos emitidos em contingência a transmitir: "_s +
                     QString::number(pendentes.size()));
    Autorizacao autorizacao(op);
    QStringList linhas;
    int autorizados = 0;
    bool foraDoAr = false;
    for (const Pendente& p : pendentes) {
        // Without an answer for one, the authority is out of reach for the others too.
        if (foraDoAr) {
            linhas << p.chave + u": não enviado; a SEFAZ não respondeu ao anterior"_s;
            continue;
        }
        QString motivo;
        const Autorizacao::Transmissao t = autorizacao.transmite(p, motivo);
        if (t == Autorizacao::Transmissao::Autorizada) ++autorizados;
        foraDoAr = t == Autorizacao::Transmissao::SemResultado;
        linhas << p.chave + u": "_s + motivo;
    }
    const bool todos = autorizados == pendentes.size();
    op.Mostra_Status(u"Transmitidos e autorizados: "_s + QString::number(autorizados) + u" de "_s +
                     QString::number(pendentes.size()));
    if (!todos)
        op.mensagem(u"Documentos emitidos em contingência que não foram autorizados:|"_s + linhas.join(u'|'));
    return {todos ? Desfecho::Concluida : Desfecho::Recusada, {}};
}

} // namespace qel
