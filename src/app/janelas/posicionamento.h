#pragma once

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace qel {

// Bottom right corner of the screen, two pixels clear of the task bar and of the right edge.
inline void posicionaNoCanto(QWidget& janela) {
    const QScreen* tela = janela.screen() ? janela.screen() : QGuiApplication::primaryScreen();
    if (!tela) return;
    const QRect area = tela->availableGeometry();
    const QSize moldura = janela.frameGeometry().size();
    janela.move(area.x() + area.width() - moldura.width() - 2,
                area.y() + area.height() - moldura.height() - 2);
}

} // namespace qel
