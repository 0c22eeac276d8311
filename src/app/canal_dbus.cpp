#include "app/canal_dbus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

using namespace Qt::StringLiterals;

namespace qel {

void CanalDBus::envia(const QString& parametro, const QString& valor) {
    QDBusConnection barramento = QDBusConnection::sessionBus();
    if (!barramento.isConnected()) return;
    const QString servico = QString::fromLatin1(kServico);
    if (!barramento.interface()->isServiceRegistered(servico).value()) return;
    QDBusMessage chamada = QDBusMessage::createMethodCall(servico, QString::fromLatin1(kObjeto),
                                                          QString::fromLatin1(kInterface), u"Mensagem"_s);
    chamada << parametro << valor;
    // Synchronous, so the calling application sees the messages in the order they were sent.
    barramento.call(chamada, QDBus::Block, 30000);
}

} // namespace qel
