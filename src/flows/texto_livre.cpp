#include "flows/texto_livre.h"

using namespace Qt::StringLiterals;

namespace qel {

QString textoLivre(const QString& texto) {
    return texto.simplified();
}

QString recusaTexto(const QString& rotulo, const QString& texto, int minimo, int maximo) {
    if (texto.size() < minimo || texto.size() > maximo)
        return rotulo + u" deve ter de "_s + QString::number(minimo) + u" a "_s + QString::number(maximo) +
               u" caracteres; tem "_s + QString::number(texto.size()) + u'.';
    for (const QChar c : texto) {
        // The schemas' pattern for these texts is [ -ÿ]: Latin-1 without control characters.
        if (c.unicode() < 0x20 || c.unicode() > 0xFF || (c.unicode() >= 0x7F && c.unicode() < 0xA0))
            return rotulo + u" contém o caractere \""_s + c + u"\" (U+"_s +
                   QString::number(c.unicode(), 16).toUpper().rightJustified(4, u'0') +
                   u"), que a SEFAZ não aceita."_s;
    }
    return {};
}

} // namespace qel
