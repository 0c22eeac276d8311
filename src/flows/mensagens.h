#pragma once

// Messages to the calling application: ordered pairs of texts (parameter, value). The channel
// that carries them (the D-Bus session bus) belongs to the program's shell.

#include <QString>

namespace qel {

class CanalMensagens {
public:
    virtual ~CanalMensagens() = default;
    virtual void envia(const QString& parametro, const QString& valor) = 0;
};

// A text travels only up to 255 characters; a longer (or empty) one travels as an empty text.
QString textoTransportavel(const QString& texto);

// Sends "DFe-" + parametro with the text, synchronously.
void EnviaMensagem(CanalMensagens& canal, const QString& parametro, const QString& texto);

} // namespace qel
