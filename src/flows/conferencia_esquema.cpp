// The schema check before a send: what the authority would answer with rejection 225 ("Falha no
// Schema XML", the taxpayer's manual's validation of the message) is said here, with the element
// and what it expects, and the document never leaves.

#include "flows/operacoes.h"
#include "ws/validacao_esquema.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// A long list of faults (one per item of a large document) is cut: the first ones show what
// is wrong, and the log has the count.
constexpr qsizetype kFalhasMostradas = 20;

} // namespace

bool Operacoes::conformeEsquema(const QString& texto) {
    const ResultadoEsquema r = validaEsquemaOficial(texto.toUtf8(), pastaEsquemas());
    switch (r.situacao) {
    case ResultadoEsquema::SemEsquema:
    case ResultadoEsquema::Valido:
        return true;
    case ResultadoEsquema::NaoValidado:
        // Said once per run: the queries of a lot's result would repeat it.
        if (!naoValidados_.contains(r.motivo)) {
            naoValidados_.insert(r.motivo);
            Mostra_Status(u"Documento não validado pelo esquema: "_s + r.motivo);
        }
        return true;
    case ResultadoEsquema::Invalido:
        break;
    }
    const QStringList todas = r.linhas();
    QStringList linhas = todas.mid(0, kFalhasMostradas);
    if (todas.size() > kFalhasMostradas)
        linhas << u"… e mais "_s + QString::number(todas.size() - kFalhasMostradas) + u" falhas"_s;
    Mostra_Status(u"Documento recusado pelo esquema "_s + r.esquema + u": "_s +
                  QString::number(todas.size()) + (todas.size() == 1 ? u" falha"_s : u" falhas"_s));
    // Whole, on the status list and in the log; the dialog below wraps long lines.
    for (const QString& linha : std::as_const(linhas))
        Mostra_Status(linha);
    // What a flow writes to the calling application's answer file.
    ctx_.LbRetorno = linhas;
    recusadoPeloEsquema_ = true;
    // "|" separates the message's lines; a pattern may hold one.
    for (QString& linha : linhas)
        linha.replace(u'|', u'¦');
    mensagem(u"O documento não foi enviado: não segue o leiaute oficial.|"_s + linhas.join(u'|') +
             u"|Corrija o documento e envie de novo."_s);
    return false;
}

} // namespace qel
