#pragma once

#include "flows/mensagens.h"

namespace qel {

// Messages to the calling application over the D-Bus session bus, to the name it owns. When
// the calling application is not on the bus the message is lost without a word, as it may
// simply not be running.
class CanalDBus : public CanalMensagens {
public:
    static constexpr auto kServico = "qel.TrocaMensagens";
    static constexpr auto kObjeto = "/qel/TrocaMensagens";
    static constexpr auto kInterface = "qel.TrocaMensagens";
    void envia(const QString& parametro, const QString& valor) override;
};

} // namespace qel
