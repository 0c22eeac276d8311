#include "ws/falhas_esquema.h"

#include <QRegularExpression>
#include <QStringList>
#include <optional>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// A value is quoted as written, but a whole paragraph helps nobody in a message line.
QString valorCurto(const QString& valor) {
    constexpr qsizetype kMaximo = 60;
    return valor.size() <= kMaximo ? valor : valor.left(kMaximo) + u"…"_s;
}

QString semNamespaces(QString texto) {
    static const QRegularExpression ns(u"\\{[^}]*\\}"_s);
    return texto.remove(ns);
}

// "( {ns}a, {ns}b )" → a, b
QStringList nomesEsperados(const QString& lista) {
    QStringList nomes;
    for (const QString& nome : semNamespaces(lista).split(u',', Qt::SkipEmptyParts))
        nomes << nome.trimmed();
    return nomes;
}

QString tamanhos(const QString& facet, const QString& tem, const QString& limite) {
    const QString inicio = u"o valor tem "_s + tem + u" caracteres; "_s;
    if (facet == u"maxLength"_s) return inicio + u"o máximo é "_s + limite;
    if (facet == u"minLength"_s) return inicio + u"o mínimo é "_s + limite;
    return inicio + u"deve ter "_s + limite;
}

std::optional<QString> facet(const QString& m) {
    static const QRegularExpression comFacet(u"^\\[facet '(\\w+)'\\] (.*)$"_s,
                                             QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch f = comFacet.match(m);
    if (!f.hasMatch()) return std::nullopt;
    const QString nome = f.captured(1);
    const QString resto = f.captured(2);

    static const QRegularExpression tamanho(u"has a length of '(\\d+)'; .* length of '(\\d+)'"_s,
                                            QRegularExpression::DotMatchesEverythingOption);
    if (const auto t = tamanho.match(resto); t.hasMatch())
        return tamanhos(nome, t.captured(1), t.captured(2));

    static const QRegularExpression valor(u"^The value '(.*?)' (is|has|must)"_s,
                                          QRegularExpression::DotMatchesEverythingOption);
    const QString v = u'\'' + valorCurto(valor.match(resto).captured(1)) + u'\'';

    if (nome == u"enumeration"_s) {
        static const QRegularExpression conjunto(u"set \\{(.*)\\}\\.?$"_s,
                                                 QRegularExpression::DotMatchesEverythingOption);
        QString permitidos = conjunto.match(resto).captured(1);
        permitidos.remove(u'\'');
        return u"o valor "_s + v + u" não é um dos permitidos ("_s + permitidos + u')';
    }
    if (nome == u"pattern"_s) {
        static const QRegularExpression padrao(u"the pattern '(.*)'\\.?$"_s,
                                               QRegularExpression::DotMatchesEverythingOption);
        return u"o valor "_s + v + u" não tem o formato exigido ("_s + padrao.match(resto).captured(1) + u')';
    }
    static const QRegularExpression limiteFinal(u"'([^']*)'\\)?\\.?$"_s);
    const QString limite = limiteFinal.match(resto).captured(1);
    if (nome == u"maxInclusive"_s) return u"o valor "_s + v + u" passa do máximo, "_s + limite;
    if (nome == u"minInclusive"_s) return u"o valor "_s + v + u" é menor que o mínimo, "_s + limite;
    if (nome == u"maxExclusive"_s) return u"o valor "_s + v + u" deve ser menor que "_s + limite;
    if (nome == u"minExclusive"_s) return u"o valor "_s + v + u" deve ser maior que "_s + limite;
    if (nome == u"totalDigits"_s) return u"o valor "_s + v + u" tem mais de "_s + limite + u" dígitos"_s;
    if (nome == u"fractionDigits"_s)
        return u"o valor "_s + v + u" tem mais de "_s + limite + u" casas decimais"_s;
    return std::nullopt;
}

TextoFalha so(const QString& texto, bool repeteValor = false) {
    TextoFalha t;
    t.texto = texto;
    t.repeteValor = repeteValor;
    return t;
}

} // namespace

QString textoDaFalta(const QStringList& esperados) {
    return (esperados.size() == 1 ? u"falta o elemento "_s : u"falta um dos elementos "_s) +
           esperados.join(u", "_s);
}

TextoFalha textoDaFalha(const QString& mensagem) {
    static const QRegularExpression prefixo(u"^Element '[^']*'(, attribute '[^']*')?: "_s);
    const QString m = QString(mensagem).remove(prefixo).trimmed();

    if (const std::optional<QString> f = facet(m)) return so(*f);

    static const QRegularExpression tipo(
        u"^'(.*)' is not a valid value of the (?:local )?(\\w+) type(?: '(.*)')?\\.?$"_s,
        QRegularExpression::DotMatchesEverythingOption);
    if (const auto t = tipo.match(m); t.hasMatch()) {
        const QString nomeTipo = semNamespaces(t.captured(3));
        return so(u"o valor '"_s + valorCurto(t.captured(1)) + u"' não é válido"_s +
                      (nomeTipo.isEmpty() ? QString() : u" para o tipo "_s + nomeTipo),
                  true);
    }

    static const QRegularExpression falta(
        u"^Missing child element\\(s\\)\\. Expected is (one of )?\\((.*)\\)\\.?$"_s);
    if (const auto f = falta.match(m); f.hasMatch()) return so(textoDaFalta(nomesEsperados(f.captured(2))));

    static const QRegularExpression inesperado(
        u"^This element is not expected\\.(?: Expected is (one of )?\\((.*)\\)\\.?)?$"_s);
    if (const auto i = inesperado.match(m); i.hasMatch()) {
        TextoFalha t = so(u"elemento não esperado aqui"_s);
        t.inesperado = true;
        t.esperados = nomesEsperados(i.captured(2));
        if (!t.esperados.isEmpty())
            t.texto += (t.esperados.size() == 1 ? u"; esperado: "_s : u"; esperado um de: "_s) +
                       t.esperados.join(u", "_s);
        return t;
    }

    static const QRegularExpression atributoFalta(u"^The attribute '(.*)' is required but missing\\.?$"_s);
    if (const auto a = atributoFalta.match(m); a.hasMatch())
        return so(u"falta o atributo "_s + a.captured(1));
    if (m.startsWith(u"The attribute is not allowed"_s)) return so(u"atributo não permitido aqui"_s);
    if (m.startsWith(u"Character content other than whitespace is not allowed"_s))
        return so(u"o elemento não admite texto, só outros elementos"_s);
    if (m.startsWith(u"Element content is not allowed"_s))
        return so(u"o elemento só admite um valor, não outros elementos"_s);
    if (m.startsWith(u"No matching global declaration available for the validation root"_s))
        return so(u"este elemento não é a raiz que o esquema descreve"_s);

    // Unusual messages keep the validator's own words.
    return so(semNamespaces(m));
}

} // namespace qel
