#pragma once

#include <QObject>
#include <QWidget>

namespace qel {

// The program's own name on the session bus: the calling application calls RecebeMensagem to
// bring the main window forward.
class ServicoDFe : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "qel.DFe")
public:
    explicit ServicoDFe(QWidget& janela) : QObject(&janela), janela_(janela) {}
    // Registers qel.DFe at /qel/DFe; false when there is no session bus or the name is taken.
    bool registra();

public Q_SLOTS:
    void RecebeMensagem(const QString& parametro, const QString& valor);

private:
    QWidget& janela_;
};

} // namespace qel
