#include "util/arvore_xml.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// Escaped documents nest a few levels at most; a deeper nesting is not a real answer.
constexpr int kMaximoDesdobras = 4;

bool pareceDocumento(const QString& texto) {
    const QString t = texto.trimmed();
    return t.size() > 2 && t.startsWith(u'<') && t.endsWith(u'>');
}

void le(QXmlStreamReader& leitor, NoXml& no, bool desdobra, int nivel, QString& erro);

LeituraXml leTexto(const QString& texto, bool desdobra, int nivel) {
    LeituraXml leitura;
    QString limpo = texto;
    if (limpo.startsWith(QChar(0xFEFF))) limpo.remove(0, 1);
    QXmlStreamReader leitor(limpo);
    while (!leitor.atEnd()) {
        const auto token = leitor.readNext();
        if (token == QXmlStreamReader::DTD) {
            leitura.erro = u"o texto traz uma DTD"_s;
            return leitura;
        }
        if (token == QXmlStreamReader::StartElement) {
            NoXml raiz;
            le(leitor, raiz, desdobra, nivel, leitura.erro);
            leitura.raiz = std::move(raiz);
            break;
        }
    }
    if (leitor.hasError() && leitura.erro.isEmpty()) leitura.erro = leitor.errorString();
    return leitura;
}

void le(QXmlStreamReader& leitor, NoXml& no, bool desdobra, int nivel, QString& erro) {
    no.nome = leitor.name().toString();
    no.ns = leitor.namespaceUri().toString();
    for (const QXmlStreamAttribute& a : leitor.attributes())
        no.atributos.insert(a.name().toString(), a.value().toString());
    while (!leitor.atEnd()) {
        const auto token = leitor.readNext();
        if (token == QXmlStreamReader::StartElement) {
            NoXml filho;
            le(leitor, filho, desdobra, nivel, erro);
            no.filhos.append(std::move(filho));
        } else if (token == QXmlStreamReader::Characters) {
            no.texto += leitor.text();
        } else if (token == QXmlStreamReader::EndElement) {
            break;
        }
    }
    if (desdobra && nivel < kMaximoDesdobras && no.filhos.isEmpty() && pareceDocumento(no.texto)) {
        LeituraXml interna = leTexto(no.texto, true, nivel + 1);
        if (interna.raiz) {
            // The document without its declaration, so it can stand inside another.
            static const QRegularExpression declaracao(u"^\\x{FEFF}?\\s*<\\?xml[^>]*\\?>\\s*"_s);
            interna.raiz->original = no.texto.trimmed().remove(declaracao);
            no.filhos.append(std::move(*interna.raiz));
        }
        if (!interna.erro.isEmpty() && erro.isEmpty()) erro = interna.erro;
    }
}

void juntaTodos(const NoXml& no, QStringView nome, QList<const NoXml*>& achados) {
    for (const NoXml& f : no.filhos) {
        if (f.nome == nome) achados.append(&f);
        juntaTodos(f, nome, achados);
    }
}

} // namespace

const NoXml* NoXml::filho(QStringView nomeFilho) const {
    for (const NoXml& f : filhos)
        if (f.nome == nomeFilho) return &f;
    return nullptr;
}

const NoXml* NoXml::busca(QStringView nomeBuscado) const {
    for (const NoXml& f : filhos) {
        if (f.nome == nomeBuscado) return &f;
        if (const NoXml* achado = f.busca(nomeBuscado)) return achado;
    }
    return nullptr;
}

QList<const NoXml*> NoXml::todos(QStringView nomeBuscado) const {
    QList<const NoXml*> achados;
    juntaTodos(*this, nomeBuscado, achados);
    return achados;
}

QString NoXml::valor(QStringView caminho) const {
    const QList<QStringView> passos = caminho.split(u'/');
    const NoXml* no = busca(passos.first());
    for (qsizetype i = 1; no && i < passos.size(); ++i)
        no = no->filho(passos.at(i));
    return no ? no->texto.trimmed() : QString();
}

QString NoXml::xml(const QString& nsPai) const {
    if (!original.isEmpty()) return original;
    const auto escapa = [](QString v) {
        return v.replace(u'&', u"&amp;"_s)
            .replace(u'<', u"&lt;"_s)
            .replace(u'>', u"&gt;"_s)
            .replace(u'"', u"&quot;"_s);
    };
    QString saida = u'<' + nome;
    if (ns != nsPai) saida += u" xmlns=\""_s + escapa(ns) + u'"';
    for (auto it = atributos.cbegin(); it != atributos.cend(); ++it)
        saida += u' ' + it.key() + u"=\""_s + escapa(it.value()) + u'"';
    saida += u'>';
    if (filhos.isEmpty()) saida += escapa(texto);
    for (const NoXml& f : filhos)
        saida += f.xml(ns);
    return saida + u"</"_s + nome + u'>';
}

LeituraXml leArvoreXml(const QString& texto, bool desdobra) {
    return leTexto(texto, desdobra, 0);
}

} // namespace qel
