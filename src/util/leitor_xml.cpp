#include "util/leitor_xml.h"

#include "util/arquivos.h"
#include "util/posicoes.h"
#include "util/texto.h"

#include <utility>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// Upper case character by character, so positions stay where they were.
QString maiusculas(const QString& texto) {
    QString saida = texto;
    for (QChar& c : saida)
        c = c.toUpper();
    return saida;
}

// Tag names and attributes upper-cased, element text (and so names and amounts) as it is.
QString tagsMaiusculas(const QString& linha) {
    QString saida = linha;
    bool dentroDaTag = false;
    for (QChar& c : saida) {
        if (c == u'<')
            dentroDaTag = true;
        else if (c == u'>')
            dentroDaTag = false;
        if (dentroDaTag) c = c.toUpper();
    }
    return saida;
}

// The text between the opening tag (of `tamanhoTag` characters, the line begins with it) and
// the closing tag, which is one character longer.
QString valorDaLinha(const QString& linha, qsizetype tamanhoTag) {
    return Copia(linha, tamanhoTag + 1, linha.size() - 2 * tamanhoTag - 1);
}

// The text up to the first double quote; empty when the quote never comes (a cut line).
QString ateAspas(const QString& texto) {
    const qsizetype aspas = Posicao(u"\""_s, texto);
    return aspas > 0 ? Copia(texto, 1, aspas - 1) : QString();
}

QString semColchetes(QString texto) {
    texto.remove(u'[');
    texto.remove(u']');
    return texto;
}

} // namespace

LeitorXml::LeitorXml(const QString& tipo) : tipo_(tipo) {}

void LeitorXml::defineTipo(const QString& tipo) {
    tipo_ = tipo;
}

void LeitorXml::Carrega_XML(const QString& fonte) {
    linhas_ = QStringList();
    grupo_ = QStringList();

    QString xml;
    const QString aparada = fonte.trimmed();
    if (aparada.startsWith(u'<') && aparada.endsWith(u'>'))
        xml = aparada;
    else if (fonte.startsWith(u"\\\\"_s) || Copia(fonte, 2, 1) == u":"_s || fonte.startsWith(u'/'))
        xml = lerTexto(caminhoNativo(fonte));
    else
        return;

    // Blanks right after a ">" go first (indentation between elements written on one line),
    // tabs only afterwards: a ">", a tab and a blank leave "> <", and those two elements share
    // a line. Indentation normally follows a line break, which is kept as a line end.
    QString compacto;
    compacto.reserve(xml.size());
    bool aposFecha = false;
    for (const QChar c : std::as_const(xml)) {
        if (c == u' ' && aposFecha) continue;
        compacto += c;
        aposFecha = c == u'>';
    }
    compacto.remove(u'\t');
    compacto.replace(u"><"_s, u">\n<"_s);
    linhas_ = divideLinhas(compacto);
}

bool LeitorXml::Seleciona_Grupo(const QString& nome) {
    const QString abre = u"<"_s + maiusculas(nome) + u">"_s;
    const QString abreComAtributos = u"<"_s + maiusculas(nome) + u" "_s;
    const qsizetype branco = Posicao(u" "_s, nome);
    const QString fecha = u"</"_s + maiusculas(branco > 0 ? Copia(nome, 1, branco - 1) : nome) + u">"_s;

    grupo_ = QStringList();
    bool dentro = false;
    for (const QString& linha : linhas_) {
        const QString L = Maiusculo(linha);
        if (dentro && L == fecha) break;
        // An element of the same name inside the group: its opening line is skipped and its
        // closing line ends the group.
        if (L == abre || L.startsWith(abreComAtributos)) {
            dentro = true;
            continue;
        }
        if (dentro) grupo_.append(tagsMaiusculas(linha.trimmed()));
    }
    return !grupo_.isEmpty();
}

QString LeitorXml::Busca_Valor(const QString& nome, const QString& grupo, int indice) const {
    // The QR text of NFC-e, CT-e and MDF-e travels in a CDATA section on a line of its own.
    if (nome == u"QRCode"_s) {
        for (const QString& linha : linhas_) {
            const QString L = linha.trimmed();
            if (!L.contains(u"CDATA"_s)) continue;
            const QString qr = Copia(L, 10, L.size() - 12);
            if (!qr.isEmpty()) return qr;
            break;
        }
    }

    if (nome == u"Tipo de Documento"_s) {
        for (const QString& linha : linhas_) {
            const QString L = linha.trimmed();
            if (L.startsWith(u"<infNFe "_s)) return u"NFe"_s;
            if (L.startsWith(u"<infCte "_s)) return u"CTe"_s;
            if (L.startsWith(u"<infMDFe "_s)) return u"MDFe"_s;
        }
        return {};
    }

    if (nome == u"Nome xCampo"_s) {
        int ocorrencia = 0;
        const int procurada = indice > 1 ? indice : 1;
        for (const QString& linha : linhas_) {
            const QString L = linha.trimmed();
            if (Maiusculo(Copia(L, 1, 8)) != u"<OBSCONT"_s) continue;
            // <obsCont xCampo="...": the attribute value starts at character 18.
            if (++ocorrencia == procurada) return ateAspas(CopiaDesde(L, 18));
        }
        return {};
    }

    if (nome == u"Chave de Acesso"_s || nome == u"Versao"_s) {
        if (Vazio(tipo_)) return {};
        QString tipo = Maiusculo(tipo_);
        if (tipo == u"NFCE"_s) tipo = u"NFE"_s;
        const QString inicio = Copia(u"<INF"_s + tipo + u" "_s, 1, 8);
        for (const QString& linha : linhas_) {
            const QString U = Maiusculo(linha);
            if (!U.startsWith(inicio)) continue;
            // Id="NFe" + 44 digits: its closing quote sits 51 characters after "ID=" (52 for
            // the four-letter prefix "MDFe").
            const qsizetype e = Posicao(u"ID=\""_s + tipo, U);
            if (e == 0 || (Copia(U, e + 51, 1) != u"\""_s && Copia(U, e + 52, 1) != u"\""_s)) return {};
            if (nome == u"Versao"_s) {
                const qsizetype v = Posicao(u"VERSAO=\""_s, U);
                return v > 0 ? semColchetes(ateAspas(CopiaDesde(U, v + 8))) : QString();
            }
            return semColchetes(Copia(U, e + (tipo == u"MDFE"_s ? 8 : 7), 44));
        }
        return {};
    }

    if (nome.startsWith(u'*')) {
        const QString tag = u"<"_s + Maiusculo(nome.mid(1)) + u">"_s;
        QString achada;
        bool encontrou = false;
        for (const QString& linha : linhas_) {
            // Trimmed, so that an indented document reads as a flat one.
            const QString L = linha.trimmed();
            if (maiusculas(Copia(L, 1, tag.size())) != tag) continue;
            achada = L;
            encontrou = true;
            if (grupo != u"Ultimo"_s) break;
        }
        return encontrou ? semColchetes(valorDaLinha(achada, tag.size())) : QString();
    }

    if (nome.startsWith(u'<')) {
        const QString inicio = maiusculas(nome);
        QString achada;
        for (const QString& linha : linhas_) {
            if (Maiusculo(linha).startsWith(inicio)) achada = linha.trimmed();
        }
        return semColchetes(achada);
    }

    if (grupo == u"EVT"_s) {
        const QString tag = u"<"_s + nome + u">"_s;
        for (const QString& linha : linhas_) {
            if (linha.startsWith(tag)) return semColchetes(valorDaLinha(linha, tag.size()));
        }
        return {};
    }

    const QString tag = u"<"_s + maiusculas(nome) + u">"_s;
    const bool temSubgrupo = !grupo.isEmpty();
    const QString abreSubgrupo = u"<"_s + maiusculas(grupo) + u">"_s;
    const QString fechaSubgrupo = u"</"_s + maiusculas(grupo) + u">"_s;
    bool procurando = !temSubgrupo;
    int ocorrencia = 0;
    const int procurada = indice > 1 ? indice : 1;
    for (const QString& linha : grupo_) {
        if (!procurando) {
            procurando = linha == abreSubgrupo;
            continue;
        }
        if (temSubgrupo && linha == fechaSubgrupo) break;
        if (linha.startsWith(tag) && ++ocorrencia == procurada)
            return semColchetes(valorDaLinha(linha, tag.size()));
    }
    return {};
}

} // namespace qel
