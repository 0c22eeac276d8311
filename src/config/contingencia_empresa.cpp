#include "config/contingencia_empresa.h"

#include "util/texto.h"

using namespace Qt::StringLiterals;

namespace qel {

ValorContingencia leContingencia(const QString& valor) {
    const QString v = Maiusculo(valor);
    ValorContingencia lido;
    if (v.isEmpty() || v == u"NORMAL"_s)
        lido.forma = FormaContingencia::Nenhuma;
    else if (v == u"SVC-AN"_s)
        lido.forma = FormaContingencia::SvcAn;
    else if (v == u"SVC-RS"_s)
        lido.forma = FormaContingencia::SvcRs;
    else if (v == u"SVC"_s)
        lido.svcDoEstado = true;
    else if (v == u"EPEC"_s)
        lido.forma = FormaContingencia::Epec;
    else if (v == u"OFFLINE"_s)
        lido.forma = FormaContingencia::Offline;
    else
        lido.reconhecido = false;
    return lido;
}

const QList<OpcaoContingencia>& opcoesContingencia() {
    // Which document each form takes is said in the label: the counter chooses by it, and a
    // form the document does not take refuses every send of that document.
    static const QList<OpcaoContingencia> opcoes{
        {QString(), u"Normal (sem contingência)"_s},
        {u"SVC-AN"_s, u"SVC-AN - Sefaz Virtual do Ambiente Nacional (só NF-e)"_s},
        {u"SVC-RS"_s, u"SVC-RS - Sefaz Virtual do RS (só NF-e)"_s},
        {u"SVC"_s, u"SVC do estado da empresa (só NF-e)"_s},
        {u"EPEC"_s, u"EPEC - evento prévio de emissão (só NF-e)"_s},
        {u"OFFLINE"_s, u"OFFLINE - emissão sem internet (só NFC-e)"_s},
    };
    return opcoes;
}

bool justificativaValida(const QString& justificativa) {
    const qsizetype n = justificativa.trimmed().size();
    return n >= 15 && n <= 256;
}

QString contingenciaNaoReconhecida(const QString& valor) {
    return u"Contingência não reconhecida: \""_s + valor +
           u"\" (use SVC-AN, SVC-RS, SVC, EPEC ou OFFLINE)."_s;
}

QString recusaJustificativa(const QString& nome, const QString& justificativa) {
    if (justificativaValida(justificativa)) return {};
    return u"A contingência "_s + nome +
           u" pede a justificativa de entrada em contingência (JUSTIFICATIVA CONTINGENCIA), de 15 a 256 "
           "caracteres; a informada tem "_s +
           QString::number(justificativa.trimmed().size()) + u'.';
}

QString recusaContingenciaEmpresa(const QString& valor, const QString& justificativa) {
    const QString nome = Maiusculo(valor);
    const ValorContingencia lido = leContingencia(nome);
    if (!lido.reconhecido) return contingenciaNaoReconhecida(nome);
    if (lido.forma == FormaContingencia::Nenhuma && !lido.svcDoEstado) return {};
    return recusaJustificativa(nome, justificativa);
}

} // namespace qel
