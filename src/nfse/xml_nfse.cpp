#include "nfse/xml_nfse.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace qel::nfse {

QString escapa(const QString& valor) {
    QString v = valor;
    v.replace(u'&', u"&amp;"_s).replace(u'<', u"&lt;"_s).replace(u'>', u"&gt;"_s).replace(u'"', u"&quot;"_s);
    return v;
}

QString el(const QString& nome, const QString& valor) {
    return u'<' + nome + u'>' + escapa(valor) + u"</"_s + nome + u'>';
}

namespace {

// "<name" or "<prefix:name" followed by a blank, ">" or "/".
QRegularExpression inicio(const QString& nomeLocal) {
    return QRegularExpression(u"<([A-Za-z_][\\w.-]*:)?"_s + QRegularExpression::escape(nomeLocal) +
                              u"(?=[\\s>/])"_s);
}

} // namespace

QString prefixoDe(const QString& texto, const QString& nomeLocal) {
    const QRegularExpressionMatch m = inicio(nomeLocal).match(texto);
    return m.hasMatch() ? m.captured(1) : QString();
}

QString recorta(const QString& texto, const QString& nomeLocal, bool ateUltimo) {
    const QRegularExpressionMatch m = inicio(nomeLocal).match(texto);
    if (!m.hasMatch()) return {};
    const QString fecha = u"</"_s + m.captured(1) + nomeLocal + u'>';
    const qsizetype fim = ateUltimo ? texto.lastIndexOf(fecha) : texto.indexOf(fecha, m.capturedStart());
    if (fim < m.capturedStart()) return {};
    return texto.mid(m.capturedStart(), fim + fecha.size() - m.capturedStart());
}

QString atributoId(const QString& texto, const QString& nomeLocal) {
    const QRegularExpressionMatch m = inicio(nomeLocal).match(texto);
    if (!m.hasMatch()) return {};
    const qsizetype fimTag = texto.indexOf(u'>', m.capturedEnd());
    const QString tag = texto.mid(m.capturedEnd(), fimTag - m.capturedEnd());
    static const QRegularExpression id(uR"re((?:^|\s)[Ii]d\s*=\s*("([^"]*)"|'([^']*)'))re"_s);
    const QRegularExpressionMatch a = id.match(tag);
    if (!a.hasMatch()) return {};
    return a.captured(2).isNull() ? a.captured(3) : a.captured(2);
}

QString numeroInteiro(const QString& texto) {
    QString digitos;
    for (const QChar c : texto)
        if (c.isDigit() && c.unicode() < 128) digitos += c;
    while (digitos.size() > 1 && digitos.startsWith(u'0'))
        digitos.remove(0, 1);
    return digitos;
}

QString cdata(const QString& texto) {
    QString t = texto;
    return u"<![CDATA["_s + t.replace(u"]]>"_s, u"]]]]><![CDATA[>"_s) + u"]]>"_s;
}

} // namespace qel::nfse
