#include "util/numeros.h"

#include "util/erros.h"
#include "util/posicoes.h"
#include "util/texto.h"

#include <QByteArray>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

[[noreturn]] void naoNumero(const QString& texto) {
    throw ErroInesperado(u"'"_s + texto + u"' não é um número válido"_s);
}

// The magnitude of a number as decimal digits, rounded half away from zero to `decimais`
// places: `inteiros` without leading zeros (empty for 0), `fracao` exactly `decimais` long.
// The digits come from the 15 significant digits a double always keeps, so a value written
// as 2.675 rounds as the decimal 2.675 does, not as its binary neighbour 2.67499999....
struct Decimal {
    QString inteiros;
    QString fracao;
};

Decimal decimalArredondado(double valor, qsizetype decimais) {
    const QByteArray cientifico = QByteArray::number(std::fabs(valor), 'e', 14); // d.ddddddddddddddde±x
    const qsizetype posE = cientifico.indexOf('e');
    QString digitos = QString::fromLatin1(cientifico.left(posE));
    digitos.remove(u'.');
    const qsizetype pontoDepois = cientifico.mid(posE + 1).toInt() + 1; // integer digits

    QString inteiros;
    QString fracao;
    if (pontoDepois <= 0) {
        fracao = Repete(u"0"_s, -pontoDepois) + digitos;
    } else if (pontoDepois >= digitos.size()) {
        inteiros = digitos + Repete(u"0"_s, pontoDepois - digitos.size());
    } else {
        inteiros = digitos.left(pontoDepois);
        fracao = digitos.mid(pontoDepois);
    }

    const bool sobe = fracao.size() > decimais && fracao.at(decimais) >= u'5';
    fracao = fracao.left(decimais).leftJustified(decimais, u'0');
    if (sobe) {
        QString todos = inteiros + fracao;
        qsizetype i = todos.size() - 1;
        while (i >= 0 && todos.at(i) == u'9')
            todos[i--] = u'0';
        if (i >= 0)
            todos[i] = QChar(todos.at(i).unicode() + 1);
        else
            todos.prepend(u'1');
        inteiros = todos.left(todos.size() - decimais);
        fracao = todos.right(decimais);
    }
    while (inteiros.startsWith(u'0'))
        inteiros.remove(0, 1);
    return {inteiros, fracao};
}

bool ehMarcador(QChar c) {
    return c == u'#' || c == u'0';
}

// The picture layout itself: digits, decimal comma and thousands points where the mask asks.
QString aplicaMascara(const QString& m, double valor) {
    if (std::isnan(valor)) return u"NAN"_s;
    if (std::isinf(valor)) return valor < 0 ? u"-INF"_s : u"INF"_s;

    // First pass: what the mask asks for.
    bool milhar = false;
    bool depoisDoPonto = false;
    qsizetype marcadoresInteiros = 0;
    qsizetype primeiroZeroInteiro = -1; // index among the integer placeholders
    qsizetype decimais = 0;
    qsizetype decimaisObrigatorias = 0;
    for (qsizetype i = 0; i < m.size(); ++i) {
        const QChar c = m.at(i);
        if (c == u'"' || c == u'\'') {
            const qsizetype fim = m.indexOf(c, i + 1);
            i = fim < 0 ? m.size() : fim;
        } else if (c == u',') {
            milhar = true;
        } else if (c == u'.') {
            depoisDoPonto = true;
        } else if (ehMarcador(c) && !depoisDoPonto) {
            if (c == u'0' && primeiroZeroInteiro < 0) primeiroZeroInteiro = marcadoresInteiros;
            ++marcadoresInteiros;
        } else if (ehMarcador(c)) {
            ++decimais;
            if (c == u'0') decimaisObrigatorias = decimais;
        }
    }

    const Decimal d = decimalArredondado(valor, decimais);
    const qsizetype inteirosObrigatorios =
        primeiroZeroInteiro < 0 ? 0 : marcadoresInteiros - primeiroZeroInteiro;
    qsizetype decimaisImpressas = decimaisObrigatorias;
    for (qsizetype j = decimais; j > decimaisImpressas; --j) {
        if (d.fracao.at(j - 1) != u'0') {
            decimaisImpressas = j;
            break;
        }
    }
    const bool zero = d.inteiros.isEmpty() &&
                      std::all_of(d.fracao.cbegin(), d.fracao.cend(), [](QChar c) { return c == u'0'; });

    QString r;
    // The digit of place `casa` (0 = units), or a required "0", followed by its thousands point.
    auto digito = [&](qsizetype casa) {
        const qsizetype n = d.inteiros.size();
        r += casa < n ? d.inteiros.at(n - 1 - casa) : u'0';
        if (milhar && casa > 0 && casa % 3 == 0) r += u'.';
    };
    // Digits beyond the mask's placeholders go where its first placeholder is.
    auto excedentes = [&](qsizetype primeiraCasa) {
        for (qsizetype casa = d.inteiros.size() - 1; casa >= primeiraCasa; --casa)
            digito(casa);
    };

    depoisDoPonto = false;
    qsizetype marcador = 0;
    qsizetype decimal = 0;
    for (qsizetype i = 0; i < m.size(); ++i) {
        const QChar c = m.at(i);
        if (c == u'"' || c == u'\'') {
            const qsizetype fim = m.indexOf(c, i + 1);
            r += fim < 0 ? m.mid(i + 1) : m.mid(i + 1, fim - i - 1);
            i = fim < 0 ? m.size() : fim;
        } else if (c == u',') {
            // Only a request for grouping; the points are written with the digits.
        } else if (c == u'.') {
            if (depoisDoPonto) continue;
            depoisDoPonto = true;
            if (marcadoresInteiros == 0) excedentes(0);
            if (decimaisImpressas > 0) r += u',';
        } else if (ehMarcador(c) && !depoisDoPonto) {
            const qsizetype casa = marcadoresInteiros - 1 - marcador;
            if (marcador == 0) excedentes(marcadoresInteiros);
            if (casa < d.inteiros.size() || casa < inteirosObrigatorios) digito(casa);
            ++marcador;
        } else if (ehMarcador(c)) {
            ++decimal;
            if (decimal <= decimaisImpressas) r += d.fracao.at(decimal - 1);
        } else {
            r += c;
        }
    }
    // A value that rounds to zero is printed without a sign.
    if (valor < 0 && !zero) r.prepend(u'-');
    return r;
}

} // namespace

double Texto_Decimal(const QString& texto) {
    if (Vazio(texto)) return 0;
    QString numero = texto.trimmed();
    numero.replace(u'.', u',');
    static const QRegularExpression formato(u"^[+-]?(\\d+(,\\d*)?|,\\d+)([eE][+-]?\\d+)?$"_s);
    if (!formato.match(numero).hasMatch()) naoNumero(texto);
    numero.replace(u',', u'.');
    bool ok = false;
    const double valor = numero.toDouble(&ok);
    if (!ok || !std::isfinite(valor)) naoNumero(texto);
    return valor;
}

qint64 Texto_Inteiro(const QString& texto) {
    static const QRegularExpression inteiro(u"^[+-]?\\d+$"_s);
    const QString aparado = texto.trimmed();
    if (inteiro.match(aparado).hasMatch()) {
        bool ok = false;
        // toLongLong refuses an explicit "+".
        const qint64 valor = (aparado.startsWith(u'+') ? aparado.mid(1) : aparado).toLongLong(&ok);
        if (!ok) throw ErroInesperado(u"'"_s + texto + u"' está fora da faixa dos números inteiros"_s);
        return valor;
    }
    const double valor = Texto_Decimal(texto);
    // 2^63 is exactly representable; every whole double below it in magnitude fits in qint64.
    if (valor != std::trunc(valor) || std::fabs(valor) >= 9223372036854775808.0)
        throw ErroInesperado(u"'"_s + texto + u"' não é um número inteiro válido"_s);
    return static_cast<qint64>(valor);
}

QString Zeros(qsizetype largura, qint64 numero) {
    if (largura <= 0) return {};
    return (Repete(u"0"_s, largura) + QString::number(numero)).right(largura);
}

QString Formata_Valor(const QString& mascara, double valor) {
    QString m = Vazio(mascara) ? u"#####,###,##0.00"_s : mascara;
    if (m.startsWith(u'Z')) {
        if (valor == 0) return Repete(u" "_s, m.size());
        m.replace(u'Z', u'#');
    }
    const QString r = aplicaMascara(m, valor);

    // Thousands points only as far to the left as the mask's first ",": the digits beyond the
    // mask's own length print without them.
    const qsizetype a = Posicao(u","_s, m);
    if (a == 0) return r;
    const qsizetype k = m.size() - a + 1;
    if (r.size() <= a + 3) return r;
    const qsizetype cabeca = std::max<qsizetype>(0, r.size() - k);
    return Copia(r, 1, cabeca).remove(u'.') + CopiaDesde(r, cabeca + 1);
}

} // namespace qel
