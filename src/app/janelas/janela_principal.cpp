#include "app/janelas/janela_principal.h"

#include "app/janelas/posicionamento.h"
#include "versao.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace qel {

namespace {

// The emblem on the left: a sheet with the folded corner and the kind of work the program does.
QPixmap emblema(QSize tamanho) {
    QPixmap imagem(tamanho);
    imagem.fill(Qt::transparent);
    QPainter p(&imagem);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fundo(0, 0, 0, tamanho.height());
    fundo.setColorAt(0, QColor(0x1f, 0x5f, 0x9f));
    fundo.setColorAt(1, QColor(0x0b, 0x2a, 0x4a));
    p.setBrush(fundo);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(QPointF(0, 0), QSizeF(tamanho)), 8, 8);
    const QRectF folha(28, 30, tamanho.width() - 56, tamanho.height() - 90);
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF{folha.topLeft(), QPointF(folha.right() - 18, folha.top()),
                            QPointF(folha.right(), folha.top() + 18), folha.bottomRight(),
                            folha.bottomLeft()});
    p.setPen(QPen(QColor(0x1f, 0x5f, 0x9f), 2));
    for (int i = 0; i < 6; ++i) {
        const qreal y = folha.top() + 36 + i * 14;
        p.drawLine(QPointF(folha.left() + 10, y), QPointF(folha.right() - 10 - (i % 2) * 20, y));
    }
    p.setPen(Qt::white);
    QFont fonte = p.font();
    fonte.setBold(true);
    fonte.setPointSize(16);
    p.setFont(fonte);
    p.drawText(QRectF(0, tamanho.height() - 56, tamanho.width(), 40), Qt::AlignCenter, u"DFe"_s);
    return imagem;
}

} // namespace

Tfqel_dfe_001::Tfqel_dfe_001(QWidget* parent) : QWidget(parent) {
    setObjectName(u"Tfqel_dfe_001"_s);
    setWindowTitle(u"Qel (DFe)"_s);
    setFixedSize(638, 328);

    auto* faixa = new QLabel(this);
    faixa->setGeometry(0, 0, 638, 26);
    faixa->setText(u"  Transmissão de documentos fiscais eletrônicos"_s);
    faixa->setStyleSheet(
        u"color: white; font-weight: bold; background: qlineargradient(x1:0, y1:0, x2:1, y2:0,"
        " stop:0 #0b2a4a, stop:1 #5f9fdf);"_s);

    auto* figura = new QLabel(this);
    figura->setObjectName(u"Imagem1"_s);
    figura->setGeometry(8, 34, 135, 213);
    figura->setPixmap(emblema(figura->size()));

    const auto rotulo = [this](const QString& texto, int x, int y) {
        auto* l = new QLabel(texto, this);
        l->setGeometry(x, y, 52, 18);
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
    };
    rotulo(u"Tarefa"_s, 151, 34);
    rotulo(u"CNPJ"_s, 151, 54);
    rotulo(u"Arquivo"_s, 151, 256);

    Tarefa_ = campo(u"Tarefa"_s, QRect(203, 34, 281, 18));
    CNPJ_ = campo(u"CNPJ"_s, QRect(203, 54, 130, 18));
    Tipo_ = campo(u"Tipo"_s, QRect(338, 54, 60, 18));
    UF_ = campo(u"UF"_s, QRect(403, 54, 30, 18));
    cUF_ = campo(u"cUF"_s, QRect(438, 54, 46, 18));
    Arquivo_Uso_ = campo(u"Arquivo_Uso"_s, QRect(203, 256, 427, 18));

    LB_Apresentacao_ = new QListWidget(this);
    LB_Apresentacao_->setObjectName(u"LB_Apresentacao"_s);
    LB_Apresentacao_->setGeometry(151, 74, 333, 173);
    LB_Apresentacao_->setFocusPolicy(Qt::NoFocus);

    auto* lateral = new QLabel(this);
    lateral->setObjectName(u"Imagem2"_s);
    lateral->setGeometry(492, 74, 138, 173);
    lateral->setAlignment(Qt::AlignCenter);
    lateral->setWordWrap(true);
    lateral->setText(u"NF-e · NFC-e\nCT-e · MDF-e\nNFS-e\nOperações de transporte"_s);
    lateral->setStyleSheet(
        u"color: #0b2a4a; border: 1px solid #9fbfdf; border-radius: 6px;"
        " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #dfefff);"_s);

    auto* versao = new QLabel(kVersaoDFe, this);
    versao->setObjectName(u"VersaoDFe"_s);
    versao->setGeometry(430, 304, 200, 18);
    versao->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

QLineEdit* Tfqel_dfe_001::campo(const QString& nome, const QRect& geometria) {
    auto* c = new QLineEdit(this);
    c->setObjectName(nome);
    c->setGeometry(geometria);
    c->setFrame(false);
    c->setReadOnly(true);
    c->setStyleSheet(u"background: transparent;"_s);
    c->installEventFilter(this);
    return c;
}

bool Tfqel_dfe_001::eventFilter(QObject* objeto, QEvent* evento) {
    if (evento->type() == QEvent::FocusIn && (objeto == Tarefa_ || objeto == Arquivo_Uso_)) {
        // Only the user moving into the field asks for a new run; the window getting the focus
        // back does not.
        const Qt::FocusReason razao = static_cast<QFocusEvent*>(evento)->reason();
        if (razao == Qt::MouseFocusReason || razao == Qt::TabFocusReason || razao == Qt::BacktabFocusReason)
            iniciaExecucao();
    }
    return QWidget::eventFilter(objeto, evento);
}

void Tfqel_dfe_001::showEvent(QShowEvent* evento) {
    QWidget::showEvent(evento);
    if (!posicionada_) {
        posicionada_ = true;
        posicionaNoCanto(*this);
        Tarefa_->setFocus();
        // The task run starts as soon as the window is shown.
        iniciaExecucao();
    }
}

void Tfqel_dfe_001::iniciaExecucao() {
    // The run blocks; it starts once the current event has been handled.
    QTimer::singleShot(0, this, [this] {
        if (aoFoco_) aoFoco_();
    });
}

void Tfqel_dfe_001::adicionaStatus(const QString& linha) {
    LB_Apresentacao_->addItem(linha);
    LB_Apresentacao_->setCurrentRow(LB_Apresentacao_->count() - 1);
    LB_Apresentacao_->scrollToBottom();
}

void Tfqel_dfe_001::mostraCampos(const ContextoExecucao& ctx) {
    Tarefa_->setText(ctx.Tarefa);
    CNPJ_->setText(ctx.CNPJ);
    Tipo_->setText(texto(ctx.Tipo));
    UF_->setText(ctx.UF);
    cUF_->setText(ctx.cUF);
    Arquivo_Uso_->setText(ctx.Arquivo_Uso);
    // The run blocks the event loop: draw now so the user sees the progress.
    repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace qel
