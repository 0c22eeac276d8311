#include "ciot/operacao_ndd.h"

#include "ciot/pedidos_ndd.h"
#include "util/arvore_xml.h"
#include "util/texto.h"

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// The element whose child is the first `ide` in document order, or nullptr.
const NoXml* grupoDoIde(const NoXml& no) {
    for (const NoXml& filho : no.filhos) {
        if (filho.nome == u"ide"_s) return &no;
        if (const NoXml* achado = grupoDoIde(filho)) return achado;
    }
    return nullptr;
}

QString semZeros(const QString& numero) {
    QString n = numero.trimmed();
    while (n.size() > 1 && n.startsWith(u'0'))
        n.remove(0, 1);
    return n;
}

} // namespace

IdentificacaoOperacaoNdd identificaOperacaoNdd(const QString& texto) {
    IdentificacaoOperacaoNdd id;
    id.valePedagio = ehValePedagio(texto);
    const LeituraXml leitura = leArvoreXml(texto);
    if (!leitura.raiz) return id;
    const NoXml* grupo = grupoDoIde(*leitura.raiz);
    if (!grupo) return id;
    const NoXml* ide = grupo->filho(u"ide");
    QString cnpj = ide->filho(u"cnpj") ? ide->filho(u"cnpj")->texto : QString();
    if (cnpj.trimmed().isEmpty() && grupo->filho(u"cnpj")) cnpj = grupo->filho(u"cnpj")->texto;
    id.cnpj = CnpjSemPontuacao(cnpj.trimmed());
    if (const NoXml* serie = ide->filho(u"serie")) id.serie = semZeros(serie->texto);
    if (const NoXml* numero = ide->filho(u"numero")) id.numero = semZeros(numero->texto);
    return id;
}

} // namespace qel
