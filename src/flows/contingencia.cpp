#include "flows/contingencia.h"

#include "flows/proc.h"
#include "tarefa/chave.h"
#include "util/texto.h"
#include "ws/construtores.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// The element of the name inside the ide group, replaced by a new value; false when absent.
bool trocaNoIde(QString& documento, qsizetype inicioIde, qsizetype fimIde, const QString& nome,
                const QString& valor) {
    const QString abre = u'<' + nome + u'>';
    const qsizetype a = documento.indexOf(abre, inicioIde);
    if (a < 0 || a > fimIde) return false;
    const qsizetype f = documento.indexOf(u"</"_s + nome + u'>', a);
    if (f < 0 || f > fimIde) return false;
    documento.replace(a + abre.size(), f - a - abre.size(), valor);
    return true;
}

void tiraDoIde(QString& documento, qsizetype inicioIde, const QString& nome) {
    const qsizetype fimIde = documento.indexOf(u"</ide>"_s, inicioIde);
    const qsizetype a = documento.indexOf(u'<' + nome + u'>', inicioIde);
    if (a < 0 || fimIde < 0 || a > fimIde) return;
    const QString fecha = u"</"_s + nome + u'>';
    const qsizetype f = documento.indexOf(fecha, a);
    if (f >= 0 && f < fimIde) documento.remove(a, f + fecha.size() - a);
}

} // namespace

Contingencia contingenciaDaExecucao(const ContextoExecucao& ctx, const ConfiguracaoEmpresa& cfg,
                                    const TabelaEnderecos& tabela) {
    Contingencia c;
    const bool daTarefa = !ctx.Contingencia.trimmed().isEmpty();
    const QString valor = Maiusculo((daTarefa ? ctx.Contingencia : cfg.Contingencia).trimmed());
    const QString justificativa = ctx.JustificativaContingencia.trimmed();
    c.justificativa = justificativa.isEmpty() ? cfg.JustificativaContingencia.trimmed() : justificativa;
    const ValorContingencia lido = leContingencia(valor);
    c.nome = lido.svcDoEstado ? tabela.svcDoEstado(ctx.cUF.trimmed()) : valor;
    const FormaContingencia svc = leContingencia(c.nome).forma;
    if (!lido.reconhecido)
        c.erro = contingenciaNaoReconhecida(valor);
    else if (!lido.svcDoEstado)
        c.forma = lido.forma;
    else if (svc == FormaContingencia::SvcAn || svc == FormaContingencia::SvcRs)
        c.forma = svc;
    else
        c.erro = u"Contingência SVC: a tabela de endereços não indica o autorizador de contingência do "
                 "estado de código "_s +
                 ctx.cUF + u'.';
    return c;
}

QChar tpEmisDe(FormaContingencia forma) {
    switch (forma) {
    case FormaContingencia::SvcAn:
        return u'6';
    case FormaContingencia::SvcRs:
        return u'7';
    case FormaContingencia::Epec:
        return u'4';
    case FormaContingencia::Offline:
        return u'9';
    case FormaContingencia::Nenhuma:
        break;
    }
    return u'1';
}

QString svcDoTpEmis(const QString& tpEmis) {
    if (tpEmis == u"6"_s) return u"SVC-AN"_s;
    if (tpEmis == u"7"_s) return u"SVC-RS"_s;
    return {};
}

QString tpEmisDoDocumento(const QString& documento) {
    return valorElemento(elementoCompleto(documento, u"ide"_s), u"tpEmis"_s).trimmed();
}

DocumentoContingencia poeEmContingencia(const QString& documento, QChar tpEmis, const QString& dhCont,
                                        const QString& xJust) {
    DocumentoContingencia r;
    QString texto = documento;
    const qsizetype id = texto.indexOf(u"Id=\"NFe"_s);
    const QString chave = id < 0 ? QString() : texto.mid(id + 7, 44);
    const QString nova = chaveComEmissao(chave, tpEmis);
    const qsizetype ide = texto.indexOf(u"<ide>"_s);
    if (nova.isEmpty() || ide < 0 || texto.indexOf(u"</ide>"_s, ide) < 0) {
        r.erro = u"O documento não tem a chave de acesso e o grupo ide de uma NF-e; não pode ser posto em "
                 "contingência."_s;
        return r;
    }
    // A document that carried an entry into contingency of its own gets this one.
    tiraDoIde(texto, ide, u"dhCont"_s);
    tiraDoIde(texto, ide, u"xJust"_s);
    const qsizetype fimIde = texto.indexOf(u"</ide>"_s, ide);
    if (!trocaNoIde(texto, ide, fimIde, u"tpEmis"_s, QString(tpEmis)) ||
        !trocaNoIde(texto, ide, fimIde, u"cDV"_s, nova.right(1))) {
        r.erro = u"O grupo ide do documento não tem tpEmis e cDV; não pode ser posto em contingência."_s;
        return r;
    }
    // Entry into contingency after verProc, before any referenced document.
    const QString entrada = elementoXml(u"dhCont"_s, dhCont) + elementoXml(u"xJust"_s, xJust.trimmed());
    const qsizetype verProc = texto.indexOf(u"</verProc>"_s, ide);
    const qsizetype fim = texto.indexOf(u"</ide>"_s, ide);
    if (verProc < 0 || verProc > fim) {
        r.erro = u"O grupo ide do documento não tem verProc; não pode ser posto em contingência."_s;
        return r;
    }
    texto.insert(verProc + 10, entrada);
    texto.replace(u"Id=\"NFe"_s + chave + u'"', u"Id=\"NFe"_s + nova + u'"');
    r.documento = texto;
    r.chave = nova;
    return r;
}

} // namespace qel
