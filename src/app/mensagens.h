#pragma once

// Messages to the calling application: ordered pairs of texts (parameter, value) delivered
// over the D-Bus session bus to the name the calling application owns.

#include <QString>

namespace qel {

class CanalMensagens {
public:
    virtual ~CanalMensagens() = default;
    virtual void envia(const QString& parametro, const QString& valor) = 0;
};

// The D-Bus channel. When the calling application is not on the bus the message is lost
// without a word, as the calling application may simply not be running.
class CanalDBus : public CanalMensagens {
public:
    static constexpr auto kServico = "qel.TrocaMensagens";
    static constexpr auto kObjeto = "/qel/TrocaMensagens";
    static constexpr auto kInterface = "qel.TrocaMensagens";
    void envia(const QString& parametro, const QString& valor) override;
};

// A text travels only up to 255 characters; a longer (or empty) one travels as an empty text.
QString textoTransportavel(const QString& texto);

// Sends "DFe-" + parametro with the text, synchronously.
void EnviaMensagem(CanalMensagens& canal, const QString& parametro, const QString& texto);

} // namespace qel
