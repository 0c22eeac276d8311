#include "flows/mensagens.h"

using namespace Qt::StringLiterals;

namespace qel {

QString textoTransportavel(const QString& texto) {
    return texto.size() > 255 ? QString() : texto;
}

void EnviaMensagem(CanalMensagens& canal, const QString& parametro, const QString& texto) {
    canal.envia(textoTransportavel(u"DFe-"_s + parametro), textoTransportavel(texto));
}

} // namespace qel
