#include "app/servico_dbus.h"

#include <QDBusConnection>

using namespace Qt::StringLiterals;

namespace qel {

bool ServicoDFe::registra() {
    QDBusConnection barramento = QDBusConnection::sessionBus();
    if (!barramento.isConnected()) return false;
    if (!barramento.registerObject(u"/qel/DFe"_s, this, QDBusConnection::ExportAllSlots)) return false;
    return barramento.registerService(u"qel.DFe"_s);
}

void ServicoDFe::RecebeMensagem(const QString& parametro, const QString& valor) {
    // The texts are read but not used: the message only asks for the window.
    Q_UNUSED(parametro);
    Q_UNUSED(valor);
    janela_.showNormal();
    janela_.raise();
    janela_.activateWindow();
}

} // namespace qel
