#include "print/danfe/danfe_itens.h"

#include "util/posicoes.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace qel {

QString mascaraAdaptativa(const QString& base, double valor) {
    const qsizetype comprimento = base.size();
    const qsizetype ponto = Posicao(u"."_s, base);
    const qsizetype decimais = ponto > 0 ? comprimento - ponto : 0;
    qsizetype algarismos = decimais;
    while (std::pow(10.0, static_cast<double>(algarismos)) - 1 < valor)
        ++algarismos;
    QString mascara;
    if (ponto >= algarismos + 1) {
        mascara = base;
    } else {
        mascara = QString(algarismos - 1, u'#') + u"0.0000"_s;
        mascara.truncate(comprimento);
        if (mascara.endsWith(u'.')) {
            mascara.chop(1);
            mascara.prepend(u'#');
        }
    }
    mascara[0] = u'Z';
    return mascara;
}

int numeroPaginas(int linhas, int capacidade, int porPagina) {
    if (linhas <= capacidade) return 1;
    return 1 + (linhas - capacidade + porPagina - 1) / porPagina;
}

} // namespace qel
