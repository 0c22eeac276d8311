#include "util/texto.h"

#include "util/posicoes.h"

#include <algorithm>
#include <initializer_list>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

bool ehDigito(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Characters of a CNPJ: since the alphanumeric CNPJ (IN RFB 2.229/2024) its first twelve
// characters may be upper-case letters as well as digits.
bool ehCaractereCnpj(QChar c) {
    return ehDigito(c) || (c >= u'A' && c <= u'Z');
}

// Blocks of a text by position, joined with a separator; a block past the end stays empty.
QString blocos(const QString& texto, std::initializer_list<qsizetype> tamanhos,
               std::initializer_list<QString> separadores) {
    QString saida;
    qsizetype posicao = 1;
    auto separador = separadores.begin();
    for (const qsizetype tamanho : tamanhos) {
        if (posicao > 1 && separador != separadores.end()) saida += *separador++;
        saida += Copia(texto, posicao, tamanho);
        posicao += tamanho;
    }
    return saida;
}

QString gruposFone(const QString& texto, std::initializer_list<qsizetype> tamanhos) {
    return blocos(texto, tamanhos, {u" "_s, u" "_s});
}

} // namespace

QString Maiusculo(const QString& texto) {
    QString saida = texto.trimmed();
    for (QChar& c : saida)
        c = c.toUpper();
    return saida;
}

QString Alinha_Esquerda(const QString& texto, qsizetype largura) {
    if (largura <= 0) return {};
    return texto.leftJustified(largura, u' ', true);
}

QString Alinha_Direita(const QString& texto, qsizetype largura) {
    if (largura <= 0) return {};
    return (Repete(u" "_s, largura) + texto.trimmed()).right(largura);
}

QString Repete(const QString& texto, qsizetype vezes) {
    return vezes > 0 ? texto.repeated(vezes) : QString();
}

QString Limpa_Documento(const QString& texto) {
    QString saida = texto;
    saida.remove(u'.');
    saida.remove(u'-');
    saida.remove(u'/');
    return saida;
}

QString Somente_Numeros(const QString& texto, const QString& flag, qsizetype largura) {
    const bool comSinais = flag == u"S"_s;
    QString saida;
    for (const QChar c : texto.trimmed()) {
        if (ehDigito(c) || (comSinais && (c == u',' || c == u'-' || c == u'.'))) saida += c;
    }
    if (largura > 0) saida = (Repete(u"0"_s, largura) + saida).right(largura);
    return saida;
}

bool Vazio(const QString& texto) {
    return texto.trimmed().isEmpty();
}

bool Vazio(double valor) {
    return valor == 0;
}

QString Remove_Acentos(const QString& texto) {
    QString saida = texto;
    for (QChar& c : saida) {
        const char16_t u = c.unicode();
        if (u >= 224 && u <= 227)
            c = u'a';
        else if (u >= 192 && u <= 195)
            c = u'A';
        else if (u >= 232 && u <= 234)
            c = u'e';
        else if (u >= 200 && u <= 202)
            c = u'E';
        else if (u >= 236 && u <= 238)
            c = u'i';
        else if (u >= 204 && u <= 206)
            c = u'I';
        else if (u >= 242 && u <= 245)
            c = u'o';
        else if (u >= 210 && u <= 213)
            c = u'O';
        else if (u >= 249 && u <= 251)
            c = u'u';
        else if (u >= 217 && u <= 219)
            c = u'U';
        else if (u == 231)
            c = u'c';
        else if (u == 199)
            c = u'C';
        else if (u < 32 || u > 126)
            c = u' ';
    }
    return saida;
}

QString Desfaz_Entidades(const QString& texto) {
    QString saida = texto;
    // "&amp;" last, so that an escaped entity such as "&amp;lt;" ends as the text "&lt;".
    saida.replace(u"&lt;"_s, u"<"_s);
    saida.replace(u"&gt;"_s, u">"_s);
    saida.replace(u"&amp;"_s, u"&"_s);
    saida.replace(u"  "_s, QString());
    saida.replace(u"> <"_s, u"><"_s);
    saida.replace(u"&#xD; "_s, QString());
    return saida;
}

QString Texto_Hexa(const QString& texto) {
    if (Vazio(texto)) return {};
    QString saida;
    for (const QChar c : texto)
        saida += QString::number(c.unicode(), 16).toUpper().rightJustified(2, u'0');
    return saida;
}

QString Inverte_Pares(const QString& texto) {
    QString saida;
    for (qsizetype p = 1; p <= texto.size(); p += 2)
        saida.prepend(Copia(texto, p, 2));
    return saida;
}

QString CnpjSemPontuacao(const QString& texto) {
    QString limpo;
    for (const QChar c : texto)
        if (ehDigito(c) || (c.toUpper() >= u'A' && c.toUpper() <= u'Z')) limpo += c.toUpper();
    return limpo;
}

bool FormaDeCnpj(const QString& semPontuacao) {
    return semPontuacao.size() == 14 &&
           std::all_of(semPontuacao.begin(), semPontuacao.begin() + 12, ehCaractereCnpj) &&
           std::all_of(semPontuacao.begin() + 12, semPontuacao.end(), ehDigito);
}

QString RaizCnpj(const QString& texto) {
    return Copia(CnpjSemPontuacao(texto), 1, 8);
}

QString Formata_CNPJ(const QString& texto) {
    if (Vazio(texto)) return {};
    // Letters count only when the whole value, punctuation aside, has the shape of an
    // alphanumeric CNPJ (twelve letters or digits, two check digits): "CPF 123.456.789-09" is a
    // CPF with a word before it, not a CNPJ.
    const QString limpo = Limpa_Documento(texto.trimmed());
    if (FormaDeCnpj(limpo)) return blocos(limpo, {2, 3, 3, 4, 2}, {u"."_s, u"."_s, u"/"_s, u"-"_s});
    QString digitos;
    for (const QChar c : texto)
        if (ehDigito(c)) digitos += c;
    if (digitos.size() == 14) return blocos(digitos, {2, 3, 3, 4, 2}, {u"."_s, u"."_s, u"/"_s, u"-"_s});
    return blocos(digitos, {3, 3, 3, 2}, {u"."_s, u"."_s, u"-"_s});
}

QString Formata_Fone(const QString& texto) {
    QString fone = texto;
    fone.remove(u' ');
    fone.remove(u'(');
    fone.remove(u')');
    fone.remove(u'-');
    if (fone.startsWith(u"0800"_s) || fone.startsWith(u"0300"_s)) return gruposFone(fone, {4, 3, 4});
    const bool comZero = fone.startsWith(u'0');
    switch (fone.size()) {
    case 8:
        return gruposFone(fone, {4, 4});
    case 9:
        return gruposFone(fone, {5, 4});
    case 10:
        return gruposFone(fone, {2, 4, 4});
    case 11:
        return comZero ? gruposFone(fone, {3, 4, 4}) : gruposFone(fone, {2, 5, 4});
    case 12:
        return comZero ? gruposFone(fone, {3, 5, 4}) : gruposFone(fone, {4, 4, 4});
    case 13:
        return comZero ? gruposFone(fone, {5, 4, 4}) : gruposFone(fone, {4, 5, 4});
    case 14:
        return gruposFone(fone, {5, 5, 4});
    default:
        return fone;
    }
}

QString Tipo_Documento(const QString& tipo, const QString& numero) {
    if (Maiusculo(tipo) != u"DOCUMENTO"_s) return {};
    return Limpa_Documento(numero).size() < 14 ? u"CPF"_s : u"CNPJ"_s;
}

} // namespace qel
