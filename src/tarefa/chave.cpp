#include "tarefa/chave.h"

using namespace Qt::StringLiterals;

namespace qel {

QString digitoChave(const QString& chave43) {
    if (chave43.size() != 43) return {};
    // Modulo 11 with weights 2 to 9 from the right (NF-e manual, access key). A letter of an
    // alphanumeric CNPJ weighs its code less 48, as in the CNPJ's own check digits.
    int soma = 0;
    int peso = 2;
    for (qsizetype i = chave43.size() - 1; i >= 0; --i) {
        const QChar c = chave43.at(i);
        if (!(c >= u'0' && c <= u'9') && !(c >= u'A' && c <= u'Z')) return {};
        soma += (c.unicode() - u'0') * peso;
        peso = peso == 9 ? 2 : peso + 1;
    }
    const int resto = soma % 11;
    return QString::number(resto < 2 ? 0 : 11 - resto);
}

QString chaveComEmissao(const QString& chave, QChar tpEmis) {
    if (chave.size() != 44) return {};
    QString nova = chave.left(43);
    nova[34] = tpEmis;
    const QString digito = digitoChave(nova);
    return digito.isEmpty() ? QString() : nova + digito;
}

} // namespace qel
